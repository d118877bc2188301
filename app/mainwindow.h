// The main window procedure: command routing, layout, control states.
#ifndef VELKOR_APP_MAINWINDOW_H
#define VELKOR_APP_MAINWINDOW_H

#include <windows.h>

// Private messages; their numbers are fixed.
#define WMU_READER_ENDED (WM_USER + 20)
#define WMU_BLOCK_RECEIVED (WM_USER + 21)
#define WMU_LOG_TEXT (WM_USER + 22)

// Window procedure of class "VELKOR_WND".
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Places the command list and the message log in the client area.
void LayoutChildren();
// Menu items and toolbar buttons follow connect string and device state.
void RefreshDeviceControls();
// The save command is offered exactly while a command file name is known.
void RefreshSaveControls();
// "Device waehlen": close an open device on request, run the properties dialog.
void ChooseDevice();

#endif
