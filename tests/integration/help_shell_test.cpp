// "Hilfe" through Wine's real shell: this test program registers itself as
// the prefix's program for ".html" and, started by the shell, records the
// path it was asked to open.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "base/appwindows.h"
#include "resources/resource.h"

#include "support.h"

namespace {

const char PROBE_SWITCH[] = "--help-probe";
const char PROBE_CLASS[] = "VelkorHelpProbe";
const char HELP_MISSING_TEXT[] =
    "Hilfedatei\n[Programmverzeichnis]\\velkor.html\nnicht vorhanden oder dieser Computer\nhat Probleme mit *.html Dateien";

// Probe mode: writes the path to the record file in one step.
int RecordOpenedPath(const char *record, const char *path)
{
    std::string part = std::string(record) + ".part";
    HANDLE file = CreateFileA(part.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    BOOL wrote = WriteFile(file, path, (DWORD)strlen(path), &written, NULL);
    CloseHandle(file);
    return wrote && MoveFileExA(part.c_str(), record, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}

std::string ThisProgram()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    return std::string(path, length);
}

bool FileExists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void SetDefaultValue(HKEY root, const char *key, const std::string &value)
{
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle, NULL)) << key;
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(handle, NULL, 0, REG_SZ, (const BYTE *)value.c_str(), (DWORD)value.size() + 1));
    RegCloseKey(handle);
}

// Makes ".html" files open with the given command in this Wine prefix (an
// empty command: a class that opens nothing), and puts back what was there.
// The old state is kept in the class's own key as well, so that a run that
// died half-way is repaired by the next one.
class HtmlAssociation {
public:
    explicit HtmlAssociation(const std::string &command)
    {
        Repair();
        HKEY html;
        DWORD hadKey = RegOpenKeyExA(HKEY_CLASSES_ROOT, ".html", 0, KEY_READ, &html) == ERROR_SUCCESS;
        char previous[512] = "";
        DWORD hadDefault = 0;
        if (hadKey) {
            DWORD size = sizeof previous - 1, type = 0;
            hadDefault = RegQueryValueExA(html, NULL, NULL, &type, (BYTE *)previous, &size) == ERROR_SUCCESS &&
                         type == REG_SZ;
            RegCloseKey(html);
        }
        HKEY saved;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CLASSES_ROOT, PROBE_CLASS, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &saved, NULL));
        RegSetValueExA(saved, "savedHadKey", 0, REG_DWORD, (const BYTE *)&hadKey, 4);
        RegSetValueExA(saved, "savedHadDefault", 0, REG_DWORD, (const BYTE *)&hadDefault, 4);
        RegSetValueExA(saved, "savedDefault", 0, REG_SZ, (const BYTE *)previous, (DWORD)strlen(previous) + 1);
        RegCloseKey(saved);
        if (!command.empty())
            SetDefaultValue(HKEY_CLASSES_ROOT, (std::string(PROBE_CLASS) + "\\shell\\open\\command").c_str(), command);
        SetDefaultValue(HKEY_CLASSES_ROOT, ".html", PROBE_CLASS);
    }
    ~HtmlAssociation() { Repair(); }

private:
    static void Repair()
    {
        HKEY saved;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, PROBE_CLASS, 0, KEY_READ, &saved) != ERROR_SUCCESS)
            return;
        DWORD hadKey = 1, hadDefault = 0, size = 4;
        char previous[512] = "";
        RegQueryValueExA(saved, "savedHadKey", NULL, NULL, (BYTE *)&hadKey, &size);
        size = 4;
        RegQueryValueExA(saved, "savedHadDefault", NULL, NULL, (BYTE *)&hadDefault, &size);
        size = sizeof previous - 1;
        RegQueryValueExA(saved, "savedDefault", NULL, NULL, (BYTE *)previous, &size);
        RegCloseKey(saved);

        HKEY html;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ".html", 0, KEY_ALL_ACCESS, &html) == ERROR_SUCCESS) {
            if (hadDefault)
                RegSetValueExA(html, NULL, 0, REG_SZ, (const BYTE *)previous, (DWORD)strlen(previous) + 1);
            else
                RegDeleteValueA(html, NULL);
            RegCloseKey(html);
            if (!hadKey)
                RegDeleteKeyA(HKEY_CLASSES_ROOT, ".html");
        }
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_CLASSES_ROOT, PROBE_CLASS));
    }
};

std::string ProbeCommand(const std::string &record)
{
    return "\"" + ThisProgram() + "\" " + PROBE_SWITCH + " \"" + record + "\" \"%1\"";
}

class HelpShell : public VelkorAppTest {
protected:
    void BeforeStart() override
    {
        record_ = TestFolder("help-open") + "\\opened.txt";
        beside_ = ProgramFolder() + "\\velkor.html";
        DeleteFileA(beside_.c_str());
    }
    void TearDown() override
    {
        VelkorAppTest::TearDown();
        DeleteFileA(beside_.c_str());
        DeleteFileA(record_.c_str());
    }

    // Chooses "Hilfe"; the box expected is answered.
    void ChooseHelp(bool expectBox)
    {
        if (expectBox)
            AnswerNextBoxWith(IDOK);
        RunCommand(IDM_HELP);
    }

    void ExpectTheErrorBoxOnce()
    {
        // Nothing more may follow: a handler started late would still record.
        PumpFor(500);
        ASSERT_EQ(1u, SeenBoxes().size());
        const SeenBox &box = SeenBoxes()[0];
        EXPECT_TRUE(box.isMessageBox);
        EXPECT_FALSE(box.unexpected);
        ExpectBox(box, "VELKOR", HELP_MISSING_TEXT, MB_ICONERROR | MB_OK);
        EXPECT_EQ(MainWindow(), box.owner);
        EXPECT_FALSE(FileExists(record_)) << "a program was started for " << ReadWholeFile(record_);
    }

    std::string record_;
    std::string beside_;
};

} // namespace

TEST_F(HelpShell, OpensTheHelpFileBesideTheProgram)
{
    HtmlAssociation association(ProbeCommand(record_));
    ASSERT_TRUE(CopyFileA(VELKOR_BUILD_DIR_WIN "\\velkor.html", beside_.c_str(), FALSE));
    ChooseHelp(false);
    ASSERT_TRUE(PumpUntil([&] { return !ReadWholeFile(record_).empty(); }, 20000)) << "the shell started no program";
    std::string opened = ReadWholeFile(record_);
    EXPECT_EQ(beside_, opened);
    EXPECT_EQ(ReadWholeFile(VELKOR_BUILD_DIR_WIN "\\velkor.html"), ReadWholeFile(opened));
    EXPECT_TRUE(SeenBoxes().empty()) << SeenBoxes()[0].text;
}

TEST_F(HelpShell, MissingHelpFileShowsTheErrorBox)
{
    HtmlAssociation association(ProbeCommand(record_));
    ChooseHelp(true);
    ExpectTheErrorBoxOnce();
}

TEST_F(HelpShell, NoProgramForHtmlFilesShowsTheErrorBox)
{
    HtmlAssociation association(""); // ".html" belongs to a class that opens nothing
    ASSERT_TRUE(CopyFileA(VELKOR_BUILD_DIR_WIN "\\velkor.html", beside_.c_str(), FALSE));
    ChooseHelp(true);
    ExpectTheErrorBoxOnce();
}

// Started the way Windows starts a program from a folder with blanks: the
// path quoted, and arguments holding "\" and "/" after it.
TEST(HelpShellProgram, QuotedPathWithArgumentsFindsTheHelpFile)
{
    std::string base = TestFolder("help mend");
    std::string folder = base + "\\Velkor Tools";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    std::string program = folder + "\\velkor.exe";
    ASSERT_TRUE(CopyFileA(VELKOR_BUILD_DIR_WIN "\\velkor.exe", program.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(VELKOR_BUILD_DIR_WIN "\\velkor.html", (folder + "\\velkor.html").c_str(), FALSE));
    std::string record = base + "\\opened.txt";
    ClearVelkorRegistry();
    {
        HtmlAssociation association(ProbeCommand(record));
        std::string commandLine = "\"" + program + "\" -x C:\\irgendwo\\datei.txt /a/b";
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        // Started in another folder, so that a bare "velkor.html" would miss.
        ASSERT_TRUE(CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, base.c_str(), &startup, &process));
        CloseHandle(process.hThread);
        VelkorProcess app;
        app.process = process.hProcess;
        app.processId = process.dwProcessId;
        EXPECT_TRUE(WaitForMainWindow(app));
        if (app.window) {
            PostCommand(app, IDM_HELP);
            EXPECT_TRUE(PumpUntil([&] { return !ReadWholeFile(record).empty() || FindBox(app.processId); }, 20000));
            HWND box = FindBox(app.processId);
            EXPECT_TRUE(box == NULL) << ControlText(box, 0xFFFF);
            EXPECT_EQ(folder + "\\velkor.html", ReadWholeFile(record));
            if (box)
                PressButton(box, IDOK);
            PostCommand(app, IDM_EXIT);
        }
        DWORD exitCode = 1;
        EXPECT_TRUE(WaitForExit(app, DRIVER_TIMEOUT_MS, &exitCode));
        EXPECT_EQ(0u, exitCode);
        EndVelkorProcess(app);
    }
    ClearVelkorRegistry();
    DeleteFileA(record.c_str());
    DeleteFileA((folder + "\\velkor.html").c_str());
    DeleteFileA(program.c_str());
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA(base.c_str());
}

int main(int argc, char **argv)
{
    if (argc >= 4 && strcmp(argv[1], PROBE_SWITCH) == 0)
        return RecordOpenedPath(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
