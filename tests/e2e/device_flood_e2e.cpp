// velkor.exe reading a device that has many bytes waiting at once, from a
// named pipe and from a serial pty: a flood arrives whole and in order, in
// blocks of the set length; an end byte inside a waiting run and a pause of
// more than the read timeout end blocks where they always did.
#include <gtest/gtest.h>

#include <windows.h>

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
        if (app.window) {
            PostCommand(app, IDM_EXIT);
            DWORD code = 1;
            EXPECT_TRUE(WaitForExit(app, DRIVER_TIMEOUT_MS, &code));
            EXPECT_EQ(0u, code);
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
        ASSERT_TRUE(StartVelkorProcess(app));
        ASSERT_TRUE(WaitForMainWindow(app));
        PostCommand(app, IDM_OPEN_DEVICE_BUTTON);
        ASSERT_TRUE(WaitForLogLine("Device " + device + " geoeffnet", DRIVER_TIMEOUT_MS, app));
        ASSERT_TRUE(PumpUntil([&] { return PeerConnected(peer); }, 5000));
    }
    // Waits until the log has this many lines; the received ones, each line as its bytes (all lines in shown).
    std::vector<Bytes> WaitForLines(size_t count, DWORD timeoutMs)
    {
        HWND log = GetDlgItem(app.window, IDC_MESSAGE_LOG);
        PumpUntil([&] { return (size_t)SendMessageA(log, LB_GETCOUNT, 0, 0) >= count; }, timeoutMs);
        shown = LogLines(app);
        return ReceivedBlocks(shown);
    }
    std::vector<std::string> shown;
    // Once the log has this many lines, the received ones as velkor.exe saves them (far quicker than reading
    // them from its window one by one).
    std::vector<Bytes> SavedLines(size_t count)
    {
        HWND log = GetDlgItem(app.window, IDC_MESSAGE_LOG);
        PumpUntil([&] { return (size_t)SendMessageA(log, LB_GETCOUNT, 0, 0) >= count; }, 30000);
        std::string path = TestFolder("flood-e2e") + "\\flood.msg";
        PostCommand(app, IDM_SAVE_LOG);
        EXPECT_TRUE(AnswerBox(app.processId, ChooseFile(path)));
        EXPECT_TRUE(AnswerBox(app.processId, RecordBox(NULL, IDNO))) << "keep the log";
        std::string saved = ReadWholeFile(path);
        std::vector<std::string> lines;
        for (size_t at = 0, end; (end = saved.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(saved.substr(at, end - at));
        return ReceivedBlocks(lines);
    }
    DevicePeer *peer = NULL;
    VelkorProcess app;
};

static std::string Sizes(const std::vector<Bytes> &lines)
{
    std::string text;
    for (const Bytes &line : lines)
        text += std::to_string(line.size()) + " ";
    return text;
}

TEST_P(DeviceFlood, AMegabyteFloodArrivesWholeInOrderInBlocksOfTheSetLength)
{
    // A pipe in blocks of 150 (shown as lines of 99 and 51 bytes), the port in blocks of 990 (ten lines). The
    // window's lines and, under Wine, the port's reads set the pace: shorter blocks only make the test longer.
    const uint32_t blockLength = GetParam() ? 990 : 150;
    Bytes sent(1 << 20);
    std::mt19937 random(25);
    for (unsigned char &byte : sent)
        byte = (unsigned char)random();
    std::vector<size_t> expected; // line sizes
    for (size_t at = 0; at < sent.size(); at += blockLength)
        for (size_t left = std::min<size_t>(blockLength, sent.size() - at); left > 0; left -= std::min<size_t>(left, 99))
            expected.push_back(std::min<size_t>(left, 99));

    // Only the rest after the last full block waits for the read timeout.
    Open(blockLength, 3000);
    size_t head = LogLines(app).size();
    PeerStartSending(peer, sent);
    ASSERT_TRUE(PumpUntil([&] { return PeerFloodDone(peer); }, 120000)) << "the device was not read";
    ASSERT_EQ(sent.size(), PeerStopFlood(peer));
    std::vector<Bytes> lines = SavedLines(head + expected.size());

    ASSERT_EQ(expected.size(), lines.size());
    Bytes joined;
    for (size_t i = 0; i < lines.size(); i++) {
        ASSERT_EQ(expected[i], lines[i].size()) << "line " << i;
        joined.insert(joined.end(), lines[i].begin(), lines[i].end());
    }
    size_t differs = std::mismatch(sent.begin(), sent.end(), joined.begin()).first - sent.begin();
    EXPECT_EQ(sent.size(), differs) << "the first byte that differs";
}

TEST_P(DeviceFlood, EndBytesInAWaitingRunAndAPauseEndBlocksWhereTheyAlwaysDid)
{
    Open(16, 400, 0x0D);
    // One write: the reader finds the bytes after the first already waiting.
    Bytes run;
    for (int i = 0; i < 40; i++)
        run.push_back(i == 5 || i == 20 ? 0x0D : (unsigned char)(0x40 + i));
    size_t head = LogLines(app).size();
    SYSTEMTIME now;
    GetLocalTime(&now);
    long written = ((now.wHour * 60L + now.wMinute) * 60L + now.wSecond) * 1000L + now.wMilliseconds;
    ASSERT_TRUE(PeerWrite(peer, run));
    std::vector<Bytes> lines = WaitForLines(head + 3, 5000);
    EXPECT_EQ("6 15 16 ", Sizes(lines)) << "split after each end byte, then by length";
    // The last three bytes wait one read timeout; a pause that long after
    // them ends their block before the next bytes come.
    lines = WaitForLines(head + 4, 5000);
    ASSERT_EQ(head + 4, shown.size());
    // Lines carry the time they were logged, which a loaded machine only delays.
    long waited = LineTime(shown[head + 3]) - written;
    EXPECT_GE(waited, 380);
    EXPECT_LT(waited, 3000);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 0D")));
    lines = WaitForLines(head + 5, 5000);
    EXPECT_EQ("6 15 16 3 3 ", Sizes(lines));
    Bytes joined;
    for (const Bytes &line : lines)
        joined.insert(joined.end(), line.begin(), line.end());
    run.insert(run.end(), {0x01, 0x02, 0x0D});
    EXPECT_EQ(run, joined);
}

INSTANTIATE_TEST_SUITE_P(PipeAndSerial, DeviceFlood, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Serial" : "Pipe"; });
