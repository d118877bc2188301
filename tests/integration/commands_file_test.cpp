// Command files through the real file dialogs: what a file holds, loading,
// saving, and every way either can fail.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "base/appwindows.h"
#include "commands/commandlist.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include "support.h"

// Two entries, bytes 01 02 with the remark Reset and FF without a remark.
static const std::string EXAMPLE(" 0x01 0x02\0Reset\0 0xFF\0\0", 24);
static const OptionalByte OFF = 0xFF00;

struct Decorations {
    OptionalByte prefix;
    OptionalByte suffix;
};
static const Decorations ALL_DECORATIONS[] = {{OFF, OFF}, {0x02, 0x03}, {0x02, OFF}, {OFF, 0x03}};

// An entry's command text as the list shows it with these decorations.
static std::string Decorated(const std::string &groups, Decorations d)
{
    char text[16];
    std::string result;
    if (d.prefix < 256) {
        snprintf(text, sizeof text, "0x%02X  ", d.prefix);
        result += text;
    }
    result += groups;
    if (d.suffix < 256) {
        snprintf(text, sizeof text, "  0x%02X", d.suffix);
        result += text;
    }
    return result;
}

static void SetDecorations(Decorations d)
{
    Settings().sendPrefix = d.prefix;
    Settings().sendSuffix = d.suffix;
}

class CommandFiles : public VelkorAppTest {
protected:
    std::string folder;
    void BeforeStart() override { folder = TestFolder("cmdfile"); }
    std::string Path(const char *name) { return folder + "\\" + name; }
    void InsertExample(Decorations d)
    {
        InsertListEntry(Decorated(" 0x01 0x02", d).c_str(), "Reset");
        InsertListEntry(Decorated(" 0xFF", d).c_str(), "");
    }
    // Runs command (load or save) with path chosen in its file dialog; a box
    // after it goes to *refusal (unless null), a question to replace the file answered Yes.
    void Choose(int command, const std::string &path, FileDialogView *view = NULL, SeenBox *refusal = NULL)
    {
        AnswerNextBox(ChooseFile(path, view));
        if (refusal)
            AnswerNextBox(YesIfAskedThen(RecordBox(refusal, IDOK)));
        RunCommand(command);
    }
    void Load(const std::string &path, FileDialogView *view = NULL) { Choose(IDM_OPEN_COMMANDS, path, view); }
    void Save(const std::string &path, FileDialogView *view = NULL) { Choose(IDM_SAVE_COMMANDS, path, view); }
    // Loads or saves where the file is refused with one box; returns the box.
    SeenBox Refused(int command, const std::string &path)
    {
        SeenBox box;
        Choose(command, path, NULL, &box);
        return box;
    }
    void ExpectExampleList(Decorations d)
    {
        std::vector<std::string> expected = {Decorated(" 0x01 0x02", d) + "|Reset", Decorated(" 0xFF", d) + "|"};
        EXPECT_EQ(expected, ListEntries());
    }
};

TEST_F(CommandFiles, SaveWritesTheSameBytesWhateverTheDecorations)
{
    int round = 0;
    for (Decorations d : ALL_DECORATIONS) {
        SCOPED_TRACE(round);
        RunCommand(IDM_NEW_COMMANDS);
        SetDecorations(d);
        InsertExample(d);
        Remember("velkor.cmd");
        std::string path = Path(("example" + std::to_string(round++) + ".cmd").c_str());
        FileDialogView view;
        Save(path, &view);

        EXPECT_EQ(EXAMPLE, ReadWholeFile(path));
        ASSERT_TRUE(view.seen);
        EXPECT_EQ("VELKOR Kommandodatei speichern", view.caption);
        EXPECT_EQ("velkor.cmd", view.initialName); // the remembered name is proposed
        EXPECT_EQ((std::vector<std::string>{"VelkorDatei (*.cmd)", "alle (*.*)"}), view.filters);
        EXPECT_EQ(path, NameOrNone());
        EXPECT_EQ("Kommandodatei " + path + " gespeichert", LogText(LogLines().back()));
        EXPECT_TRUE(SaveOffered());
    }
}

TEST_F(CommandFiles, SavingOverAFileAsksFirstAndReplacesIt)
{
    InsertExample({OFF, OFF});
    Remember("velkor.cmd");
    std::string path = Path("old.cmd");
    ASSERT_TRUE(WriteWholeFile(path, std::string(100, 'x')));
    SeenBox question;
    AnswerNextBox(ChooseFile(path));
    AnswerNextBox(RecordBox(&question, IDYES));
    RunCommand(IDM_SAVE_COMMANDS);
    EXPECT_TRUE(question.seen);
    EXPECT_EQ((UINT)MB_YESNO, question.style & 0xF);
    EXPECT_EQ(EXAMPLE, ReadWholeFile(path));
}

TEST_F(CommandFiles, LoadShowsTheEntriesWithTheDecorationsInForce)
{
    std::string path = Path("example.cmd");
    ASSERT_TRUE(WriteWholeFile(path, EXAMPLE));
    for (Decorations d : ALL_DECORATIONS) {
        SCOPED_TRACE(d.prefix * 1000 + d.suffix);
        SetDecorations(d);
        InsertListEntry(" 0x33", "before"); // replaced by the file
        Remember(NULL);
        FileDialogView view;
        Load(path, &view);

        ExpectExampleList(d);
        ASSERT_TRUE(view.seen);
        EXPECT_EQ("VELKOR Kommandodatei oeffnen", view.caption);
        EXPECT_EQ("", view.initialName);
        EXPECT_EQ((std::vector<std::string>{"VelkorDatei (*.cmd)", "alle (*.*)"}), view.filters);
        EXPECT_EQ(path, NameOrNone());
        EXPECT_EQ("Kommandodatei " + path + " geladen", LogText(LogLines().back()));
        EXPECT_TRUE(SaveOffered());
        EXPECT_TRUE(IsWindowVisible(CommandList())) << "the list must be drawn again after loading";
    }
}

TEST_F(CommandFiles, RoundTripKeepsTheFileWhateverTheDecorationsAtEitherMoment)
{
    std::string source = Path("example.cmd");
    ASSERT_TRUE(WriteWholeFile(source, EXAMPLE));
    int round = 0;
    for (Decorations atLoad : ALL_DECORATIONS) {
        for (Decorations atSave : ALL_DECORATIONS) {
            SCOPED_TRACE(round);
            SetDecorations(atLoad);
            Load(source);
            ExpectExampleList(atLoad);
            // As the properties dialog does when the decorations change.
            SetDecorations(atSave);
            RerenderCommandList(atLoad.prefix, atLoad.suffix);
            ExpectExampleList(atSave);
            std::string copy = Path(("copy" + std::to_string(round++) + ".cmd").c_str());
            Save(copy);
            EXPECT_EQ(EXAMPLE, ReadWholeFile(copy));
        }
    }
}

TEST_F(CommandFiles, AnyCommandTextSurvivesChangesOfTheDecorations)
{
    // Commands a file may hold that are not in the byte-group form.
    const std::string file = std::string("ABCD\0erstes\0 0x01 und mehr\0\0 0x02\0\0", 35);
    ASSERT_TRUE(WriteWholeFile(Path("text.cmd"), file));
    SetDecorations({OPTIONAL_BYTE_OFF, OPTIONAL_BYTE_OFF});
    Load(Path("text.cmd"));
    SetDecorations({0x02, 0x03});
    RerenderCommandList(OPTIONAL_BYTE_OFF, OPTIONAL_BYTE_OFF);
    EXPECT_EQ((std::vector<std::string>{"0x02  ABCD  0x03|erstes", "0x02   0x01 und mehr  0x03|", "0x02   0x02  0x03|"}),
              ListEntries());
    SetDecorations({OPTIONAL_BYTE_OFF, OPTIONAL_BYTE_OFF});
    RerenderCommandList(0x02, 0x03);
    Save(Path("again.cmd"));
    EXPECT_EQ(file, ReadWholeFile(Path("again.cmd")));
}

TEST_F(CommandFiles, StringsAtTheLimitsAndUnendedFilesLoad)
{
    std::string command40(40, 'c');
    std::string remark255(255, 'r');
    std::string bytes = std::string("0x01\0", 5) + std::string("\0", 1) + command40 + '\0' + remark255 + '\0' +
                        std::string(" 0x02\0ohne Null am Ende", 23);
    ASSERT_TRUE(WriteWholeFile(Path("limits.cmd"), bytes));
    Load(Path("limits.cmd"));
    std::vector<std::string> expected = {"0x01|", command40 + "|" + remark255, " 0x02|ohne Null am Ende"};
    EXPECT_EQ(expected, ListEntries());
    EXPECT_TRUE(SeenBoxes().size() == 1); // the file dialog only

    // A file that ends after a command string: the last entry has no remark.
    ASSERT_TRUE(WriteWholeFile(Path("short.cmd"), std::string(" 0x01\0Eins\0 0x02 0x03", 21)));
    SetDecorations({0x02, 0x03});
    Load(Path("short.cmd"));
    expected = {"0x02   0x01  0x03|Eins", "0x02   0x02 0x03  0x03|"};
    EXPECT_EQ(expected, ListEntries());
    EXPECT_EQ(Path("short.cmd"), NameOrNone());
}

TEST_F(CommandFiles, FormatErrorsNameTheEntryAndKeepTheEntriesBefore)
{
    struct Case {
        const char *name;
        std::string bytes;
        const char *text;
        std::vector<std::string> entries;
    };
    std::string remark256(256, 'r');
    Case cases[] = {
        {"extra-zero", EXAMPLE + std::string("\0", 1), "Fehler in Kommandodatei Zeile 2, Kommando",
         {" 0x01 0x02|Reset", " 0xFF|"}},
        {"first-short", std::string("abc\0Rest\0", 9), "Fehler in Kommandodatei Zeile 0, Kommando", {}},
        {"long-command", std::string(" 0x01\0\0", 7) + std::string(41, 'c') + '\0',
         "Fehler in Kommandodatei Zeile 1, Kommando", {" 0x01|"}},
        {"long-remark", std::string(" 0x01\0a\0 0x02\0", 14) + remark256 + '\0' + " 0x03" + '\0',
         "Fehler in Kommandodatei Zeile 1, Text", {" 0x01|a", " 0x02|"}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = Path((std::string(c.name) + ".cmd").c_str());
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        InsertListEntry(" 0x44", "vorher");
        Remember("velkor.cmd");
        size_t logLines = LogLines().size();
        SeenBox box = Refused(IDM_OPEN_COMMANDS, path);

        ASSERT_TRUE(box.seen);
        ExpectBox(box, "VELKOR Kommandodatei einlesen", c.text, MB_OK); // no icon
        EXPECT_EQ(MainWindow(), box.owner);
        EXPECT_EQ(c.entries, ListEntries());
        EXPECT_EQ("(none)", NameOrNone());
        EXPECT_TRUE(SaveOffered(false));
        EXPECT_EQ(logLines, LogLines().size()) << "a faulty file is not logged as loaded";
        EXPECT_TRUE(IsWindowVisible(CommandList()));
    }
}

TEST_F(CommandFiles, RefusedLoadsChangeNothing)
{
    InsertExample({OFF, OFF});
    Remember("velkor.cmd");
    std::vector<std::string> before = ListEntries();
    size_t logLines = LogLines().size();

    // Held open without sharing by another program.
    std::string held = Path("held.cmd");
    ASSERT_TRUE(WriteWholeFile(held, EXAMPLE));
    HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    SeenBox box = Refused(IDM_OPEN_COMMANDS, held);
    CloseHandle(holder);
    // With the umlaut.
    ExpectBox(box, "VELKOR Datei \xF6" "ffnen", "Fehler beim \xF6" "ffnen der Datei:\r\n32", MB_OK);
    EXPECT_EQ(MainWindow(), box.owner);

    std::string empty = Path("empty.cmd");
    ASSERT_TRUE(WriteWholeFile(empty, ""));
    box = Refused(IDM_OPEN_COMMANDS, empty);
    ExpectBox(box, "VELKOR Datei oeffnen", "Lesefehler !", MB_OK);

    // Sizes whose buffer (size + 1 bytes) cannot be had: 4 GiB - 1 bytes, on
    // which size + 1 would wrap to 0 in a 32-bit program, and 4 GiB + 1.
    for (LONGLONG size : {0xFFFFFFFFLL, 0x100000001LL}) {
        std::string huge = Path("huge.cmd");
        HANDLE file = CreateFileA(huge.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        LARGE_INTEGER end;
        end.QuadPart = size;
        ASSERT_TRUE(SetFilePointerEx(file, end, NULL, FILE_BEGIN) && SetEndOfFile(file)); // sparse
        CloseHandle(file);
        box = Refused(IDM_OPEN_COMMANDS, huge);
        EXPECT_EQ("VELKOR Datei oeffnen", box.caption) << size;
        EXPECT_EQ("Out of Memory !", box.text) << size;
        DeleteFileA(huge.c_str());
    }

    EXPECT_EQ(before, ListEntries());
    EXPECT_EQ("velkor.cmd", NameOrNone());
    EXPECT_EQ(logLines, LogLines().size());
}

TEST_F(CommandFiles, ASaveThatCannotCreateTheFileChangesNothing)
{
    InsertExample({OFF, OFF});
    Remember("velkor.cmd");
    std::string held = Path("held.cmd");
    ASSERT_TRUE(WriteWholeFile(held, "alt"));
    HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    size_t logLines = LogLines().size();
    SeenBox box = Refused(IDM_SAVE_COMMANDS, held);
    CloseHandle(holder);
    ExpectBox(box, "VELKOR Daten speichern", "Fehler beim Schreiben der Daten:\r\n32", MB_OK);
    EXPECT_EQ(MainWindow(), box.owner);
    EXPECT_EQ("alt", ReadWholeFile(held));
    EXPECT_EQ(std::vector<std::string>{"held.cmd"}, FolderFiles(folder)) << "no temporary file is left";
    EXPECT_EQ("velkor.cmd", NameOrNone());
    EXPECT_EQ(logLines, LogLines().size());
}

// The volume fills up halfway through the save: the previous file stays as
// it was, no temporary file is left, nothing is logged or remembered.
TEST_F(CommandFiles, AFullVolumeKeepsThePreviousFile)
{
    SendMessageA(CommandList(), WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < 400; i++)
        InsertListEntry(" 0x10 0x20 0x30", "ein Kommando mit Bemerkung");
    SendMessageA(CommandList(), WM_SETREDRAW, TRUE, 0);
    Remember("velkor.cmd");
    size_t logLines = LogLines().size();
    if (!SaveOntoFullVolume("voll.cmd", EXAMPLE, "VELKOR Daten speichern",
                            [this](const std::string &path) { return Refused(IDM_SAVE_COMMANDS, path); }))
        GTEST_SKIP() << "no small volume as R: (mounting it needs root)";
    EXPECT_EQ(logLines, LogLines().size()) << "a failed save must not be logged as saved";
    EXPECT_EQ("velkor.cmd", NameOrNone());
}

TEST_F(CommandFiles, ALoadedSingleEntryOffersSavingUntilAnEditLeavesOne)
{
    ASSERT_TRUE(WriteWholeFile(Path("one.cmd"), std::string(" 0x01\0eins\0", 11)));
    Load(Path("one.cmd"));
    EXPECT_EQ(Path("one.cmd"), NameOrNone());
    EXPECT_TRUE(SaveOffered());
    MarkEntry(0);
    AnswerNextBox(FillCommandDialog({"2"}, "geaendert"));
    RunCommand(IDM_EDIT_COMMAND);
    EXPECT_EQ((std::vector<std::string>{" 0x02|geaendert"}), ListEntries());
    EXPECT_EQ("(none)", NameOrNone());
    EXPECT_TRUE(SaveOffered(false));
}

TEST_F(CommandFiles, NewListEmptiesWithoutAskingAndWithdrawsSaving)
{
    InsertExample({OFF, OFF});
    Remember("velkor.cmd");
    size_t logLines = LogLines().size();
    RunCommand(IDM_NEW_COMMANDS);
    EXPECT_TRUE(ListEntries().empty());
    EXPECT_EQ("(none)", NameOrNone());
    EXPECT_TRUE(SaveOffered(false));
    EXPECT_TRUE(SeenBoxes().empty());
    EXPECT_EQ(logLines, LogLines().size());
}

TEST_F(CommandFiles, CancelledDialogsChangeNothing)
{
    InsertExample({OFF, OFF});
    Remember("velkor.cmd");
    std::vector<std::string> before = ListEntries();
    size_t logLines = LogLines().size();
    AnswerNextBox(ChooseFile(""));
    RunCommand(IDM_OPEN_COMMANDS);
    AnswerNextBox(ChooseFile(""));
    RunCommand(IDM_SAVE_COMMANDS);
    EXPECT_EQ(before, ListEntries());
    EXPECT_EQ("velkor.cmd", NameOrNone());
    EXPECT_EQ(logLines, LogLines().size());
}
