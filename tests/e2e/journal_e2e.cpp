// The log's journal on a temporary drive of 1 MiB (T:, see
// support/small-drive.sh) while a device streams blocks of one byte: the
// drive fills, fills and is emptied again, or saving and emptying keeps the
// journal small.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include "resources/resource.h"
#include "support.h"

class JournalE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        ULARGE_INTEGER total;
        if (!GetDiskFreeSpaceExA("T:\\", NULL, &total, NULL) || total.QuadPart > 2 * 1024 * 1024)
            GTEST_SKIP() << "no small drive T: (support/small-drive.sh needs root)";
        folder = TestFolder("journal-e2e");
        ClearVelkorRegistry();
        peer = StartPipePeer(UniqueName("velkor-journal"));
        std::string device = PeerConnectString(peer);
        PutVelkorValue("connectstring", REG_SZ, Bytes(device.begin(), device.end()));
        PutVelkorValue("readblocklen", REG_DWORD, DwordBytes(1));
        // The program's temporary folder is T:.
        UseTempFolder("T:\\");
        bool started = StartVelkorProcess(app, folder);
        UseTempFolder("");
        ASSERT_TRUE(started && WaitForMainWindow(app));
        PostCommand(app, IDM_OPEN_DEVICE_BUTTON);
        ASSERT_TRUE(PumpUntil([&] { return PeerConnected(peer); }, DRIVER_TIMEOUT_MS));
    }
    void TearDown() override
    {
        if (peer)
            PeerStopFlood(peer);
        EndVelkorProcess(app);
        if (peer)
            StopPeer(peer);
    }
    HWND Log() { return GetDlgItem(app.window, IDC_MESSAGE_LOG); }
    size_t Lines() { return (size_t)SendMessageA(Log(), LB_GETCOUNT, 0, 0); }
    // Waits until the log has grown by count lines.
    bool Grown(size_t count, DWORD timeoutMs = 60000)
    {
        size_t from = Lines();
        return PumpUntil([&] { return Lines() >= from + count; }, timeoutMs);
    }
    // Closes the device and waits for the reader's end line.
    void Close()
    {
        PostCommand(app, IDM_CLOSE_DEVICE_BUTTON);
        EXPECT_TRUE(PumpUntil([&] { return NewestLogText(app) == "Empfangsroutine wurde beendet"; }, DRIVER_TIMEOUT_MS));
    }
    // Saves the log to path and answers the question; a Yes is waited for until it removed the lines.
    void Save(const std::string &path, int answer)
    {
        PostCommand(app, IDM_SAVE_LOG);
        ASSERT_TRUE(AnswerBox(app.processId, ChooseFile(path)));
        size_t before = 0;
        ASSERT_TRUE(AnswerBox(app.processId, [&](HWND box, const SeenBox &) {
            before = Lines();
            PressButton(box, answer);
        }));
        if (answer == IDYES) {
            ASSERT_TRUE(PumpUntil([&] { return Lines() < before; }, DRIVER_TIMEOUT_MS));
        }
        ASSERT_TRUE(PumpUntil([&] { return FindBox(app.processId) == NULL; }, DRIVER_TIMEOUT_MS));
    }
    VelkorProcess app;
    DevicePeer *peer = NULL;
    std::string folder;
};

// Every received block in lines is the stream's counter sequence, each byte once and in order; sent bytes in all.
static void ExpectEveryByteOnceInOrder(const std::vector<std::string> &lines, uint64_t sent)
{
    std::vector<Bytes> blocks = ReceivedBlocks(lines);
    ASSERT_EQ(sent, blocks.size());
    for (size_t i = 0; i < blocks.size(); i++)
        ASSERT_EQ((unsigned char)i, blocks[i][0]) << "block " << i;
}

TEST_F(JournalE2E, AFullDriveIsReportedOnceAndEveryByteIsLoggedOnceInOrder)
{
    PeerStartPacedFlood(peer, 20000, 300000);
    SeenBox warning;
    HWND box = WaitForBox(app.processId, 120000, &warning);
    ASSERT_TRUE(box != NULL) << "the drive never filled";
    EXPECT_EQ(0u, warning.text.find("Aeltere Ausgaben koennen nicht")) << warning.text;
    EXPECT_TRUE(Grown(2000)) << "blocks are logged while the warning is open";
    PressButton(box, IDOK);
    EXPECT_TRUE(Grown(2000)) << "and after it";
    uint64_t sent = PeerStopFlood(peer);
    // Two lines came before the blocks: the start and the device opened.
    ASSERT_TRUE(PumpUntil([&] { return Lines() >= sent + 2; }, 60000)) << Lines() << " lines for " << sent;
    Close();
    EXPECT_TRUE(FindBox(app.processId) == NULL) << "one warning only";

    // The save (the journal's lines, then the list box's) holds them all (the window's across processes take minutes).
    std::string path = folder + "\\voll.msg";
    Save(path, IDNO);
    ExpectEveryByteOnceInOrder(SavedLines(ReadWholeFile(path)), sent);
    printf("full drive: %llu blocks of one byte, all logged once in order\n", (unsigned long long)sent);
}

TEST_F(JournalE2E, ADriveThatFillsAndIsEmptiedAgainHasTheJournalBackWithEveryLine)
{
    std::string fill = "T:\\fuellung";
    ASSERT_TRUE(CreateDirectoryA(fill.c_str(), NULL));
    std::string filler = FillVolume(fill, 200 * 1024);
    ASSERT_FALSE(filler.empty());
    PeerStartPacedFlood(peer, 5000, 300000);
    ASSERT_TRUE(AnswerBox(app.processId, [](HWND box, const SeenBox &seen) {
        EXPECT_EQ(0u, seen.text.find("Aeltere Ausgaben koennen nicht")) << seen.text;
        PressButton(box, IDOK);
    }, 60000)) << "the drive never filled";
    ASSERT_TRUE(DeleteFileA(filler.c_str()) && RemoveDirectoryA(fill.c_str()));
    const std::string back =
        "Aeltere Ausgaben werden wieder in eine temporaere Datei ausgelagert: ab hier ist die Aufzeichnung wieder vollstaendig";
    // Failed, the journal gave its space back and stays empty; back, it holds the lines again.
    auto journalBytes = [&] {
        DWORD bytes = 0;
        for (DWORD size : JournalSizes(app.processId, "T:\\"))
            bytes += size;
        return bytes;
    };
    ASSERT_TRUE(PumpUntil([&] { return journalBytes() > 100000; }, 20000)) << "the journal stayed away";
    uint64_t sent = PeerStopFlood(peer);
    ASSERT_TRUE(PumpUntil([&] { return Lines() >= sent + 3; }, 60000)) << Lines() << " lines for " << sent;
    EXPECT_TRUE(FindBox(app.processId) == NULL) << "one warning only";
    // The save holds every line, those before the line that says so among them.
    std::string path = folder + "\\wieder.msg";
    Save(path, IDNO);
    std::vector<std::string> saved = SavedLines(ReadWholeFile(path));
    ExpectEveryByteOnceInOrder(saved, sent);
    EXPECT_EQ(1, std::count_if(saved.begin(), saved.end(), [&](const std::string &line) { return LogText(line) == back; }));
    EXPECT_FALSE(JournalSizes(app.processId, "T:\\").empty());
}

TEST_F(JournalE2E, SavingAndEmptyingUnderASteadyStreamKeepsTheJournalAtTheUnsavedLines)
{
    // More lines than the drive holds, saved and emptied every few thousand:
    // slow enough that the list box holds every line not saved.
    PeerStartPacedFlood(peer, 5000, 300000);
    DWORD largest = 0;
    for (int round = 0; round < 14; round++) {
        ASSERT_TRUE(PumpUntil([&] { return Lines() >= 4000; }, 60000));
        Save(folder + "\\runde" + std::to_string(round) + ".msg", IDYES);
        DWORD size = 0;
        for (DWORD journal : JournalSizes(app.processId, "T:\\"))
            size += journal;
        size_t lines = Lines();
        largest = size > largest ? size : largest;
        // A line of one byte takes 23 bytes in the journal.
        EXPECT_LE(size, lines * 23 + 4096) << "round " << round << ": " << lines << " lines in the log";
        SeenBox box;
        ASSERT_TRUE(WaitForBox(app.processId, 10, &box) == NULL) << "round " << round << ": " << box.text;
    }
    uint64_t sent = PeerStopFlood(peer);
    Close();
    printf("steady stream: %llu blocks, largest journal %lu bytes\n", (unsigned long long)sent, largest);
}
