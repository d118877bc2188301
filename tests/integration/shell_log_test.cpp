// The message log on screen: line forms, markers, limits, dumps, batches and
// texts posted by any sender.
#include <gtest/gtest.h>

#include <windows.h>
#include <string.h>

#include "base/appwindows.h"
#include "log/messagelog.h"

#include "support.h"

// No test here scripts a box: any box the log showed fails the test.
class ShellLog : public VelkorAppTest {
protected:
    void SetUp() override
    {
        VelkorAppTest::SetUp();
        ASSERT_EQ(1u, LogLines().size());
    }
    // Lines logged since the start line.
    std::vector<std::string> NewLines()
    {
        std::vector<std::string> lines = LogLines();
        lines.erase(lines.begin());
        return lines;
    }
};

static std::string Head(const std::string &line)
{
    return line.substr(0, 16);
}

// "0xHH " for each byte.
static std::string Groups(const unsigned char *bytes, size_t count)
{
    std::string text;
    char group[8];
    for (size_t i = 0; i < count; i++) {
        snprintf(group, sizeof group, "0x%02X ", bytes[i]);
        text += group;
    }
    return text;
}

TEST_F(ShellLog, MarkerByKind)
{
    const struct {
        unsigned kind;
        char marker;
    } cases[] = {{0, '?'}, {1, '>'}, {2, '<'}, {4, '?'}, {5, '?'}, {8, '?'}, {9, '+'}, {10, '?'}, {0xFFFFFFFFu, '?'}};
    for (auto &c : cases)
        LogMessage("Ereignis", c.kind);
    std::vector<std::string> lines = NewLines();
    ASSERT_EQ(sizeof cases / sizeof cases[0], lines.size());
    for (size_t i = 0; i < lines.size(); i++) {
        EXPECT_EQ(cases[i].marker, lines[i][0]) << "kind " << cases[i].kind;
        EXPECT_EQ("Ereignis", LogText(lines[i]));
    }
}

static int NowMs()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return ((t.wHour * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
}

TEST_F(ShellLog, TimeStampIsTheLocalTimeOfLogging)
{
    int before = NowMs();
    LogMessage("jetzt", 9);
    const unsigned char bytes[] = {1};
    LogReceivedBlock(bytes, 1);
    int after = NowMs();
    for (const std::string &line : NewLines()) {
        long stamp = LineTime(line);
        ASSERT_GE(stamp, 0) << line;
        if (before <= after) { // not across midnight
            EXPECT_LE(before, stamp) << line;
            EXPECT_GE(after, stamp) << line;
        }
    }
}

TEST_F(ShellLog, TextsAreCutAfter257Characters)
{
    std::string exact(257, 'a');
    std::string longer = std::string(257, 'b') + std::string(43, 'c');
    LogMessage(exact.c_str(), 9);
    LogMessage(longer.c_str(), 2);
    LogMessage("", 1);
    std::vector<std::string> lines = NewLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(exact, LogText(lines[0]));
    EXPECT_EQ(std::string(257, 'b'), LogText(lines[1]));
    EXPECT_EQ(16u, lines[2].size()) << "an empty text leaves the head with its two spaces";
}

TEST_F(ShellLog, DumpOfATextStopsAtItsZeroAnd257Bytes)
{
    LogMessage("\x41\x0D", 3);
    LogMessage("\xFF\x80\x7F", 3);
    LogMessage("", 3);
    std::string many(300, 'A');
    LogMessage(many.c_str(), 3);
    std::vector<std::string> lines = NewLines();
    ASSERT_EQ(6u, lines.size());
    EXPECT_EQ('>', lines[0][0]);
    EXPECT_EQ("0x41 0x0D ", LogText(lines[0]));
    EXPECT_EQ(26u, lines[0].size());
    EXPECT_EQ("0xFF 0x80 0x7F ", LogText(lines[1]));
    EXPECT_EQ(16u, lines[2].size());
    // 257 bytes shown, 99 a line, all under the one head.
    std::string shown;
    for (size_t i = 3; i < 6; i++) {
        EXPECT_EQ(Head(lines[3]), Head(lines[i]));
        EXPECT_LE(lines[i].size(), 511u);
        shown += LogText(lines[i]);
    }
    EXPECT_EQ(511u, lines[3].size());
    EXPECT_EQ(16u + 5u * 59u, lines[5].size());
    std::string expected;
    for (int i = 0; i < 257; i++)
        expected += "0x41 ";
    EXPECT_EQ(expected, shown);
}

TEST_F(ShellLog, ReceivedBlockShowsEveryByteZerosIncluded)
{
    const unsigned char zeros[] = {0x00, 0x41, 0x00, 0xFF};
    LogReceivedBlock(zeros, sizeof zeros);
    LogReceivedBlock(zeros, 0);
    std::vector<std::string> lines = NewLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("0x00 0x41 0x00 0xFF ", LogText(lines[0]));
    EXPECT_EQ(">", lines[0].substr(0, 1));
    EXPECT_EQ(16u, lines[1].size()) << "an empty block gives its head";
}

TEST_F(ShellLog, LongBlocksContinueOnLinesOf99Bytes)
{
    unsigned char block[1000];
    for (size_t i = 0; i < sizeof block; i++)
        block[i] = (unsigned char)(i * 7);
    const size_t sizes[] = {99, 100, 198, 250, 1000};
    for (size_t size : sizes) {
        SCOPED_TRACE(testing::Message() << size << " bytes");
        size_t before = LogLines().size();
        LogReceivedBlock(block, size);
        std::vector<std::string> lines = LogLines();
        lines.erase(lines.begin(), lines.begin() + before);
        ASSERT_EQ((size + 98) / 99, lines.size());
        std::string shown;
        for (const std::string &line : lines) {
            EXPECT_EQ(Head(lines[0]), Head(line));
            EXPECT_LE(line.size(), 511u);
            shown += LogText(line);
        }
        EXPECT_EQ(511u, lines[0].size());
        EXPECT_EQ(Groups(block, size), shown) << "every byte, in order";
    }
}

TEST_F(ShellLog, NewestLineStaysInView)
{
    for (int i = 0; i < 60; i++)
        LogMessage("Zeile", 9);
    // The view follows at the next frame.
    EXPECT_TRUE(PumpUntil(LastLineInView, 1000));
    LRESULT top = SendMessageA(MessageLog(), LB_GETTOPINDEX, 0, 0);
    EXPECT_GT(top, 0);
    // The scroll bar, drawn after the rows, shows the same view.
    SCROLLINFO bar = {sizeof bar, SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(MessageLog(), SB_VERT, &bar));
    EXPECT_EQ(top, bar.nPos);
    EXPECT_EQ(SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0) - 1, bar.nMax);
    EXPECT_TRUE(IsWindowVisible(MessageLog()));
}

static int redrawsGiven;
static LRESULT CALLBACK CountRedraws(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    redrawsGiven += message == WM_SETREDRAW && wParam;
    return CallLogProc(window, message, wParam, lParam);
}

TEST_F(ShellLog, AMinimizedWindowDrawsNoFrameAndShowsItsLinesOnceRestored)
{
    ShowWindow(MainWindow(), SW_MINIMIZE);
    redrawsGiven = 0;
    WatchLogWindow(CountRedraws);
    for (int i = 0; i < 60; i++)
        LogMessage("Zeile", 9);
    PumpFor(200); // a frame's time and more
    WatchLogWindow(NULL);
    EXPECT_EQ(0, redrawsGiven) << "the list box's drawing stays held";
    ShowWindow(MainWindow(), SW_RESTORE);
    EXPECT_TRUE(PumpUntil(LastLineInView, 1000));
    EXPECT_TRUE(IsWindowVisible(MessageLog()));
}

TEST_F(ShellLog, AnAnswerRightAfterALineAfterAQuietSpellIsInViewAtOnce)
{
    for (int i = 0; i < 60; i++)
        LogMessage("Zeile", 9);
    PumpFor(100); // the quiet spell
    LogMessage("Kommando", 9);
    LogMessage("Antwort", 9);
    EXPECT_TRUE(LastLineInView()) << "shown without waiting for a timer";
    EXPECT_TRUE(IsWindowVisible(MessageLog()));
}

TEST_F(ShellLog, BatchKeepsEveryLineInOrder)
{
    BeginLogBatch();
    char text[32];
    for (int i = 0; i < 300; i++) {
        snprintf(text, sizeof text, "Zeile %d", i);
        LogMessage(text, 9);
        if (i == 100) {
            // Nested batches end with the outermost.
            BeginLogBatch();
            const unsigned char bytes[] = {0, 1};
            LogReceivedBlock(bytes, 2);
            EndLogBatch();
        }
    }
    // Nothing scrolled line by line: the view moves once, at the end.
    EXPECT_EQ(0, SendMessageA(MessageLog(), LB_GETTOPINDEX, 0, 0));
    EndLogBatch();
    EXPECT_TRUE(IsWindowVisible(MessageLog()));
    EXPECT_TRUE(LastLineInView());

    std::vector<std::string> lines = NewLines();
    ASSERT_EQ(301u, lines.size());
    for (int i = 0, n = 0; i < 301; i++) {
        if (i == 101) {
            EXPECT_EQ("0x00 0x01 ", LogText(lines[i]));
            continue;
        }
        snprintf(text, sizeof text, "Zeile %d", n++);
        EXPECT_EQ(text, LogText(lines[i]));
    }
    // An unmatched end changes nothing.
    EndLogBatch();
    LogMessage("danach", 9);
    EXPECT_TRUE(IsWindowVisible(MessageLog()));
    EXPECT_TRUE(PumpUntil(LastLineInView, 1000));
}

TEST_F(ShellLog, QueuedTextsAreLoggedInOrderAndTheViewFollows)
{
    // As a burst of received blocks arrives: many posted messages at once.
    static char texts[400][16];
    for (int i = 0; i < 400; i++) {
        snprintf(texts[i], sizeof texts[i], "Block %d", i);
        PostMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)texts[i], 0);
    }
    PumpPending();
    std::vector<std::string> lines = NewLines();
    ASSERT_EQ(400u, lines.size());
    for (int i = 0; i < 400; i++)
        EXPECT_EQ(texts[i], LogText(lines[i]));
    EXPECT_TRUE(PumpUntil(LastLineInView, 5000)) << "the view follows once the queue is empty";
    // Back to line by line: a single line is in view within a frame.
    LogMessage("einzeln", 9);
    EXPECT_TRUE(PumpUntil(LastLineInView, 1000));
    // A batch opened meanwhile still ends with the newest line in view.
    PostMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM) "eins", 0);
    LogMessage("zwei", 9);
    BeginLogBatch();
    LogMessage("drei", 9);
    EndLogBatch();
    EXPECT_TRUE(PumpUntil([] { return LastLineInView() && LogLines().size() == 405u; }, 5000));
    EXPECT_EQ("eins", LogText(LogLines().back()));
}

static DWORD WINAPI SendLogText(LPVOID text)
{
    SendMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)text, 0);
    return 0;
}

// A text another thread sends while a line is logged (logging may look at
// the queue, which runs it) comes after that line, and when both hold
// drawing only one hold is left to end, so the view is free afterwards.
TEST_F(ShellLog, ATextSentWhileALineIsLoggedComesAfterIt)
{
    PostMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM) "gepostet", 0);
    HANDLE sender = CreateThread(NULL, 0, SendLogText, (LPVOID) "gesendet", 0, NULL);
    ASSERT_TRUE(sender != NULL);
    // The sent message waits for this thread to look at its queue.
    DWORD start = GetTickCount();
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && GetTickCount() - start < 5000)
        Sleep(1);
    LogMessage("geloggt", 9);
    EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(sender, 0) == WAIT_OBJECT_0; }, 5000));
    CloseHandle(sender);
    PumpPending();
    std::vector<std::string> lines = NewLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("geloggt", LogText(lines[0]));
    EXPECT_EQ("gesendet", LogText(lines[1]));
    EXPECT_EQ("gepostet", LogText(lines[2]));

    // Enough lines to scroll; a hold left running would pull the view back down.
    for (int i = 0; i < 100; i++)
        LogMessage("Zeile", 9);
    PumpFor(100);
    SendMessageA(MessageLog(), LB_SETTOPINDEX, 0, 0);
    PumpFor(200);
    EXPECT_EQ(0, (int)SendMessageA(MessageLog(), LB_GETTOPINDEX, 0, 0)) << "the view stays where the user put it";
}

// Pages for the posted-text cases: the first readable, the second as given.
struct TwoPages {
    char *first;
    char *second;
    size_t page;
};

static TwoPages AllocateTwoPages(DWORD secondProtection)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    TwoPages pages;
    pages.page = info.dwPageSize;
    pages.first = (char *)VirtualAlloc(NULL, 2 * pages.page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    pages.second = pages.first ? pages.first + pages.page : NULL;
    DWORD old;
    if (pages.first)
        VirtualProtect(pages.second, pages.page, secondProtection, &old);
    return pages;
}

// Puts text (without its zero) at the very end of the first page.
static const char *AtPageEnd(const TwoPages &pages, const std::string &text)
{
    char *start = pages.second - text.size();
    memcpy(start, text.data(), text.size());
    return start;
}

TEST_F(ShellLog, PostedTextIsLoggedWithKindOne)
{
    static const char posted[] = "von au\xDF" "en";
    SendMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)"gesendet", 0);
    PostMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)posted, 0);
    PumpPending();
    std::vector<std::string> lines = NewLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ('>', lines[0][0]);
    EXPECT_EQ("gesendet", LogText(lines[0]));
    EXPECT_EQ(posted, LogText(lines[1]));

    std::string longer(400, 'L');
    SendMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)longer.c_str(), 0);
    EXPECT_EQ(std::string(257, 'L'), LogText(NewLines().back()));
}

TEST_F(ShellLog, PostedTextIsReadOnlyWhereReadable)
{
    TwoPages noAccess = AllocateTwoPages(PAGE_NOACCESS);
    TwoPages guarded = AllocateTwoPages(PAGE_READWRITE | PAGE_GUARD);
    ASSERT_TRUE(noAccess.first && guarded.first);

    // Texts that run into a page that cannot be read: what lies before it.
    SendMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)AtPageEnd(noAccess, "ABC"), 0);
    SendMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)AtPageEnd(guarded, "DEF"), 0);
    std::string filler(300, 'F');
    SendMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)AtPageEnd(noAccess, filler), 0);
    // A text that starts on the unreadable page, and freed memory.
    SendMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)noAccess.second, 0);
    char *freed = (char *)VirtualAlloc(NULL, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(freed != NULL);
    strcpy(freed, "weg");
    VirtualFree(freed, 0, MEM_RELEASE);
    SendMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)freed, 0);
    // Garbage from another sender: null, small numbers, addresses beyond user space.
    const ULONG_PTR garbage[] = {0, 1, 0x10000, ~(ULONG_PTR)0, ~(ULONG_PTR)0xFFF, (ULONG_PTR)1 << (sizeof(void *) * 8 - 1)};
    for (ULONG_PTR address : garbage)
        PostMessageA(MainWindow(), WMU_LOG_TEXT, (WPARAM)address, 0);
    PumpPending();

    std::vector<std::string> lines = NewLines();
    ASSERT_EQ(5u + sizeof garbage / sizeof garbage[0], lines.size());
    EXPECT_EQ("ABC", LogText(lines[0]));
    EXPECT_EQ("DEF", LogText(lines[1]));
    EXPECT_EQ(std::string(257, 'F'), LogText(lines[2])) << "the cut comes before the end of the readable page";
    EXPECT_EQ("", LogText(lines[3]));
    EXPECT_EQ("", LogText(lines[4]));
    for (size_t i = 5; i < lines.size(); i++)
        EXPECT_EQ('>', lines[i][0]) << "one line per message, whatever its address";

    // The guard page was never touched: its guard is still armed.
    MEMORY_BASIC_INFORMATION info;
    ASSERT_TRUE(VirtualQuery(guarded.second, &info, sizeof info));
    EXPECT_TRUE(info.Protect & PAGE_GUARD);

    VirtualFree(noAccess.first, 0, MEM_RELEASE);
    VirtualFree(guarded.first, 0, MEM_RELEASE);
}
