// Command files: new, load and save.
#include "commands/commandfile.h"

#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "base/appwindows.h"
#include "base/atomicsave.h"
#include "base/boxes.h"
#include "controls/controls.h"
#include "base/filedialog.h"
#include "log/logformat.h"
#include "log/messagelog.h"
#include "commands/cmdcodec.h"
#include "base/commandfilename.h"
#include "commands/commandlist.h"
#include "settings/settings.h"

static const char FILE_FILTER[] = "VelkorDatei (*.cmd)\0*.cmd\0alle (*.*)\0*.*\0";
static const FileDialogKind SAVE_DIALOG = {FILE_FILTER, CAPTION_SAVE_DIALOG, ".cmd", CAPTION_SAVE_COMMANDS};
static const FileDialogKind OPEN_DIALOG = {FILE_FILTER, CAPTION_OPEN_DIALOG, ".cmd", CAPTION_OPEN_FAILED};

static const char OUT_OF_MEMORY[] = "Out of Memory !";
static const char READ_ERROR[] = "Datei Lesefehler!";

void NewCommandList()
{
    SendMessageA(CommandList(), LVM_DELETEALLITEMS, 0, 0);
    SetCommandFileName(NULL);
    RefreshSaveControls();
}

static void ShowFileBox(const char *text, const char *caption)
{
    ShowBox(text, caption, MB_OK);
}

static void LogFileEvent(const char *format, const char *path)
{
    char text[LOG_LINE_SIZE]; // the log cuts it to 257 characters
    snprintf(text, sizeof text, format, path);
    LogMessage(text, LOG_EVENT);
}

// Writes length characters and one zero byte with one call; false when the
// system refused or wrote less.
static bool WriteString(HANDLE file, const char *text, size_t length)
{
    char buffer[REMARK_COLUMN_ROOM];
    if (length >= sizeof buffer)
        length = sizeof buffer - 1;
    memcpy(buffer, text, length);
    buffer[length] = 0;
    DWORD written = 0;
    if (!WriteFile(file, buffer, (DWORD)length + 1, &written, NULL))
        return false;
    if (written != (DWORD)length + 1) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

// Every entry as its command string and its remark string; false after the
// first failed write (nothing more is written).
static bool WriteEntries(HANDLE file)
{
    HWND list = CommandList();
    OptionalByte prefix = Settings().sendPrefix;
    OptionalByte suffix = Settings().sendSuffix;
    int count = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int n = 0; n < count; n++) {
        char command[COMMAND_COLUMN_ROOM];
        char remark[REMARK_COLUMN_ROOM];
        GetEntryText(n, 0, command, sizeof command);
        const char *start;
        size_t length;
        StripCommandDecorations(command, prefix, suffix, &start, &length);
        if (!WriteString(file, start, length))
            return false;
        GetEntryText(n, 1, remark, sizeof remark);
        if (!WriteString(file, remark, strlen(remark)))
            return false;
    }
    return true;
}

void SaveCommandFile()
{
    char path[FILE_PATH_ROOM];
    snprintf(path, sizeof path, "%s", CommandFileName() ? CommandFileName() : "");
    AtomicSave save;
    if (!BeginChosenSave(SAVE_DIALOG, path, save))
        return;
    // A failed save changes nothing: the chosen file is as it was, and the
    // name remembered stays.
    bool written = WriteEntries(save.file);
    if (!EndChosenSave(save, written, written ? 0 : GetLastError(), SAVE_DIALOG))
        return;
    SetCommandFileName(path);
    LogFileEvent("Kommandodatei %s gespeichert", CommandFileName() ? CommandFileName() : path);
}

// How reading a file's entries into the list ended.
enum LoadOutcome { LOAD_COMPLETE, LOAD_BAD_COMMAND, LOAD_BAD_REMARK, LOAD_LIST_FULL };

// Appends the entries of a file's bytes to the (empty) list; *entry gets the
// index of the entry a format error was found in.
static LoadOutcome InsertFileEntries(const char *data, size_t size, int *entry)
{
    HWND list = CommandList();
    OptionalByte prefix = Settings().sendPrefix;
    OptionalByte suffix = Settings().sendSuffix;
    CmdReader reader;
    StartCmdReader(reader, data, size);
    for (;;) {
        CmdItem item = NextCmdItem(reader);
        char text[REMARK_COLUMN_ROOM];
        LVITEMA lv;
        ZeroMemory(&lv, sizeof lv);
        lv.iItem = item.entry;
        *entry = item.entry;
        switch (item.kind) {
        case CMD_ITEM_END:
            return LOAD_COMPLETE;
        case CMD_ITEM_BAD_COMMAND:
            return LOAD_BAD_COMMAND;
        case CMD_ITEM_BAD_REMARK:
            return LOAD_BAD_REMARK;
        case CMD_ITEM_COMMAND:
            if (SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&lv) != item.entry)
                return LOAD_LIST_FULL;
            FormatLoadedCommand(item.text, item.length, prefix, suffix, text, COMMAND_COLUMN_ROOM);
            break;
        case CMD_ITEM_REMARK:
            memcpy(text, item.text, item.length); // at most 255 characters
            text[item.length] = 0;
            lv.iSubItem = 1;
            break;
        }
        lv.mask = LVIF_TEXT;
        lv.pszText = text;
        SendMessageA(list, LVM_SETITEMA, 0, (LPARAM)&lv);
    }
}

// Replaces the list with the file's entries, without redrawing it per entry;
// true when the whole file was taken, else the fault has been reported.
static bool ReplaceListWithFile(const char *data, size_t size)
{
    HWND list = CommandList();
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    int entry = 0;
    LoadOutcome outcome = InsertFileEntries(data, size, &entry);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, NULL, TRUE);
    // The entries read before a fault are shown behind its box.
    switch (outcome) {
    case LOAD_COMPLETE:
        return true;
    case LOAD_BAD_COMMAND:
        ShowNumberBox("Fehler in Kommandodatei Zeile %d, Kommando", (DWORD)entry, CAPTION_FILE_FORMAT);
        return false;
    case LOAD_BAD_REMARK:
        ShowNumberBox("Fehler in Kommandodatei Zeile %d, Text", (DWORD)entry, CAPTION_FILE_FORMAT);
        return false;
    case LOAD_LIST_FULL:
        // Keeping the name of a file only partly shown would let a save
        // overwrite it with less.
        ShowFileBox(OUT_OF_MEMORY, CAPTION_READ_FAILED);
        return false;
    }
    return false;
}

void LoadCommandFile()
{
    char path[FILE_PATH_ROOM];
    path[0] = 0;
    OPENFILENAMEA ofn;
    PrepareFileDialog(ofn, OPEN_DIALOG, path);
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!ChooseFileToOpen(ofn))
        return;
    LoadCommandFileFrom(path);
}

void LoadCommandFileFrom(const char *path)
{
    SetLastError(0);
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ShowNumberBox("Fehler beim öffnen der Datei:\r\n%d", GetLastError(), CAPTION_OPEN_FAILED);
        return;
    }
    DWORD high = 0;
    SetLastError(NO_ERROR); // tells a size of 0xFFFFFFFF from a failure
    DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        ShowFileBox(READ_ERROR, CAPTION_READ_FAILED);
        CloseHandle(file);
        return;
    }
    if (size == 0 && high == 0) {
        ShowFileBox("Lesefehler !", CAPTION_READ_FAILED);
        CloseHandle(file);
        return;
    }
    // A file of 4 GiB or more cannot be held, and size + 1 must not wrap.
    char *data = NULL;
    if (high == 0 && size < MAXDWORD)
        data = (char *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (SIZE_T)size + 1);
    if (!data) {
        ShowFileBox(OUT_OF_MEMORY, CAPTION_READ_FAILED);
        CloseHandle(file);
        return;
    }
    DWORD got = 0;
    if (!ReadFile(file, data, size, &got, NULL)) {
        ShowFileBox(READ_ERROR, CAPTION_READ_FAILED);
        HeapFree(GetProcessHeap(), 0, data);
        CloseHandle(file);
        return;
    }

    SetCommandFileName(path);
    bool complete = ReplaceListWithFile(data, got);
    if (!complete)
        SetCommandFileName(NULL);
    CloseHandle(file);
    HeapFree(GetProcessHeap(), 0, data);
    // A faulty file is not logged: its box said so, and no name is left to show.
    if (complete)
        LogFileEvent("Kommandodatei %s geladen", CommandFileName() ? CommandFileName() : path);
    RefreshSaveControls();
}
