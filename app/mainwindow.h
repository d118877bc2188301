// The main window procedure: command routing and layout.
#ifndef VELKOR_APP_MAINWINDOW_H
#define VELKOR_APP_MAINWINDOW_H

#include <windows.h>

// Window procedure of class "VELKOR_WND".
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Sends the selected entry as a double-click does: only while the toolbar's send button is enabled.
void SendSelectedWhenSendable();

#endif
