#include "support.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "base/appwindows.h"
#include "base/clipboard.h"
#include "controls/controls.h"
#include "app/shell.h"
#include "base/commandfilename.h"
#include "base/devicehandle.h"
#include "device/receivebuffer.h"
#include "log/messagelog.h"
#include "resources/resource.h"
#include "settings/settings.h"

bool StartTestApp()
{
    // The program's first act is creating its named mutex; its start-up box would hide why that fails.
    HANDLE probe = CreateMutexA(NULL, FALSE, "velkor_test_probe");
    if (!probe)
        fprintf(stderr, "StartTestApp: no named mutex can be created, error %lu\n", GetLastError());
    else
        CloseHandle(probe);
    if (!StartVelkor(GetModuleHandleA(NULL), SW_SHOWNORMAL))
        return false;
    PumpPending();
    return true;
}

// Ends the message loop of a stop that sees no WM_QUIT.
static void CALLBACK StopTimedOut(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(-1); }

int StopTestApp()
{
    if (MainWindow() && IsWindow(MainWindow()))
        DestroyWindow(MainWindow());
    // The program's own loop runs to its WM_QUIT (or to the time-out's after 10 s).
    UINT_PTR timeOut = SetTimer(NULL, 0, 10000, StopTimedOut);
    int code = RunMessageLoop();
    KillTimer(NULL, timeOut);
    ShutdownVelkor();
    return code;
}

VelkorProcess ThisApp() { return {GetCurrentProcess(), GetCurrentProcessId(), MainWindow()}; }

bool LastLineInView()
{
    HWND log = MessageLog();
    LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    RECT item, client;
    if (count < 1 || SendMessageA(log, LB_GETITEMRECT, (WPARAM)(count - 1), (LPARAM)&item) == LB_ERR)
        return false;
    GetClientRect(log, &client);
    return item.top >= client.top && item.bottom <= client.bottom;
}

// Owned by the test's thread: the log's own procedure, while a watcher stands in front of it.
static WNDPROC logProc;

void WatchLogWindow(WNDPROC watcher)
{
    WNDPROC previous = (WNDPROC)SetWindowLongPtrA(MessageLog(), GWLP_WNDPROC, (LONG_PTR)(watcher ? watcher : logProc));
    if (!logProc)
        logProc = previous;
}

LRESULT CallLogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(logProc, window, message, wParam, lParam);
}

static int refusalsLeft;

// The log's list box out of memory for as many lines as refusalsLeft says.
static LRESULT CALLBACK RefuseLogLine(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LB_ADDSTRING && refusalsLeft > 0) {
        if (--refusalsLeft == 0)
            WatchLogWindow(NULL);
        return LB_ERRSPACE;
    }
    return CallLogProc(window, message, wParam, lParam);
}

void RefuseLogLines(int count)
{
    refusalsLeft = count;
    WatchLogWindow(count > 0 ? RefuseLogLine : NULL);
}

std::string ColumnHeader(int column, HWND list)
{
    char text[64] = "";
    LVCOLUMNA c = {};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = text;
    c.cchTextMax = sizeof text;
    EXPECT_TRUE(SendMessageA(list ? list : CommandList(), LVM_GETCOLUMNA, column, (LPARAM)&c)) << "column " << column;
    return text + ("|" + std::to_string(c.cx));
}

int InsertListEntry(const char *command, const char *remark)
{
    LVITEMA lv = {};
    lv.mask = LVIF_TEXT;
    lv.iItem = ListItemCount();
    lv.pszText = (char *)command;
    int index = (int)SendMessageA(CommandList(), LVM_INSERTITEMA, 0, (LPARAM)&lv);
    lv.iSubItem = 1;
    lv.pszText = (char *)remark;
    SendMessageA(CommandList(), LVM_SETITEMTEXTA, index, (LPARAM)&lv);
    return index;
}

void MarkEntry(int n)
{
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = n >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    SendMessageA(CommandList(), LVM_SETITEMSTATE, n >= 0 ? (WPARAM)n : (WPARAM)-1, (LPARAM)&item);
    SendMessageA(CommandList(), LVM_SETSELECTIONMARK, 0, n);
}

void RunCommand(int id)
{
    SendMessageA(MainWindow(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
    PumpPending();
}

std::vector<std::string> LogNumbered(const char *format, int count)
{
    std::vector<std::string> texts;
    char text[64];
    for (int i = 0; i < count; i++) {
        snprintf(text, sizeof text, format, i);
        LogMessage(text, 9);
        texts.push_back(text);
    }
    return texts;
}

std::string SaveLog(const std::string &path, int answer, const std::function<void()> &atQuestion)
{
    AnswerNextBox(ChooseFile(path));
    AnswerNextBox([atQuestion, answer](HWND box, const SeenBox &) {
        if (atQuestion)
            atQuestion();
        PressButton(box, answer);
    });
    RunCommand(IDM_SAVE_LOG);
    return ReadWholeFile(path);
}

UINT MenuState(int id) { return GetMenuState(GetMenu(MainWindow()), id, MF_BYCOMMAND); }

bool SaveOffered(bool offered)
{
    bool menu = !(MenuState(IDM_SAVE_COMMANDS) & MF_GRAYED);
    bool button = (ButtonState(IDM_SAVE_COMMANDS_BUTTON) & TBSTATE_ENABLED) != 0;
    return menu == offered && button == offered;
}

void Remember(const char *name)
{
    SetCommandFileName(name);
    RefreshSaveControls();
}

std::string NameOrNone() { return CommandFileName() ? CommandFileName() : "(none)"; }

std::string SettingsText(const DeviceSettings &s)
{
    char numbers[160];
    snprintf(numbers, sizeof numbers, "block %u, read %u ms, end %04X, write %u ms, prefix %04X, suffix %04X, %s",
             s.readBlockLength, s.readTimeoutMs, s.readEndByte, s.writeTimeoutMs, s.sendPrefix, s.sendSuffix,
             s.openExclusive ? "exclusive" : "shared");
    return numbers + (s.connectString ? ", device \"" + std::string(s.connectString) + "\"" : ", no device");
}

void UseDevice(const std::string &connectString, uint32_t blockLength, uint32_t readTimeoutMs, uint16_t endByte)
{
    DeviceSettings &settings = Settings();
    ReplaceConnectString(connectString.c_str());
    settings.readBlockLength = blockLength;
    settings.readTimeoutMs = readTimeoutMs;
    settings.readEndByte = endByte;
    AllocateReceiveBuffer(blockLength);
    // As after "Device waehlen".
    UpdateTitle();
    RefreshDeviceControls();
}

bool OpenFromToolbar()
{
    RunCommand(IDM_OPEN_DEVICE_BUTTON);
    return DeviceIsOpen() && WaitForLogLine("Device " + std::string(Settings().connectString) + " geoeffnet", 2000);
}

void CloseFromToolbar() { RunCommand(IDM_CLOSE_DEVICE_BUTTON); }

std::vector<Bytes> WaitForBlocks(size_t count, DWORD timeoutMs)
{
    std::vector<Bytes> blocks;
    PumpUntil([&] { return (blocks = ReceivedBlocks(LogLines())).size() >= count; }, timeoutMs);
    return blocks;
}

void VelkorAppTest::SetUp()
{
    ClearVelkorRegistry();
    StartBoxAnswering();
    BeforeStart();
    if (startAtSetUp && !HasFatalFailure())
        Start();
}

void VelkorAppTest::TearDown()
{
    if (running)
        Stop();
    EXPECT_EQ(0u, PendingAnswers()) << "a box the test waited for did not come";
    for (const SeenBox &box : SeenBoxes())
        EXPECT_FALSE(box.unexpected) << "unexpected box: " << box.caption << " / " << box.text;
    StopBoxAnswering();
    ClearVelkorRegistry();
}

void VelkorPeerTest::TearDown()
{
    VelkorAppTest::TearDown();
    StopPeer(peer);
}

void VelkorPeerTest::OpenPeer(uint32_t blockLength, uint32_t readTimeoutMs, uint16_t endByte)
{
    UseDevice(PeerConnectString(peer), blockLength, readTimeoutMs, endByte);
    ASSERT_TRUE(OpenFromToolbar());
    ASSERT_TRUE(PumpUntil([&] { return PeerConnected(peer); }, 2000));
}

void VelkorAppTest::Start()
{
    running = true; // a half-done start is undone by the stop as well
    ASSERT_TRUE(StartTestApp());
}

int VelkorAppTest::Stop()
{
    running = false;
    return StopTestApp();
}

void PressKeyInLoop(HWND target, UINT key, bool ctrl)
{
    BYTE saved[256], keys[256];
    GetKeyboardState(saved);
    memcpy(keys, saved, sizeof keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = ctrl ? 0x80 : 0;
    keys[VK_MENU] = keys[VK_LMENU] = 0;
    SetKeyboardState(keys);
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    // The quit comes after both, so the loop returns once they are handled.
    PostQuitMessage(77);
    EXPECT_EQ(77, RunMessageLoop());
    SetKeyboardState(saved);
}

bool SetClipboardText(const std::string &text)
{
    return PumpUntil([&] { return PutTextOnClipboard(NULL, text.c_str()); }, 5000);
}
