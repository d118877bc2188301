// The log's journal in the temporary folder: its own file, what it gives
// back after a save, and the log whole when it fails, is changed from
// outside, or holds a text with a CR LF of its own.
#include <gtest/gtest.h>

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

// The journal files of this process in the temporary folder, by name with their sizes.
static std::vector<std::pair<std::string, DWORD>> JournalFiles()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::vector<std::pair<std::string, DWORD>> files;
    WIN32_FIND_DATAA found;
    char pattern[64];
    snprintf(pattern, sizeof pattern, "vlk%lX-*.tmp", GetCurrentProcessId());
    HANDLE search = FindFirstFileA((std::string(temp) + pattern).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            files.push_back({found.cFileName, found.nFileSizeLow});
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return files;
}

static void LogNumbered(const char *format, int count)
{
    char text[64];
    for (int i = 0; i < count; i++) {
        snprintf(text, sizeof text, format, i);
        LogMessage(text, 9);
    }
}

// Saves the log to path; at the question runs atQuestion, then answers.
static std::string Save(const std::string &path, int answer, std::function<void()> atQuestion = {})
{
    AnswerNextBox(ChooseFile(path));
    AnswerNextBox([atQuestion, answer](HWND box, const SeenBox &) {
        if (atQuestion)
            atQuestion();
        PressButton(box, answer);
    });
    RunCommand(IDM_SAVE_LOG);
    return ReadWholeFile(path);
}

static std::string Texts(const std::string &file)
{
    std::string texts;
    for (size_t at = 0, end; (end = file.find("\r\n", at)) != std::string::npos; at = end + 2)
        texts += LogText(file.substr(at, end - at)) + "|";
    return texts;
}

static std::string Numbered(const char *format, int from, int to)
{
    std::string texts;
    char text[64];
    for (int i = from; i < to; i++) {
        snprintf(text, sizeof text, format, i);
        texts += std::string(text) + "|";
    }
    return texts;
}

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
    EXPECT_EQ(planted.size() + 1, JournalFiles().size());
    for (const std::string &path : planted) {
        EXPECT_EQ("fremd", ReadWholeFile(path)) << path;
        DeleteFileA(path.c_str());
    }
    EXPECT_EQ("VelKor gestartet|eine Zeile|", Texts(Save(folder + "\\eigen.msg", IDNO)).substr(0, 28));
}

TEST_F(ShellJournal, LinesArrivingAtTheWarningOfTheSavesOwnFlushStayInTheLog)
{
    // A store without journal file whose folder is gone: the save's flush is its first write.
    char tmp[MAX_PATH] = "", temp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", tmp, sizeof tmp);
    GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    SetEnvironmentVariableA("TMP", (folder + "\\fehlt\\").c_str());
    SetEnvironmentVariableA("TEMP", (folder + "\\fehlt\\").c_str());
    SendMessageA(MessageLog(), LB_RESETCONTENT, 0, 0);
    ResetStore();
    BeginLogBatch();
    LogNumbered("Zeile %d", 10);
    AnswerNextBox(ChooseFile(folder + "\\warnung.msg"));
    AnswerNextBox([](HWND box, const SeenBox &) {
        LogNumbered("bei der Warnung %d", 3);
        PressButton(box, IDOK);
    });
    AnswerNextBoxWith(IDYES);
    RunCommand(IDM_SAVE_LOG);
    EndLogBatch();
    SetEnvironmentVariableA("TMP", tmp[0] ? tmp : NULL);
    SetEnvironmentVariableA("TEMP", temp[0] ? temp : NULL);

    ASSERT_EQ(3u, SeenBoxes().size());
    EXPECT_EQ(0u, SeenBoxes()[1].text.find("Aeltere Ausgaben koennen nicht")) << SeenBoxes()[1].text;
    EXPECT_EQ(Numbered("Zeile %d", 0, 10), Texts(ReadWholeFile(folder + "\\warnung.msg")));
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(4u, lines.size());
    for (int i = 0; i < 3; i++)
        EXPECT_EQ("bei der Warnung " + std::to_string(i), LogText(lines[i]));
}

TEST_F(ShellJournal, SavingAndEmptyingWhileLinesArriveGivesTheJournalsSpaceBack)
{
    for (int round = 0; round < 4; round++) {
        LogNumbered("Zeile %d", 5000);
        std::string saved = Save(folder + "\\runde" + std::to_string(round) + ".msg", IDYES, [] { LogNumbered("bei der Frage %d", 100); });
        EXPECT_NE(std::string::npos, saved.find("Zeile 4999\r\n"));
        FlushStore();
        std::vector<std::pair<std::string, DWORD>> files = JournalFiles();
        ASSERT_EQ(1u, files.size());
        EXPECT_LT(files[0].second, 16u * 1024) << "round " << round << ": about the 101 lines not saved";
    }
    // The log was emptied: a line it refuses is news again.
    for (int i = 0; i < 2; i++) {
        AnswerNextBoxWith(IDOK);
        RefuseLogLines(1);
        LogMessage("abgelehnt", 9);
        Save(folder + "\\leer" + std::to_string(i) + ".msg", IDYES);
    }
    int refusals = 0;
    for (const SeenBox &box : SeenBoxes())
        refusals += box.text.find("Das Nachrichtenfenster nimmt keine") == 0;
    EXPECT_EQ(2, refusals);
}

TEST_F(ShellJournal, ALineRemovedFromOutsideAtTheQuestionThenATrimKeepsTheSavesMarkTrue)
{
    LogNumbered("Zeile %d", 150000);
    Save(folder + "\\erst.msg", IDYES, [] {
        SendMessageA(MessageLog(), LB_DELETESTRING, 7, 0);
        LogNumbered("bei der Frage %d", 60000);
    });
    std::string rest = Save(folder + "\\rest.msg", IDNO);
    std::string expected = Numbered("bei der Frage %d", 0, 60000) + "Nachrichtendatei " + folder + "\\erst.msg gespeichert|";
    EXPECT_EQ(expected, Texts(rest));
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

TEST_F(ShellJournal, AJournalReadFailingInTheMiddleOfATrimLosesNoLine)
{
    SendMessageA(MessageLog(), LB_RESETCONTENT, 0, 0);
    LogNumbered("Zeile %d", 199999);
    // The trim reads about 2.9 MB to skip, then as much to keep, a MiB at a time.
    readsLeft = 4;
    PutReadFile((void *)FailingReadFile);
    AnswerNextBoxWith(IDOK);
    LogNumbered("danach %d", 2);
    PutReadFile((void *)systemReadFile);
    ASSERT_EQ(1u, SeenBoxes().size());
    EXPECT_EQ(0u, SeenBoxes()[0].text.find("Aeltere Ausgaben koennen nicht")) << SeenBoxes()[0].text;
    EXPECT_EQ(200001, SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0));
    std::string saved = Texts(Save(folder + "\\alles.msg", IDNO));
    EXPECT_EQ(Numbered("Zeile %d", 0, 199999) + Numbered("danach %d", 0, 2), saved);
}

TEST_F(ShellJournal, APostedTextWithItsOwnCrLfStaysOneLineAfterAYes)
{
    int selected = -1;
    std::string first = Save(folder + "\\erst.msg", IDYES, [&selected] {
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
    std::string whole;
    for (const std::string &line : lines)
        whole += line + "\r\n";
    EXPECT_EQ(0u, Save(folder + "\\zweit.msg", IDNO).find(whole)) << "the file holds the texts as logged";
}
