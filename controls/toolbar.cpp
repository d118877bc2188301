// The toolbar: 13 entries, images from bitmap 800 or its larger forms.
#include "controls/toolbar.h"

#include <commctrl.h>

#include "base/appwindows.h"
#include "base/displayscale.h"
#include "base/systemlibrary.h"
#include "controls/controls.h"
#include "resources/resource.h"

// The toolbar's 13 entries as they start; images index the strip.
static const TBBUTTON TOOLBAR_BUTTONS[13] = {
    {0, IDM_EXIT, TBSTATE_ENABLED, BTNS_AUTOSIZE, {0}, 0, 0},
    {0, 0, TBSTATE_ENABLED, BTNS_SEP, {0}, 0, 0},
    {1, IDM_OPEN_DEVICE_BUTTON, 0, BTNS_AUTOSIZE, {0}, 0, 0},
    {2, IDM_CLOSE_DEVICE_BUTTON, TBSTATE_CHECKED, BTNS_AUTOSIZE, {0}, 0, 0},
    {0, 0, TBSTATE_ENABLED, BTNS_SEP, {0}, 0, 0},
    {3, IDM_SAVE_COMMANDS_BUTTON, 0, BTNS_AUTOSIZE, {0}, 0, 0},
    {4, IDM_OPEN_COMMANDS, TBSTATE_ENABLED, BTNS_AUTOSIZE, {0}, 0, 0},
    {0, 0, TBSTATE_ENABLED, BTNS_SEP, {0}, 0, 0},
    {5, IDM_EDIT_COMMAND_BUTTON, TBSTATE_ENABLED, BTNS_AUTOSIZE, {0}, 0, 0},
    {6, IDM_CHOOSE_DEVICE, TBSTATE_ENABLED, BTNS_AUTOSIZE, {0}, 0, 0},
    {0, 0, TBSTATE_ENABLED, BTNS_SEP, {0}, 0, 0},
    {7, IDM_SEND_COMMAND, 0, BTNS_AUTOSIZE, {0}, 0, 0},
    {8, IDM_READ_PROPERTIES, 0, BTNS_AUTOSIZE, {0}, 0, 0},
};
static const int BUTTON_COUNT = 13;

// The common controls come from the system folder through the loader of
// system libraries: not imported, since Windows would look for a library of
// that name in the program's folder first.
typedef HWND(WINAPI *CreateToolbarFunction)(HWND, DWORD, UINT, int, HINSTANCE, UINT_PTR, LPCTBBUTTON, int, int, int,
                                            int, int, UINT);

// Makes a toolbar from buttons with the strip whose images are nearest to 16
// pixels at the main window's DPI (a tie takes the larger); null on failure.
static HWND MakeToolbar(const TBBUTTON *buttons)
{
    CreateToolbarFunction create = (CreateToolbarFunction)(void (*)(void))SystemFunction("comctl32.dll",
                                                                                          "CreateToolbarEx");
    if (!create)
        return NULL;
    UINT wanted = 16 * AppDpi() / BASE_DPI;
    int size = wanted < 20 ? 16 : wanted < 28 ? 24 : 32;
    UINT bitmap = size == 16 ? IDB_TOOLBAR : size == 24 ? IDB_TOOLBAR_24 : IDB_TOOLBAR_32;
    return create(MainWindow(), WS_CHILD | WS_VISIBLE, IDC_TOOLBAR, 1, AppInstance(), bitmap, buttons, BUTTON_COUNT,
                  size, size, size, size, sizeof(TBBUTTON));
}

HWND CreateMainToolbar()
{
    HWND toolbar = MakeToolbar(TOOLBAR_BUTTONS);
    SetChildWindows(toolbar, CommandList(), MessageLog());
    NoteToolbarCreated(TOOLBAR_BUTTONS, toolbar ? BUTTON_COUNT : 0);
    return toolbar;
}

void RemakeMainToolbar()
{
    TBBUTTON buttons[BUTTON_COUNT];
    CopyMemory(buttons, TOOLBAR_BUTTONS, sizeof buttons);
    // The states as the old toolbar has them once the changes posted to it are in.
    TakeKnownButtonStates(buttons, BUTTON_COUNT);
    HWND toolbar = MakeToolbar(buttons);
    if (!toolbar)
        return; // the old one stays, with its images
    // On top of its siblings, as the first child made at start-up is.
    SetWindowPos(toolbar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    HWND old = ToolbarWindow();
    SetChildWindows(toolbar, CommandList(), MessageLog());
    NoteToolbarCreated(buttons, BUTTON_COUNT);
    if (old)
        DestroyWindow(old);
}
