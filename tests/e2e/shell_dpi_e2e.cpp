// velkor.exe on a display at 150 % (this program runs in a Wine prefix of 144
// DPI): drawn for it, following a change of DPI, and its kept place scaled.
#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"
#include "support.h"

class Dpi : public ::testing::Test {
protected:
    VelkorProcess app;
    void SetUp() override
    {
        ClearVelkorRegistry();
        HDC screen = GetDC(NULL);
        ASSERT_EQ(144, GetDeviceCaps(screen, LOGPIXELSY)) << "the prefix is not at 144 DPI";
        ReleaseDC(NULL, screen);
    }
    void TearDown() override { Exit(), ClearVelkorRegistry(); }
    void Start() { ASSERT_TRUE(StartVelkorProcess(app) && WaitForMainWindow(app)); }
    void Exit()
    {
        DWORD code = 0;
        EXPECT_TRUE(!app.window || (PostCommand(app, IDM_EXIT), WaitForExit(app, DRIVER_TIMEOUT_MS, &code)));
        EndVelkorProcess(app);
    }
    HWND Child(int id) { return GetDlgItem(app.window, id); }
    LRESULT LineHeight() { return SendMessageA(Child(IDC_MESSAGE_LOG), LB_GETITEMHEIGHT, 0, 0); }
    // The command column's width, the toolbar's buttons (count, width, height) and whether the list lies below it.
    std::string Drawn()
    {
        HWND toolbar = Child(IDC_TOOLBAR);
        LRESULT size = SendMessageA(toolbar, TB_GETBUTTONSIZE, 0, 0);
        RECT bar, list;
        bool below = GetWindowRect(toolbar, &bar) && GetWindowRect(Child(IDC_COMMAND_LIST), &list) &&
                     list.top >= bar.bottom;
        return std::to_string(SendMessageA(Child(IDC_COMMAND_LIST), LVM_GETCOLUMNWIDTH, 0, 0)) + " " +
               std::to_string(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0)) + "x" + std::to_string(LOWORD(size)) +
               "x" + std::to_string(HIWORD(size)) + (below ? " below" : " over");
    }
    // Sends WM_DPICHANGED as Windows would, the suggested rectangle in the program's memory.
    void ChangeDpi(UINT dpi, const RECT &suggested)
    {
        void *remote = VirtualAllocEx(app.process, NULL, sizeof suggested, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        ASSERT_TRUE(remote && WriteProcessMemory(app.process, remote, &suggested, sizeof suggested, NULL));
        EXPECT_TRUE(SendMessageTimeoutA(app.window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), (LPARAM)remote,
                                        SMTO_ABORTIFHUNG, DRIVER_TIMEOUT_MS, NULL));
        VirtualFreeEx(app.process, remote, 0, MEM_RELEASE);
        RECT now = {};
        GetWindowRect(app.window, &now);
        EXPECT_TRUE(EqualRect(&now, &suggested)) << now.left << "," << now.top << " " << now.right << "," << now.bottom;
    }
    // The states of the toolbar's buttons with a command, in their order.
    std::vector<int> States()
    {
        std::vector<int> states;
        for (int id : {IDM_EXIT, IDM_OPEN_DEVICE_BUTTON, IDM_CLOSE_DEVICE_BUTTON, IDM_SAVE_COMMANDS_BUTTON,
                       IDM_OPEN_COMMANDS, IDM_EDIT_COMMAND_BUTTON, IDM_CHOOSE_DEVICE, IDM_SEND_COMMAND,
                       IDM_READ_PROPERTIES})
            states.push_back(ButtonState(id, app) & (TBSTATE_ENABLED | TBSTATE_CHECKED));
        return states;
    }
    // The window's normal rectangle as corner and size.
    std::string Place()
    {
        WINDOWPLACEMENT p = {};
        p.length = sizeof p;
        GetWindowPlacement(app.window, &p);
        const RECT &r = p.rcNormalPosition;
        return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
               std::to_string(r.bottom - r.top);
    }
};

TEST_F(Dpi, DrawnFor144AndRedrawnFor192AndBackWithTheToolbarsStates)
{
    DevicePeer *peer = StartPipePeer(UniqueName("velkor-dpi"));
    ASSERT_TRUE(peer != NULL);
    std::string device = PeerConnectString(peer);
    PutVelkorValue("connectstring", REG_SZ, Bytes(device.begin(), device.end()));
    Start();
    // 24 px images: buttons of 31 x 30 (23 x 22 at 96 DPI).
    EXPECT_EQ("375 13x31x30 below", Drawn());
    LRESULT line = LineHeight();
    EXPECT_GE(line, 19);

    PostCommand(app, IDM_OPEN_DEVICE_BUTTON);
    ASSERT_TRUE(WaitForLogLine("Device " + device + " geoeffnet", DRIVER_TIMEOUT_MS, app));
    std::vector<int> open = States();
    EXPECT_EQ(TBSTATE_ENABLED | TBSTATE_CHECKED, open[1]);

    ChangeDpi(192, {40, 30, 1240, 930});
    // 32 px images.
    EXPECT_EQ("500 13x39x38 below", Drawn());
    EXPECT_GT(LineHeight(), line);
    EXPECT_EQ(open, States());
    ChangeDpi(144, {60, 50, 960, 725});
    EXPECT_EQ("375 13x31x30 below", Drawn());
    EXPECT_EQ(line, LineHeight()) << "the font made for 144 DPI is the one the log had";
    EXPECT_EQ(open, States());

    // Any program may post the message (dispatched, a fault would end the program): a rectangle that is not
    // readable there moves nothing.
    std::string place = Place();
    PostMessageA(app.window, WM_DPICHANGED, MAKEWPARAM(144, 144), (LPARAM)0x10);
    EXPECT_TRUE(PostLogText(app, "weiter"));
    EXPECT_EQ(place, Place());
    Exit();
    StopPeer(peer);
}

TEST_F(Dpi, APlaceKeptWithoutItsDpiIsOneOf96AndAPlaceKeptAt144ComesBackAsItWas)
{
    // 100, 80, 900, 680, normal: 800 x 600 in the 20 bytes written before places knew their DPI.
    PutVelkorValue("windowplace", REG_BINARY, {100, 0, 0, 0, 80, 0, 0, 0, 0x84, 3, 0, 0, 0xA8, 2, 0, 0, 0, 0, 0, 0});
    Start();
    EXPECT_EQ("100,80 1200x900", Place());
    Exit();
    Bytes kept;
    ASSERT_TRUE(GetVelkorValue("windowplace", &kept));
    EXPECT_EQ(Bytes({0, 0, 0, 0, 144, 0, 0, 0}), Bytes(kept.begin() + std::min<size_t>(16, kept.size()), kept.end()))
        << "normal, kept at 144 DPI";
    Start();
    EXPECT_EQ("100,80 1200x900", Place());
}

TEST(Manifest, AsksForPerMonitorV2AndSystemAwareBefore)
{
    ACTCTXA context = {sizeof context, ACTCTX_FLAG_RESOURCE_NAME_VALID, VELKOR_BUILD_DIR_WIN "\\velkor.exe", 0, 0,
                       NULL, MAKEINTRESOURCEA(1), NULL, NULL};
    HANDLE handle = CreateActCtxA(&context);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    auto setting = [&](const wchar_t *space, const wchar_t *name) {
        wchar_t value[64] = L"";
        QueryActCtxSettingsW(0, handle, space, name, value, 64, NULL);
        return std::wstring(value);
    };
    EXPECT_EQ(L"true", setting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"));
    EXPECT_EQ(L"PerMonitorV2", setting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"));
    ReleaseActCtx(handle);
}
