// Opening and closing the device: the log lines, the error boxes, the share
// mode, the control states, and exit with the device open.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "device/connection.h"
#include "base/devicehandle.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include "probes.h"
#include "support.h"

typedef VelkorPeerTest DeviceConnection;

// A plain file is a device too, and the one whose share mode the system enforces here.
static std::string MakeFile(const std::string &folder, const std::string &name)
{
    std::string path = folder + "\\" + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return path;
}

static bool OthersCanOpen(const std::string &path)
{
    HANDLE other = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (other == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(other);
    return true;
}

TEST_F(DeviceConnection, ExclusiveOpeningShutsOthersOutSharedLetsThemIn)
{
    std::string path = MakeFile(TestFolder("velkor-share"), "device.bin");
    UseDevice(path);
    Settings().openExclusive = true;
    ASSERT_TRUE(OpenDevice());
    EXPECT_FALSE(OthersCanOpen(path));
    CloseDevice();
    EXPECT_TRUE(OthersCanOpen(path)) << "closed means closed";
    Settings().openExclusive = false;
    ASSERT_TRUE(OpenDevice());
    EXPECT_TRUE(OthersCanOpen(path));
    CloseDevice();
}

TEST_F(DeviceConnection, OpenAndCloseLogAndSetTheControls)
{
    peer = StartPipePeer(UniqueName("velkor-connect"));
    std::string name = PeerConnectString(peer);
    UseDevice(name);
    EXPECT_EQ(TBSTATE_ENABLED, ButtonState(IDM_OPEN_DEVICE_BUTTON) & (TBSTATE_ENABLED | TBSTATE_CHECKED));
    ASSERT_TRUE(OpenFromToolbar());
    DWORD reader = ReaderThreadId();
    EXPECT_NE(0u, reader);
    EXPECT_EQ(TBSTATE_ENABLED | TBSTATE_CHECKED, ButtonState(IDM_OPEN_DEVICE_BUTTON) & (TBSTATE_ENABLED | TBSTATE_CHECKED));
    EXPECT_EQ(TBSTATE_ENABLED, ButtonState(IDM_CLOSE_DEVICE_BUTTON) & (TBSTATE_ENABLED | TBSTATE_CHECKED));
    EXPECT_TRUE(ButtonState(IDM_SEND_COMMAND) & TBSTATE_ENABLED);
    EXPECT_FALSE(MenuState(IDM_CLOSE_DEVICE) & MF_GRAYED);

    // Open again while open: nothing opened, nothing logged, no second reader.
    size_t lines = LogLines().size();
    RunCommand(IDM_OPEN_DEVICE_BUTTON);
    EXPECT_EQ(lines, LogLines().size());
    EXPECT_EQ(reader, ReaderThreadId());
    EXPECT_FALSE(OpenDevice());
    EXPECT_TRUE(WaitPeerReady(peer, 1, 2000));
    EXPECT_FALSE(WaitPeerReady(peer, 2, 100)) << "the device was opened once";

    CloseFromToolbar();
    EXPECT_EQ(0u, ReaderThreadId());
    EXPECT_EQ(TBSTATE_ENABLED | TBSTATE_CHECKED, ButtonState(IDM_CLOSE_DEVICE_BUTTON) & (TBSTATE_ENABLED | TBSTATE_CHECKED));
    EXPECT_FALSE(ButtonState(IDM_SEND_COMMAND) & TBSTATE_ENABLED);
    // Closing while closed still says so.
    CloseFromToolbar();
    ASSERT_TRUE(WaitForLogLine("Empfangsroutine wurde beendet", 2000));
    std::vector<std::string> log = LogLines();
    std::vector<std::string> events;
    for (const std::string &line : log)
        if (line[0] == '+' && line.substr(16) != "VelKor gestartet")
            events.push_back(line.substr(16));
    std::vector<std::string> expected = {"Device " + name + " geoeffnet", "Device " + name + " geschlossen",
                                         "Empfangsroutine wurde beendet", "Device " + name + " geschlossen"};
    EXPECT_EQ(expected, events);
}

TEST_F(DeviceConnection, ADeviceThatIsNotThereGivesTheSystemsText)
{
    UseDevice("\\\\.\\pipe\\" + UniqueName("velkor-nobody"));
    AnswerNextBox([](HWND box, const SeenBox &) {
        // The wait cursor is gone by the time the box shows.
        EXPECT_NE(LoadCursorA(NULL, IDC_WAIT), GetCursor());
        PressButton(box, IDOK);
    });
    size_t lines = LogLines().size();
    RunCommand(IDM_OPEN_DEVICE_BUTTON);
    ASSERT_EQ(1u, SeenBoxes().size());
    const SeenBox &box = SeenBoxes()[0];
    EXPECT_EQ("VELKOR", box.caption);
    EXPECT_EQ((UINT)(MB_ICONWARNING | MB_OK), box.style);
    EXPECT_EQ(0u, box.text.find("Systemfehler 2 beim Versuch das Device zu \xF6" "ffnen\n\n")) << box.text;
    EXPECT_GT(box.text.size(), strlen("Systemfehler 2 beim Versuch das Device zu oeffnen\n\n"));
    EXPECT_EQ(lines, LogLines().size()) << "a failed open logs nothing";
    EXPECT_FALSE(DeviceIsOpen());
    EXPECT_EQ(0u, ReaderThreadId());
}

TEST_F(DeviceConnection, ReadingThePropertiesShowsErrorNumberZero)
{
    AnswerNextBoxWith(IDOK);
    RunCommand(IDM_READ_PROPERTIES);
    ASSERT_EQ(1u, SeenBoxes().size());
    const SeenBox &box = SeenBoxes()[0];
    EXPECT_EQ("VELKOR Device Eigenschaften", box.caption);
    EXPECT_EQ((UINT)MB_OK, box.style);
    EXPECT_EQ(0u, box.text.find("Systemfehler 0 beim Versuch das Device auszulesen\n\n")) << box.text;
    EXPECT_GT(box.text.size(), strlen("Systemfehler 0 beim Versuch das Device auszulesen\n\n"));
}

TEST_F(DeviceConnection, ALongConnectStringIsCutInTheLogLine)
{
    std::string folder = TestFolder("velkor-long");
    std::string path = MakeFile(folder, std::string(250 - folder.size() - 1, 'd'));
    ASSERT_EQ(250u, path.size());
    UseDevice(path);
    ASSERT_TRUE(OpenDevice());
    std::string line = LogLines().back();
    EXPECT_EQ(("Device " + path + " geoeffnet").substr(0, 255), line.substr(16));
    CloseDevice();
}

TEST_F(DeviceConnection, ExitWithTheDeviceOpenClosesItQuietly)
{
    peer = StartPipePeer(UniqueName("velkor-exit"));
    OpenPeer();
    Stop();
    EXPECT_FALSE(DeviceIsOpen());
    EXPECT_FALSE(LastReaderWasKilled());
    EXPECT_TRUE(PumpUntil([&] { return !PeerConnected(peer); }, 3000)) << "the device was closed";
}

// The module's stand-in for CreateFileA: it keeps the quality-of-service flags of every open.
typedef HANDLE(WINAPI *CreateFileFunction)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
void UseCreateFileForTests(CreateFileFunction function);
static std::vector<DWORD> openFlags;

static HANDLE WINAPI RecordingCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                         DWORD disposition, DWORD flags, HANDLE model)
{
    openFlags.push_back(flags & SECURITY_VALID_SQOS_FLAGS);
    return CreateFileA(name, access, share, security, disposition, flags, model);
}

// Every way of naming a pipe (a DOS device name linked to it too) reaches its server, and every open of a connect
// string, the device's and the properties dialog's two, lends it an identification only (Wine ignores the flags).
TEST_F(DeviceConnection, EverySpellingOfAPipeLendsOnlyAnIdentification)
{
    std::string name = UniqueName("velkor-spelling"), link = "\\Device\\NamedPipe\\" + name;
    peer = StartPipePeer(name);
    // Wine's DefineDosDeviceA overran its stack with a name of 14 characters.
    ASSERT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "VKP1", link.c_str()));
    UseCreateFileForTests(RecordingCreateFile);
    int clients = 0;
    for (const char *spelling : {"\\\\.\\pipe\\", "\\\\.\\Global\\pipe\\", "\\\\?\\GLOBALROOT\\Device\\NamedPipe\\",
                                 "\\\\.\\GLOBALROOT\\??\\pipe\\", "\\\\.\\VKP1"}) {
        // As a pipe client would, each open waits for the instance the one before took to be replaced.
        ASSERT_TRUE(WaitPeerReady(peer, clients++, 5000)) << spelling;
        UseDevice(spelling + (spelling[4] == 'V' ? "" : name));
        EXPECT_TRUE(OpenDevice()) << spelling;
        CloseDevice();
    }
    ASSERT_TRUE(WaitPeerReady(peer, clients, 5000));
    AnswerNextBox([](HWND dialog, const SeenBox &) {
        AnswerNextBoxWith(IDOK); // "konnte Device erfolgreich testen"
        ClickControl(dialog, IDC_TEST_DEVICE);
        ClickControl(dialog, IDOK);
    });
    RunCommand(IDM_CHOOSE_DEVICE);
    UseCreateFileForTests(NULL);
    DefineDosDeviceA(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, "VKP1", link.c_str());
    EXPECT_TRUE(WaitPeerReady(peer, 7, 2000)) << "the server saw every open";
    EXPECT_EQ(std::vector<DWORD>(7, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION), openFlags);
}
