// velkor.exe reading a device that has many bytes waiting at once, a named
// pipe and a serial pty: a flood arrives whole, in order, in blocks of the set
// length, the window minimized; an end byte inside a waiting run and a pause
// of more than the read timeout end blocks where they always did.
#include <algorithm>
#include <random>

#include "resources/resource.h"
#include "support.h"

class DeviceFlood : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ClearVelkorRegistry();
        peer = GetParam() ? StartSerialPeer() : StartPipePeer(UniqueName("velkor-flood"));
        ASSERT_TRUE(peer != NULL);
    }
    void TearDown() override
    {
        DWORD code = 0;
        if (app.window) {
            PostCommand(app, IDM_EXIT);
            EXPECT_TRUE(WaitForExit(app, DRIVER_TIMEOUT_MS, &code));
        }
        EndVelkorProcess(app);
        StopPeer(peer);
        ClearVelkorRegistry();
    }
    // Starts velkor.exe on the peer with these read settings and opens the device.
    void Open(uint32_t blockLength, uint32_t readTimeoutMs, uint32_t endByte = 0xFF00)
    {
        std::string device = PeerConnectString(peer);
        PutVelkorValue("connectstring", REG_SZ, Bytes(device.begin(), device.end()));
        PutVelkorValue("readblocklen", REG_DWORD, DwordBytes(blockLength));
        PutVelkorValue("readtimeout", REG_DWORD, DwordBytes(readTimeoutMs));
        PutVelkorValue("readendbyte", REG_DWORD, DwordBytes(endByte));
        ASSERT_TRUE(StartVelkorProcess(app) && WaitForMainWindow(app));
        PostCommand(app, IDM_OPEN_DEVICE_BUTTON);
        ASSERT_TRUE(WaitForLogLine("Device " + device + " geoeffnet", DRIVER_TIMEOUT_MS, app));
        ASSERT_TRUE(PumpUntil([&] { return PeerConnected(peer); }, 5000));
    }
    // Once the log has count lines: its lines, from the window, or from the
    // file velkor.exe saves them to (far quicker for thousands of lines; the
    // window keeps only the newest of a long flood): once its newest line's
    // text is newest.
    std::vector<std::string> Logged(size_t count, DWORD timeoutMs, const std::string &newest = std::string())
    {
        HWND log = GetDlgItem(app.window, IDC_MESSAGE_LOG);
        if (newest.empty()) {
            PumpUntil([&] { return (size_t)SendMessageA(log, LB_GETCOUNT, 0, 0) >= count; }, timeoutMs);
            return LogLines(app);
        }
        EXPECT_TRUE(PumpUntil([&] { return NewestLogText(app) == newest; }, timeoutMs)) << NewestLogText(app);
        std::string path = TestFolder("flood-e2e") + "\\flood.msg";
        PostCommand(app, IDM_SAVE_LOG);
        EXPECT_TRUE(AnswerBox(app.processId, ChooseFile(path)));
        EXPECT_TRUE(AnswerBox(app.processId, RecordBox(NULL, IDNO))) << "the log is kept";
        return SavedLines(ReadWholeFile(path));
    }
    DevicePeer *peer = NULL;
    VelkorProcess app;
};

// The sizes of received lines, "6 15 ", and their bytes joined.
static std::string Sizes(const std::vector<Bytes> &lines, Bytes *joined)
{
    std::string text;
    for (const Bytes &line : lines) {
        text += std::to_string(line.size()) + " ";
        joined->insert(joined->end(), line.begin(), line.end());
    }
    return text;
}

TEST_P(DeviceFlood, AMegabyteFloodAtTheDefaultBlockLengthArrivesWholeInOrderWhileMinimized)
{
    const size_t blockLength = 3;
    Bytes sent(1 << 20);
    std::mt19937 random(25);
    std::generate(sent.begin(), sent.end(), [&] { return (unsigned char)random(); });
    std::string expected; // only the rest after the last full block waits for the read timeout
    for (size_t at = 0; at < sent.size(); at += blockLength)
        expected += std::to_string(std::min(blockLength, sent.size() - at)) + " ";

    Open((uint32_t)blockLength, 1000);
    ShowWindowAsync(app.window, SW_MINIMIZE); // as a user leaves it during a long capture
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(app.window) != FALSE; }, DRIVER_TIMEOUT_MS));
    size_t head = LogLines(app).size();
    PeerStartSending(peer, sent);
    ASSERT_TRUE(PumpUntil([&] { return PeerFloodDone(peer); }, 120000)) << "the device was not read";
    ASSERT_EQ(sent.size(), PeerStopFlood(peer));
    char last[8];
    snprintf(last, sizeof last, "0x%02X ", sent.back());
    std::vector<std::string> lines = Logged(0, 60000, last);
    ASSERT_GT(lines.size(), head);
    Bytes joined;
    EXPECT_TRUE(Sizes(ReceivedBlocks(std::vector<std::string>(lines.begin() + (long)head, lines.end())), &joined) ==
                expected);
    ASSERT_EQ(sent.size(), joined.size());
    EXPECT_EQ(sent.size(), (size_t)(std::mismatch(sent.begin(), sent.end(), joined.begin()).first - sent.begin()))
        << "the first byte that differs";
}

TEST_P(DeviceFlood, EndBytesInAWaitingRunAndAPauseEndBlocksWhereTheyAlwaysDid)
{
    Open(16, 400, 0x0D);
    // One write: the reader finds the bytes after the first already waiting.
    Bytes run(40);
    for (int i = 0; i < 40; i++)
        run[i] = i == 5 || i == 20 ? 0x0D : (unsigned char)(0x40 + i);
    size_t head = LogLines(app).size();
    SYSTEMTIME now;
    GetLocalTime(&now);
    long written = ((now.wHour * 60L + now.wMinute) * 60L + now.wSecond) * 1000L + now.wMilliseconds;
    ASSERT_TRUE(PeerWrite(peer, run));
    // Split after each end byte, then by length; the last three bytes wait one
    // read timeout (a line's time is when it was logged, which load only delays).
    std::vector<std::string> lines = Logged(head + 4, 5000);
    ASSERT_EQ(head + 4, lines.size());
    EXPECT_GE(LineTime(lines.back()) - written, 380);
    EXPECT_LT(LineTime(lines.back()) - written, 3000);
    // Bytes after a pause that long begin a block of their own.
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 0D")));
    Bytes joined;
    EXPECT_EQ("6 15 16 3 3 ", Sizes(ReceivedBlocks(Logged(head + 5, 5000)), &joined));
    run.insert(run.end(), {0x01, 0x02, 0x0D});
    EXPECT_EQ(run, joined);
}

INSTANTIATE_TEST_SUITE_P(PipeAndSerial, DeviceFlood, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Serial" : "Pipe"; });
