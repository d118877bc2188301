// "Ausgaben speicher": the save dialog, the .msg file, the question and the
// failures, with the real file dialog answered from the test.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>
#include <dlgs.h>

#include "base/appwindows.h"
#include "log/messagelog.h"
#include "resources/resource.h"

#include "support.h"

static const char CAPTION[] = "VELKOR Nachrichten speichern";

class ShellSaveLog : public VelkorAppTest {
protected:
    void BeforeStart() override { folder = TestFolder("shell-savelog"); }
    std::string folder;
};

static bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST_F(ShellSaveLog, WritesEveryNonEmptyLineAndKeepsThemOnNo)
{
    // Lines of every form, an empty line and bytes beyond ASCII.
    LogMessage("Gr\xF6\xDF" "e \x80\xFF", 2);
    const unsigned char block[] = {0x00, 0x0D, 0x0A, 0xFF};
    LogReceivedBlock(block, sizeof block);
    LogMessage(std::string(300, 'z').c_str(), 9);
    SendMessageA(MessageLog(), LB_ADDSTRING, 0, (LPARAM) "");
    LogMessage("zuletzt", 7);
    std::vector<std::string> before = LogLines();
    ASSERT_EQ(6u, before.size());

    std::string path = folder + "\\log.msg";
    FileDialogView dialog;
    AnswerNextBox(ChooseFile(path, &dialog));
    AnswerNextBoxWith(IDNO);
    RunCommand(IDM_SAVE_LOG);

    EXPECT_EQ(CAPTION, dialog.caption);
    EXPECT_EQ("velkor.msg", dialog.initialName);
    ASSERT_EQ(2u, dialog.filters.size());
    EXPECT_EQ("VelkorNachrichten (*.msg)", dialog.filters[0]);
    EXPECT_EQ("alle (*.*)", dialog.filters[1]);

    ASSERT_EQ(2u, SeenBoxes().size());
    const SeenBox &question = SeenBoxes()[1];
    ExpectBox(question, CAPTION, "Nachrichtenfenster loeschen?", MB_ICONQUESTION | MB_YESNO);

    // Every non-empty line with CR LF, byte for byte, and nothing else.
    EXPECT_EQ(SavedForm(before), ReadWholeFile(path));
    EXPECT_EQ(std::string::npos, ReadWholeFile(path).find('\0'));

    std::vector<std::string> after = LogLines();
    ASSERT_EQ(before.size() + 1, after.size());
    for (size_t i = 0; i < before.size(); i++)
        EXPECT_EQ(before[i], after[i]);
    EXPECT_EQ('+', after.back()[0]);
    EXPECT_EQ("Nachrichtendatei " + path + " gespeichert", LogText(after.back()));
}

TEST_F(ShellSaveLog, YesRemovesExactlyTheSavedLines)
{
    LogMessage("alt", 9);
    std::string path = folder + "\\yes.msg";
    // Arrives while the dialog is open: counted after the file is made, so saved.
    AnswerNextBox(
        ChooseFile(path, NULL, [](HWND) { PostMessageA(MainWindow(), WM_USER + 22, (WPARAM) "im Dialog", 0); }));
    // Arrives while the question is open: neither saved nor removed.
    AnswerNextBox([](HWND box, const SeenBox &) {
        LogMessage("bei der Frage", 9);
        PressButton(box, IDYES);
    });
    std::vector<std::string> before = LogLines();
    RunCommand(IDM_SAVE_LOG);

    std::string file = ReadWholeFile(path);
    EXPECT_EQ(0u, file.find(SavedForm(before)));
    EXPECT_NE(std::string::npos, file.find("  im Dialog\r\n"));
    EXPECT_EQ(std::string::npos, file.find("bei der Frage"));

    std::vector<std::string> after = LogLines();
    ASSERT_EQ(2u, after.size());
    EXPECT_EQ("bei der Frage", LogText(after[0]));
    EXPECT_EQ("Nachrichtendatei " + path + " gespeichert", LogText(after[1]));

    // Nothing arriving at the question: the log keeps only the new line.
    std::string again = folder + "\\again.msg";
    EXPECT_EQ(SavedForm(after), SaveLog(again, IDYES));
    after = LogLines();
    ASSERT_EQ(1u, after.size());
    EXPECT_EQ("Nachrichtendatei " + again + " gespeichert", LogText(after[0]));

    // A log without lines gives a file of no bytes.
    SendMessageA(MessageLog(), LB_RESETCONTENT, 0, 0);
    std::string empty = folder + "\\empty.msg";
    EXPECT_EQ("", SaveLog(empty, IDNO));
    EXPECT_TRUE(Exists(empty));
    ASSERT_EQ(1u, LogLines().size());
}

TEST_F(ShellSaveLog, BareNameGetsTheMsgExtension)
{
    // With either filter chosen; a name with an extension of its own keeps it.
    struct Case {
        const char *typed;
        int filter;
        const char *saved;
    } cases[] = {{"bare1", 0, "bare1.msg"}, {"bare2", 1, "bare2.msg"}, {"eigen.txt", 1, "eigen.txt"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        int filter = c.filter;
        AnswerNextBox(ChooseFile(folder + "\\" + c.typed, NULL, [filter](HWND dialog) {
            HWND combo = GetDlgItem(dialog, cmb1);
            SendMessageA(combo, CB_SETCURSEL, filter, 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELCHANGE), (LPARAM)combo);
        }));
        AnswerNextBoxWith(IDNO);
        RunCommand(IDM_SAVE_LOG);
        std::string saved = folder + "\\" + c.saved;
        EXPECT_TRUE(Exists(saved));
        EXPECT_EQ("Nachrichtendatei " + saved + " gespeichert", LogText(LogLines().back()));
    }
    EXPECT_FALSE(Exists(folder + "\\bare2..msg"));
}

TEST_F(ShellSaveLog, ExistingFileIsReplacedOnlyAfterAsking)
{
    std::string path = folder + "\\old.msg";
    std::string old(5000, 'o');
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written;
    WriteFile(file, old.data(), (DWORD)old.size(), &written, NULL);
    CloseHandle(file);

    // Declined: the dialog stays, and is then cancelled (from here: the
    // answering has already handled that dialog once).
    AnswerNextBox(ChooseFile(path));
    AnswerNextBox([](HWND box, const SeenBox &) {
        HWND dialog = GetWindow(box, GW_OWNER);
        PressButton(box, IDNO);
        PumpUntil([&] { return !IsWindowVisible(box); }, 5000);
        EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays after No";
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    RunCommand(IDM_SAVE_LOG);
    ASSERT_EQ(2u, SeenBoxes().size());
    EXPECT_TRUE(SeenBoxes()[1].isMessageBox) << "the dialog asks before replacing";
    EXPECT_EQ(old, ReadWholeFile(path));
    EXPECT_EQ(1u, LogLines().size());

    ClearSeenBoxes();
    std::vector<std::string> before = LogLines();
    AnswerNextBox(ChooseFile(path));
    AnswerNextBoxWith(IDYES);
    AnswerNextBoxWith(IDNO);
    RunCommand(IDM_SAVE_LOG);
    EXPECT_EQ(SavedForm(before), ReadWholeFile(path)) << "replaced, not appended to";
}

TEST_F(ShellSaveLog, CancelChangesNothing)
{
    LogMessage("bleibt", 9);
    std::vector<std::string> before = LogLines();
    AnswerNextBoxWith(IDCANCEL);
    RunCommand(IDM_SAVE_LOG);
    EXPECT_EQ(1u, SeenBoxes().size());
    EXPECT_EQ(before, LogLines());
}

TEST_F(ShellSaveLog, FileThatCannotBeCreatedIsReported)
{
    // Another handle holds the file without sharing: creating it fails.
    std::string path = folder + "\\busy.msg";
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    std::vector<std::string> before = LogLines();
    AnswerNextBox(ChooseFile(path));
    AnswerNextBoxWith(IDYES); // replace it
    AnswerNextBoxWith(IDOK);
    RunCommand(IDM_SAVE_LOG);
    CloseHandle(holder);

    ASSERT_EQ(3u, SeenBoxes().size()) << "no question follows";
    const SeenBox &error = SeenBoxes()[2];
    EXPECT_EQ(CAPTION, error.caption);
    EXPECT_EQ("Fehler beim Schreiben der Daten:\r\n32", error.text) << "ERROR_SHARING_VIOLATION";
    EXPECT_EQ((UINT)MB_OK, error.style);
    EXPECT_EQ(before, LogLines());
    EXPECT_EQ("", ReadWholeFile(path));
    EXPECT_EQ(std::vector<std::string>{"busy.msg"}, FolderFiles(folder)) << "no temporary file is left";
}

// The module's stand-in for ReplaceFileA: the n-th call gives answers[n] (the last for every later call; 0: the real
// one) and leaves the files as the documentation says. NO_WAY_BACK: 1177, and the target's name is taken meanwhile.
typedef BOOL(WINAPI *ReplaceFileFunction)(LPCSTR, LPCSTR, LPCSTR, DWORD, LPVOID, LPVOID);
void UseReplaceFileForTests(ReplaceFileFunction function);
static std::vector<DWORD> answers;
static size_t calls;
static const DWORD NO_WAY_BACK = 0xB10C;

static BOOL WINAPI ScriptedReplaceFile(LPCSTR target, LPCSTR replacement, LPCSTR backup, DWORD flags, LPVOID, LPVOID)
{
    DWORD answer = answers[calls < answers.size() ? calls : answers.size() - 1];
    calls++;
    if (!answer)
        return ReplaceFileA(target, replacement, backup, flags, NULL, NULL);
    if (answer >= ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) // the old file is under the backup name
        MoveFileA(target, backup);
    if (answer == NO_WAY_BACK)
        CreateDirectoryA(target, NULL);
    SetLastError(answer == NO_WAY_BACK ? ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 : answer);
    return FALSE;
}

// Whatever ReplaceFileA answers, the file holds the old bytes or the new (written in place, renamed over, or after
// another try), a failure's box has the number and nothing else is left; only where the old file cannot come back
// does the box say where both files are.
TEST_F(ShellSaveLog, EveryAnswerOfReplaceFileLeavesTheOldOrTheNewFile)
{
    const DWORD SHARED = ERROR_SHARING_VIOLATION;
    const std::vector<std::pair<std::vector<DWORD>, DWORD>> cases = { // the answers, the box's number (0: saved)
        {{1175}, 0}, {{5}, 0},   {{1176}, 1176}, {{1177}, 1177}, {{SHARED}, SHARED}, {{SHARED, SHARED, 0}, 0},
        {{87}, 0},   {{50}, 0},  {{1}, 0},       {{NO_WAY_BACK}, 1177}};
    const std::string old = "+ 09:05:07,045  vorher\r\n";
    UseReplaceFileForTests(ScriptedReplaceFile);
    for (size_t n = 0; n < cases.size(); n++) {
        std::string inner = folder + "\\" + std::to_string(n), path = inner + "\\log.msg";
        SCOPED_TRACE(path);
        ASSERT_TRUE(CreateDirectoryA(inner.c_str(), NULL) && WriteWholeFile(path, old));
        answers = cases[n].first, calls = 0;
        std::string saved = SavedForm(LogLines()), text = "Fehler beim Schreiben der Daten:\r\n" + std::to_string(cases[n].second);
        SeenBox box;
        AnswerNextBox(ChooseFile(path));
        AnswerNextBoxWith(IDYES); // replace it
        AnswerNextBox(RecordBox(&box, cases[n].second ? IDOK : IDNO));
        LARGE_INTEGER start = Now();
        RunCommand(IDM_SAVE_LOG);
        EXPECT_TRUE(answers != std::vector<DWORD>{SHARED} || Seconds(start, Now()) > 0.9) << "tried for a second";
        std::vector<std::string> left = FolderFiles(inner, "~velkor*"); // a backup, then a new file
        if (answers[0] == NO_WAY_BACK && left.size() == 2) {
            EXPECT_EQ(old, ReadWholeFile(inner + "\\" + left[0]));
            EXPECT_EQ(saved, ReadWholeFile(inner + "\\" + left[1]));
            text += "\r\n\r\nDie bisherige Datei liegt unter\r\n" + inner + "\\" + left[0] +
                    "\r\n\r\nDie neue Datei liegt unter\r\n" + inner + "\\" + left[1];
        } else {
            EXPECT_EQ(cases[n].second ? old : saved, ReadWholeFile(path));
            EXPECT_EQ(std::vector<std::string>{"log.msg"}, FolderFiles(inner));
        }
        if (cases[n].second)
            ExpectBox(box, CAPTION, text, MB_OK);
    }
    UseReplaceFileForTests(NULL);
}

// The volume fills up halfway through the save: the previous file stays as
// it was, no temporary file is left, the log keeps every line, no question.
TEST_F(ShellSaveLog, AFullVolumeKeepsThePreviousFileAndTheLog)
{
    for (int i = 0; i < 400; i++)
        LogMessage("eine Zeile, die den kleinen Datentraeger fuellen hilft", 9);
    std::vector<std::string> before = LogLines();
    if (!SaveOntoFullVolume("voll.msg", "+ 09:05:07,045  VelKor gestartet\r\n", CAPTION, [](const std::string &path) {
            SeenBox error;
            AnswerNextBox(ChooseFile(path));
            AnswerNextBoxWith(IDYES); // replace it
            AnswerNextBox(RecordBox(&error, IDOK));
            RunCommand(IDM_SAVE_LOG);
            return error;
        }))
        GTEST_SKIP() << "no small volume as R: (mounting it needs root)";
    EXPECT_EQ(3u, SeenBoxes().size()) << "no question follows";
    EXPECT_EQ(before, LogLines());
}

TEST_F(ShellSaveLog, LongPathIsCutInTheSavedLine)
{
    // A folder name of 200 characters makes the path longer than 228.
    std::string deep = folder + "\\" + std::string(200, 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), NULL));
    std::string path = deep + "\\lang.msg";
    ASSERT_GT(path.size(), 228u);
    ASSERT_LT(path.size(), (size_t)MAX_PATH);
    SaveLog(path, IDNO);
    EXPECT_TRUE(Exists(path));
    std::string full = "Nachrichtendatei " + path + " gespeichert";
    EXPECT_EQ(full.substr(0, 257), LogText(LogLines().back()));
}

TEST_F(ShellSaveLog, ALongRunKeepsTheListBoxBoundedAndSavesEveryLineInOrder)
{
    Stop();
    const size_t files = JournalSizes().size();
    Start();
    std::vector<std::string> first = LogLines();
    LogNumbered("Zeile %d", 250000);
    LRESULT count = SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0);
    EXPECT_GE(count, 10000);
    EXPECT_LT(count, 60000);
    // The newest lines, refilled from the journal in order.
    EXPECT_EQ("Zeile " + std::to_string(250000 - count), LogText(LogLines().front()));
    EXPECT_TRUE(PumpUntil(LastLineInView, 1000));
    EXPECT_EQ(files + 1, JournalSizes().size());

    // Lines arriving at the question send saved lines and then their own to
    // the journal: Yes removes exactly the saved ones wherever they are.
    std::string path = folder + "\\long.msg";
    std::vector<std::string> saved = SavedTexts(SaveLog(path, IDYES, [] { LogNumbered("bei der Frage %d", 150000); }));
    ASSERT_EQ(first.size() + 250000, saved.size());
    for (size_t i = 0; i < first.size(); i++)
        EXPECT_EQ(LogText(first[i]), saved[i]);
    for (int i = 0; i < 250000; i += 997)
        ASSERT_EQ("Zeile " + std::to_string(i), saved[first.size() + i]);
    EXPECT_EQ("Zeile 249999", saved.back());

    std::string rest = SaveLog(folder + "\\rest.msg", IDNO);
    saved = SavedTexts(rest);
    ASSERT_EQ(150001u, saved.size());
    for (int i = 0; i < 150000; i += 991)
        ASSERT_EQ("bei der Frage " + std::to_string(i), saved[i]);
    EXPECT_EQ("bei der Frage 149999", saved[149999]);
    EXPECT_EQ("Nachrichtendatei " + path + " gespeichert", saved[150000]);

    // No keeps journal and list box: the next save has the same lines first.
    EXPECT_EQ(0u, SaveLog(folder + "\\again.msg", IDNO).find(rest));

    // The journal goes with the program.
    Stop();
    EXPECT_EQ(files, JournalSizes().size());
    Start();
}

TEST_F(ShellSaveLog, AJournalThatCannotBeWrittenIsReportedOnceAndTheLinesStay)
{
    // The journal is made with the log's first line.
    Stop();
    UseTempFolder(folder + "\\fehlt\\");
    ClearSeenBoxes();
    AnswerNextBoxWith(IDOK);
    Start();
    LRESULT before = SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0);
    LogNumbered("Zeile %d", 220000);

    ASSERT_EQ(1u, SeenBoxes().size());
    EXPECT_EQ("VELKOR", SeenBoxes()[0].caption);
    EXPECT_EQ(0u, SeenBoxes()[0].text.find("Aeltere Ausgaben koennen nicht")) << SeenBoxes()[0].text;
    EXPECT_EQ(before + 220000, SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0));
    EXPECT_EQ("Zeile 219999", LogText(LogLines().back()));

    // Saved and emptied, the log holds what came after, as without journal.
    std::vector<std::string> saved =
        SavedTexts(SaveLog(folder + "\\ohne.msg", IDYES, [] { LogNumbered("bei der Frage", 1); }));
    ASSERT_EQ((size_t)before + 220000, saved.size());
    EXPECT_EQ("Zeile 219999", saved.back());
    ASSERT_EQ(2u, LogLines().size());
    EXPECT_EQ("bei der Frage", LogText(LogLines()[0]));

    // Once the folder is there, the journal comes back with a frame and says so, without a second warning.
    UseTempFolder("");
    ASSERT_TRUE(PumpUntil([] { return LogText(LogLines().back()).find("Aeltere Ausgaben werden wieder") == 0 ||
                                      (LogMessage("weiter", 9), false); },
                          5000));
    EXPECT_EQ(1, std::count_if(SeenBoxes().begin(), SeenBoxes().end(), [](const SeenBox &box) {
                  return box.text.find("Aeltere Ausgaben koennen nicht") == 0;
              })) << "one warning";
    EXPECT_EQ(1u, JournalSizes().size());
}

TEST_F(ShellSaveLog, ALineTheListBoxRefusesIsReportedOnce)
{
    LRESULT before = SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0);
    RefuseLogLines(2);
    AnswerNextBoxWith(IDOK);
    LogMessage("abgelehnt", 9);
    LogMessage("auch abgelehnt", 9);
    RefuseLogLines(0);

    ASSERT_EQ(1u, SeenBoxes().size());
    EXPECT_EQ("VELKOR", SeenBoxes()[0].caption);
    EXPECT_EQ((UINT)(MB_ICONWARNING | MB_OK), SeenBoxes()[0].style);
    EXPECT_EQ(0u, SeenBoxes()[0].text.find("Das Nachrichtenfenster nimmt keine weiteren Zeilen auf.")) << SeenBoxes()[0].text;
    EXPECT_EQ(before, SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0));
    LogMessage("angenommen", 9);
    EXPECT_EQ("angenommen", LogText(LogLines().back()));
}

TEST_F(ShellSaveLog, ALineRemovedBehindTheLogsBackIsNotSavedAfterATrim)
{
    SendMessageA(MessageLog(), LB_RESETCONTENT, 0, 0);
    LogNumbered("Zeile %d", 50000);
    // Changed from outside, the list box's lines go to the journal again
    // before its next trim.
    SendMessageA(MessageLog(), LB_DELETESTRING, 7, 0);
    LogNumbered("danach %d", 30000);
    std::vector<std::string> saved = SavedTexts(SaveLog(folder + "\\outside.msg", IDNO));
    ASSERT_EQ(79999u, saved.size());
    EXPECT_EQ("Zeile 6", saved[6]);
    EXPECT_EQ("Zeile 8", saved[7]);
    EXPECT_EQ("Zeile 49999", saved[49998]);
    for (int i = 0; i < 30000; i += 997)
        ASSERT_EQ("danach " + std::to_string(i), saved[49999 + i]);
    EXPECT_EQ("danach 29999", saved.back());
}
