// Start-up, message loop and shutdown of Velkor, and the handles of the
// program-wide windows (all owned by the user-interface thread).
#ifndef VELKOR_APP_SHELL_H
#define VELKOR_APP_SHELL_H

#include <windows.h>

// Runs the program: start-up, message loop, shutdown; returns the exit code.
int VelkorMain(HINSTANCE instance, int showCommand);
// Start-up up to the first log line; false when the program must end at once.
bool StartVelkor(HINSTANCE instance, int showCommand);
// Runs the message loop with accelerators until WM_QUIT; returns its wParam.
int RunMessageLoop();
// Shutdown after the loop: device closed, buffers released, settings stored.
void ShutdownVelkor();

// The module instance handle given to StartVelkor.
HINSTANCE AppInstance();
// The main window (null before start-up and after shutdown; in between, a
// destroyed window keeps its stale handle, so callers check IsWindow).
HWND MainWindow();
// The toolbar, control id 801.
HWND ToolbarWindow();
// The command list (list view, id 25).
HWND CommandList();
// The message log (list box, id 26).
HWND MessageLog();
// String table entry 103, "Velkor": the window name and base of the title.
const char *WindowName();
// String table entry 109, "VELKOR_WND": the window class name.
const char *WindowClassName();

#endif
