// velkor-demo: drives a running Velkor through its user interface from the
// outside, as a user would, for the scripted demonstration (tools/demo.sh).
//
//   velkor-demo run <log file>   puts two commands into the list, opens the
//                                device, sends both, waits for the answers,
//                                saves the log to <log file>, closes the
//                                device and prints the saved log
//   velkor-demo quit             ends Velkor ("Beenden")
//
// Velkor must already run with its connect string set (the demo device).
// Every step waits for its visible result; a step that does not come to pass
// ends the driver with exit code 1 and says which.
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

static const int COMMAND_LIST_ID = 25;
static const int MESSAGE_LOG_ID = 26;
static const int OPEN_DEVICE = 1043;
static const int CLOSE_DEVICE = 1044;
static const int SEND_COMMAND = 32806;
static const int SAVE_LOG = 32810;
static const int EXIT_PROGRAM = 105;
static const int FILE_NAME_CONTROL = 0x47C;

static const DWORD STEP_TIMEOUT_MS = 20000;

static HWND mainWindow, commandList, messageLog;
static DWORD velkorProcessId;
static HANDLE velkorProcess;

static bool Fail(const char *step)
{
    fprintf(stderr, "velkor-demo: %s did not happen\n", step);
    return false;
}

template <typename Condition> static bool WaitFor(Condition condition, DWORD timeoutMs = STEP_TIMEOUT_MS)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

// The log's lines; list box texts cross process boundaries as UTF-16.
static std::vector<std::string> LogLines()
{
    std::vector<std::string> lines;
    LRESULT count = SendMessageW(messageLog, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendMessageW(messageLog, LB_GETTEXTLEN, (WPARAM)i, 0);
        if (length < 0 || length > 4000)
            continue;
        std::vector<wchar_t> wide((size_t)length + 16);
        SendMessageW(messageLog, LB_GETTEXT, (WPARAM)i, (LPARAM)wide.data());
        char text[8192];
        if (WideCharToMultiByte(1252, 0, wide.data(), -1, text, sizeof text, NULL, NULL) > 0)
            lines.push_back(text);
    }
    return lines;
}

// True when a log line's text (after its 16-character head) starts with text.
static bool LogHas(const std::string &text)
{
    for (const std::string &line : LogLines())
        if (line.size() >= 16 && line.compare(16, text.size(), text) == 0)
            return true;
    return false;
}

static size_t LogCount()
{
    return (size_t)SendMessageW(messageLog, LB_GETCOUNT, 0, 0);
}

static void Command(int id)
{
    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

// A list view message whose structure and text must live in Velkor's memory.
struct Remote {
    char *base;
};

static bool RemoteAlloc(Remote &remote)
{
    remote.base = (char *)VirtualAllocEx(velkorProcess, NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return remote.base != NULL;
}

static void RemoteFree(Remote &remote)
{
    if (remote.base)
        VirtualFreeEx(velkorProcess, remote.base, 0, MEM_RELEASE);
}

static bool SetEntryText(Remote &remote, int item, int subItem, const char *text, bool insert)
{
    LVITEMA lv;
    ZeroMemory(&lv, sizeof lv);
    lv.mask = LVIF_TEXT;
    lv.iItem = item;
    lv.iSubItem = subItem;
    lv.pszText = remote.base + 1024;
    SIZE_T written;
    if (!WriteProcessMemory(velkorProcess, remote.base, &lv, sizeof lv, &written) ||
        !WriteProcessMemory(velkorProcess, remote.base + 1024, text, strlen(text) + 1, &written))
        return false;
    UINT message = insert ? LVM_INSERTITEMA : LVM_SETITEMTEXTA;
    LRESULT result = SendMessageA(commandList, message, insert ? 0 : (WPARAM)item, (LPARAM)remote.base);
    return insert ? result == item : result != 0;
}

static bool AddEntry(Remote &remote, int item, const char *command, const char *remark)
{
    return SetEntryText(remote, item, 0, command, true) && SetEntryText(remote, item, 1, remark, false);
}

static bool SelectEntry(Remote &remote, int item)
{
    LVITEMA lv;
    ZeroMemory(&lv, sizeof lv);
    lv.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    lv.state = LVIS_SELECTED | LVIS_FOCUSED;
    SIZE_T written;
    if (!WriteProcessMemory(velkorProcess, remote.base, &lv, sizeof lv, &written))
        return false;
    SendMessageA(commandList, LVM_SETITEMSTATE, (WPARAM)item, (LPARAM)remote.base);
    SendMessageA(commandList, LVM_SETSELECTIONMARK, 0, (LPARAM)item);
    return SendMessageA(commandList, LVM_GETSELECTIONMARK, 0, 0) == item;
}

struct BoxSearch {
    const char *caption;
    HWND found;
};

static BOOL CALLBACK FindBox(HWND window, LPARAM lParam)
{
    BoxSearch *search = (BoxSearch *)lParam;
    DWORD pid = 0;
    char className[32], caption[256];
    GetWindowThreadProcessId(window, &pid);
    if (pid != velkorProcessId || !IsWindowVisible(window) || !GetClassNameA(window, className, sizeof className) ||
        strcmp(className, "#32770") != 0)
        return TRUE;
    caption[0] = 0;
    GetWindowTextA(window, caption, sizeof caption);
    if (strcmp(caption, search->caption) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

static HWND WaitForBox(const char *caption, const char *text)
{
    BoxSearch search = {caption, NULL};
    WaitFor([&] {
        search.found = NULL;
        EnumWindows(FindBox, (LPARAM)&search);
        if (!search.found || !text)
            return search.found != NULL;
        char shown[256] = "";
        GetDlgItemTextA(search.found, 0xFFFF, shown, sizeof shown);
        return strcmp(shown, text) == 0;
    });
    return search.found;
}

static BOOL CALLBACK FindEdit(HWND window, LPARAM lParam)
{
    char className[32];
    if (GetClassNameA(window, className, sizeof className) && lstrcmpiA(className, "Edit") == 0) {
        *(HWND *)lParam = window;
        return FALSE;
    }
    return TRUE;
}

// The save dialog: the file name goes into the edit inside control 0x47C.
static bool ChooseFile(HWND dialog, const char *path)
{
    HWND control = GetDlgItem(dialog, FILE_NAME_CONTROL);
    HWND edit = NULL;
    if (control)
        EnumChildWindows(control, FindEdit, (LPARAM)&edit);
    if (!edit)
        edit = control;
    if (!edit)
        return false;
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)path);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
    return true;
}

static bool FindVelkor()
{
    if (!WaitFor([] {
            mainWindow = FindWindowA("VELKOR_WND", NULL);
            return mainWindow && IsWindowVisible(mainWindow);
        }, 30000))
        return Fail("Velkor's window appearing");
    commandList = GetDlgItem(mainWindow, COMMAND_LIST_ID);
    messageLog = GetDlgItem(mainWindow, MESSAGE_LOG_ID);
    GetWindowThreadProcessId(mainWindow, &velkorProcessId);
    velkorProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | SYNCHRONIZE |
                                    PROCESS_QUERY_INFORMATION,
                                FALSE, velkorProcessId);
    if (!commandList || !messageLog || !velkorProcess)
        return Fail("finding Velkor's command list and log");
    return WaitFor([] { return LogCount() >= 1; }) || Fail("Velkor's start line");
}

static bool Send(Remote &remote, int item, const char *command, const char *answer)
{
    size_t before = LogCount();
    if (!SelectEntry(remote, item))
        return Fail("selecting a command");
    Command(SEND_COMMAND);
    std::string sent = std::string("successful: ");
    if (!WaitFor([&] { return LogCount() > before && LogHas(sent); }))
        return Fail(command);
    return WaitFor([&] { return LogHas(answer); }) || Fail("the demo device's answer");
}

static bool LogContains(const char *text)
{
    for (const std::string &line : LogLines())
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

static bool PrintFile(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return Fail("reading the saved log");
    printf("--- %s ---\n", path);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        fwrite(chunk, 1, got, stdout);
    printf("--- end ---\n");
    CloseHandle(file);
    return true;
}

static bool SaveLogAs(const char *path)
{
    DeleteFileA(path);
    Command(SAVE_LOG);
    HWND dialog = WaitForBox("VELKOR Nachrichten speichern", NULL);
    if (!dialog || !ChooseFile(dialog, path))
        return Fail("choosing the log file");
    HWND question = WaitForBox("VELKOR Nachrichten speichern", "Nachrichtenfenster loeschen?");
    if (!question)
        return Fail("the question whether to empty the log");
    // No: the log stays in the window for the picture.
    PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), (LPARAM)GetDlgItem(question, IDNO));
    return WaitFor([] { return LogHas("Nachrichtendatei "); }) || Fail("saving the log");
}

static bool Demonstrate(Remote &remote, const char *logPath)
{
    if (!AddEntry(remote, 0, " 0x48 0x41 0x4C", "Hallo") || !AddEntry(remote, 1, " 0x3F 0x0D", "Frage"))
        return Fail("putting the commands into the list");
    Command(OPEN_DEVICE);
    if (!WaitFor([] { return LogContains(" geoeffnet"); }))
        return Fail("opening the device");
    // The demo device echoes each command. With block length 3 the first
    // answer is one full block; the second, two bytes, follows one read
    // time-out later.
    if (!Send(remote, 0, "sending the first command", "0x48 0x41 0x4C ") ||
        !Send(remote, 1, "sending the second command", "0x3F 0x0D "))
        return false;
    if (!SaveLogAs(logPath))
        return false;
    Command(CLOSE_DEVICE);
    if (!WaitFor([] { return LogHas("Empfangsroutine wurde beendet"); }))
        return Fail("closing the device");
    return PrintFile(logPath);
}

static int Run(const char *logPath)
{
    if (!FindVelkor())
        return 1;
    Remote remote = {NULL};
    if (!RemoteAlloc(remote)) {
        Fail("reserving memory in Velkor");
        return 1;
    }
    bool done = Demonstrate(remote, logPath);
    RemoteFree(remote);
    return done ? 0 : 1;
}

static int Quit()
{
    mainWindow = FindWindowA("VELKOR_WND", NULL);
    if (!mainWindow)
        return 0;
    GetWindowThreadProcessId(mainWindow, &velkorProcessId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, velkorProcessId);
    Command(EXIT_PROGRAM);
    DWORD wait = process ? WaitForSingleObject(process, 15000) : WAIT_FAILED;
    if (process)
        CloseHandle(process);
    return wait == WAIT_OBJECT_0 ? 0 : (Fail("Velkor ending"), 1);
}

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    if (argc == 3 && strcmp(argv[1], "run") == 0)
        return Run(argv[2]);
    if (argc == 2 && strcmp(argv[1], "quit") == 0)
        return Quit();
    fprintf(stderr, "usage: velkor-demo run <log file> | velkor-demo quit\n");
    return 2;
}
