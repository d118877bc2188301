// Menu items and toolbar buttons that follow the program's state.
#include "controls/controls.h"

#include "base/appwindows.h"
#include "base/commandfilename.h"
#include "base/devicehandle.h"
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

namespace {

// A toolbar button's state as it will be once the changes posted so far are taken.
struct KnownButton {
    UINT id;
    BYTE state; // TBSTATE_ENABLED and TBSTATE_CHECKED
};

} // namespace

// Owned by the user-interface thread: the buttons with a command id. The
// toolbar only changes these states when this module posts a change, so a
// post that would set the state a button already has (or will have) is left
// out: each one costs the toolbar a redraw of its buttons.
static KnownButton knownButtons[16];
static int knownCount;

void NoteToolbarCreated(const TBBUTTON *buttons, int count)
{
    knownCount = 0;
    for (int i = 0; i < count && knownCount < (int)(sizeof knownButtons / sizeof knownButtons[0]); i++) {
        if (buttons[i].fsStyle & BTNS_SEP)
            continue;
        knownButtons[knownCount].id = (UINT)buttons[i].idCommand;
        knownButtons[knownCount].state = buttons[i].fsState & (TBSTATE_ENABLED | TBSTATE_CHECKED);
        knownCount++;
    }
}

static KnownButton *FindKnownButton(UINT id)
{
    for (int i = 0; i < knownCount; i++) {
        if (knownButtons[i].id == id)
            return &knownButtons[i];
    }
    return NULL;
}

void TakeKnownButtonStates(TBBUTTON *buttons, int count)
{
    for (int i = 0; i < count; i++) {
        const KnownButton *known = (buttons[i].fsStyle & BTNS_SEP) ? NULL : FindKnownButton((UINT)buttons[i].idCommand);
        if (known)
            buttons[i].fsState = (BYTE)((buttons[i].fsState & ~(TBSTATE_ENABLED | TBSTATE_CHECKED)) | known->state);
    }
}

// Posts one state change (TB_ENABLEBUTTON or TB_CHECKBUTTON) unless the
// button has that state already; a post that failed is tried again at the
// next refresh.
static void PostButtonState(UINT message, UINT id, BYTE flag, bool on)
{
    KnownButton *known = FindKnownButton(id);
    BYTE wanted = on ? flag : 0;
    if (known && (known->state & flag) == wanted)
        return;
    if (!PostMessageA(ToolbarWindow(), message, id, MAKELPARAM(on ? TRUE : FALSE, 0)))
        return;
    if (known)
        known->state = (BYTE)((known->state & ~flag) | wanted);
}

static void SetButton(UINT id, bool enabled, bool checked)
{
    PostButtonState(TB_ENABLEBUTTON, id, TBSTATE_ENABLED, enabled);
    PostButtonState(TB_CHECKBUTTON, id, TBSTATE_CHECKED, checked);
}

static void EnableButton(UINT id, bool enabled)
{
    PostButtonState(TB_ENABLEBUTTON, id, TBSTATE_ENABLED, enabled);
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
