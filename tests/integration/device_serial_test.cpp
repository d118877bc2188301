// A serial port as the device: a socat pty pair, one end COM7 in this Wine
// prefix (Velkor's connect string, as a user's would be), the other end COM8,
// opened by the test.
#include <gtest/gtest.h>

#include <windows.h>

#include "base/devicehandle.h"
#include "device/serialport.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include "probes.h"
#include "support.h"

typedef BOOL(WINAPI *ClearCommErrorCall)(HANDLE, LPDWORD, LPCOMSTAT);
// The receiver's way to the driver's errors, which device/waiting.cpp keeps to itself.
void UseClearCommErrorForTests(ClearCommErrorCall call);

// The driver's answer, with an overrun added while the test wants one.
static volatile LONG reportOverrun;
static BOOL WINAPI OverrunningClearCommError(HANDLE port, LPDWORD errors, LPCOMSTAT status)
{
    BOOL answered = ClearCommError(port, errors, status);
    if (answered && errors && reportOverrun)
        *errors |= CE_OVERRUN;
    return answered;
}

class DeviceSerial : public VelkorPeerTest {
protected:
    void BeforeStart() override
    {
        peer = StartSerialPeer();
        ASSERT_TRUE(peer != NULL);
    }
};

TEST_F(DeviceSerial, ReceivesAndSendsThroughCom7)
{
    Settings().sendPrefix = 0x02;
    Settings().sendSuffix = 0x03;
    UseDevice("COM7", 3, 300);
    ASSERT_TRUE(OpenFromToolbar());
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03 04 05")));
    std::vector<Bytes> blocks = WaitForBlocks(2, 3000);
    ASSERT_EQ(2u, blocks.size());
    EXPECT_EQ(HexBytes("01 02 03"), blocks[0]);
    EXPECT_EQ(HexBytes("04 05"), blocks[1]);

    int entry = InsertListEntry("0x02   0x41 0x42  0x03", "");
    MarkEntry(entry);
    RunCommand(IDM_SEND_COMMAND);
    EXPECT_EQ("successful: 4 Bytes (0x02   0x41 0x42  0x03)", LogLines().back().substr(16));
    ASSERT_TRUE(WaitPeerReceived(peer, 4, 3000));
    EXPECT_EQ(HexBytes("02 41 42 03"), PeerReceived(peer));

    // Every byte value, in order, with an end byte at 0x0D.
    CloseFromToolbar();
    UseDevice("COM7", 300, 300, 0x0D);
    ASSERT_TRUE(OpenFromToolbar());
    Bytes all;
    for (int i = 0; i < 256; i++)
        all.push_back((unsigned char)i);
    ASSERT_TRUE(PeerWrite(peer, all));
    size_t before = ReceivedBlocks(LogLines()).size();
    blocks = WaitForBlocks(before + 4, 5000);
    Bytes joined;
    for (size_t i = before; i < blocks.size(); i++)
        joined.insert(joined.end(), blocks[i].begin(), blocks[i].end());
    EXPECT_EQ(all, joined);
    EXPECT_EQ(0x0D, blocks[before].back()) << "the first block ends with the end byte";
}

TEST_F(DeviceSerial, APortThatVanishesIsReportedAndCanBeOpenedAgain)
{
    UseDevice("COM7", 3, 300);
    ASSERT_TRUE(OpenFromToolbar());
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03")));
    ASSERT_EQ(1u, WaitForBlocks(1, 3000).size());
    DWORD reader = ReaderThreadId();
    ULONGLONG before = ThreadMilliseconds(reader);

    PeerVanish(peer);
    SeenBox info;
    HWND box = WaitForBox(GetCurrentProcessId(), 5000, &info);
    ASSERT_TRUE(box != NULL) << "the vanished port is reported";
    EXPECT_EQ("VELKOR", info.caption);
    EXPECT_EQ(0u, info.text.find("kein Lesezugriff auf Device\n(")) << info.text;
    // While the box waits for the user the reader does nothing at all.
    ULONGLONG atBox = ThreadMilliseconds(reader);
    PumpFor(1000);
    EXPECT_LT(ThreadMilliseconds(reader) - atBox, 50u);
    EXPECT_LT(atBox - before, 500u) << "no spinning before the report";
    PressButton(box, IDOK);
    ASSERT_TRUE(WaitForLogLine("Empfangsroutine wurde beendet", 3000));
    EXPECT_TRUE(DeviceIsOpen());

    CloseFromToolbar();
    EXPECT_FALSE(DeviceIsOpen());
    ASSERT_TRUE(PeerRevive(peer));
    ASSERT_TRUE(OpenFromToolbar());
    size_t had = ReceivedBlocks(LogLines()).size();
    ASSERT_TRUE(PeerWrite(peer, HexBytes("0A 0B 0C")));
    std::vector<Bytes> blocks = WaitForBlocks(had + 1, 3000);
    ASSERT_EQ(had + 1, blocks.size());
    EXPECT_EQ(HexBytes("0A 0B 0C"), blocks.back());
}

TEST_F(DeviceSerial, APortIsPreparedWithoutTimeOutsOrAbortOnErrorWithALargeQueueAndOtherwiseAsItWas)
{
    // What another program may have left: reads that return at once, short writes, abort on error (which Wine
    // does not keep, so only Windows shows that flag cleared).
    HANDLE port = CreateFileA("COM7", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, port);
    COMMTIMEOUTS odd = {MAXDWORD, 0, 0, 1, 1};
    DCB left = {}, after = {};
    left.DCBlength = after.DCBlength = sizeof(DCB);
    EXPECT_TRUE(SetCommTimeouts(port, &odd) && GetCommState(port, &left));
    left.fAbortOnError = TRUE;
    left.BaudRate = 4800;
    EXPECT_TRUE(SetCommState(port, &left) && GetCommState(port, &left));
    COMMPROP queue = {};
    bool queueReported =
        SetupComm(port, 1024, 1024) && GetCommProperties(port, &queue) && queue.dwCurrentRxQueue == 1024;

    EXPECT_TRUE(PrepareSerialPort(port));
    COMMTIMEOUTS now, none = {};
    EXPECT_TRUE(GetCommTimeouts(port, &now) && GetCommState(port, &after));
    EXPECT_TRUE(GetCommProperties(port, &queue));
    CloseHandle(port);
    // A driver that reports the queue it was given (Wine's reports 4096 whatever it is asked for) shows 64 KiB.
    EXPECT_TRUE(!queueReported || queue.dwCurrentRxQueue >= 65536u) << queue.dwCurrentRxQueue;
    EXPECT_EQ(0, memcmp(&now, &none, sizeof now)) << now.ReadIntervalTimeout << " " << now.WriteTotalTimeoutConstant;
    EXPECT_FALSE(after.fAbortOnError);
    left.fAbortOnError = FALSE;
    EXPECT_EQ(0, memcmp(&left, &after, sizeof left)) << "another field changed, baud rate " << after.BaudRate;
}

TEST_F(DeviceSerial, ADriverThatDropsBytesIsToldBeforeTheNextBlockAtMostOnceASecond)
{
    UseClearCommErrorForTests(OverrunningClearCommError);
    UseDevice("COM7", 3, 300);
    ASSERT_TRUE(OpenFromToolbar());
    reportOverrun = 1;
    DWORD first = GetTickCount();
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03")));
    ASSERT_EQ(1u, WaitForBlocks(1, 3000).size());
    ASSERT_TRUE(PeerWrite(peer, HexBytes("04 05 06")));
    ASSERT_EQ(2u, WaitForBlocks(2, 3000).size());
    bool withinASecond = GetTickCount() - first < 1000;
    PumpUntil([&] { return GetTickCount() - first > 1100; }, 2000);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("07 08 09")));
    ASSERT_EQ(3u, WaitForBlocks(3, 3000).size());
    reportOverrun = 0;
    CloseFromToolbar();
    UseClearCommErrorForTests(NULL);

    std::string seen;
    for (const std::string &line : LogLines()) {
        if (LogText(line) == "Empfangspuffer uebergelaufen: Daten verloren")
            seen += line[0] == '+' ? "+" : "?";
        else if (line[0] == '>')
            seen += LogText(line).substr(0, 4);
    }
    // Told before the block read after the report; a second report within the second is not told again.
    EXPECT_EQ(withinASecond ? "+0x010x04+0x07" : "+0x01+0x04+0x07", seen);
}
