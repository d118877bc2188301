// The main window, its resources, controls, placement and control states, in-process.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include "base/appwindows.h"
#include "controls/controls.h"
#include "app/shell.h"
#include "base/systemtext.h"
#include "base/commandfilename.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include "support.h"

typedef VelkorAppTest Shell;

static std::string MenuText(HMENU menu, int position)
{
    char text[128];
    text[0] = 0;
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

struct MenuRow {
    const char *text; // null: separator
    UINT id;
    bool grayed;
};

// Compares one popup with rows; grayed is taken from the rows' own column.
static void ExpectPopup(HMENU bar, int position, const char *title, const std::vector<MenuRow> &rows)
{
    SCOPED_TRACE(title);
    EXPECT_EQ(title, MenuText(bar, position));
    HMENU popup = GetSubMenu(bar, position);
    ASSERT_TRUE(popup != NULL);
    ASSERT_EQ((int)rows.size(), GetMenuItemCount(popup));
    for (size_t i = 0; i < rows.size(); i++) {
        UINT state = GetMenuState(popup, (UINT)i, MF_BYPOSITION);
        if (!rows[i].text) {
            EXPECT_TRUE(state & MF_SEPARATOR) << "position " << i;
            continue;
        }
        EXPECT_EQ(rows[i].text, MenuText(popup, (int)i));
        EXPECT_EQ(rows[i].id, GetMenuItemID(popup, (int)i)) << rows[i].text;
        EXPECT_EQ(rows[i].grayed, (state & MF_GRAYED) != 0) << rows[i].text;
    }
}

// The menu as the resource gives it, and as the no-device state leaves it.
static void ExpectMenu(HMENU bar, bool refreshed)
{
    ASSERT_EQ(4, GetMenuItemCount(bar));
    ExpectPopup(bar, 0, "&Datei",
                {{"Befehlsdatei &neu", IDM_NEW_COMMANDS, false},
                 {"Befehlsdatei &oeffnen", IDM_OPEN_COMMANDS, false},
                 {"Befehlsdatei &speichern", IDM_SAVE_COMMANDS, true},
                 {NULL, 0, false},
                 {"Ausgaben &speicher", IDM_SAVE_LOG, false},
                 {NULL, 0, false},
                 {"&Beenden", IDM_EXIT, false}});
    ExpectPopup(bar, 1, "&Bearbeiten",
                {{"Kommando &senden", IDM_SEND_COMMAND, refreshed},
                 {NULL, 0, false},
                 {"Kommando b&earbeiten", IDM_EDIT_COMMAND, false},
                 {"Komma&ndo zufuegen", IDM_ADD_COMMAND, false}});
    ExpectPopup(bar, 2, "D&evice",
                {{"Device &oeffnen", IDM_OPEN_DEVICE, true},
                 {"Devi&ce schliessen", IDM_CLOSE_DEVICE, true},
                 {NULL, 0, false},
                 {"Device &waehlen", IDM_CHOOSE_DEVICE, false},
                 {"Device &Eigenschaften auslesen", IDM_READ_PROPERTIES, refreshed}});
    ExpectPopup(bar, 3, "&Hilfe", {{"&Info", IDM_ABOUT, false}, {"&Hilfe", IDM_HELP, false}});
}

TEST(ShellResources, MenuAsTheResourceGivesIt)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDM_VELKOR));
    ASSERT_TRUE(menu != NULL);
    ExpectMenu(menu, false);
    DestroyMenu(menu);
}

TEST(ShellResources, AcceleratorsGiveTheAboutCommand)
{
    HACCEL table = LoadAcceleratorsA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDM_VELKOR));
    ASSERT_TRUE(table != NULL);
    ACCEL entries[8];
    int count = CopyAcceleratorTableA(table, entries, 8);
    ASSERT_EQ(2, count);
    for (int i = 0; i < count; i++) {
        EXPECT_EQ(IDM_ABOUT, entries[i].cmd);
        EXPECT_EQ(FALT, entries[i].fVirt & (FALT | FVIRTKEY | FCONTROL | FSHIFT)) << "an Alt character accelerator";
    }
    EXPECT_EQ('?', entries[0].key);
    EXPECT_EQ('/', entries[1].key);
    DestroyAcceleratorTable(table);
}

TEST(ShellResources, ToolbarStripIcons)
{
    HINSTANCE module = GetModuleHandleA(NULL);
    // The strip: ten 16 x 15 images in 16 colours.
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDB_TOOLBAR), (LPCSTR)RT_BITMAP);
    ASSERT_TRUE(found != NULL);
    const BITMAPINFOHEADER *header = (const BITMAPINFOHEADER *)LockResource(LoadResource(module, found));
    ASSERT_TRUE(header != NULL);
    EXPECT_EQ(160, header->biWidth);
    EXPECT_EQ(15, header->biHeight);
    EXPECT_EQ(4, header->biBitCount);

    HICON large = (HICON)LoadImageA(module, MAKEINTRESOURCEA(IDI_VELKOR), IMAGE_ICON, 32, 32, 0);
    HICON small = (HICON)LoadImageA(module, MAKEINTRESOURCEA(IDI_SMALL), IMAGE_ICON, 16, 16, 0);
    EXPECT_TRUE(large != NULL);
    EXPECT_TRUE(small != NULL);
    if (large)
        DestroyIcon(large);
    if (small)
        DestroyIcon(small);
}

static INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// "ö" is the byte F6 in the program's texts, from the C++ sources and from the resource script alike.
TEST(ShellResources, UmlautIsWindows1252)
{
    const char fromSource[] = "ö";
    ASSERT_EQ(2u, sizeof fromSource);
    EXPECT_EQ(0xF6, (unsigned char)fromSource[0]);

    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_DEVICE_PROPERTIES), NULL,
                                     QuietDialogProc, 0);
    ASSERT_TRUE(dialog != NULL);
    EXPECT_EQ("Registry \xF6" "ffnen", ControlText(dialog, IDC_OPEN_REGISTRY));
    DestroyWindow(dialog);
}

// Boxes and log lines quote the system's text for an error: with or without
// its closing line break, cut to the room given, nothing for an unknown number.
TEST(ShellResources, SystemErrorTexts)
{
    char kept[512], cut[512];
    ASSERT_TRUE(SystemErrorText(ERROR_FILE_NOT_FOUND, kept, sizeof kept, KEEP_LINE_END));
    ASSERT_TRUE(SystemErrorText(ERROR_FILE_NOT_FOUND, cut, sizeof cut, CUT_LINE_END));
    std::string whole = kept;
    ASSERT_FALSE(whole.empty());
    EXPECT_EQ('\n', whole.back()) << whole;
    EXPECT_EQ(whole.substr(0, whole.find_last_not_of("\r\n ") + 1), std::string(cut));

    char small[8];
    memset(small, 'x', sizeof small);
    ASSERT_TRUE(SystemErrorText(ERROR_FILE_NOT_FOUND, small, 5, KEEP_LINE_END));
    EXPECT_EQ(whole.substr(0, 4), std::string(small));
    EXPECT_EQ('x', small[5]) << "written beyond the room given";

    char none[16] = "unchanged";
    EXPECT_FALSE(SystemErrorText(0x2FFFFFFFu, none, sizeof none, CUT_LINE_END));
    EXPECT_STREQ("", none);
    EXPECT_FALSE(SystemErrorText(ERROR_FILE_NOT_FOUND, none, 0, CUT_LINE_END));

    char box[64];
    ComposeSystemError(box, sizeof box, "Fehler %d: %s", "Fehler %d", ERROR_FILE_NOT_FOUND, CUT_LINE_END);
    EXPECT_EQ(("Fehler 2: " + std::string(cut)).substr(0, sizeof box - 1), std::string(box));
    ComposeSystemError(box, sizeof box, "Fehler %d: %s", "Fehler %d", 0x2FFFFFFFu, CUT_LINE_END);
    EXPECT_STREQ("Fehler 805306367", box);
}

struct ButtonRow {
    int image; // -1: separator
    int id;
    BYTE state;
};

static void ExpectToolbar(HWND toolbar, const ButtonRow (&rows)[13])
{
    ASSERT_EQ(13, (int)SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < 13; i++) {
        SCOPED_TRACE(testing::Message() << "position " << i);
        TBBUTTON button;
        ZeroMemory(&button, sizeof button);
        ASSERT_TRUE(SendMessageA(toolbar, TB_GETBUTTON, i, (LPARAM)&button));
        if (rows[i].image < 0) {
            EXPECT_EQ(BTNS_SEP, button.fsStyle & BTNS_SEP);
            continue;
        }
        EXPECT_EQ(rows[i].image, button.iBitmap);
        EXPECT_EQ(rows[i].id, button.idCommand);
        EXPECT_EQ(BTNS_AUTOSIZE, button.fsStyle);
        EXPECT_EQ(rows[i].state, button.fsState & (TBSTATE_ENABLED | TBSTATE_CHECKED));
    }
}

// Started here without pumping, so that the states the toolbar is created
// with are seen before its posted refresh runs.
class ShellStart : public VelkorAppTest {
protected:
    ShellStart() { startAtSetUp = false; }
};

TEST_F(ShellStart, ToolbarCreatedThenRefreshedForNoDevice)
{
    running = true;
    ASSERT_TRUE(StartVelkor(GetModuleHandleA(NULL), SW_SHOWNORMAL));
    const BYTE E = TBSTATE_ENABLED, C = TBSTATE_CHECKED;
    ButtonRow rows[13] = {{0, IDM_EXIT, E}, {-1, 0, 0}, {1, IDM_OPEN_DEVICE_BUTTON, 0},
                          {2, IDM_CLOSE_DEVICE_BUTTON, C}, {-1, 0, 0}, {3, IDM_SAVE_COMMANDS_BUTTON, 0},
                          {4, IDM_OPEN_COMMANDS, E}, {-1, 0, 0}, {5, IDM_EDIT_COMMAND_BUTTON, E},
                          {6, IDM_CHOOSE_DEVICE, E}, {-1, 0, 0}, {7, IDM_SEND_COMMAND, 0},
                          {8, IDM_READ_PROPERTIES, 0}};
    ExpectToolbar(ToolbarWindow(), rows);

    PumpPending();
    rows[3].state = 0; // the refresh leaves the close button unchecked, all else as created
    ExpectToolbar(ToolbarWindow(), rows);

    // Buttons are 16 x 16 images taken from the strip.
    HIMAGELIST images = (HIMAGELIST)SendMessageA(ToolbarWindow(), TB_GETIMAGELIST, 0, 0);
    ASSERT_TRUE(images != NULL);
    EXPECT_GE(ImageList_GetImageCount(images), 9);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(images, &cx, &cy);
    EXPECT_EQ(16, cx);
    EXPECT_EQ(16, cy);
}

TEST_F(Shell, MenuInTheNoDeviceState)
{
    ExpectMenu(GetMenu(MainWindow()), true);
}

TEST_F(Shell, WindowClassWindowAndChildren)
{
    EXPECT_STREQ("Velkor", WindowName());
    EXPECT_STREQ("VELKOR_WND", WindowClassName());
    EXPECT_EQ("Velkor", WindowText(MainWindow()));
    EXPECT_EQ(MainWindow(), FindWindowA("VELKOR_WND", "Velkor"));

    WNDCLASSEXA wc;
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(NULL), "VELKOR_WND", &wc));
    EXPECT_EQ((UINT)(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS), wc.style);
    EXPECT_EQ(0, wc.cbClsExtra);
    EXPECT_EQ(0, wc.cbWndExtra);
    EXPECT_TRUE(wc.hCursor == NULL);
    EXPECT_EQ((HBRUSH)(COLOR_WINDOW + 1), wc.hbrBackground);
    EXPECT_TRUE(wc.hIcon != NULL);
    EXPECT_TRUE(wc.hIconSm != NULL);
    EXPECT_EQ(MAKEINTRESOURCEA(IDM_VELKOR), wc.lpszMenuName);
    EXPECT_EQ((LONG)WS_OVERLAPPEDWINDOW, GetWindowLongA(MainWindow(), GWL_STYLE) & (LONG)WS_OVERLAPPEDWINDOW);

    struct Child {
        HWND window;
        int id;
        const char *className;
        LONG style;
    } children[] = {
        {ToolbarWindow(), IDC_TOOLBAR, "ToolbarWindow32", WS_CHILD | WS_VISIBLE},
        {CommandList(), IDC_COMMAND_LIST, "SysListView32",
         WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_AUTOARRANGE},
        {MessageLog(), IDC_MESSAGE_LOG, "ListBox",
         WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_DISABLENOSCROLL | LBS_NOINTEGRALHEIGHT},
    };
    for (const Child &child : children) {
        SCOPED_TRACE(child.className);
        ASSERT_TRUE(child.window != NULL);
        EXPECT_EQ(child.window, GetDlgItem(MainWindow(), child.id));
        char name[64];
        GetClassNameA(child.window, name, sizeof name);
        EXPECT_EQ(0, lstrcmpiA(child.className, name)) << name;
        EXPECT_EQ(child.style, GetWindowLongA(child.window, GWL_STYLE) & child.style);
    }
    EXPECT_FALSE(GetWindowLongA(MessageLog(), GWL_STYLE) & LBS_SORT) << "lines stay in their order";
    EXPECT_TRUE(GetWindowLongA(CommandList(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(GetWindowLongA(MessageLog(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(SendMessageA(CommandList(), WM_GETFONT, 0, 0), SendMessageA(MessageLog(), WM_GETFONT, 0, 0));
}

TEST_F(Shell, ColumnsUntilSettingsArrive)
{
    EXPECT_EQ("Kommando|250", ColumnHeader(0));
    EXPECT_EQ("Bemerkung|", ColumnHeader(1).substr(0, 10));
    EXPECT_EQ(0, ListItemCount());
}

static RECT ChildRect(HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(NULL, MainWindow(), (POINT *)&r, 2);
    return r;
}

// The panes of a client rectangle of width w and height h, written out.
static void ExpectPanes(int w, int h)
{
    SCOPED_TRACE(testing::Message() << "client " << w << " x " << h);
    int half = h / 2, quarter = half / 4;
    RECT list = ChildRect(CommandList());
    RECT log = ChildRect(MessageLog());
    EXPECT_EQ(0, list.left);
    EXPECT_EQ(27, list.top);
    EXPECT_EQ(w, list.right - list.left);
    EXPECT_EQ(half - quarter, list.bottom - list.top);
    EXPECT_EQ(0, log.left);
    EXPECT_EQ(half - quarter + 26, log.top);
    EXPECT_EQ(list.bottom - 1, log.top) << "the log overlaps the list by one pixel";
    EXPECT_EQ(w, log.right - log.left);
    EXPECT_EQ(half + quarter - 27, log.bottom - log.top);
    // The remark column fills what the command column leaves.
    RECT listClient;
    GetClientRect(CommandList(), &listClient);
    int first = (int)SendMessageA(CommandList(), LVM_GETCOLUMNWIDTH, 0, 0);
    int second = (int)SendMessageA(CommandList(), LVM_GETCOLUMNWIDTH, 1, 0);
    EXPECT_EQ(listClient.right - first, second);
}

TEST_F(Shell, PlacedAtStartAndLaidOutOnEveryResize)
{
    int W = GetSystemMetrics(SM_CXMAXIMIZED), H = GetSystemMetrics(SM_CYMAXIMIZED);
    RECT r;
    GetWindowRect(MainWindow(), &r);
    EXPECT_EQ(W / 8, r.left);
    EXPECT_EQ(H / 8, r.top);
    EXPECT_EQ((W / 8) * 6, r.right - r.left);
    EXPECT_EQ((H / 8) * 6, r.bottom - r.top);
    EXPECT_TRUE(IsWindowVisible(MainWindow()));

    RECT client;
    GetClientRect(MainWindow(), &client);
    ExpectPanes(client.right, client.bottom);

    // Odd heights and widths, and a window too small for the toolbar band.
    const SIZE sizes[] = {{900, 701}, {641, 480}, {333, 127}, {1000, 555}};
    for (const SIZE &size : sizes) {
        SetWindowPos(MainWindow(), NULL, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE);
        PumpPending();
        GetClientRect(MainWindow(), &client);
        ExpectPanes(client.right, client.bottom);
    }
}

// Expected states of the device controls: menu grayed flags and toolbar states.
struct DeviceControls {
    bool openItem, closeItem, propertiesItem, sendItem; // enabled
    BYTE openButton, closeButton, sendButton, propertiesButton;
};

static void ExpectDeviceControls(const DeviceControls &want)
{
    EXPECT_EQ(want.openItem, !(MenuState(IDM_OPEN_DEVICE) & MF_GRAYED));
    EXPECT_EQ(want.closeItem, !(MenuState(IDM_CLOSE_DEVICE) & MF_GRAYED));
    EXPECT_EQ(want.propertiesItem, !(MenuState(IDM_READ_PROPERTIES) & MF_GRAYED));
    EXPECT_EQ(want.sendItem, !(MenuState(IDM_SEND_COMMAND) & MF_GRAYED));
    const BYTE mask = TBSTATE_ENABLED | TBSTATE_CHECKED;
    EXPECT_EQ(want.openButton, ButtonState(IDM_OPEN_DEVICE_BUTTON) & mask);
    EXPECT_EQ(want.closeButton, ButtonState(IDM_CLOSE_DEVICE_BUTTON) & mask);
    EXPECT_EQ(want.sendButton, ButtonState(IDM_SEND_COMMAND) & mask);
    EXPECT_EQ(want.propertiesButton, ButtonState(IDM_READ_PROPERTIES) & mask);
    // Untouched by the device state.
    EXPECT_FALSE(MenuState(IDM_CHOOSE_DEVICE) & MF_GRAYED);
    EXPECT_TRUE(ButtonState(IDM_CHOOSE_DEVICE) & TBSTATE_ENABLED);
}

TEST_F(Shell, DeviceControlsFollowTheConnectString)
{
    const BYTE E = TBSTATE_ENABLED, C = TBSTATE_CHECKED;
    const DeviceControls none = {false, false, false, false, 0, 0, 0, 0};
    const DeviceControls chosen = {true, false, false, false, E, E | C, 0, 0};
    {
        SCOPED_TRACE("no connect string");
        ExpectDeviceControls(none);
    }
    ReplaceConnectString("COM7");
    RefreshDeviceControls();
    {
        SCOPED_TRACE("connect string, device closed");
        ExpectDeviceControls(chosen);
    }
    // A refresh recomputes everything: nothing is left over from before.
    RefreshDeviceControls();
    {
        SCOPED_TRACE("refreshed twice");
        ExpectDeviceControls(chosen);
    }
    ReplaceConnectString(NULL);
    RefreshDeviceControls();
    {
        SCOPED_TRACE("connect string gone");
        ExpectDeviceControls(none);
    }
}

TEST_F(Shell, SaveControlsFollowTheCommandFileName)
{
    EXPECT_TRUE(MenuState(IDM_SAVE_COMMANDS) & MF_GRAYED);
    EXPECT_FALSE(ButtonState(IDM_SAVE_COMMANDS_BUTTON) & TBSTATE_ENABLED);
    SetCommandFileName("C:\\velkor.cmd");
    RefreshSaveControls();
    EXPECT_FALSE(MenuState(IDM_SAVE_COMMANDS) & MF_GRAYED);
    EXPECT_TRUE(ButtonState(IDM_SAVE_COMMANDS_BUTTON) & TBSTATE_ENABLED);
    SetCommandFileName(NULL);
    RefreshSaveControls();
    EXPECT_TRUE(MenuState(IDM_SAVE_COMMANDS) & MF_GRAYED);
    EXPECT_FALSE(ButtonState(IDM_SAVE_COMMANDS_BUTTON) & TBSTATE_ENABLED);
}

TEST_F(Shell, BeendenEndsTheLoopWithExitCodeZero)
{
    SendMessageA(MainWindow(), WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_FALSE(IsWindow(MainWindow()));
    EXPECT_EQ(0, Stop());
}

TEST_F(Shell, FirstLineIsTheStartLine)
{
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ('+', lines[0][0]);
    EXPECT_EQ("VelKor gestartet", lines[0].substr(16));
}
