// Fonts and icons for the main window's DPI.
#include "app/scaling.h"

#include <windows.h>

#include "base/appwindows.h"
#include "base/displayscale.h"
#include "resources/resource.h"

// Owned by the user-interface thread: what was made for a DPI, in use by the
// windows until replaced, released at shutdown.
static HFONT madeFont;       // the command list's and the log's
static HICON madeIcons[2];   // the title bar's: ICON_SMALL (0), ICON_BIG (1)

// The icon of the resource at size pixels (both icons hold 16 to 48 pixels).
static void SetTitleIcon(int index, int resource, int size)
{
    HICON icon = (HICON)LoadImageA(AppInstance(), MAKEINTRESOURCEA(resource), IMAGE_ICON, size, size, 0);
    if (!icon)
        return;
    SendMessageA(MainWindow(), WM_SETICON, index == 0 ? ICON_SMALL : ICON_BIG, (LPARAM)icon);
    if (madeIcons[index])
        DestroyIcon(madeIcons[index]);
    madeIcons[index] = icon;
}

void FitFontsAndIcons()
{
    UINT dpi = AppDpi();
    if (!madeFont && !madeIcons[0] && dpi == SystemDpi())
        return;
    // The same face and size as the list's own font, described for this DPI.
    HFONT font = CreateIconTitleFont(dpi);
    if (font) {
        SendMessageA(CommandList(), WM_SETFONT, (WPARAM)font, TRUE);
        SendMessageA(MessageLog(), WM_SETFONT, (WPARAM)font, TRUE);
        if (madeFont)
            DeleteObject(madeFont);
        madeFont = font;
    }
    SetTitleIcon(0, IDI_SMALL, Scaled(16));
    SetTitleIcon(1, IDI_VELKOR, Scaled(32));
}

void ReleaseFontsAndIcons()
{
    if (madeFont)
        DeleteObject(madeFont);
    madeFont = NULL;
    for (HICON &icon : madeIcons) {
        if (icon)
            DestroyIcon(icon);
        icon = NULL;
    }
}
