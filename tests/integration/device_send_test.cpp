// Sending the selected command: framing, the outcome lines, the write
// time-out, the warning boxes, and the order of a send and its answer.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "base/appwindows.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include "support.h"

class DeviceSend : public VelkorPeerTest {
protected:
    void ServeAndOpen(bool record = true, DWORD bufferSize = 4096)
    {
        peer = StartPipePeer(UniqueName("velkor-send"), record, bufferSize);
        OpenPeer();
    }
    // Sends entry index as the menu does; returns the new log lines.
    std::vector<std::string> Send(int index)
    {
        size_t before = LogLines().size();
        MarkEntry(index);
        RunCommand(IDM_SEND_COMMAND);
        std::vector<std::string> lines = LogLines();
        return std::vector<std::string>(lines.begin() + (long)std::min(before, lines.size()), lines.end());
    }
};

TEST_F(DeviceSend, PrefixAndSuffixFrameTheCommandBytes)
{
    Settings().sendPrefix = 0x02;
    Settings().sendSuffix = 0x03;
    ServeAndOpen();
    const char *text = "0x02   0x41 0x42  0x03";
    int entry = InsertListEntry(text, "AB");
    std::vector<std::string> lines = Send(entry);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ('<', lines[0][0]);
    EXPECT_EQ(std::string("successful: 4 Bytes (") + text + ")", lines[0].substr(16));
    ASSERT_TRUE(WaitPeerReceived(peer, 4, 2000));
    EXPECT_EQ(HexBytes("02 41 42 03"), PeerReceived(peer));
}

TEST_F(DeviceSend, EightFieldsWithoutFramingAndATextWithoutFields)
{
    ServeAndOpen();
    int eight = InsertListEntry(" 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08", "");
    int none = InsertListEntry("abcd", "");
    EXPECT_EQ("successful: 8 Bytes ( 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08)", Send(eight).at(0).substr(16));
    ASSERT_TRUE(WaitPeerReceived(peer, 8, 2000));
    EXPECT_EQ(HexBytes("01 02 03 04 05 06 07 08"), PeerReceived(peer));
    EXPECT_EQ("successful: 0 Bytes (abcd)", Send(none).at(0).substr(16));
}

TEST_F(DeviceSend, WarningBoxesWriteAndLogNothing)
{
    peer = StartPipePeer(UniqueName("velkor-send"));
    UseDevice(PeerConnectString(peer), 3, 500);
    int entry = InsertListEntry(" 0x41", "");
    int shortText = InsertListEntry("0x4", "");

    AnswerNextBoxWith(IDOK);
    EXPECT_TRUE(Send(entry).empty());
    ASSERT_TRUE(OpenFromToolbar());
    SendMessageA(CommandList(), LVM_SETSELECTIONMARK, 0, -1);
    AnswerNextBoxWith(IDOK);
    size_t before = LogLines().size();
    RunCommand(IDM_SEND_COMMAND);
    EXPECT_EQ(before, LogLines().size());
    AnswerNextBoxWith(IDOK);
    EXPECT_TRUE(Send(shortText).empty());

    ASSERT_EQ(3u, SeenBoxes().size());
    const char *texts[3] = {"Device ist geschlossen.\nSenden nicht moeglich",
                            "Bitte erst Kommando markieren.\nSenden nicht moeglich",
                            "Bitte erst gueltiges Kommando markieren.\nSenden nicht moeglich"};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ("VELKOR senden", SeenBoxes()[i].caption);
        EXPECT_EQ(texts[i], SeenBoxes()[i].text);
        EXPECT_EQ((UINT)(MB_ICONWARNING | MB_OK), SeenBoxes()[i].style);
    }
    PumpFor(100);
    EXPECT_TRUE(PeerReceived(peer).empty());
    // Four characters are enough to be sent.
    EXPECT_EQ("successful: 1 Bytes ( 0x41)", Send(entry).at(0).substr(16));
}

TEST_F(DeviceSend, AByteThatIsNotHexIsWarnedAboutAndNothingIsSent)
{
    Settings().sendPrefix = 0x02;
    Settings().sendSuffix = 0x03;
    ServeAndOpen();
    int bad = InsertListEntry("0x02   0x4G 0x41 0xZ1  0x03", "");
    int good = InsertListEntry("0x02   0x41 0x42  0x03", "");
    AnswerNextBoxWith(IDOK);
    AnswerNextBoxWith(IDOK);
    EXPECT_TRUE(Send(bad).empty());
    ASSERT_EQ(2u, SeenBoxes().size()); // one warning per bad field, as before
    for (const SeenBox &box : SeenBoxes())
        EXPECT_EQ("Fehler beim konvertieren des Sendestrings", box.text);
    // The pipe keeps order: only the good command's bytes reach the device.
    EXPECT_EQ("successful: 4 Bytes (0x02   0x41 0x42  0x03)", Send(good).at(0).substr(16));
    ASSERT_TRUE(WaitPeerReceived(peer, 4, 2000));
    EXPECT_EQ(HexBytes("02 41 42 03"), PeerReceived(peer));
}

TEST_F(DeviceSend, AWriteTheDeviceDoesNotTakeEndsAfterTheWriteTimeout)
{
    // The peer reads nothing and its pipe buffers nothing.
    ServeAndOpen(false, 0);
    int entry = InsertListEntry(" 0x41 0x42", "");
    for (DWORD timeout : {300u, 900u}) {
        Settings().writeTimeoutMs = timeout;
        DWORD start = GetTickCount();
        std::vector<std::string> lines = Send(entry);
        DWORD took = GetTickCount() - start;
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ('+', lines[0][0]);
        EXPECT_EQ("DeviceIO Operationen abgebrochen wegen Timeout beim Senden", lines[0].substr(16));
        EXPECT_GE(took + 20, timeout);
        EXPECT_LT(took, timeout + 700);
    }
    // The cancelled writes left the reader alone: it still gets bytes.
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03")));
    EXPECT_EQ(1u, WaitForBlocks(1, 2000).size());
}

TEST_F(DeviceSend, TheSendLineComesBeforeTheAnswer)
{
    std::string name = UniqueName("velkor-echo-send");
    VelkorProcess echo;
    ASSERT_TRUE(StartEchoDevice(echo, name));
    UseDevice("\\\\.\\pipe\\" + name, 4, 500);
    ASSERT_TRUE(OpenFromToolbar());
    int entry = InsertListEntry(" 0x41 0x42 0x43 0x44", "");
    for (int round = 0; round < 10; round++) {
        size_t before = LogLines().size();
        MarkEntry(entry);
        RunCommand(IDM_SEND_COMMAND);
        ASSERT_TRUE(PumpUntil([&] { return LogLines().size() >= before + 2; }, 3000)) << "round " << round;
        std::vector<std::string> lines = LogLines();
        EXPECT_EQ("successful: 4 Bytes ( 0x41 0x42 0x43 0x44)", lines[before].substr(16));
        EXPECT_EQ("0x41 0x42 0x43 0x44 ", lines[before + 1].substr(16));
    }
    CloseFromToolbar();
    EndVelkorProcess(echo);
}

// A program serving the demo device's pipe name first would get its
// clients: the demo device then says so and does not start.
TEST_F(DeviceSend, TheDemoDeviceRefusesAPipeNameServedAlready)
{
    std::string name = UniqueName("velkor-echo-taken"), path = "\\\\.\\pipe\\" + name;
    // One instance allowed: Wine then refuses a second server too, which it
    // lets through despite FILE_FLAG_FIRST_PIPE_INSTANCE.
    HANDLE other = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 64, 64, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    std::string said;
    DWORD code = RunEchoDevice("/pipe " + name + " /quiet", &said, 10000);
    CloseHandle(other);
    EXPECT_NE(0u, code);
    EXPECT_NE((DWORD)STILL_ACTIVE, code) << "it served the name";
    EXPECT_EQ(0u, said.find("velkor-echo: " + path + " gibt es schon")) << said;
}

TEST_F(DeviceSend, TheDemoDeviceSendsItsStatusBlockWhenAsked)
{
    std::string name = UniqueName("velkor-echo-status");
    VelkorProcess echo;
    ASSERT_TRUE(StartEchoDevice(echo, name, 200));
    UseDevice("\\\\.\\pipe\\" + name, 3, 500);
    ASSERT_TRUE(OpenFromToolbar());
    std::vector<Bytes> blocks = WaitForBlocks(3, 5000);
    ASSERT_GE(blocks.size(), 3u);
    for (size_t i = 0; i < 3; i++)
        EXPECT_EQ(Bytes({0x53, (unsigned char)i, 0x0D}), blocks[i]) << "status block " << i;
    CloseFromToolbar();
    EndVelkorProcess(echo);
}
