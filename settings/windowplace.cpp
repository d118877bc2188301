// The main window's kept place.
#include "settings/windowplace.h"

#include "settings/placecodec.h"
#include "settings/settings.h"

static const char PLACE_VALUE[] = "windowplace";

// Owned by the user-interface thread: the place noted when the window closed.
static WindowPlace notedPlace;
static bool placeNoted;

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
    unsigned char data[WINDOW_PLACE_SIZE];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    LONG result = RegQueryValueExA(key, PLACE_VALUE, NULL, &type, data, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_BINARY && DecodeWindowPlace(data, size, place);
}

bool RestoreWindowPlace(HWND window, bool *maximized)
{
    *maximized = false;
    WindowPlace place;
    if (!ReadPlace(&place))
        return false;
    RECT screen = ScreenRect(place);
    if (!MonitorFromRect(&screen, MONITOR_DEFAULTTONULL))
        return false; // the monitor it was on is gone
    WINDOWPLACEMENT placement;
    ZeroMemory(&placement, sizeof placement);
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement))
        return false;
    placement.flags = 0;
    placement.showCmd = SW_HIDE; // start-up shows it with its own show command
    placement.rcNormalPosition = {place.left, place.top, place.right, place.bottom};
    if (!SetWindowPlacement(window, &placement))
        return false;
    *maximized = place.maximized;
    return true;
}

void NoteWindowPlace(HWND window)
{
    WINDOWPLACEMENT placement;
    ZeroMemory(&placement, sizeof placement);
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement))
        return;
    const RECT &r = placement.rcNormalPosition;
    notedPlace = {(int32_t)r.left, (int32_t)r.top, (int32_t)r.right, (int32_t)r.bottom,
                  placement.showCmd == SW_SHOWMAXIMIZED};
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
    unsigned char data[WINDOW_PLACE_SIZE];
    EncodeWindowPlace(notedPlace, data);
    RegSetValueExA(key, PLACE_VALUE, 0, REG_BINARY, data, sizeof data);
    RegCloseKey(key);
}
