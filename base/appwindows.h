// The program-wide windows, their names and the main window's private
// messages; set by start-up, read everywhere (user-interface thread).
#ifndef VELKOR_BASE_APPWINDOWS_H
#define VELKOR_BASE_APPWINDOWS_H

#include <windows.h>

// Private messages of the main window; their numbers are fixed.
#define WMU_READER_ENDED (WM_USER + 20)
#define WMU_BLOCK_RECEIVED (WM_USER + 21)
#define WMU_LOG_TEXT (WM_USER + 22)
// Posted to itself: load the command file that waits (dropped or handed over).
#define WMU_LOAD_WAITING_FILE (WM_USER + 23)

// The module instance handle given to start-up.
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
// The main window if it still exists, else null: the owner for a box.
HWND BoxOwner();

// Start-up: remembers the instance and loads both names from its string table.
void SetAppInstance(HINSTANCE instance);
// Start-up and shutdown: remembers the main window (null: all windows gone).
void SetMainWindow(HWND window);
// Start-up: remembers the three child windows.
void SetChildWindows(HWND toolbar, HWND commandList, HWND messageLog);

#endif
