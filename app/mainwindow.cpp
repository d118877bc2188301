// The main window procedure: routing and layout.
#include "app/mainwindow.h"

#include <commctrl.h>
#include <windowsx.h>

#include "base/appwindows.h"
#include "base/boxes.h"
#include "base/displayscale.h"
#include "base/readablememory.h"
#include "controls/controls.h"
#include "controls/toolbar.h"
#include "app/layout.h"
#include "app/scaling.h"
#include "app/outsidefile.h"
#include "log/messagelog.h"
#include "log/postedtext.h"
#include "log/savelog.h"
#include "commands/commandfile.h"
#include "commands/commandlist.h"
#include "commands/editdialog.h"
#include "device/connection.h"
#include "base/devicehandle.h"
#include "device/handover.h"
#include "device/sender.h"
#include "help/help.h"
#include "resources/resource.h"
#include "properties/propertiesdialog.h"
#include "settings/settings.h"
#include "settings/windowplace.h"

// Places a child; one already in place is left alone (the window's first
// showing repeats the size start-up gave it, and a move costs even then).
static void PlaceChild(HWND child, const PaneRect &place)
{
    RECT now;
    if (GetWindowRect(child, &now) && MapWindowPoints(HWND_DESKTOP, MainWindow(), (POINT *)&now, 2) != 0 &&
        now.left == place.x && now.top == place.y && now.right - now.left == place.width &&
        now.bottom - now.top == place.height)
        return;
    MoveWindow(child, place.x, place.y, place.width, place.height, TRUE);
}

static void LayoutChildren()
{
    RECT client;
    if (!GetClientRect(MainWindow(), &client))
        return;
    // The band at the display scale. The toolbar's images do not grow
    // evenly with the scale: the list may cover its last row of pixels, as
    // the band of 27 may at 96 DPI, but never more.
    RECT bar;
    int band = Scaled(TOOLBAR_BAND);
    if (ToolbarWindow() && GetWindowRect(ToolbarWindow(), &bar) && bar.bottom - bar.top - 1 > band)
        band = bar.bottom - bar.top - 1;
    PaneLayout layout = ComputePaneLayout(client.left, client.top, client.right, client.bottom, band);
    PlaceChild(CommandList(), layout.commandList);
    PlaceChild(MessageLog(), layout.messageLog);
    SendMessageA(CommandList(), LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE_USEHEADER);
}

// WM_DPICHANGED: the new DPI in the high word of wParam, the rectangle
// Windows suggests for it at lParam (WM_DPICHANGED's documentation). Any
// program may send the message, so the rectangle is read only when readable.
static void FollowDpiChange(WPARAM wParam, LPARAM lParam)
{
    UINT dpi = HIWORD(wParam);
    if (dpi < BASE_DPI / 2 || dpi > BASE_DPI * 10)
        return; // no display has it: not from Windows
    SetAppDpi(dpi);
    RemakeMainToolbar();
    FitFontsAndIcons();
    FitCommandColumn();
    RECT suggested;
    const void *address = (const void *)lParam;
    if (!WindowBeingPlaced() && address && ReadableLength(address, sizeof suggested) == sizeof suggested) {
        CopyMemory(&suggested, address, sizeof suggested);
        if (suggested.right > suggested.left && suggested.bottom > suggested.top)
            SetWindowPos(MainWindow(), NULL, suggested.left, suggested.top, suggested.right - suggested.left,
                         suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The toolbar's height may have changed while the window's size did not.
    LayoutChildren();
}

// "Device waehlen": close an open device on request, run the properties dialog.
static void ChooseDevice()
{
    if (DeviceIsOpen()) {
        int answer = ShowBox("bestehende Verbindung schliessen und neues Device waehlen ?", CAPTION_CHOOSE_DEVICE,
                             MB_ICONQUESTION | MB_YESNO);
        if (answer != IDYES)
            return;
        CloseDevice();
    }
    EditDeviceProperties();
    UpdateTitle();
    RefreshDeviceControls();
}

static void OpenDeviceAndReader()
{
    if (OpenDevice())
        StartReader();
}

static void ExitProgram()
{
    DestroyWindow(MainWindow());
}

static void EditSelectedCommand()
{
    EditCommand(true);
}

static void AddCommand()
{
    EditCommand(false);
}

void SendSelectedWhenSendable()
{
    LRESULT state = SendMessageA(ToolbarWindow(), TB_GETSTATE, IDM_SEND_COMMAND, 0);
    if (state != -1 && (state & TBSTATE_ENABLED))
        SendSelectedCommand();
}

// A double-click on an entry's command text sends it while sending is possible.
static void OnListNotify(const NMHDR *header)
{
    if (header->idFrom != IDC_COMMAND_LIST || header->code != (UINT)NM_DBLCLK)
        return;
    const NMITEMACTIVATE *activate = (const NMITEMACTIVATE *)header;
    if (activate->iItem < 0 || activate->iSubItem != 0)
        return;
    SendSelectedWhenSendable();
}

// Right-click on the list: edit when on the selected entry's command text, else add.
static void OnListContextMenu(LPARAM position)
{
    // Signed: monitors left of or above the primary one have negative coordinates.
    int x = GET_X_LPARAM(position);
    int y = GET_Y_LPARAM(position);
    HWND list = CommandList();
    int mark = (int)SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0);
    if (mark < 0) {
        EditCommand(false);
        return;
    }
    RECT window;
    RECT label;
    label.top = 0; // sub-item
    label.left = LVIR_LABEL;
    if (!GetWindowRect(list, &window) || !SendMessageA(list, LVM_GETSUBITEMRECT, mark, (LPARAM)&label)) {
        EditCommand(false);
        return;
    }
    OffsetRect(&label, window.left, window.top);
    EditCommand(PointStrictlyInside(x, y, label.left, label.top, label.right, label.bottom));
}

static LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDM_ABOUT: ShowAboutBox(); return 0;
    case IDM_EXIT: ExitProgram(); return 0;
    case IDM_EDIT_COMMAND_BUTTON: EditSelectedCommand(); return 0;
    case IDM_EDIT_COMMAND: EditSelectedCommand(); return 0;
    case IDM_ADD_COMMAND: AddCommand(); return 0;
    case IDM_SAVE_COMMANDS_BUTTON: SaveCommandFile(); return 0;
    case IDM_SAVE_COMMANDS: SaveCommandFile(); return 0;
    case IDM_OPEN_COMMANDS: LoadCommandFile(); return 0;
    case IDM_NEW_COMMANDS: NewCommandList(); return 0;
    case IDM_OPEN_DEVICE_BUTTON: OpenDeviceAndReader(); return 0;
    case IDM_OPEN_DEVICE: OpenDeviceAndReader(); return 0;
    case IDM_CLOSE_DEVICE_BUTTON: CloseDevice(); return 0;
    case IDM_CLOSE_DEVICE: CloseDevice(); return 0;
    case IDM_SEND_COMMAND: SendSelectedCommand(); return 0;
    case IDM_SAVE_LOG: SaveLog(); return 0;
    case IDM_HELP: ShowHelp(); return 0;
    case IDM_READ_PROPERTIES: ReadDeviceProperties(); return 0;
    case IDM_CHOOSE_DEVICE: ChooseDevice(); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        NoteWindowPlace(window);
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        LayoutChildren();
        ShowHeldLog();
        return 0;
    case WM_DPICHANGED:
        FollowDpiChange(wParam, lParam);
        return 0;
    case WM_NOTIFY:
        OnListNotify((const NMHDR *)lParam);
        return 0;
    case WM_CONTEXTMENU:
        if ((HWND)wParam == CommandList())
            OnListContextMenu(lParam);
        return 0;
    case WM_COMMAND:
        return OnCommand(window, message, wParam, lParam);
    case WMU_READER_ENDED:
        HandleReaderEnded();
        return 0;
    case WMU_BLOCK_RECEIVED:
        HandleBlockReceived(wParam, lParam);
        return 0;
    case WMU_LOG_TEXT:
        LogPostedText(wParam);
        return 0;
    case WM_DROPFILES:
        TakeDroppedFiles((HDROP)wParam);
        return 0;
    case WM_COPYDATA:
        return TakeHandedFile((const COPYDATASTRUCT *)lParam);
    case WMU_LOAD_WAITING_FILE:
        LoadWaitingFile();
        return 0;
    case WM_ENABLE:
        // A file that came while a dialog was open is loaded once it closed.
        if (wParam)
            LoadWaitingFileLater();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
