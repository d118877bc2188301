#include "support.h"

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>

#include "base/appwindows.h"
#include "log/logformat.h"
#include "resources/resource.h"

// A sent message that takes longer than this means the program hangs.
static const UINT SEND_TIMEOUT_MS = 10000;

// Sent wide: LB_GETTEXT and CB_GETLBTEXT cross processes only as UTF-16, and the other messages sent carry no text.
static LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    BOOL sent = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result);
    return sent ? (LRESULT)result : -1;
}

// Entry i of a list box (or combo box) of any process.
static std::string EntryText(HWND box, LRESULT i, bool combo)
{
    LRESULT length = Send(box, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, (WPARAM)i, 0);
    std::vector<wchar_t> wide(length > 0 ? (size_t)length + 16 : 16, L'\0');
    LRESULT got = length > 0 ? Send(box, combo ? CB_GETLBTEXT : LB_GETTEXT, (WPARAM)i, (LPARAM)&wide[0]) : 0;
    std::string entry;
    if (got > 0 && got <= length) {
        int bytes = WideCharToMultiByte(1252, 0, &wide[0], (int)got, NULL, 0, NULL, NULL);
        entry.assign((size_t)bytes, '\0');
        WideCharToMultiByte(1252, 0, &wide[0], (int)got, &entry[0], bytes, NULL, NULL);
    }
    return entry;
}

std::vector<std::string> ListBoxEntries(HWND box, bool combo)
{
    std::vector<std::string> entries;
    LRESULT count = box ? Send(box, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; i++)
        entries.push_back(EntryText(box, i, combo));
    return entries;
}

std::vector<std::string> LogLines(const VelkorProcess &app)
{
    return ListBoxEntries(GetDlgItem(app.window, IDC_MESSAGE_LOG));
}

std::string NewestLogText(const VelkorProcess &app)
{
    HWND log = GetDlgItem(app.window, IDC_MESSAGE_LOG);
    LRESULT count = log ? Send(log, LB_GETCOUNT, 0, 0) : 0;
    return count > 0 ? LogText(EntryText(log, count - 1, false)) : std::string();
}

std::string LogText(const std::string &line) { return line.size() > 16 ? line.substr(16) : std::string(); }

long LineTime(const std::string &line)
{
    static const char HEAD[] = "M 99:99:99,999  "; // 9: a digit
    for (size_t i = 1; i < 16; i++)
        if (line.size() < 16 || (HEAD[i] == '9' ? line[i] < '0' || line[i] > '9' : line[i] != HEAD[i]))
            return -1;
    int h = atoi(&line[2]), m = atoi(&line[5]), s = atoi(&line[8]), ms = atoi(&line[11]);
    return h > 23 || m > 59 || s > 59 ? -1 : ((h * 60L + m) * 60L + s) * 1000L + ms;
}

int FindLogLine(const std::vector<std::string> &lines, const std::string &text, size_t from)
{
    for (size_t i = from; i < lines.size(); i++)
        if (lines[i].size() >= 16 && lines[i].compare(16, text.size(), text) == 0)
            return (int)i;
    return -1;
}

static bool StillRunning(const VelkorProcess &app)
{
    return app.process && WaitForSingleObject(app.process, 0) == WAIT_TIMEOUT;
}

static const char VELKOR_EXE[] = VELKOR_BUILD_DIR_WIN "\\velkor.exe";
static const char ECHO_EXE[] = VELKOR_BUILD_DIR_WIN "\\velkor-echo.exe";

// Starts a program in workingDir (empty: the build folder), its output to output unless null; a console one gets no
// console window.
static bool StartProgram(VelkorProcess &app, const std::string &exe, const std::string &arguments,
                         const std::string &workingDir, HANDLE output = NULL)
{
    std::string commandLine = "\"" + exe + "\"" + arguments;
    std::string folder = workingDir.empty() ? std::string(VELKOR_BUILD_DIR_WIN) : workingDir;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = output ? STARTF_USESTDHANDLES : 0;
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION info;
    if (!CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, output != NULL, CREATE_NO_WINDOW, NULL,
                        folder.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    app = {info.hProcess, info.dwProcessId, NULL};
    return true;
}

bool StartVelkorCopy(VelkorProcess &app, const std::string &folder)
{
    std::string copy = folder + "\\velkor.exe";
    return CopyFileA(VELKOR_EXE, copy.c_str(), FALSE) && StartProgram(app, copy, "", folder);
}

bool StartVelkorProcess(VelkorProcess &app, const std::string &workingDir, const std::string &arguments)
{
    return StartProgram(app, VELKOR_EXE, arguments, workingDir);
}

bool StartEchoDevice(VelkorProcess &device, const std::string &name, DWORD statusMs)
{
    std::string path = "\\\\.\\pipe\\" + name;
    std::string arguments = " /pipe " + name + " /status " + std::to_string(statusMs) + " /quiet";
    bool serves = StartProgram(device, ECHO_EXE, arguments, "") &&
                  PumpUntil([&] { return WaitNamedPipeA(path.c_str(), 0) || GetLastError() == ERROR_SEM_TIMEOUT; },
                            10000);
    if (!serves) {
        printf("velkor-echo.exe does not serve %s, error %lu\n", path.c_str(), GetLastError());
        EndVelkorProcess(device);
    }
    return serves;
}

DWORD RunEchoDevice(const std::string &arguments, std::string *output, DWORD timeoutMs)
{
    std::string file = TestFolder("echo-output") + "\\output.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE out = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (out == INVALID_HANDLE_VALUE)
        return STILL_ACTIVE;
    VelkorProcess echo;
    DWORD code = STILL_ACTIVE;
    if (!StartProgram(echo, ECHO_EXE, " " + arguments, "", out) || !WaitForExit(echo, timeoutMs, &code))
        code = STILL_ACTIVE;
    EndVelkorProcess(echo);
    CloseHandle(out);
    *output = ReadWholeFile(file);
    return code;
}

std::vector<HWND> TopWindows(const char *windowClass, DWORD processId, DWORD threadId)
{
    std::vector<HWND> found;
    for (HWND window = NULL; (window = FindWindowExA(NULL, window, windowClass, NULL)) != NULL;) {
        DWORD pid = 0, tid = GetWindowThreadProcessId(window, &pid);
        if ((!processId || pid == processId) && (!threadId || tid == threadId))
            found.push_back(window);
    }
    return found;
}

bool WaitForMainWindow(VelkorProcess &app, DWORD timeoutMs)
{
    return PumpUntil(
               [&] {
                   if (!StillRunning(app))
                       return true; // ended before showing its window: no point waiting
                   std::vector<HWND> windows = TopWindows("VELKOR_WND", app.processId);
                   HWND log = windows.empty() ? NULL : GetDlgItem(windows[0], IDC_MESSAGE_LOG);
                   if (!log || !IsWindowVisible(windows[0]) || Send(log, LB_GETCOUNT, 0, 0) < 1)
                       return false;
                   app.window = windows[0];
                   return true;
               },
               timeoutMs) &&
           app.window != NULL;
}

// True when a line at or after from has exactly text after its head.
static bool LogHasText(const VelkorProcess &app, const std::string &text, size_t from = 0)
{
    std::vector<std::string> lines = LogLines(app);
    for (size_t i = from; i < lines.size(); i++)
        if (lines[i].size() >= 16 && LogText(lines[i]) == text)
            return true;
    return false;
}

bool WaitForLogLine(const std::string &text, DWORD timeoutMs, const VelkorProcess &app)
{
    return PumpUntil([&] { return LogHasText(app, text); }, timeoutMs);
}

bool PostLogText(const VelkorProcess &app, const std::string &text)
{
    // The program reads the text in its own address space, so put it there.
    void *remote = VirtualAllocEx(app.process, NULL, text.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return false;
    size_t before = LogLines(app).size();
    std::string line = text.substr(0, LOG_TEXT_LIMIT);
    bool ok = WriteProcessMemory(app.process, remote, text.c_str(), text.size() + 1, NULL) &&
              PostMessageA(app.window, WMU_LOG_TEXT, (WPARAM)remote, 0) &&
              PumpUntil([&] { return LogHasText(app, line, before); }, DRIVER_TIMEOUT_MS);
    VirtualFreeEx(app.process, remote, 0, MEM_RELEASE);
    return ok;
}

int ListItemCount(const VelkorProcess &app)
{
    HWND list = GetDlgItem(app.window, IDC_COMMAND_LIST);
    return list ? (int)Send(list, LVM_GETITEMCOUNT, 0, 0) : -1;
}

std::string ListText(int item, int subItem, const VelkorProcess &app)
{
    // A list view does not carry its item structure across processes: place
    // it, with the text buffer behind it, in the program's memory.
    struct ItemText {
        LVITEMA lv;
        char text[1024];
    } local = {}, *remote = NULL;
    HWND list = GetDlgItem(app.window, IDC_COMMAND_LIST);
    if (!list || !(remote = (ItemText *)VirtualAllocEx(app.process, NULL, sizeof local, MEM_COMMIT | MEM_RESERVE,
                                                      PAGE_READWRITE)))
        return std::string();
    local.lv.iSubItem = subItem;
    local.lv.pszText = remote->text;
    local.lv.cchTextMax = sizeof local.text;
    LRESULT length = WriteProcessMemory(app.process, remote, &local, sizeof local, NULL)
                         ? Send(list, LVM_GETITEMTEXTA, (WPARAM)item, (LPARAM)remote)
                         : 0;
    bool read = length > 0 && (size_t)length < sizeof local.text &&
                ReadProcessMemory(app.process, remote->text, local.text, (size_t)length, NULL);
    VirtualFreeEx(app.process, remote, 0, MEM_RELEASE);
    return read ? std::string(local.text, (size_t)length) : std::string();
}

std::vector<std::string> ListEntries(const VelkorProcess &app)
{
    std::vector<std::string> entries;
    for (int n = 0, count = ListItemCount(app); n < count; n++)
        entries.push_back(ListText(n, 0, app) + "|" + ListText(n, 1, app));
    return entries;
}

void PostCommand(const VelkorProcess &app, int id) { PostMessageA(app.window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

int ButtonState(int id, const VelkorProcess &app)
{
    PumpPending(); // an in-process program posts its toolbar changes
    HWND toolbar = GetDlgItem(app.window, IDC_TOOLBAR);
    return toolbar ? (int)Send(toolbar, TB_GETSTATE, (WPARAM)id, 0) : -1;
}

bool WaitForExit(const VelkorProcess &app, DWORD timeoutMs, DWORD *exitCode)
{
    return app.process && PumpUntil([&] { return !StillRunning(app); }, timeoutMs) &&
           GetExitCodeProcess(app.process, exitCode);
}

bool EndVelkorProcess(VelkorProcess &app)
{
    bool ended = !StillRunning(app) ||
                 (TerminateProcess(app.process, 99) && WaitForSingleObject(app.process, 10000) == WAIT_OBJECT_0);
    if (app.process)
        CloseHandle(app.process);
    app = VelkorProcess();
    return ended;
}
