// The device properties dialog through "Device waehlen", in-process: the
// dialog is real and answered from the test's thread.
#include <gtest/gtest.h>

#include <functional>

#include "base/appwindows.h"
#include "device/receivebuffer.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include "support.h"

static const char QUESTION[] = "Konnte Device nicht öffnen!\nTrotzdem eintragen und Dialog beenden?";
static const char CONVERT_WARNING[] = "Fehler beim konvertieren des Sendestrings";

// A dialog that a failed test leaves open is cancelled after this long.
static const UINT WATCHDOG_MS = 15000;
static HWND watchedDialog;
static bool watchdogFired;

static void CALLBACK Watchdog(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    if (watchedDialog && IsWindow(watchedDialog) && IsWindowVisible(watchedDialog)) {
        watchdogFired = true;
        PostMessageA(watchedDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
}

// Runs "Device waehlen" and hands the open dialog to body, which ends it (or
// lets it end by itself) and may check what it shows meanwhile.
static void RunDeviceDialog(const std::function<void(HWND)> &body)
{
    watchedDialog = NULL;
    watchdogFired = false;
    AnswerNextBox([body](HWND dialog, const SeenBox &info) {
        EXPECT_EQ("Device Eigenschaften", info.caption);
        watchedDialog = dialog;
        body(dialog);
    });
    UINT_PTR watchdog = SetTimer(NULL, 0, WATCHDOG_MS, Watchdog);
    RunCommand(IDM_CHOOSE_DEVICE);
    KillTimer(NULL, watchdog);
    EXPECT_FALSE(watchdogFired) << "the dialog was left open";
    EXPECT_EQ(0u, PendingAnswers()) << "a scripted box did not appear";
}

// Every box but the dialog itself, answered or not.
static std::vector<SeenBox> MessageBoxes()
{
    std::vector<SeenBox> boxes;
    for (const SeenBox &box : SeenBoxes())
        if (box.caption != "Device Eigenschaften")
            boxes.push_back(box);
    return boxes;
}

static int MessageBoxesSeen() { return (int)MessageBoxes().size(); }

// The message boxes with this text.
static int BoxesWithText(const char *text)
{
    int count = 0;
    for (const SeenBox &box : MessageBoxes())
        count += box.text == text;
    return count;
}

// A temporary file that any test-open can open: the simplest real device.
class TempDevice {
public:
    TempDevice()
    {
        path = TestFolder("props-dev") + "\\device.bin";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    ~TempDevice() { DeleteFileA(path.c_str()); }
    std::string path;
};

// Every setting and the receive buffer's size.
static std::string CurrentSettings()
{
    return SettingsText(Settings()) + ", buffer " + std::to_string(ReceiveBufferSize());
}

class PropsDialog : public VelkorAppTest {
protected:
    TempDevice device; // a device any test-open can open
    // Applies one connect string with OK, all else left as the dialog shows it.
    void ApplyDevice(const std::string &connect, const std::function<void(HWND)> &edit = nullptr)
    {
        RunDeviceDialog([&](HWND dialog) {
            SetDlgItemTextA(dialog, IDC_CONNECT, connect.c_str());
            if (edit)
                edit(dialog);
            ClickControl(dialog, IDOK);
        });
    }
};

TEST_F(PropsDialog, FirstRunShowsTheDefaults)
{
    RunDeviceDialog([](HWND dialog) {
        EXPECT_EQ("", ControlText(dialog, IDC_CONNECT));
        EXPECT_EQ(GetDlgItem(dialog, IDC_CONNECT), GetFocus()) << "the connect field is the first tab stop";
        EXPECT_EQ("500", ControlText(dialog, IDC_WRITE_TIMEOUT));
        EXPECT_EQ("500", ControlText(dialog, IDC_READ_TIMEOUT));
        EXPECT_EQ("3", ControlText(dialog, IDC_BLOCK_LENGTH));
        EXPECT_TRUE(ControlChecked(dialog, IDC_EXCLUSIVE));
        for (int id : {IDC_ENDBYTE_ON, IDC_PREFIX_ON, IDC_SUFFIX_ON})
            EXPECT_FALSE(ControlChecked(dialog, id)) << id;
        for (int id : {IDC_ENDBYTE_BYTE, IDC_PREFIX_BYTE, IDC_SUFFIX_BYTE}) {
            EXPECT_EQ("00", ControlText(dialog, id)) << id;
            EXPECT_FALSE(ControlEnabled(dialog, id)) << id;
        }
        ClickControl(dialog, IDCANCEL);
    });
    EXPECT_EQ(0, MessageBoxesSeen());
    EXPECT_EQ(NULL, Settings().connectString);
}

TEST_F(PropsDialog, OkWithADeviceThatOpensAppliesEverythingWithoutAQuestion)
{
    // A named pipe served by the test is a real device for the test-open.
    std::string pipeName = "\\\\.\\pipe\\" + UniqueName("props-ok");
    HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 64,
                                   64, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    ApplyDevice(pipeName, [](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_WRITE_TIMEOUT, "1234");
        SetDlgItemTextA(dialog, IDC_READ_TIMEOUT, "4000000000"); // unsigned: above the signed range
        SetDlgItemTextA(dialog, IDC_BLOCK_LENGTH, "16");
        ClickControl(dialog, IDC_EXCLUSIVE);
        ClickControl(dialog, IDC_ENDBYTE_ON);
        EXPECT_TRUE(ControlEnabled(dialog, IDC_ENDBYTE_BYTE));
        SetDlgItemTextA(dialog, IDC_ENDBYTE_BYTE, "0d");
        ClickControl(dialog, IDC_PREFIX_ON);
        SetDlgItemTextA(dialog, IDC_PREFIX_BYTE, "FF");
        ClickControl(dialog, IDC_SUFFIX_ON);
        SetDlgItemTextA(dialog, IDC_SUFFIX_BYTE, "1b");
    });
    CloseHandle(pipe);
    EXPECT_EQ(0, MessageBoxesSeen());
    ASSERT_NE((char *)NULL, Settings().connectString);
    EXPECT_STREQ(pipeName.c_str(), Settings().connectString);
    EXPECT_EQ(1234u, Settings().writeTimeoutMs);
    EXPECT_EQ(4000000000u, Settings().readTimeoutMs);
    EXPECT_EQ(16u, Settings().readBlockLength);
    EXPECT_EQ(17u, ReceiveBufferSize());
    EXPECT_FALSE(Settings().openExclusive);
    EXPECT_EQ(0x0D, Settings().readEndByte);
    EXPECT_EQ(0xFF, Settings().sendPrefix);
    EXPECT_EQ(0x1B, Settings().sendSuffix);
}

TEST_F(PropsDialog, OkWithANameThatCannotBeOpenedAsksFirst)
{
    std::string missing = "\\\\.\\pipe\\" + UniqueName("props-missing");
    RunDeviceDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_CONNECT, missing.c_str());
        SetDlgItemTextA(dialog, IDC_BLOCK_LENGTH, "7");
        // No: the dialog stays with what was entered, nothing applied.
        AnswerNextBoxWith(IDNO);
        ClickControl(dialog, IDOK);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(missing, ControlText(dialog, IDC_CONNECT));
        EXPECT_EQ("7", ControlText(dialog, IDC_BLOCK_LENGTH));
        EXPECT_EQ(NULL, Settings().connectString);
        AnswerNextBoxWith(IDYES);
        ClickControl(dialog, IDOK);
    });
    ASSERT_EQ(2, BoxesWithText(QUESTION));
    for (const SeenBox &box : MessageBoxes()) {
        EXPECT_EQ("VELKOR", box.caption);
        EXPECT_EQ((UINT)(MB_ICONQUESTION | MB_YESNO), box.style);
    }
    ASSERT_NE((char *)NULL, Settings().connectString);
    EXPECT_STREQ(missing.c_str(), Settings().connectString);
    EXPECT_EQ(7u, Settings().readBlockLength);
    EXPECT_EQ("Velkor  " + missing + "   R:7/500 S:500", WindowText(MainWindow()));
}

TEST_F(PropsDialog, OkWithAnEmptyConnectFieldAsksAndChangesNothing)
{
    ApplyDevice(device.path);
    std::string before = CurrentSettings();
    ClearSeenBoxes();
    RunDeviceDialog([](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_CONNECT, "");
        SetDlgItemTextA(dialog, IDC_WRITE_TIMEOUT, "77");
        SetDlgItemTextA(dialog, IDC_BLOCK_LENGTH, "40");
        ClickControl(dialog, IDC_SUFFIX_ON);
        AnswerNextBoxWith(IDNO);
        ClickControl(dialog, IDOK);
        EXPECT_TRUE(IsWindowVisible(dialog)) << "No keeps the dialog open";
        AnswerNextBoxWith(IDYES);
        ClickControl(dialog, IDOK);
    });
    EXPECT_EQ(2, BoxesWithText(QUESTION));
    EXPECT_EQ(before, CurrentSettings());
}

TEST_F(PropsDialog, CancelAndEscapeApplyNothing)
{
    std::string before = CurrentSettings();
    RunDeviceDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_CONNECT, device.path.c_str());
        SetDlgItemTextA(dialog, IDC_READ_TIMEOUT, "9");
        ClickControl(dialog, IDC_PREFIX_ON);
        ClickControl(dialog, IDCANCEL);
    });
    EXPECT_EQ(before, CurrentSettings());
    RunDeviceDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_CONNECT, device.path.c_str());
        SetDlgItemTextA(dialog, IDC_READ_TIMEOUT, "9");
        // Escape reaches the dialog through the dialog manager's own loop.
        HWND focus = GetDlgItem(dialog, IDC_READ_TIMEOUT);
        SetFocus(focus);
        PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    });
    EXPECT_EQ(before, CurrentSettings());
    EXPECT_EQ(0, MessageBoxesSeen());
}

TEST_F(PropsDialog, ASwitchedOffPrefixKeepsItsByteAcrossARestart)
{
    auto expectOffKeeping41 = [](HWND dialog) {
        EXPECT_FALSE(ControlChecked(dialog, IDC_PREFIX_ON));
        EXPECT_FALSE(ControlEnabled(dialog, IDC_PREFIX_BYTE));
        EXPECT_EQ("41", ControlText(dialog, IDC_PREFIX_BYTE));
    };
    ApplyDevice(device.path, [&](HWND dialog) {
        ClickControl(dialog, IDC_PREFIX_ON);
        SetDlgItemTextA(dialog, IDC_PREFIX_BYTE, "41");
        ClickControl(dialog, IDC_PREFIX_ON);
        expectOffKeeping41(dialog);
    });
    EXPECT_EQ(0xFF41, Settings().sendPrefix);

    Stop(); // stores the settings
    Start();
    EXPECT_EQ(0xFF41, Settings().sendPrefix);
    RunDeviceDialog([&](HWND dialog) {
        expectOffKeeping41(dialog);
        ClickControl(dialog, IDC_PREFIX_ON);
        EXPECT_TRUE(ControlEnabled(dialog, IDC_PREFIX_BYTE));
        EXPECT_EQ("41", ControlText(dialog, IDC_PREFIX_BYTE));
        ClickControl(dialog, IDOK);
    });
    EXPECT_EQ(0x41, Settings().sendPrefix);
    EXPECT_EQ(0, MessageBoxesSeen());
}

TEST_F(PropsDialog, ShortHexTextsAreCompletedWithALeadingZero)
{
    ApplyDevice(device.path, [](HWND dialog) {
        ClickControl(dialog, IDC_PREFIX_ON);
        SetDlgItemTextA(dialog, IDC_PREFIX_BYTE, "a");
        ClickControl(dialog, IDC_SUFFIX_ON);
        SetDlgItemTextA(dialog, IDC_SUFFIX_BYTE, "5 ");
        // Switched off: the byte is kept all the same.
        SetDlgItemTextA(dialog, IDC_ENDBYTE_BYTE, " c");
    });
    EXPECT_EQ(0x0A, Settings().sendPrefix);
    EXPECT_EQ(0x05, Settings().sendSuffix);
    EXPECT_EQ(0xFF0C, Settings().readEndByte);
    EXPECT_EQ(0, MessageBoxesSeen());
}

TEST_F(PropsDialog, AnEmptiedHexEditWarnsOnceAtOkAndStoresZero)
{
    ApplyDevice(device.path, [](HWND dialog) {
        ClickControl(dialog, IDC_ENDBYTE_ON);
        HWND edit = GetDlgItem(dialog, IDC_ENDBYTE_BYTE);
        SetFocus(edit);
        SetDlgItemTextA(dialog, IDC_ENDBYTE_BYTE, "");
        AnswerNextBoxWith(IDOK);
        // Leaving the empty edit passes; OK then converts nothing and warns.
    });
    EXPECT_EQ(1, BoxesWithText(CONVERT_WARNING));
    EXPECT_EQ(1, MessageBoxesSeen());
    EXPECT_EQ(0x00, Settings().readEndByte);
}

TEST_F(PropsDialog, LeavingAHexEditWithBadTextWarnsAndEmptiesIt)
{
    RunDeviceDialog([](HWND dialog) {
        ClickControl(dialog, IDC_SUFFIX_ON);
        SetFocus(GetDlgItem(dialog, IDC_SUFFIX_BYTE));
        SetDlgItemTextA(dialog, IDC_SUFFIX_BYTE, "123");
        AnswerNextBoxWith(IDCANCEL);
        SetFocus(GetDlgItem(dialog, IDC_CONNECT));
        EXPECT_EQ("", ControlText(dialog, IDC_SUFFIX_BYTE));
        // Text that is fine is left alone.
        SetFocus(GetDlgItem(dialog, IDC_SUFFIX_BYTE));
        SetDlgItemTextA(dialog, IDC_SUFFIX_BYTE, "b ");
        SetFocus(GetDlgItem(dialog, IDC_CONNECT));
        EXPECT_EQ("b ", ControlText(dialog, IDC_SUFFIX_BYTE));
        ClickControl(dialog, IDCANCEL);
    });
    ASSERT_EQ(1, MessageBoxesSeen());
    ASSERT_FALSE(MessageBoxes()[0].unexpected) << "the warning was answered as scripted";
    EXPECT_EQ("VELKOR", MessageBoxes()[0].caption);
    EXPECT_EQ((UINT)(MB_ICONWARNING | MB_RETRYCANCEL), MessageBoxes()[0].style);
}

TEST_F(PropsDialog, UnreadableNumbersApplyZero)
{
    ApplyDevice(device.path, [](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_WRITE_TIMEOUT, "abc"); // as pasted: ES_NUMBER does not see it
        SetDlgItemTextA(dialog, IDC_READ_TIMEOUT, "");
        SetDlgItemTextA(dialog, IDC_BLOCK_LENGTH, "x1");
    });
    EXPECT_EQ(0u, Settings().writeTimeoutMs);
    EXPECT_EQ(0u, Settings().readTimeoutMs);
    EXPECT_EQ(0u, Settings().readBlockLength);
    EXPECT_EQ(2u, ReceiveBufferSize()) << "never fewer than 2 bytes";
}

TEST_F(PropsDialog, ABlockLengthWithoutABufferLeavesSettingAndBufferAgreeing)
{
    ApplyDevice(device.path, [](HWND dialog) { SetDlgItemTextA(dialog, IDC_BLOCK_LENGTH, "16"); });
    ASSERT_EQ(17u, ReceiveBufferSize());
    ClearSeenBoxes();
    // 4294967295 + 1 bytes cannot be had (and wraps to 0 in 32 bits).
    ApplyDevice(device.path, [](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_BLOCK_LENGTH, "4294967295");
        AnswerNextBoxWith(IDOK);
    });
    EXPECT_EQ(1, MessageBoxesSeen()) << "the refusal is shown";
    EXPECT_EQ(17u, ReceiveBufferSize());
    EXPECT_EQ(16u, Settings().readBlockLength);
}

TEST_F(PropsDialog, OnlyAChangedDecorationReRendersTheCommandList)
{
    // Lower-case digits show whether an entry was rendered anew.
    InsertListEntry(" 0x1b 0x05", "erster");
    InsertListEntry(" 0xab", "zweiter");
    RunDeviceDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_CONNECT, device.path.c_str());
        ClickControl(dialog, IDC_SUFFIX_ON);
        SetDlgItemTextA(dialog, IDC_SUFFIX_BYTE, "03");
        ClickControl(dialog, IDCANCEL);
    });
    EXPECT_EQ(" 0x1b 0x05", ListText(0, 0));
    EXPECT_EQ(" 0xab", ListText(1, 0));

    ApplyDevice(device.path, [](HWND dialog) { SetDlgItemTextA(dialog, IDC_BLOCK_LENGTH, "8"); });
    EXPECT_EQ(" 0x1b 0x05", ListText(0, 0)) << "prefix and suffix unchanged";

    ApplyDevice(device.path, [](HWND dialog) {
        ClickControl(dialog, IDC_SUFFIX_ON);
        SetDlgItemTextA(dialog, IDC_SUFFIX_BYTE, "03");
    });
    EXPECT_EQ(" 0x1B 0x05  0x03", ListText(0, 0));
    EXPECT_EQ("erster", ListText(0, 1));
    EXPECT_EQ(" 0xAB  0x03", ListText(1, 0));
    EXPECT_EQ("zweiter", ListText(1, 1));
}

// A peer holds the device open for reading and lets others read too: an open
// that shares reading passes, one that shares nothing meets a sharing
// violation. So the share mode of each test-open shows in its outcome.
TEST_F(PropsDialog, TestOpensUseTheirShareModes)
{
    HANDLE peer = CreateFileA(device.path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, peer);
    RunDeviceDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_CONNECT, device.path.c_str());
        ASSERT_TRUE(ControlChecked(dialog, IDC_EXCLUSIVE));
        AnswerNextBoxWith(IDOK);
        ClickControl(dialog, IDC_TEST_DEVICE); // share mode 0: refused
        ClickControl(dialog, IDC_EXCLUSIVE);
        AnswerNextBoxWith(IDOK);
        ClickControl(dialog, IDC_TEST_DEVICE); // FILE_SHARE_READ: passes
        ClickControl(dialog, IDC_EXCLUSIVE);
        ClickControl(dialog, IDOK); // FILE_SHARE_READ whatever the box says
    });
    CloseHandle(peer);
    ASSERT_EQ(2, MessageBoxesSeen()) << "OK's test-open passed without a question";
    const std::vector<SeenBox> boxes = MessageBoxes();
    ASSERT_EQ(2u, boxes.size());
    std::string refused = "Systemfehler 32 beim Versuch das Device zu öffnen\n\n";
    EXPECT_EQ(refused, boxes[0].text.substr(0, refused.size()));
    EXPECT_GT(boxes[0].text.size(), refused.size()) << "the system's text follows";
    EXPECT_EQ("VELKOR", boxes[0].caption);
    EXPECT_EQ((UINT)(MB_ICONWARNING | MB_OK), boxes[0].style);
    ExpectBox(boxes[1], "VELKOR", "konnte Device erfolgreich testen", MB_ICONINFORMATION | MB_OK);
    ASSERT_NE((char *)NULL, Settings().connectString);
    EXPECT_STREQ(device.path.c_str(), Settings().connectString);
    EXPECT_TRUE(Settings().openExclusive);
}

TEST_F(PropsDialog, DeviceTestenHoldsTheDeviceWhileItsBoxShows)
{
    bool heldDuringBox = false;
    RunDeviceDialog([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_CONNECT, device.path.c_str());
        AnswerNextBox([&](HWND box, const SeenBox &) {
            // With "exclusiv oeffnen" checked the dialog's handle shares
            // nothing: any other open fails exactly while it is held.
            HANDLE probe = CreateFileA(device.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
            heldDuringBox = probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
            if (probe != INVALID_HANDLE_VALUE)
                CloseHandle(probe);
            PressButton(box, IDOK);
        });
        ClickControl(dialog, IDC_TEST_DEVICE);
        ClickControl(dialog, IDCANCEL);
    });
    EXPECT_TRUE(heldDuringBox);
    HANDLE after = CreateFileA(device.path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, after) << "closed once the box is gone";
    if (after != INVALID_HANDLE_VALUE)
        CloseHandle(after);
    EXPECT_EQ(NULL, Settings().connectString);
}
