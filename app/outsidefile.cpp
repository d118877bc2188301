// Command files from the command line, a drop and a second start.
#include "app/outsidefile.h"

#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include "app/filearg.h"
#include "base/appwindows.h"
#include "base/readablememory.h"
#include "base/systemlibrary.h"
#include "commands/commandfile.h"

// Owned by the user-interface thread: the full path of a file that waits to
// be loaded (a heap copy), or null.
static char *waitingFile;

void AcceptDroppedFiles()
{
    ShellAcceptDrops(MainWindow());
}

// The full path of the command line's file as a heap copy; null when none.
// A relative name is taken in this process's current folder, which the
// running copy and any later file dialog do not share.
static char *CommandLineFullPath(const char *commandLine)
{
    char *argument = (char *)malloc(strlen(commandLine) + 1);
    if (!argument)
        return NULL;
    char *full = NULL;
    if (FirstFileArgument(commandLine, argument)) {
        DWORD need = GetFullPathNameA(argument, 0, NULL, NULL);
        full = need ? (char *)malloc(need) : NULL;
        DWORD got = full ? GetFullPathNameA(argument, need, full, NULL) : 0;
        if (full && (got == 0 || got >= need)) {
            // Left to the load to refuse, with the system's reason.
            free(full);
            full = _strdup(argument);
        }
    }
    free(argument);
    return full;
}

// Takes over path (a heap copy) as the waiting file and loads it when it can.
static void WaitAndLoad(char *path)
{
    free(waitingFile);
    waitingFile = path;
    LoadWaitingFile();
}

void LoadCommandLineFile(const char *commandLine)
{
    char *path = CommandLineFullPath(commandLine);
    if (path)
        WaitAndLoad(path);
}

void LoadWaitingFile()
{
    // A load under an open dialog would change the list it works on.
    HWND window = MainWindow();
    if (!waitingFile || !window || !IsWindow(window) || !IsWindowEnabled(window))
        return;
    char *path = waitingFile;
    waitingFile = NULL; // a box of the load may let the next one in
    LoadCommandFileFrom(path);
    free(path);
}

void LoadWaitingFileLater()
{
    if (waitingFile)
        PostMessageA(MainWindow(), WMU_LOAD_WAITING_FILE, 0, 0);
}

// The most of a drop's block that is looked at; a list of thousands of
// full paths takes a fraction of it.
static const size_t DROP_BLOCK_LIMIT = 16 * 1024 * 1024;

// True when every name of the list at offset (characters of unit bytes)
// ends inside the first size bytes of block, and so does the empty name
// that ends the list.
static bool ListEndsInside(const char *block, size_t size, size_t offset, size_t unit)
{
    size_t nameLength = 0;
    for (size_t at = offset; at + unit <= size; at += unit) {
        if (block[at] || (unit > 1 && block[at + 1])) {
            nameLength++;
        } else if (nameLength) {
            nameLength = 0;
        } else {
            return true;
        }
    }
    return false;
}

// True when the shell can read the drop without a fault: its block lies in
// readable memory of this process, its list (DROPFILES.pFiles) starts after
// the header, and every name and the list end inside that memory. Any
// program can post WM_DROPFILES with any value.
static bool DropIsSound(HDROP drop)
{
    // GlobalLock reads an HDROP's handle entry on Windows and, under Wine,
    // the address itself. GlobalSize is not asked: under Wine it reads a heap
    // header in front of whatever address it is given.
    if (ReadableLength(drop, sizeof(void *)) < sizeof(void *))
        return false;
    const char *block = (const char *)GlobalLock(drop);
    if (!block)
        return false;
    size_t size = ReadableLength(block, DROP_BLOCK_LIMIT);
    bool sound = false;
    if (size >= sizeof(DROPFILES)) {
        DROPFILES header;
        memcpy(&header, block, sizeof header);
        sound = header.pFiles >= sizeof header && header.pFiles < size &&
                ListEndsInside(block, size, header.pFiles, header.fWide ? sizeof(WCHAR) : 1);
    }
    GlobalUnlock(drop);
    return sound;
}

void TakeDroppedFiles(HDROP drop)
{
    // A forged drop is ignored as it came: DragFinish would free whatever
    // block its value happens to name.
    if (!DropIsSound(drop))
        return;
    UINT count = ShellDroppedFile(drop, 0xFFFFFFFF, NULL, 0);
    UINT length = count ? ShellDroppedFile(drop, count - 1, NULL, 0) : 0;
    char *path = length ? (char *)malloc(length + 1) : NULL;
    if (path && ShellDroppedFile(drop, count - 1, path, length + 1) == 0) {
        free(path);
        path = NULL;
    }
    ShellDropDone(drop);
    if (path)
        WaitAndLoad(path);
}

LRESULT TakeHandedFile(const COPYDATASTRUCT *data)
{
    if (!data || data->dwData != (ULONG_PTR)HANDED_PATH_MARK || !IsHandedPath(data->lpData, data->cbData))
        return FALSE;
    char *path = _strdup((const char *)data->lpData);
    if (!path)
        return FALSE;
    free(waitingFile);
    waitingFile = path;
    // The sender waits for this answer; the load, which may show boxes, runs
    // once it has it.
    HWND window = MainWindow();
    PostMessageA(window, WMU_LOAD_WAITING_FILE, 0, 0);
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    return TRUE;
}

bool HandFileToRunningCopy(const char *commandLine)
{
    HWND other = FindWindowA(WindowClassName(), NULL);
    if (!other)
        return false;
    char *path = CommandLineFullPath(commandLine);
    if (!path)
        return false;
    bool taken = false;
    size_t size = strlen(path) + 1;
    if (size <= HANDED_PATH_ROOM) {
        DWORD otherProcess = 0;
        GetWindowThreadProcessId(other, &otherProcess);
        // This start may bring windows to the front; it lends that to the
        // running copy (Microsoft's SetForegroundWindow and
        // AllowSetForegroundWindow pages).
        AllowSetForegroundWindow(otherProcess);
        COPYDATASTRUCT data;
        data.dwData = HANDED_PATH_MARK;
        data.cbData = (DWORD)size;
        data.lpData = path;
        DWORD_PTR answer = FALSE;
        // A copy that hangs does not hold this start for ever.
        taken = SendMessageTimeoutA(other, WM_COPYDATA, 0, (LPARAM)&data, SMTO_ABORTIFHUNG, 5000, &answer) &&
                answer == TRUE;
        if (taken)
            SetForegroundWindow(other);
    }
    free(path);
    return taken;
}
