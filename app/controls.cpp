// Menu items and toolbar buttons that follow the program's state.
#include "app/controls.h"

#include <windows.h>
#include <commctrl.h>

#include "app/appwindows.h"
#include "commands/commandfilename.h"
#include "device/devicehandle.h"
#include "resources/resource.h"
#include "settings/settings.h"

// Menus by position.
static const int FILE_MENU = 0;
static const int EDIT_MENU = 1;
static const int DEVICE_MENU = 2;

static void EnableMenuCommand(int menuPosition, UINT id, bool enabled)
{
    HMENU menu = GetSubMenu(GetMenu(MainWindow()), menuPosition);
    if (menu)
        EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

static void SetButton(UINT id, bool enabled, bool checked)
{
    HWND toolbar = ToolbarWindow();
    PostMessageA(toolbar, TB_ENABLEBUTTON, id, MAKELPARAM(enabled ? TRUE : FALSE, 0));
    PostMessageA(toolbar, TB_CHECKBUTTON, id, MAKELPARAM(checked ? TRUE : FALSE, 0));
}

static void EnableButton(UINT id, bool enabled)
{
    PostMessageA(ToolbarWindow(), TB_ENABLEBUTTON, id, MAKELPARAM(enabled ? TRUE : FALSE, 0));
}

void RefreshDeviceControls()
{
    bool open = DeviceIsOpen();
    // An open device always has its connect string; the buttons follow either.
    bool chosen = Settings().connectString != NULL || open;
    EnableMenuCommand(DEVICE_MENU, IDM_OPEN_DEVICE, chosen && !open);
    EnableMenuCommand(DEVICE_MENU, IDM_CLOSE_DEVICE, open);
    EnableMenuCommand(DEVICE_MENU, IDM_READ_PROPERTIES, open);
    EnableMenuCommand(EDIT_MENU, IDM_SEND_COMMAND, open);
    SetButton(IDM_OPEN_DEVICE_BUTTON, chosen, open);
    SetButton(IDM_CLOSE_DEVICE_BUTTON, chosen, chosen && !open);
    EnableButton(IDM_SEND_COMMAND, open);
    EnableButton(IDM_READ_PROPERTIES, open);
}

void RefreshSaveControls()
{
    bool known = CommandFileName() != NULL;
    EnableMenuCommand(FILE_MENU, IDM_SAVE_COMMANDS, known);
    EnableButton(IDM_SAVE_COMMANDS_BUTTON, known);
}
