// Receiving: blocks by length, end byte and read timeout, from a named pipe
// served by the test; the log lines, their order, and the reader's end.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "base/devicehandle.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "base/appwindows.h"

#include "probes.h"
#include "support.h"

class DeviceReceive : public VelkorPeerTest {
protected:
    void BeforeStart() override { peer = StartPipePeer(UniqueName("velkor-receive")); }
};

static std::string Show(const std::vector<Bytes> &blocks)
{
    std::string text;
    for (const Bytes &block : blocks) {
        text += "[";
        for (size_t i = 0; i < block.size(); i++) {
            char hex[4];
            snprintf(hex, sizeof hex, i ? " %02X" : "%02X", block[i]);
            text += hex;
        }
        text += "]";
    }
    return text;
}

TEST_F(DeviceReceive, FiveQuickBytesGiveAFullBlockThenTheRestOneTimeoutLater)
{
    OpenPeer(3, 400);
    DWORD sent = GetTickCount();
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03 04 05")));
    std::vector<Bytes> blocks = WaitForBlocks(1, 2000);
    DWORD firstSeen = GetTickCount() - sent;
    blocks = WaitForBlocks(2, 3000);
    DWORD secondSeen = GetTickCount() - sent;
    EXPECT_EQ("[01 02 03][04 05]", Show(blocks));
    EXPECT_LT(firstSeen, 300u) << "the full block waits for nothing";
    EXPECT_GE(secondSeen + 20, 400u) << "the rest waits one read timeout";
    EXPECT_LT(secondSeen, 1500u);
    std::vector<std::string> lines = LogLines();
    int first = FindLogLine(lines, "0x01");
    int second = FindLogLine(lines, "0x04");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    long gap = LineTime(lines[second]) - LineTime(lines[first]);
    EXPECT_GE(gap, 350);
    EXPECT_LT(gap, 1500);
}

TEST_F(DeviceReceive, EndBytesFinishBlocksAtOnceAndBelongToThem)
{
    // 0x0D ends a block; the long read timeout shows it is not what finished them.
    OpenPeer(8, 10000, 0x0D);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("41 42 0D 43 0D")));
    EXPECT_EQ("[41 42 0D][43 0D]", Show(WaitForBlocks(2, 3000)));
    CloseFromToolbar();
    UseDevice(PeerConnectString(peer), 8, 10000, 0xFF);
    ASSERT_TRUE(OpenFromToolbar());
    ASSERT_TRUE(PeerWrite(peer, HexBytes("10 80 FE FF 7F FF")));
    EXPECT_EQ("[41 42 0D][43 0D][10 80 FE FF][7F FF]", Show(WaitForBlocks(4, 3000)));
}

TEST_F(DeviceReceive, EndByteSwitchedOffKeepsItsByteButEndsNothing)
{
    // 0x0141 is off with low byte 0x41: only length and time-out finish blocks.
    OpenPeer(4, 300, 0x0141);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("41 41 41 41 41")));
    EXPECT_EQ("[41 41 41 41][41]", Show(WaitForBlocks(2, 3000)));
}

TEST_F(DeviceReceive, BlockLengthZeroMakesEveryByteABlock)
{
    OpenPeer(0, 5000);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03")));
    EXPECT_EQ("[01][02][03]", Show(WaitForBlocks(3, 3000)));
}

TEST_F(DeviceReceive, AByteThatFillsTheBlockAndIsTheEndByteEndsOneBlock)
{
    OpenPeer(3, 300, 0x0D);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("41 42 0D 44")));
    std::vector<Bytes> blocks = WaitForBlocks(2, 3000);
    PumpFor(400);
    EXPECT_EQ("[41 42 0D][44]", Show(ReceivedBlocks(LogLines())));
}

TEST_F(DeviceReceive, ReadTimeoutZeroEndsABlockWhereTheBytesPause)
{
    OpenPeer(16, 0);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03")));
    WaitForBlocks(1, 3000);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("04")));
    EXPECT_EQ("[01 02 03][04]", Show(WaitForBlocks(2, 3000)));

    // Idle with time-out 0 and nothing gathered: the thread waits, it does not spin.
    DWORD reader = ReaderThreadId();
    ASSERT_NE(0u, reader);
    ULONGLONG before = ThreadMilliseconds(reader);
    PumpFor(1000);
    EXPECT_LT(ThreadMilliseconds(reader) - before, 100u) << "milliseconds of processor time in one idle second";
}

TEST_F(DeviceReceive, ReadTimeoutInfiniteNeverHandsOverAPartialBlock)
{
    OpenPeer(4, INFINITE);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02")));
    PumpFor(1200);
    EXPECT_EQ("", Show(ReceivedBlocks(LogLines())));
    ASSERT_TRUE(PeerWrite(peer, HexBytes("03 04 05")));
    EXPECT_EQ("[01 02 03 04]", Show(WaitForBlocks(1, 3000)));
}

TEST_F(DeviceReceive, ZeroBytesAndLongBlocksReachTheLogWhole)
{
    OpenPeer(4, 5000);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("00 41 00 42")));
    ASSERT_EQ(1u, WaitForBlocks(1, 3000).size());
    std::vector<std::string> lines = LogLines();
    EXPECT_EQ("0x00 0x41 0x00 0x42 ", lines.back().substr(16));

    // A block of 150 bytes is shown on two lines, 99 bytes and 51.
    CloseFromToolbar();
    UseDevice(PeerConnectString(peer), 150, 5000);
    ASSERT_TRUE(OpenFromToolbar());
    Bytes block;
    for (int i = 0; i < 150; i++)
        block.push_back((unsigned char)i);
    ASSERT_TRUE(PeerWrite(peer, block));
    std::vector<Bytes> blocks = WaitForBlocks(3, 3000);
    ASSERT_EQ(3u, blocks.size());
    EXPECT_EQ(99u, blocks[1].size());
    Bytes joined = blocks[1];
    joined.insert(joined.end(), blocks[2].begin(), blocks[2].end());
    EXPECT_EQ(block, joined);
}

// True once the reader has taken every byte the peer wrote out of the pipe.
static bool PipeReadEmpty()
{
    DWORD waiting = 1;
    return PeekNamedPipe(DeviceHandle(), NULL, 0, NULL, &waiting, NULL) && waiting == 0;
}

TEST_F(DeviceReceive, ClosingLogsTheCloseThenTheGatheredRestThenTheReadersEnd)
{
    // Within the read timeout, and with none: the gathered bytes are a last block.
    for (uint32_t timeout : {500u, (uint32_t)INFINITE}) {
        SCOPED_TRACE(timeout);
        SendMessageA(MessageLog(), LB_RESETCONTENT, 0, 0);
        OpenPeer(3, timeout);
        std::string name = PeerConnectString(peer);
        ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03 04")));
        WaitForBlocks(1, 2000);
        ASSERT_TRUE(PumpUntil(PipeReadEmpty, 2000));
        CloseFromToolbar();
        EXPECT_FALSE(LastReaderWasKilled()) << "the reader ends by itself within its grace period";
        ASSERT_TRUE(WaitForLogLine("Empfangsroutine wurde beendet", 2000));
        std::vector<std::string> lines = LogLines();
        int opened = FindLogLine(lines, "Device " + name + " geoeffnet");
        int block = FindLogLine(lines, "0x01 0x02 0x03 ");
        int closed = FindLogLine(lines, "Device " + name + " geschlossen");
        int rest = FindLogLine(lines, "0x04 ");
        int ended = FindLogLine(lines, "Empfangsroutine wurde beendet");
        EXPECT_TRUE(opened >= 0 && opened < block && block < closed && closed + 1 == rest && rest + 1 == ended)
            << opened << " " << block << " " << closed << " " << rest << " " << ended;
        EXPECT_EQ('+', lines[closed][0]);
        EXPECT_EQ('+', lines[ended][0]);
        EXPECT_EQ("[01 02 03][04]", Show(ReceivedBlocks(lines)));
    }
}

TEST_F(DeviceReceive, ADeviceThatRefusesReadsShowsOneBoxAndStaysOpen)
{
    // A mailslot's client end can be written, not read.
    std::string slot = "\\\\.\\mailslot\\" + UniqueName("velkor-refuses");
    HANDLE server = CreateMailslotA(slot.c_str(), 0, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    UseDevice(slot, 3, 500);
    Settings().openExclusive = false; // the slot's own handle shares it
    ASSERT_TRUE(OpenFromToolbar());
    SeenBox info;
    HWND box = WaitForBox(GetCurrentProcessId(), 3000, &info);
    ASSERT_TRUE(box != NULL);
    EXPECT_EQ("VELKOR", info.caption);
    EXPECT_EQ(0u, info.text.find("kein Lesezugriff auf Device\n(5) ")) << info.text;
    EXPECT_NE('\n', info.text.back());
    EXPECT_EQ((UINT)(MB_ICONERROR | MB_OK), info.style);
    PressButton(box, IDOK);
    ASSERT_TRUE(WaitForLogLine("Empfangsroutine wurde beendet", 3000));
    PumpFor(300);
    EXPECT_TRUE(FindBox(GetCurrentProcessId()) == NULL) << "one box only";
    EXPECT_TRUE(DeviceIsOpen());
    EXPECT_TRUE(ButtonState(IDM_SEND_COMMAND) & TBSTATE_ENABLED);
    CloseFromToolbar();
    EXPECT_FALSE(LastReaderWasKilled());
    EXPECT_FALSE(DeviceIsOpen());
    CloseHandle(server);
}
