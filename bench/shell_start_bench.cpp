// Start-up time of velkor.exe to its first log line, against a minimal Win32
// window program started the same way in the same run, and against the same
// program carrying velkor's windows without any of velkor's own code.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/layout.h"
#include "base/systemlibrary.h"
#include "resources/resource.h"
#include "support.h"

static const char MINIMAL_CLASS[] = "VELKOR_BENCH_MINIMAL";
static const char MINIMAL_SWITCH[] = "--minimal-window";
static const char WINDOWS_SWITCH[] = "--velkor-windows";
static const char MINIMAL_READY[] = "minimal, painted";
// Rounds unless the first argument gives another count (a loaded machine needs more).
static const int ROUNDS = 7;

// The comparison program's children, when it carries velkor's windows.
static HWND commandList, messageLog;

// Velkor's layout of the two panes.
static void PlaceChildren(HWND window)
{
    RECT client;
    if (!messageLog || !GetClientRect(window, &client))
        return;
    PaneLayout layout = ComputePaneLayout(client.left, client.top, client.right, client.bottom);
    MoveWindow(commandList, layout.commandList.x, layout.commandList.y, layout.commandList.width,
               layout.commandList.height, TRUE);
    MoveWindow(messageLog, layout.messageLog.x, layout.messageLog.y, layout.messageLog.width,
               layout.messageLog.height, TRUE);
    SendMessageA(commandList, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE_USEHEADER);
}

static LRESULT CALLBACK MinimalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE)
        PlaceChildren(window);
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The common controls are loaded by the variant with velkor's windows alone:
// linked to them, the minimal program would load them too.
typedef BOOL(WINAPI *InitControlsFunction)(const INITCOMMONCONTROLSEX *);
typedef HWND(WINAPI *CreateToolbarFunction)(HWND, DWORD, UINT, int, HINSTANCE, UINT_PTR, const TBBUTTON *, int, int,
                                            int, int, int, UINT);

// Velkor's main window and its three children with their styles, size and
// place, its menu, the log's font and one line: what the platform costs.
static HWND CreateVelkorWindows(HINSTANCE instance, const char *className)
{
    int fullWidth = GetSystemMetrics(SM_CXMAXIMIZED), fullHeight = GetSystemMetrics(SM_CYMAXIMIZED);
    HWND window = CreateWindowExA(0, className, "minimal", WS_OVERLAPPEDWINDOW, 0, 0, fullWidth, fullHeight, NULL,
                                  LoadMenuA(instance, MAKEINTRESOURCEA(IDM_VELKOR)), instance, NULL);
    if (!window)
        return NULL;
    TBBUTTON buttons[13];
    ZeroMemory(buttons, sizeof buttons);
    for (int i = 0, image = 0; i < 13; i++) {
        bool separator = i % 3 == 1;
        buttons[i].iBitmap = separator ? 0 : image++;
        buttons[i].idCommand = separator ? 0 : 1000 + i;
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = separator ? BTNS_SEP : BTNS_AUTOSIZE;
    }
    CreateToolbarFunction createToolbar =
        (CreateToolbarFunction)(void (*)(void))SystemFunction("comctl32.dll", "CreateToolbarEx");
    if (!createToolbar)
        return NULL;
    createToolbar(window, WS_CHILD | WS_VISIBLE, IDC_TOOLBAR, 1, instance, IDB_TOOLBAR, buttons, 13, 16, 16,
                            16, 16, sizeof(TBBUTTON));
    commandList = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                                  WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                                      LVS_AUTOARRANGE,
                                  0, 0, 10, 10, window, (HMENU)(INT_PTR)IDC_COMMAND_LIST, instance, NULL);
    const char *titles[2] = {"Kommando", "Bemerkung"};
    for (int i = 0; i < 2; i++) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 100;
        column.pszText = (char *)titles[i];
        SendMessageA(commandList, LVM_INSERTCOLUMNA, i, (LPARAM)&column);
    }
    messageLog = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_DISABLENOSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0,
                                 10, 10, window, (HMENU)(INT_PTR)IDC_MESSAGE_LOG, instance, NULL);
    MoveWindow(window, fullWidth / 8, fullHeight / 8, (fullWidth / 8) * 6, (fullHeight / 8) * 6, FALSE);
    SendMessageA(messageLog, WM_SETFONT, SendMessageA(commandList, WM_GETFONT, 0, 0), TRUE);
    return window;
}

// The comparison program: a class, a shown window, a message loop; with
// velkor's windows the one line is added after the first paint.
static int RunMinimalWindow(bool withVelkorWindows)
{
    if (withVelkorWindows) {
        InitControlsFunction initControls =
            (InitControlsFunction)(void (*)(void))SystemFunction("comctl32.dll", "InitCommonControlsEx");
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        if (!initControls || !initControls(&icc))
            return 1;
    }
    WNDCLASSEXA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MinimalProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = MINIMAL_CLASS;
    if (!RegisterClassExA(&wc))
        return 1;
    HWND window = withVelkorWindows ? CreateVelkorWindows(wc.hInstance, MINIMAL_CLASS)
                                    : CreateWindowExA(0, MINIMAL_CLASS, "minimal", WS_OVERLAPPEDWINDOW, 100, 100, 640,
                                                      480, NULL, NULL, wc.hInstance, NULL);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    if (messageLog)
        SendMessageA(messageLog, LB_ADDSTRING, 0, (LPARAM) "gestartet");
    // Painted and about to take messages, as velkor.exe is when its first line is there.
    SetWindowTextA(window, MINIMAL_READY);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

// Time from process creation to velkor's first log line; negative on failure.
static double TimeVelkor()
{
    ClearVelkorRegistry();
    VelkorProcess app;
    LARGE_INTEGER start = Now();
    if (!StartVelkorProcess(app))
        return -1;
    bool shown = WaitForMainWindow(app);
    LARGE_INTEGER end = Now();
    if (shown) {
        DWORD code;
        PostCommand(app, IDM_EXIT);
        WaitForExit(app, DRIVER_TIMEOUT_MS, &code);
    }
    EndVelkorProcess(app);
    return shown ? 1000 * Seconds(start, end) : -1;
}

// Time from process creation to the minimal program's visible window (with
// velkor's windows: to its log's line, as for velkor.exe), and to its window
// painted (in *painted).
static double TimeMinimal(bool withVelkorWindows, double *painted)
{
    *painted = -1;
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    std::string commandLine =
        std::string("\"") + self + "\" " + (withVelkorWindows ? WINDOWS_SWITCH : MINIMAL_SWITCH);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    LARGE_INTEGER start = Now();
    if (!CreateProcessA(self, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        return -1;
    HWND window = NULL;
    bool shown = PumpUntil(
        [&] {
            window = FindWindowA(MINIMAL_CLASS, NULL);
            if (!window || !IsWindowVisible(window))
                return false;
            DWORD_PTR lines = 0;
            return !withVelkorWindows || (SendMessageTimeoutA(GetDlgItem(window, IDC_MESSAGE_LOG), LB_GETCOUNT, 0, 0,
                                                              SMTO_ABORTIFHUNG, DRIVER_TIMEOUT_MS, &lines) &&
                                          lines > 0);
        },
        DRIVER_TIMEOUT_MS);
    LARGE_INTEGER end = Now();
    if (shown && PumpUntil([&] { return FindWindowA(MINIMAL_CLASS, MINIMAL_READY) != NULL; }, DRIVER_TIMEOUT_MS))
        *painted = 1000 * Seconds(start, Now());
    if (window)
        PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info.hProcess, DRIVER_TIMEOUT_MS) != WAIT_OBJECT_0)
        TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return shown ? 1000 * Seconds(start, end) : -1;
}

static double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

int main(int argc, char **argv)
{
    if (argc > 1 && (lstrcmpA(argv[1], MINIMAL_SWITCH) == 0 || lstrcmpA(argv[1], WINDOWS_SWITCH) == 0))
        return RunMinimalWindow(lstrcmpA(argv[1], WINDOWS_SWITCH) == 0);

    int rounds = argc > 1 ? atoi(argv[1]) : ROUNDS;
    if (rounds < 1)
        rounds = ROUNDS;
    // Minimal program visible, with velkor's windows, velkor.exe, minimal program painted.
    std::vector<double> times[4];
    double painted, unused;
    // Round -1 is one untimed start of each, so that all three find the same
    // warm system; the order turns each round, so that none always follows the same one.
    for (int i = -1; i < rounds; i++) {
        for (int k = 0; k < 3; k++) {
            int which = (i + 1 + k) % 3;
            double t = which == 2 ? TimeVelkor() : TimeMinimal(which == 1, which == 1 ? &unused : &painted);
            if (i >= 0 && t > 0)
                times[which].push_back(t);
            if (i >= 0 && which == 0 && painted > 0)
                times[3].push_back(painted);
        }
    }
    if (times[0].empty() || times[1].empty() || times[2].empty() || times[3].empty()) {
        printf("start-up: could not measure (velkor %u, minimal %u, with velkor's windows %u runs)\n",
               (unsigned)times[2].size(), (unsigned)times[0].size(), (unsigned)times[1].size());
        return 0;
    }
    double m = Median(times[0]), w = Median(times[1]), v = Median(times[2]), p = Median(times[3]);
    printf("start-up to the first log line: velkor.exe %.0f ms, minimal window program %.0f ms to its visible "
           "window, %.0f ms to its window painted; with velkor's windows %.0f ms to its line (medians of %d runs "
           "each)\n",
           v, m, p, w, rounds);
    printf("start-up ratio velkor / minimal: %.2f (against the minimal program painted: %.2f; against it with "
           "velkor's windows: %.2f)\n",
           v / m, v / p, v / w);
    return 0;
}
