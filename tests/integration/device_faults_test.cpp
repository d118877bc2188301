// Nothing lost, nothing leaked: floods, a window that stops taking messages,
// a device that vanishes, a reader that has to be killed, replayed and forged
// hand-over messages, and handles and memory over many cycles.
#include <gtest/gtest.h>

#include <windows.h>

#include "base/appwindows.h"
#include "device/connection.h"
#include "log/messagelog.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include "probes.h"
#include "support.h"

// Blocks handed over by readers and not yet logged, and the most a running
// reader leaves waiting, which handover.cpp keeps to itself.
size_t BlocksWaiting();
void LimitHandOverForTests(uint32_t blocks);
// Lines the log took since the start, which logstore.cpp keeps to itself.
ULONGLONG LinesLogged();

// A ring the tests fill in a moment.
static const uint32_t RING_BLOCKS = 8192;

class DeviceFaults : public VelkorPeerTest {
protected:
    void BeforeStart() override
    {
        peer = StartPipePeer(UniqueName("velkor-faults"), true, 16384);
        LimitHandOverForTests(RING_BLOCKS);
    }
    void TearDown() override
    {
        VelkorPeerTest::TearDown();
        LimitHandOverForTests(0);
    }
    void ClearLog() { SendMessageA(MessageLog(), LB_RESETCONTENT, 0, 0); }
};

// The received bytes must be the flood's counter sequence from byte first on, whole and in order.
static void ExpectCounterSequence(const std::vector<Bytes> &blocks, uint64_t sent, uint64_t first = 0)
{
    uint64_t n = first;
    for (const Bytes &block : blocks) {
        ASSERT_EQ(1u, block.size()) << "block " << n;
        ASSERT_EQ((unsigned char)n, block[0]) << "byte " << n;
        n++;
    }
    EXPECT_EQ(sent, n);
}

// Lines in the log (cheap to ask, unlike their texts).
static size_t CountLines()
{
    return (size_t)SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0);
}

// The flood's counter bytes 0, 1, ..., 255, 0, ... (fewer than the log's
// window keeps, 60,000 lines: a flood of seconds is far more).
static Bytes CounterBytes(size_t count)
{
    Bytes bytes(count);
    for (size_t i = 0; i < count; i++)
        bytes[i] = (unsigned char)i;
    return bytes;
}

TEST_F(DeviceFaults, AFloodArrivesWholeInOrderAndStopsPromptly)
{
    OpenPeer(1);
    ClearLog();
    DWORD start = GetTickCount();
    PeerStartSending(peer, CounterBytes(50000));
    ASSERT_TRUE(PumpUntil([&] { return PeerFloodDone(peer); }, 20000));
    uint64_t sent = PeerStopFlood(peer);
    ASSERT_TRUE(PumpUntil([&] { return CountLines() >= sent; }, 30000));
    printf("flood: %llu blocks of one byte in %lu ms\n", (unsigned long long)sent, GetTickCount() - start);
    PumpFor(200);
    ExpectCounterSequence(ReceivedBlocks(LogLines()), sent);
    EXPECT_EQ(0u, BlocksWaiting());

    // While bytes keep coming the reader still sees the stop by itself, and
    // every block it handed over is logged before the line that it ended.
    ClearLog();
    PeerStartFlood(peer, 60000);
    ASSERT_TRUE(PumpUntil([&] { return CountLines() >= 1000; }, 10000)) << "the flood is under way";
    CloseFromToolbar();
    EXPECT_FALSE(LastReaderWasKilled()) << "the reader ended within its grace period";
    ASSERT_TRUE(WaitForLogLine("Empfangsroutine wurde beendet", 3000));
    PumpFor(200);
    std::vector<std::string> lines = LogLines();
    int closed = FindLogLine(lines, "Device " + PeerConnectString(peer) + " geschlossen");
    int ended = FindLogLine(lines, "Empfangsroutine wurde beendet");
    EXPECT_LT(closed, ended);
    EXPECT_EQ((int)lines.size() - 1, ended) << "no block after the reader's end";
    std::vector<std::string> before(lines.begin(), lines.begin() + ended);
    std::vector<Bytes> blocks = ReceivedBlocks(before);
    for (size_t i = 1; i < blocks.size(); i++)
        ASSERT_EQ((unsigned char)(blocks[i - 1][0] + 1), blocks[i][0]) << "block " << i;
    PeerStopFlood(peer);
}

// A window that takes no blocks makes the reader wait, not drop: the ring
// fills and stays full. Then a stop: the whole backlog still comes before the
// line that the reader ended, and so does every byte of the reader's last
// read, which took all the bytes the device held, thousands of blocks more
// than the ring had room for.
TEST_F(DeviceFaults, AFullRingMakesTheReaderWaitAndAStopLogsItAndTheWholeLastRead)
{
    OpenPeer(1);
    ClearLog();
    Bytes sent = CounterBytes(RING_BLOCKS + 5000);
    ASSERT_TRUE(PeerWrite(peer, sent)) << "the pipe holds them all";
    DWORD start = GetTickCount();
    while (BlocksWaiting() < RING_BLOCKS && GetTickCount() - start < 20000)
        Sleep(20); // the window takes nothing meanwhile
    Sleep(300);
    ASSERT_EQ(RING_BLOCKS, BlocksWaiting()) << "the ring filled and stopped there";
    CloseFromToolbar();
    ASSERT_TRUE(WaitForLogLine("Empfangsroutine wurde beendet", 10000));
    std::vector<std::string> lines = LogLines();
    int ended = FindLogLine(lines, "Empfangsroutine wurde beendet");
    EXPECT_EQ((int)lines.size() - 1, ended) << "no block after the reader's end";
    ExpectCounterSequence(ReceivedBlocks(std::vector<std::string>(lines.begin(), lines.begin() + ended)),
                          sent.size());
    EXPECT_EQ(0u, BlocksWaiting());
}

// A save of a long log keeps the window from the blocks for a while: the
// reader reads on, and afterwards every byte of the stream is in the log.
TEST_F(DeviceFaults, SavingALongLogWhileADeviceStreamsLosesNoByte)
{
    LimitHandOverForTests(0);
    BeginLogBatch();
    LogNumbered("Zeile %d des langen Logs", 1000000);
    EndLogBatch();
    OpenPeer(3);
    ULONGLONG before = LinesLogged();
    PeerStartPacedFlood(peer, 92000, 60000);
    ASSERT_TRUE(PumpUntil([&] { return LinesLogged() > before + 1000; }, 5000));
    std::string folder = TestFolder("faults-save");
    SaveLog(folder + "\\lang.msg", IDNO);
    PumpFor(300);
    uint64_t sent = PeerStopFlood(peer);
    // Every block, the last and shorter one after the read timeout, and the save's line.
    ASSERT_TRUE(PumpUntil([&] { return LinesLogged() >= before + (sent + 2) / 3 + 1; }, 10000));
    CloseFromToolbar();
    std::vector<std::string> lines = SavedLines(SaveLog(folder + "\\alles.msg", IDNO));
    Bytes joined;
    for (const Bytes &block : ReceivedBlocks(lines))
        joined.insert(joined.end(), block.begin(), block.end());
    ASSERT_EQ(sent, joined.size());
    for (size_t i = 0; i < joined.size(); i++)
        ASSERT_EQ((unsigned char)i, joined[i]) << "byte " << i;
    printf("%llu bytes streamed around a save of %zu lines\n", (unsigned long long)sent, lines.size());
}

// A box that opens while blocks are logged (the list box refuses the flood's
// first line) runs a message loop that brings the next wake-up. Each block is
// logged once and in order, while the box is open and after it, the reader
// reads on, and closing ends it.
TEST_F(DeviceFaults, ABoxOpenedWhileBlocksAreLoggedLogsEachBlockOnce)
{
    OpenPeer(1);
    ClearLog();
    size_t atBox = 0, atOk = 0;
    AnswerNextBox([&](HWND box, const SeenBox &) {
        atBox = CountLines();
        PumpUntil([&] { return CountLines() >= atBox + 500; }, 10000);
        atOk = CountLines();
        PressButton(box, IDOK);
    });
    RefuseLogLines(1);
    PeerStartPacedFlood(peer, 15000, 3000); // the box opens and closes in the middle of it
    ASSERT_TRUE(PumpUntil([&] { return PeerFloodDone(peer); }, 20000));
    uint64_t sent = PeerStopFlood(peer);
    ASSERT_TRUE(PumpUntil([&] { return CountLines() + 1 >= sent; }, 30000)) << CountLines() << " of " << sent;
    PumpFor(200);
    ASSERT_EQ(1u, SeenBoxes().size());
    EXPECT_EQ(0u, SeenBoxes()[0].text.find("Das Nachrichtenfenster nimmt keine weiteren Zeilen auf."));
    EXPECT_GE(atOk, atBox + 500) << "blocks were logged while the box was open";
    EXPECT_GT(CountLines(), atOk) << "and after it";
    // The refused first block aside, the counter sequence from 1 on.
    ExpectCounterSequence(ReceivedBlocks(LogLines()), sent, 1);
    EXPECT_EQ(0u, BlocksWaiting());
    CloseFromToolbar();
    EXPECT_FALSE(LastReaderWasKilled());
    EXPECT_TRUE(WaitForLogLine("Empfangsroutine wurde beendet", 3000));
}

TEST_F(DeviceFaults, AReaderWhosePostsFailKeepsItsBlockAndStillEndsByItself)
{
    OpenPeer(1);
    // The window goes (as at exit) before anything was handed over; from then
    // on the reader's posts fail. It keeps its blocks and retries after short
    // pauses, without spinning, until it is told to stop.
    DestroyWindow(MainWindow());
    DWORD reader = ReaderThreadId();
    PeerStartFlood(peer, 60000);
    ASSERT_TRUE(PumpUntil([] { return BlocksWaiting() > 0; }, 5000)) << "the reader took blocks";
    size_t held = 0;
    ASSERT_TRUE(PumpUntil([&] { return (held = BlocksWaiting()) == (Sleep(50), BlocksWaiting()); }, 5000));
    ULONGLONG before = ThreadMilliseconds(reader);
    Sleep(1000);
    EXPECT_LT(ThreadMilliseconds(reader) - before, 200u) << "milliseconds of processor time in one second";
    EXPECT_EQ(held, BlocksWaiting()) << "its blocks kept, and nothing read after the failed post";
    Stop();
    EXPECT_FALSE(LastReaderWasKilled());
    PeerStopFlood(peer);
}

TEST_F(DeviceFaults, APipeThatVanishesIsReportedAndCanBeOpenedAgain)
{
    OpenPeer(3);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03")));
    ASSERT_EQ(1u, WaitForBlocks(1, 2000).size());
    PeerVanish(peer);
    SeenBox info;
    HWND box = WaitForBox(GetCurrentProcessId(), 5000, &info);
    ASSERT_TRUE(box != NULL);
    EXPECT_EQ(0u, info.text.find("kein Lesezugriff auf Device\n(")) << info.text;
    PressButton(box, IDOK);
    ASSERT_TRUE(WaitForLogLine("Empfangsroutine wurde beendet", 3000));

    // Writing to the vanished device is an error at once, not a time-out.
    Settings().writeTimeoutMs = 3000;
    int entry = InsertListEntry(" 0x41 0x42 0x43", "");
    MarkEntry(entry);
    DWORD start = GetTickCount();
    RunCommand(IDM_SEND_COMMAND);
    EXPECT_LT(GetTickCount() - start, 1000u);
    std::string line = LogLines().back();
    EXPECT_EQ('<', line[0]);
    EXPECT_EQ(16u, line.find("!! Error ")) << line;
    EXPECT_NE(std::string::npos, line.find(": 0 von 3 Bytes ( 0x41 0x42 0x43)")) << line;

    CloseFromToolbar();
    EXPECT_FALSE(LastReaderWasKilled());
    ASSERT_TRUE(PeerRevive(peer));
    ASSERT_TRUE(OpenFromToolbar());
    ASSERT_TRUE(PumpUntil([&] { return PeerConnected(peer); }, 2000));
    ASSERT_TRUE(PeerWrite(peer, HexBytes("04 05 06")));
    std::vector<Bytes> blocks = WaitForBlocks(2, 2000);
    ASSERT_EQ(2u, blocks.size());
    EXPECT_EQ(HexBytes("04 05 06"), blocks[1]);
}

// Records the hand-over messages the test thread takes from its queue.
static std::vector<MSG> seenBlockMessages;
static LRESULT CALLBACK RecordBlockMessages(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG *msg = (const MSG *)lParam;
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WMU_BLOCK_RECEIVED)
        seenBlockMessages.push_back(*msg);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

TEST_F(DeviceFaults, ReplayedAndForgedHandOversAreIgnored)
{
    OpenPeer(3, 5000);
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, RecordBlockMessages, NULL, GetCurrentThreadId());
    ASSERT_TRUE(hook != NULL);
    seenBlockMessages.clear();
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03 04 05 06")));
    ASSERT_EQ(2u, WaitForBlocks(2, 2000).size());
    UnhookWindowsHookEx(hook);
    ASSERT_FALSE(seenBlockMessages.empty());

    // Each real message again, and near misses of it; and a block that is
    // published but not yet announced cannot be taken early with a wrong length.
    static const unsigned char secret[3] = {0xAA, 0xBB, 0xCC};
    for (const MSG &msg : seenBlockMessages) {
        PostMessageA(MainWindow(), WMU_BLOCK_RECEIVED, msg.wParam, msg.lParam);
        PostMessageA(MainWindow(), WMU_BLOCK_RECEIVED, msg.wParam + 1, msg.lParam);
        PostMessageA(MainWindow(), WMU_BLOCK_RECEIVED, msg.wParam, msg.lParam + 1);
        PostMessageA(MainWindow(), WMU_BLOCK_RECEIVED, msg.wParam, -1);
    }
    PostMessageA(MainWindow(), WMU_BLOCK_RECEIVED, (WPARAM)secret, 3);
    PostMessageA(MainWindow(), WMU_BLOCK_RECEIVED, 0, 3);
    PostMessageA(MainWindow(), WMU_BLOCK_RECEIVED, (WPARAM)1, 0x7FFFFFFF);
    PumpFor(300);
    std::vector<Bytes> blocks = ReceivedBlocks(LogLines());
    ASSERT_EQ(2u, blocks.size());
    EXPECT_EQ(HexBytes("01 02 03"), blocks[0]);
    EXPECT_EQ(HexBytes("04 05 06"), blocks[1]);

    // The real hand-over still works afterwards.
    ASSERT_TRUE(PeerWrite(peer, HexBytes("07 08 09")));
    blocks = WaitForBlocks(3, 2000);
    ASSERT_EQ(3u, blocks.size());
    EXPECT_EQ(HexBytes("07 08 09"), blocks[2]);
}

// A bare thread that posts to the window and waits, killed the same way:
// what the system itself keeps of a killed thread.
static DWORD WINAPI PostAndWait(LPVOID)
{
    PostMessageA(MainWindow(), WM_NULL, 0, 0);
    Sleep(INFINITE);
    return 0;
}

static ResourceUse KillBareThreads(int count)
{
    ResourceUse before = MeasureResources();
    for (int i = 0; i < count; i++) {
        HANDLE thread = CreateThread(NULL, 0, PostAndWait, NULL, 0, NULL);
        PumpFor(50);
        SuspendThread(thread);
        TerminateThread(thread, 1);
        WaitForSingleObject(thread, 1000);
        CloseHandle(thread);
    }
    PumpFor(50);
    ResourceUse after = MeasureResources();
    ResourceUse growth = {after.handles - before.handles, after.privateBytes - before.privateBytes,
                          after.heapBytes - before.heapBytes};
    return growth;
}

TEST_F(DeviceFaults, AKilledReaderIsReclaimed)
{
    OpenPeer(3);
    // A warm-up cycle, so that what lives for the program's run exists.
    for (int i = 0; i < 2; i++) {
        CloseFromToolbar();
        ASSERT_TRUE(OpenFromToolbar());
    }
    CloseFromToolbar();
    ClearLog();
    const int cycles = 15;
    KillBareThreads(2);
    ResourceUse system = KillBareThreads(cycles);
    ResourceUse before = MeasureResources();
    for (int i = 0; i < cycles; i++) {
        ASSERT_TRUE(OpenFromToolbar());
        PumpFor(50); // the reader waits for a byte
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, ReaderThreadId());
        ASSERT_TRUE(thread != NULL);
        ASSERT_NE((DWORD)-1, SuspendThread(thread));
        CloseFromToolbar();
        EXPECT_TRUE(LastReaderWasKilled());
        CloseHandle(thread);
        ClearLog();
    }
    PumpFor(50);
    ResourceUse after = MeasureResources();
    printf("%d killed readers: handles %lu -> %lu, heap %lu -> %lu, private %lu -> %lu; "
           "%d bare threads killed: handles +%ld, heap +%ld, private +%ld\n",
           cycles, before.handles, after.handles, (unsigned long)before.heapBytes, (unsigned long)after.heapBytes,
           (unsigned long)before.privateBytes, (unsigned long)after.privateBytes, cycles, (long)system.handles,
           (long)system.heapBytes, (long)system.privateBytes);
    // The reader's block, buffers and read event are reclaimed: what stays is
    // what the system keeps of any killed thread.
    EXPECT_LE((long)(after.handles - before.handles), (long)system.handles + 2);
    EXPECT_LT((long)(after.heapBytes - before.heapBytes), (long)system.heapBytes + 1024);
    // (A killed thread's stack is never freed by the system, hence the megabytes.)
    EXPECT_LT((long)(after.privateBytes - before.privateBytes), (long)system.privateBytes + 1024 * 1024);
    // A killed reader posts nothing: no "Empfangsroutine wurde beendet".
    EXPECT_EQ(-1, FindLogLine(LogLines(), "Empfangsroutine wurde beendet"));
    // And the next reader works.
    ASSERT_TRUE(OpenFromToolbar());
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03")));
    EXPECT_EQ(1u, WaitForBlocks(1, 2000).size());
}

TEST_F(DeviceFaults, ManyOpensClosesAndSendsLeaveHandlesAndMemoryAlone)
{
    UseDevice(PeerConnectString(peer), 3, 500);
    int entry = InsertListEntry(" 0x41 0x42 0x43 0x44", "");
    // Warm-up: everything that lives for the program's run is made once.
    // The peer keeps a few pipe instances listening and replaces each one a
    // client takes; the loops wait for that, as a pipe client would.
    int clients = 0;
    for (int i = 0; i < 20; i++) {
        ASSERT_TRUE(WaitPeerReady(peer, clients++, 5000));
        ASSERT_TRUE(OpenDevice());
        CloseDevice();
    }
    ASSERT_TRUE(WaitPeerReady(peer, clients++, 5000));
    ASSERT_TRUE(OpenFromToolbar());
    MarkEntry(entry);
    for (int i = 0; i < 20; i++)
        RunCommand(IDM_SEND_COMMAND);
    CloseFromToolbar();
    PumpFor(100);
    ClearLog();
    ResourceUse before = MeasureResources();

    // 1,000 opens and closes of the device (the reader's part comes below: its
    // stop always takes the full grace period). The window is hidden meanwhile:
    // drawing two thousand log lines one by one would take most of the time.
    ShowWindow(MainWindow(), SW_HIDE);
    for (int i = 0; i < 1000; i++) {
        ASSERT_TRUE(WaitPeerReady(peer, clients++, 5000)) << "cycle " << i;
        ASSERT_TRUE(OpenDevice()) << "cycle " << i;
        CloseDevice();
        if (i % 100 == 99)
            ClearLog();
    }
    ShowWindow(MainWindow(), SW_SHOW);
    // 1,000 sends, the reader running.
    ASSERT_TRUE(WaitPeerReady(peer, clients++, 5000));
    ASSERT_TRUE(OpenFromToolbar());
    MarkEntry(entry);
    for (int i = 0; i < 1000; i++) {
        RunCommand(IDM_SEND_COMMAND);
        if (i % 100 == 99)
            ClearLog();
    }
    ASSERT_TRUE(WaitPeerReceived(peer, 1020 * 4, 5000));
    CloseFromToolbar();
    // 20 reader starts and stops with traffic.
    for (int i = 0; i < 20; i++) {
        ASSERT_TRUE(WaitPeerReady(peer, clients++, 5000));
        ASSERT_TRUE(OpenFromToolbar());
        ASSERT_TRUE(WaitPeerReady(peer, clients, 5000)) << "the peer took the client in";
        ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03 04")));
        WaitForBlocks(1, 2000);
        CloseFromToolbar();
        PumpFor(20);
        ClearLog();
    }
    PumpFor(100);
    ClearLog();
    ResourceUse after = MeasureResources();
    printf("1,000 opens, 1,000 sends, 20 readers: handles %lu -> %lu, heap %lu -> %lu, private %lu -> %lu\n",
           before.handles, after.handles, (unsigned long)before.heapBytes, (unsigned long)after.heapBytes,
           (unsigned long)before.privateBytes, (unsigned long)after.privateBytes);
    EXPECT_LE(after.handles, before.handles + 2);
    EXPECT_LT(after.heapBytes, before.heapBytes + 16384);
    EXPECT_LT(after.privateBytes, before.privateBytes + 1024 * 1024);
}
