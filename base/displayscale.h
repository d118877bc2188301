// The display scale: the DPI the main window is drawn for and the pixel
// sizes made for it. Every pixel size the program uses is given for 96 DPI
// (100 %) and scaled from there (user-interface thread).
#ifndef VELKOR_BASE_DISPLAYSCALE_H
#define VELKOR_BASE_DISPLAYSCALE_H

#include <windows.h>

// The DPI of 100 %, for which every pixel size is given.
const UINT BASE_DPI = 96;

// The DPI a window is drawn for: GetDpiForWindow where Windows has it, else the system's.
UINT WindowDpi(HWND window);
// The DPI of the whole system (the screen's LOGPIXELSY), for which the controls make their fonts.
UINT SystemDpi();
// The DPI a window on that monitor takes (GetDpiForMonitor where Windows has it, else the system's).
UINT MonitorDpi(HMONITOR monitor);

// Start-up and WM_DPICHANGED: the DPI the main window is drawn for from now on.
void SetAppDpi(UINT dpi);
// The DPI the main window is drawn for (96 before start-up).
UINT AppDpi();
// A size or offset given for 96 DPI, at the main window's DPI (MulDiv rounds).
int Scaled(int pixelsAt96);

// A font of the system's icon titles (the list controls' own) made for dpi;
// null where Windows cannot describe it for another DPI than its own.
HFONT CreateIconTitleFont(UINT dpi);

#endif
