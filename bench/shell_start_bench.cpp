// Start-up time of velkor.exe to its first log line, against a minimal Win32
// window program started the same way in the same run.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support.h"

static const char MINIMAL_CLASS[] = "VELKOR_BENCH_MINIMAL";
static const char MINIMAL_SWITCH[] = "--minimal-window";
static const char MINIMAL_READY[] = "minimal, painted";
// Rounds unless the first argument gives another count (a loaded machine needs more).
static const int ROUNDS = 7;

static LRESULT CALLBACK MinimalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The comparison program: a class, a shown window, a message loop.
static int RunMinimalWindow()
{
    WNDCLASSEXA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MinimalProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = MINIMAL_CLASS;
    if (!RegisterClassExA(&wc))
        return 1;
    HWND window = CreateWindowExA(0, MINIMAL_CLASS, "minimal", WS_OVERLAPPEDWINDOW, 100, 100, 640, 480, NULL, NULL,
                                  wc.hInstance, NULL);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    // Painted and about to take messages, as velkor.exe is when its first line is there.
    SetWindowTextA(window, MINIMAL_READY);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

static double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

static LARGE_INTEGER Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
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
        PostCommand(app, 105);
        WaitForExit(app, DRIVER_TIMEOUT_MS, &code);
    }
    EndVelkorProcess(app);
    return shown ? Milliseconds(start, end) : -1;
}

// Time from process creation to the minimal program's visible window, and
// to its window painted (in *painted).
static double TimeMinimal(double *painted)
{
    *painted = -1;
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    std::string commandLine = std::string("\"") + self + "\" " + MINIMAL_SWITCH;
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
            return window && IsWindowVisible(window);
        },
        DRIVER_TIMEOUT_MS);
    LARGE_INTEGER end = Now();
    if (shown && PumpUntil([&] { return FindWindowA(MINIMAL_CLASS, MINIMAL_READY) != NULL; }, DRIVER_TIMEOUT_MS))
        *painted = Milliseconds(start, Now());
    if (window)
        PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info.hProcess, DRIVER_TIMEOUT_MS) != WAIT_OBJECT_0)
        TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return shown ? Milliseconds(start, end) : -1;
}

static double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

int main(int argc, char **argv)
{
    if (argc > 1 && lstrcmpA(argv[1], MINIMAL_SWITCH) == 0)
        return RunMinimalWindow();

    int rounds = argc > 1 ? atoi(argv[1]) : ROUNDS;
    if (rounds < 1)
        rounds = ROUNDS;
    // One start of each first, so that both find the same warm system.
    double painted;
    TimeMinimal(&painted);
    TimeVelkor();
    std::vector<double> velkor, minimal, minimalPainted;
    for (int i = 0; i < rounds; i++) {
        double m = TimeMinimal(&painted);
        double v = TimeVelkor();
        if (m > 0)
            minimal.push_back(m);
        if (painted > 0)
            minimalPainted.push_back(painted);
        if (v > 0)
            velkor.push_back(v);
    }
    if (velkor.empty() || minimal.empty() || minimalPainted.empty()) {
        printf("start-up: could not measure (velkor %u, minimal %u runs)\n", (unsigned)velkor.size(),
               (unsigned)minimal.size());
        return 0;
    }
    double v = Median(velkor), m = Median(minimal), p = Median(minimalPainted);
    printf("start-up to the first log line: velkor.exe %.0f ms, minimal window program %.0f ms to its visible "
           "window, %.0f ms to its window painted (medians of %d runs each)\n",
           v, m, p, rounds);
    printf("start-up ratio velkor / minimal: %.2f (against the minimal program painted: %.2f)\n", v / m, v / p);
    return 0;
}
