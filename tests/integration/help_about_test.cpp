// The About box (dialog 103), its accelerators, and the version it shows.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/appwindows.h"
#include "app/shell.h"
#include "resources/resource.h"

#include "support.h"

// Dialog procedure of the About box (dialog 103), which help.cpp keeps to itself.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

BOOL CALLBACK FindAboutWindow(HWND window, LPARAM lParam)
{
    char cls[32] = "", title[32] = "";
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, title, sizeof title);
    if (strcmp(cls, "#32770") == 0 && strcmp(title, "Info") == 0 && IsWindowVisible(window)) {
        *(HWND *)lParam = window;
        return FALSE;
    }
    return TRUE;
}

// The visible About box of a thread, or null.
HWND FindAboutBox(DWORD threadId)
{
    HWND found = NULL;
    EnumThreadWindows(threadId, FindAboutWindow, (LPARAM)&found);
    return found;
}

struct AboutRun {
    INT_PTR result = -1;
    HWND box = NULL;
    HWND owner = NULL;
    HWND focus = NULL;
    HWND okButton = NULL;
    bool mainDisabled = false;
    bool closedByAction = false;
};

// Runs the About box on this thread while `act` works on it from another
// thread, as a user would; the box is closed in the end whatever happens.
AboutRun RunAboutBox(const std::function<void(HWND box, HWND focus)> &act, bool throughCommand)
{
    AboutRun run;
    DWORD ui = GetCurrentThreadId();
    std::thread driver([&run, &act, ui] {
        DWORD start = GetTickCount();
        while (!(run.box = FindAboutBox(ui)) && GetTickCount() - start < 10000)
            Sleep(5);
        if (!run.box)
            return;
        GUITHREADINFO gui;
        ZeroMemory(&gui, sizeof gui);
        gui.cbSize = sizeof gui;
        GetGUIThreadInfo(ui, &gui);
        run.focus = gui.hwndFocus;
        run.owner = GetWindow(run.box, GW_OWNER);
        run.okButton = GetDlgItem(run.box, IDOK);
        run.mainDisabled = !IsWindowEnabled(MainWindow());
        act(run.box, run.focus);
        start = GetTickCount();
        while (IsWindow(run.box) && GetTickCount() - start < 5000)
            Sleep(5);
        run.closedByAction = !IsWindow(run.box);
        if (!run.closedByAction)
            PostMessageA(run.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    if (throughCommand)
        RunCommand(IDM_ABOUT);
    else
        run.result = DialogBoxParamA(AppInstance(), MAKEINTRESOURCEA(IDD_ABOUT), MainWindow(), AboutDialogProc, 0);
    driver.join();
    return run;
}

// A real left click (or double click) at the centre of a window. Every event
// carries the place: a pointer motion the display reports late would
// otherwise move a click back to where the pointer was before.
void ClickCentre(HWND window, bool twice)
{
    RECT r;
    GetWindowRect(window, &r);
    int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    SetCursorPos(x, y);
    INPUT input[4];
    ZeroMemory(input, sizeof input);
    for (INPUT &in : input) {
        in.type = INPUT_MOUSE;
        in.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        in.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    const DWORD AT = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[0].mi.dwFlags = input[2].mi.dwFlags = AT | MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = input[3].mi.dwFlags = AT | MOUSEEVENTF_LEFTUP;
    SendInput(twice ? 4 : 2, input, sizeof(INPUT));
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// Mouse button releases the About box's thread has taken from its queue.
volatile LONG releasesTaken;

LRESULT CALLBACK CountReleases(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && (wParam == WM_LBUTTONUP || wParam == WM_NCLBUTTONUP))
        InterlockedIncrement(&releasesTaken);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// The About box is worked by a thread of the test's own, not by the box answering.
class About : public VelkorAppTest {
protected:
    void SetUp() override
    {
        VelkorAppTest::SetUp();
        StopBoxAnswering();
    }
};

} // namespace

TEST(AboutTemplate, IsAsDesigned)
{
    DialogTemplateView dialog = ReadDialogTemplate(IDD_ABOUT, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    ASSERT_TRUE(dialog.found) << "no German dialog 103";
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ((DWORD)(DS_MODALFRAME | DS_SETFONT | WS_CAPTION | WS_SYSMENU), dialog.style);
    EXPECT_EQ(0u, dialog.exStyle);
    EXPECT_EQ(22, dialog.x);
    EXPECT_EQ(17, dialog.y);
    EXPECT_EQ(230, dialog.cx);
    EXPECT_EQ(75, dialog.cy);
    EXPECT_FALSE(dialog.hasMenu);
    EXPECT_FALSE(dialog.hasClass);
    EXPECT_EQ("Info", dialog.title);
    EXPECT_EQ(8, dialog.pointSize);
    EXPECT_EQ("Arial", dialog.font);

    struct Expected {
        int id;
        int classAtom; // 0x80 button, 0x82 static
        const char *text;
        short x, y, cx, cy;
        DWORD style;
    };
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const Expected expected[] = {
        {IDC_ABOUT_ICON, 0x82, nullptr, 14, 9, 20, 20, child | SS_ICON},
        {-1, 0x82, "Velkor Version 1.0", 49, 10, 119, 8, child | SS_LEFT | SS_NOPREFIX | WS_GROUP},
        {-1, 0x82, nullptr, 49, 20, 119, 8, child | SS_LEFT | WS_GROUP},
        {IDOK, 0x80, "OK", 195, 6, 30, 11, child | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP},
        {-1, 0x82, nullptr, 49, 31, 119, 8, child | SS_LEFT | WS_GROUP},
        {-1, 0x82, nullptr, 49, 41, 119, 8, child | SS_LEFT | WS_GROUP},
        {-1, 0x82, nullptr, 47, 58, 130, 8, child | SS_LEFT | WS_GROUP},
    };
    ASSERT_EQ(7u, dialog.items.size());
    for (size_t i = 0; i < 7; i++) {
        const TemplateItem &item = dialog.items[i];
        const Expected &want = expected[i];
        SCOPED_TRACE("control " + std::to_string(i));
        EXPECT_EQ(want.id, item.id);
        EXPECT_EQ(want.classAtom, item.classAtom);
        EXPECT_EQ(want.style, item.style);
        EXPECT_EQ(0u, item.exStyle);
        EXPECT_EQ(want.x, item.x);
        EXPECT_EQ(want.y, item.y);
        if (i == 0 && item.cx == 0 && item.cy == 0) {
            // windres stores no size for an ICON statement; the static then
            // takes the icon's own size, as it would from 20 x 20 as well
            // (checked on the live box below).
        } else {
            EXPECT_EQ(want.cx, item.cx);
            EXPECT_EQ(want.cy, item.cy);
        }
        if (want.text)
            EXPECT_EQ(want.text, item.text);
        else if (i == 0)
            EXPECT_EQ(IDI_VELKOR, item.textOrdinal); // the program's large icon
        else
            EXPECT_FALSE(item.text.empty()); // a credit line
    }
}

TEST(AboutTemplate, VersionResourceAndVersionLine)
{
    HMODULE version = LoadLibraryA("version.dll");
    ASSERT_TRUE(version != NULL);
    typedef DWORD(WINAPI * SizeFunction)(LPCSTR, LPDWORD);
    typedef BOOL(WINAPI * InfoFunction)(LPCSTR, DWORD, DWORD, LPVOID);
    typedef BOOL(WINAPI * QueryFunction)(LPCVOID, LPCSTR, LPVOID *, PUINT);
    // Through a plain function pointer type: the casts then say what they mean.
    typedef void (*AnyFunction)();
    SizeFunction getSize = (SizeFunction)(AnyFunction)GetProcAddress(version, "GetFileVersionInfoSizeA");
    InfoFunction getInfo = (InfoFunction)(AnyFunction)GetProcAddress(version, "GetFileVersionInfoA");
    QueryFunction query = (QueryFunction)(AnyFunction)GetProcAddress(version, "VerQueryValueA");
    ASSERT_TRUE(getSize && getInfo && query);

    DialogTemplateView about = ReadDialogTemplate(IDD_ABOUT, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    ASSERT_GE(about.items.size(), 2u);
    const std::string aboutLine = about.items[1].text;

    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(NULL, self, sizeof self), 0u);
    // This test program links the same resources as the shipped program.
    for (std::string file : {std::string(self), std::string(VELKOR_BUILD_DIR_WIN "\\velkor.exe")}) {
        SCOPED_TRACE(file);
        DWORD handle = 0;
        DWORD size = getSize(file.c_str(), &handle);
        ASSERT_GT(size, 0u);
        std::vector<char> data(size);
        ASSERT_TRUE(getInfo(file.c_str(), 0, size, data.data()));

        VS_FIXEDFILEINFO *fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(query(data.data(), "\\", (LPVOID *)&fixed, &length));
        ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
        EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
        EXPECT_EQ(0x00010002u, fixed->dwFileVersionMS);
        EXPECT_EQ(0u, fixed->dwFileVersionLS);
        EXPECT_EQ(0x00010002u, fixed->dwProductVersionMS);
        EXPECT_EQ(0u, fixed->dwProductVersionLS);
        EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);

        WORD *translation = nullptr;
        ASSERT_TRUE(query(data.data(), "\\VarFileInfo\\Translation", (LPVOID *)&translation, &length));
        ASSERT_EQ(4u, length); // exactly one translation
        EXPECT_EQ(0x0407, translation[0]);
        EXPECT_EQ(1200, translation[1]);

        struct Field {
            const char *name, *value;
        };
        for (Field field : {Field{"FileVersion", "1, 2, 0, 0"}, Field{"ProductVersion", "1, 2, 0, 0"},
                            Field{"FileDescription", "VelKor"}, Field{"InternalName", "velkor"},
                            Field{"OriginalFilename", "velkor.exe"}}) {
            std::string path = std::string("\\StringFileInfo\\040704b0\\") + field.name;
            char *value = nullptr;
            ASSERT_TRUE(query(data.data(), path.c_str(), (LPVOID *)&value, &length)) << field.name;
            EXPECT_STREQ(field.value, value) << field.name;
        }

        // The About line keeps the text users know; only the resource says 1.2.
        EXPECT_EQ("Velkor Version 1.0", aboutLine);
    }
    FreeLibrary(version);
}

TEST(AboutTemplate, ReadmeNamesTheSameVersion)
{
    std::string readme = ReadWholeFile(VELKOR_SOURCE_DIR_WIN "\\README.md");
    if (readme.empty())
        GTEST_SKIP() << "README.md is not there yet";
    EXPECT_NE(std::string::npos, readme.find("Velkor Version 1.0")) << "README must name the About box's version line";
    EXPECT_NE(std::string::npos, readme.find("1.2.0.0")) << "README must name the file version";
    for (size_t at = readme.find("Velkor Version "); at != std::string::npos;
         at = readme.find("Velkor Version ", at + 1))
        EXPECT_EQ(0, readme.compare(at, 18, "Velkor Version 1.0")) << readme.substr(at, 24);
}

TEST_F(About, ClosesWithOkEnterEscapeAndTheCloseButton)
{
    struct Way {
        const char *name;
        std::function<void(HWND box, HWND focus)> act;
        INT_PTR result;
    };
    const Way ways[] = {
        {"OK button", [](HWND box, HWND) { PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); }, IDOK},
        {"Enter", [](HWND, HWND focus) { PostKey(focus, VK_RETURN); }, IDOK},
        {"Escape", [](HWND, HWND focus) { PostKey(focus, VK_ESCAPE); }, IDCANCEL},
        {"title bar close button", [](HWND box, HWND) { PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        AboutRun run = RunAboutBox(way.act, false);
        ASSERT_TRUE(run.box != NULL) << "no About box";
        EXPECT_TRUE(run.closedByAction);
        EXPECT_EQ(way.result, run.result);
        EXPECT_EQ(MainWindow(), run.owner);
        EXPECT_TRUE(run.mainDisabled);
        // The OK button takes the focus, and nothing else can.
        EXPECT_TRUE(run.focus != NULL && run.focus == run.okButton);
        EXPECT_TRUE(IsWindowEnabled(MainWindow()));
    }
}

TEST_F(About, ClicksOnTheIconAndTheTextsDoNothing)
{
    // The icon's id is 2, the same as IDCANCEL: were it to notify its clicks,
    // a click on it would close the box.
    std::vector<std::string> clicked;
    bool aliveBeforeOk = false;
    LONG iconStyle = 0;
    AboutRun run = RunAboutBox(
        [&](HWND box, HWND) {
            releasesTaken = 0;
            HHOOK hook = SetWindowsHookExA(WH_MOUSE, CountReleases, NULL, GetWindowThreadProcessId(box, NULL));
            for (HWND control : Children(box)) {
                if (GetDlgCtrlID(control) == IDOK)
                    continue;
                if (GetDlgCtrlID(control) == IDC_ABOUT_ICON)
                    iconStyle = GetWindowLongA(control, GWL_STYLE);
                ClickCentre(control, false);
                ClickCentre(control, true);
                clicked.push_back(WindowText(control));
            }
            // A click and a double click each: three releases a control.
            for (DWORD start = GetTickCount(); releasesTaken < 3 * (LONG)clicked.size() && GetTickCount() - start < 5000;)
                Sleep(5);
            if (hook)
                UnhookWindowsHookEx(hook);
            aliveBeforeOk = IsWindow(box) && IsWindowVisible(box);
            // Input is handled in order: if this click ends the box with IDOK,
            // every click before it was handled and left the box open.
            ClickCentre(GetDlgItem(box, IDOK), false);
        },
        false);
    ASSERT_TRUE(run.box != NULL);
    EXPECT_EQ(6u, clicked.size()); // the icon and five lines of text
    EXPECT_EQ(0, iconStyle & SS_NOTIFY);
    EXPECT_TRUE(aliveBeforeOk);
    EXPECT_TRUE(run.closedByAction) << "the click on OK did not reach the box";
    EXPECT_EQ(IDOK, run.result);
}

TEST_F(About, InfoCommandShowsTheBoxOwnedByTheMainWindow)
{
    HICON icon = NULL;
    RECT iconPlace = {0, 0, 0, 0}, expectedPlace = {14, 9, 0, 0};
    AboutRun run = RunAboutBox(
        [&](HWND box, HWND focus) {
            HWND control = GetDlgItem(box, IDC_ABOUT_ICON);
            icon = (HICON)SendMessageA(control, STM_GETICON, 0, 0);
            GetWindowRect(control, &iconPlace);
            MapWindowPoints(NULL, box, (POINT *)&iconPlace, 2);
            MapDialogRect(box, &expectedPlace);
            PostKey(focus, VK_ESCAPE);
        },
        true);
    ASSERT_TRUE(run.box != NULL) << "command 104 showed no About box";
    EXPECT_EQ(MainWindow(), run.owner);
    EXPECT_TRUE(run.mainDisabled);
    EXPECT_TRUE(run.closedByAction);
    EXPECT_TRUE(IsWindowEnabled(MainWindow()));
    // The program's large icon, at its place and in its own size.
    EXPECT_TRUE(icon != NULL);
    EXPECT_EQ(expectedPlace.left, iconPlace.left);
    EXPECT_EQ(expectedPlace.top, iconPlace.top);
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), iconPlace.right - iconPlace.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), iconPlace.bottom - iconPlace.top);
}

namespace {

// Dialogs activated on this thread while the hook is set; each is closed.
HHOOK dialogHook;
std::vector<std::string> activatedDialogs;

LRESULT CALLBACK WatchDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND window = (HWND)wParam;
        char cls[32] = "", title[64] = "";
        GetClassNameA(window, cls, sizeof cls);
        GetWindowTextA(window, title, sizeof title);
        if (strcmp(cls, "#32770") == 0) {
            activatedDialogs.push_back(title);
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(dialogHook, code, wParam, lParam);
}

// Posts one character message to target (the window with the focus, as the
// keyboard does) with Alt held or not, and runs the program's own message loop
// until it has been handled; returns the titles of the dialogs it opened.
std::vector<std::string> TypeIntoMessageLoop(UINT message, char character, bool alt, HWND target = MainWindow())
{
    BYTE saved[256], keys[256];
    GetKeyboardState(saved);
    memcpy(keys, saved, sizeof keys);
    keys[VK_MENU] = keys[VK_LMENU] = alt ? 0x80 : 0;
    SetKeyboardState(keys);

    activatedDialogs.clear();
    dialogHook = SetWindowsHookExA(WH_CBT, WatchDialogs, NULL, GetCurrentThreadId());
    LPARAM lParam = 1 | (alt ? KF_ALTDOWN << 16 : 0);
    PostMessageA(target, message, (WPARAM)(unsigned char)character, lParam);
    // The quit comes only after every posted message, so the loop returns
    // once the character has been handled (and any box it opened closed).
    PostQuitMessage(77);
    int code = RunMessageLoop();
    UnhookWindowsHookEx(dialogHook);
    SetKeyboardState(saved);
    EXPECT_EQ(77, code);
    return activatedDialogs;
}

} // namespace

TEST_F(About, AltQuestionMarkAndAltSlashOpenTheBoxThroughTheMessageLoop)
{
    // Wherever the focus is: the main window, the command list or the log.
    for (int id : {0, IDC_COMMAND_LIST, IDC_MESSAGE_LOG})
        for (char key : {'?', '/'}) {
            SCOPED_TRACE(std::string("Alt+") + key + " with the focus in window " + std::to_string(id));
            HWND focus = id ? GetDlgItem(MainWindow(), id) : MainWindow();
            SetFocus(focus);
            ASSERT_EQ(focus, GetFocus());
            std::vector<std::string> dialogs = TypeIntoMessageLoop(WM_SYSCHAR, key, true, focus);
            ASSERT_EQ(1u, dialogs.size());
            EXPECT_EQ("Info", dialogs[0]);
        }
    // Typing them without Alt does nothing.
    EXPECT_TRUE(TypeIntoMessageLoop(WM_CHAR, '?', false).empty());
    EXPECT_TRUE(TypeIntoMessageLoop(WM_CHAR, '/', false).empty());
    EXPECT_TRUE(IsWindowEnabled(MainWindow()));
}
