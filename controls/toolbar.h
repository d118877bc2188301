// The main window's toolbar (control id 801), made for the display scale
// (user-interface thread).
#ifndef VELKOR_CONTROLS_TOOLBAR_H
#define VELKOR_CONTROLS_TOOLBAR_H

#include <windows.h>

// Start-up: makes the toolbar of the main window with the images for its DPI
// and the buttons' first states; null when the common controls are missing.
HWND CreateMainToolbar();
// After a change of DPI: makes the toolbar again with the images for the new
// one, every button keeping its state (enabled, checked).
void RemakeMainToolbar();

#endif
