// The main window's kept place.
#include "settings/windowplace.h"

#include "base/displayscale.h"
#include "settings/placecodec.h"
#include "settings/settings.h"

static const char PLACE_VALUE[] = "windowplace";

// Owned by the user-interface thread: the place noted when the window closed.
static WindowPlace notedPlace;
static bool placeNoted;
// True while start-up puts the window at its kept place.
static bool placing;

// The rectangle in screen coordinates. Window placements are in workspace
// coordinates, which start at the primary monitor's work area (Microsoft's
// WINDOWPLACEMENT page).
static RECT ScreenRect(const WindowPlace &place)
{
    RECT rect = {place.left, place.top, place.right, place.bottom};
    RECT work;
    if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        OffsetRect(&rect, work.left, work.top);
    return rect;
}

static bool ReadPlace(WindowPlace *place)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKeyPath(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    unsigned char data[WINDOW_PLACE_DPI_SIZE];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    LONG result = RegQueryValueExA(key, PLACE_VALUE, NULL, &type, data, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_BINARY && DecodeWindowPlace(data, size, place);
}

// Puts the window's normal rectangle at place, hidden; false when Windows refused.
static bool PlaceWindow(HWND window, const WindowPlace &place)
{
    WINDOWPLACEMENT placement;
    ZeroMemory(&placement, sizeof placement);
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement))
        return false;
    placement.flags = 0;
    placement.showCmd = SW_HIDE; // start-up shows it with its own show command
    placement.rcNormalPosition = {place.left, place.top, place.right, place.bottom};
    return SetWindowPlacement(window, &placement) != FALSE;
}

bool RestoreWindowPlace(HWND window, bool *maximized)
{
    *maximized = false;
    WindowPlace kept;
    if (!ReadPlace(&kept))
        return false;
    RECT screen = ScreenRect(kept);
    HMONITOR monitor = MonitorFromRect(&screen, MONITOR_DEFAULTTONULL);
    if (!monitor)
        return false; // the monitor it was on is gone
    // The corner stays; the size follows the DPI of the monitor it goes to.
    WindowPlace place = ScaleWindowPlace(kept, MonitorDpi(monitor));
    // Onto a monitor of another DPI the window gets WM_DPICHANGED, whose
    // rectangle would scale the size a second time: while placing, that
    // rectangle is not taken, and once the window is there it is placed again,
    // should Windows have changed its size on the way.
    UINT dpiBefore = WindowDpi(window);
    placing = true;
    bool placed = PlaceWindow(window, place);
    if (placed && WindowDpi(window) != dpiBefore)
        placed = PlaceWindow(window, place);
    placing = false;
    if (!placed)
        return false;
    *maximized = kept.maximized;
    return true;
}

bool WindowBeingPlaced() { return placing; }

void NoteWindowPlace(HWND window)
{
    WINDOWPLACEMENT placement;
    ZeroMemory(&placement, sizeof placement);
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement))
        return;
    const RECT &r = placement.rcNormalPosition;
    notedPlace = {(int32_t)r.left, (int32_t)r.top, (int32_t)r.right, (int32_t)r.bottom,
                  placement.showCmd == SW_SHOWMAXIMIZED, AppDpi()};
    placeNoted = true;
}

void StoreWindowPlace()
{
    if (!placeNoted)
        return;
    placeNoted = false;
    HKEY key;
    // The settings were stored just before, so the key exists unless they could not be.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKeyPath(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    unsigned char data[WINDOW_PLACE_DPI_SIZE];
    DWORD size = (DWORD)EncodeWindowPlace(notedPlace, data);
    RegSetValueExA(key, PLACE_VALUE, 0, REG_BINARY, data, size);
    RegCloseKey(key);
}
