// The main window's place, size and state kept between runs in the settings
// key's value "windowplace" (user-interface thread).
#ifndef VELKOR_SETTINGS_WINDOWPLACE_H
#define VELKOR_SETTINGS_WINDOWPLACE_H

#include <windows.h>

// Start-up, window not yet shown: moves it to the kept place when that is
// readable and on a monitor, its size scaled from the DPI it was kept at to
// that monitor's; false when it did not. *maximized: it was kept so.
bool RestoreWindowPlace(HWND window, bool *maximized);
// True while RestoreWindowPlace moves the window: a WM_DPICHANGED meanwhile
// must not take its suggested rectangle.
bool WindowBeingPlaced();
// WM_DESTROY: notes the window's place and DPI (a minimized window counts as normal).
void NoteWindowPlace(HWND window);
// Shutdown, after the settings: writes the noted place; nothing when none was noted.
void StoreWindowPlace();

#endif
