// The display scale. The functions of Windows 8.1 and 10 are looked up, not
// imported, so that the program still starts on Windows 7; without them the
// program is drawn for the system's DPI, which is then every window's.
#include "base/displayscale.h"

#include "base/systemlibrary.h"

typedef UINT(WINAPI *DpiForWindowFunction)(HWND);
typedef HRESULT(WINAPI *DpiForMonitorFunction)(HMONITOR, int, UINT *, UINT *);
typedef BOOL(WINAPI *ParametersForDpiFunction)(UINT, UINT, void *, UINT, UINT);

// GetDpiForMonitor's MDT_EFFECTIVE_DPI: the DPI windows on the monitor are drawn for.
static const int EFFECTIVE_DPI = 0;

// Owned by the user-interface thread.
static UINT appDpi = BASE_DPI;

UINT SystemDpi()
{
    HDC screen = GetDC(NULL);
    if (!screen)
        return BASE_DPI;
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    return dpi > 0 ? (UINT)dpi : BASE_DPI;
}

UINT WindowDpi(HWND window)
{
    // Windows 10 1607 and later.
    DpiForWindowFunction forWindow =
        (DpiForWindowFunction)(void (*)(void))SystemFunction("user32.dll", "GetDpiForWindow");
    UINT dpi = forWindow ? forWindow(window) : 0;
    return dpi ? dpi : SystemDpi();
}

UINT MonitorDpi(HMONITOR monitor)
{
    // Windows 8.1 and later; a system-aware program is told the system's DPI
    // there too (GetDpiForMonitor's documentation).
    DpiForMonitorFunction forMonitor =
        (DpiForMonitorFunction)(void (*)(void))SystemFunction("shcore.dll", "GetDpiForMonitor");
    UINT x = 0, y = 0;
    if (forMonitor && forMonitor(monitor, EFFECTIVE_DPI, &x, &y) == S_OK && y)
        return y;
    return SystemDpi();
}

void SetAppDpi(UINT dpi)
{
    appDpi = dpi ? dpi : BASE_DPI;
}

UINT AppDpi() { return appDpi; }

int Scaled(int pixelsAt96)
{
    return MulDiv(pixelsAt96, (int)appDpi, (int)BASE_DPI);
}

HFONT CreateIconTitleFont(UINT dpi)
{
    // Windows 10 1607 and later; the font is described in UTF-16 only.
    ParametersForDpiFunction forDpi =
        (ParametersForDpiFunction)(void (*)(void))SystemFunction("user32.dll", "SystemParametersInfoForDpi");
    LOGFONTW font;
    if (!forDpi || !forDpi(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0, dpi))
        return NULL;
    return CreateFontIndirectW(&font);
}
