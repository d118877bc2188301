// The log's journal in the temporary folder: its own file, what it gives
// back after a save, and the log whole when it fails, is changed from
// outside, or holds a text with a CR LF of its own.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include "base/appwindows.h"
#include "log/logstore.h"
#include "log/messagelog.h"
#include "resources/resource.h"

#include "support.h"

class ShellJournal : public VelkorAppTest {
protected:
    void BeforeStart() override { folder = TestFolder("shell-journal"); }
    std::string folder;
};

// First here: the names a new journal takes next are held by other files.
TEST_F(ShellJournal, AJournalTakesANameOfItsOwnAndLeavesOthersAlone)
{
    Stop();
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::vector<std::string> planted;
    for (int i = 0; i < 40; i++) {
        char name[64];
        snprintf(name, sizeof name, "vlk%lX-%X.tmp", GetCurrentProcessId(), i);
        planted.push_back(std::string(temp) + name);
        ASSERT_TRUE(WriteWholeFile(planted.back(), "fremd"));
    }
    Start();
    LogMessage("eine Zeile", 9);
    FlushStore();
    EXPECT_EQ(planted.size() + 1, JournalSizes().size());
    for (const std::string &path : planted) {
        EXPECT_EQ("fremd", ReadWholeFile(path)) << path;
        DeleteFileA(path.c_str());
    }
    std::vector<std::string> saved = SavedTexts(SaveLog(folder + "\\eigen.msg", IDNO));
    saved.resize(2);
    EXPECT_EQ((std::vector<std::string>{"VelKor gestartet", "eine Zeile"}), saved);
}

TEST_F(ShellJournal, LinesArrivingAtTheWarningOfTheSavesOwnFlushStayInTheLog)
{
    // A store without journal file whose folder is gone: the save's flush is its first write.
    UseTempFolder(folder + "\\fehlt\\");
    SendMessageA(MessageLog(), LB_RESETCONTENT, 0, 0);
    ResetStore();
    BeginLogBatch();
    std::vector<std::string> logged = LogNumbered("Zeile %d", 10);
    // The warning comes first, the question after it.
    std::string saved = SaveLog(folder + "\\warnung.msg", IDOK, [] {
        LogNumbered("bei der Warnung %d", 3);
        AnswerNextBoxWith(IDYES);
    });
    EndLogBatch();
    UseTempFolder("");

    ASSERT_EQ(3u, SeenBoxes().size());
    EXPECT_EQ(0u, SeenBoxes()[1].text.find("Aeltere Ausgaben koennen nicht")) << SeenBoxes()[1].text;
    EXPECT_EQ(logged, SavedTexts(saved));
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(4u, lines.size());
    for (int i = 0; i < 3; i++)
        EXPECT_EQ("bei der Warnung " + std::to_string(i), LogText(lines[i]));
}

TEST_F(ShellJournal, SavingAndEmptyingWhileLinesArriveGivesTheJournalsSpaceBack)
{
    for (int round = 0; round < 4; round++) {
        LogNumbered("Zeile %d", 5000);
        std::string saved = SaveLog(folder + "\\runde" + std::to_string(round) + ".msg", IDYES,
                                    [] { LogNumbered("bei der Frage %d", 100); });
        EXPECT_NE(std::string::npos, saved.find("Zeile 4999\r\n"));
        FlushStore();
        std::vector<DWORD> sizes = JournalSizes();
        ASSERT_EQ(1u, sizes.size());
        EXPECT_LT(sizes[0], 16u * 1024) << "round " << round << ": about the 101 lines not saved";
    }
    // The log was emptied: a line it refuses is news again.
    for (int i = 0; i < 2; i++) {
        AnswerNextBoxWith(IDOK);
        RefuseLogLines(1);
        LogMessage("abgelehnt", 9);
        SaveLog(folder + "\\leer" + std::to_string(i) + ".msg", IDYES);
    }
    int refusals = 0;
    for (const SeenBox &box : SeenBoxes())
        refusals += box.text.find("Das Nachrichtenfenster nimmt keine") == 0;
    EXPECT_EQ(2, refusals);
}

TEST_F(ShellJournal, ALineRemovedFromOutsideAtTheQuestionThenATrimKeepsTheSavesMarkTrue)
{
    LogNumbered("Zeile %d", 150000);
    std::vector<std::string> expected;
    SaveLog(folder + "\\erst.msg", IDYES, [&expected] {
        SendMessageA(MessageLog(), LB_DELETESTRING, 7, 0);
        expected = LogNumbered("bei der Frage %d", 60000);
    });
    expected.push_back("Nachrichtendatei " + folder + "\\erst.msg gespeichert");
    EXPECT_EQ(expected, SavedTexts(SaveLog(folder + "\\rest.msg", IDNO)));
}

// ReadFile of this program, failing from a given call on.
static BOOL(WINAPI *systemReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
static int readsLeft;

static BOOL WINAPI FailingReadFile(HANDLE file, LPVOID out, DWORD size, LPDWORD got, LPOVERLAPPED overlapped)
{
    if (readsLeft-- > 0)
        return systemReadFile(file, out, size, got, overlapped);
    SetLastError(ERROR_READ_FAULT);
    return FALSE;
}

// The import slot of kernel32's ReadFile in this program.
static void **ReadFileSlot()
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *dll = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports.VirtualAddress); dll->Name; dll++) {
        if (lstrcmpiA((const char *)(base + dll->Name), "kernel32.dll") != 0)
            continue;
        IMAGE_THUNK_DATA *name = (IMAGE_THUNK_DATA *)(base + dll->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slot = (IMAGE_THUNK_DATA *)(base + dll->FirstThunk);
        for (; name->u1.AddressOfData; name++, slot++)
            if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
                strcmp((const char *)((IMAGE_IMPORT_BY_NAME *)(base + name->u1.AddressOfData))->Name, "ReadFile") == 0)
                return (void **)&slot->u1.Function;
    }
    return NULL;
}

static void PutReadFile(void *function)
{
    void **slot = ReadFileSlot();
    ASSERT_TRUE(slot != NULL);
    DWORD was = 0;
    ASSERT_TRUE(VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was));
    if (!systemReadFile)
        systemReadFile = (BOOL(WINAPI *)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED)) * slot;
    *slot = function;
    VirtualProtect(slot, sizeof *slot, was, &was);
}

static const char JOURNAL_BACK[] =
    "Aeltere Ausgaben werden wieder in eine temporaere Datei ausgelagert: ab hier ist die Aufzeichnung wieder vollstaendig";

TEST_F(ShellJournal, AJournalReadFailingInTheMiddleOfATrimLosesNoLineAndTheJournalComesBack)
{
    SendMessageA(MessageLog(), LB_RESETCONTENT, 0, 0);
    std::vector<std::string> expected = LogNumbered("Zeile %d", 59999);
    // The trim reads about 1.5 MB to skip, a MiB at a time, then what it keeps: that read fails.
    readsLeft = 2;
    PutReadFile((void *)FailingReadFile);
    AnswerNextBoxWith(IDOK);
    std::vector<std::string> after = LogNumbered("danach %d", 2);
    PutReadFile((void *)systemReadFile);
    ASSERT_EQ(1u, SeenBoxes().size());
    EXPECT_EQ(0u, SeenBoxes()[0].text.find("Aeltere Ausgaben koennen nicht")) << SeenBoxes()[0].text;
    EXPECT_EQ(60001, SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0));
    expected.insert(expected.end(), after.begin(), after.end());
    std::vector<std::string> saved = SavedTexts(SaveLog(folder + "\\alles.msg", IDNO));
    // A second after it failed the journal may have come back already.
    saved.erase(std::remove(saved.begin(), saved.end(), JOURNAL_BACK), saved.end());
    EXPECT_EQ(expected, saved);

    // With the next frame after that second it comes back, says so, and holds every line again.
    ASSERT_TRUE(PumpUntil([] { return NewestLogText() == JOURNAL_BACK || (LogMessage("weiter", 9), false); }, 5000));
    saved = SavedTexts(SaveLog(folder + "\\wieder.msg", IDNO));
    ASSERT_GT(saved.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), saved.begin()));
    EXPECT_EQ(JOURNAL_BACK, saved.back());
    EXPECT_EQ(1, std::count_if(SeenBoxes().begin(), SeenBoxes().end(), [](const SeenBox &box) {
                  return box.text.find("Aeltere Ausgaben koennen nicht") == 0;
              })) << "one warning";
}

TEST_F(ShellJournal, APostedTextWithItsOwnCrLfStaysOneLineAfterAYes)
{
    int selected = -1;
    SaveLog(folder + "\\erst.msg", IDYES, [&selected] {
        LogMessage("eins\r\nzwei", 1);
        LogMessage("drei\r\n", 1);
        LogMessage("vier", 9);
        selected = (int)SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0) - 1;
        SendMessageA(MessageLog(), LB_SETCURSEL, selected, 0);
    });
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("eins\r\nzwei", LogText(lines[0]));
    EXPECT_EQ("drei\r\n", LogText(lines[1]));
    EXPECT_EQ(2, SendMessageA(MessageLog(), LB_GETCURSEL, 0, 0)) << "the selection stays on its line";
    EXPECT_EQ(0u, SaveLog(folder + "\\zweit.msg", IDNO).find(SavedForm(lines))) << "the file holds the texts as logged";
}
