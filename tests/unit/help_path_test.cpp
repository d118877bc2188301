#include <gtest/gtest.h>

#include <string.h>
#include <string>

#include "help/helppath.h"

static std::string HelpPathFor(const char *programPath, bool *whole = nullptr)
{
    char path[HELP_PATH_SIZE];
    bool ok = BuildHelpPath(programPath, path, sizeof path);
    if (whole)
        *whole = ok;
    return path;
}

static std::string ProgramOf(const char *commandLine)
{
    char path[HELP_PATH_SIZE];
    EXPECT_TRUE(ProgramPathFromCommandLine(commandLine, path, sizeof path)) << commandLine;
    return path;
}

TEST(HelpPath, SplitsDriveAndDirectory)
{
    // A drive-relative path keeps its drive and has no directory part; forward
    // slashes separate as well, mixed with backslashes.
    const struct { const char *path, *drive, *directory; } cases[] = {
        {"C:\\Tools\\velkor.exe", "C:", "\\Tools\\"}, {"C:\\velkor.exe", "C:", "\\"}, {"D:velkor.exe", "D:", ""},
        {"C:/Tools\\bin/velkor.exe", "C:", "/Tools\\bin/"}, {"", "", ""}, {"C", "", ""}};
    for (const auto &c : cases) {
        char drive[HELP_DRIVE_SIZE], directory[HELP_DIRECTORY_SIZE];
        EXPECT_TRUE(SplitProgramPath(c.path, drive, directory)) << c.path;
        EXPECT_STREQ(c.drive, drive) << c.path;
        EXPECT_STREQ(c.directory, directory) << c.path;
    }
}

TEST(HelpPath, HelpFileBesideTheProgram)
{
    EXPECT_EQ("C:\\Tools\\velkor.html", HelpPathFor("C:\\Tools\\velkor.exe"));
    EXPECT_EQ("C:\\velkor.html", HelpPathFor("C:\\velkor.exe"));
    EXPECT_EQ("velkor.html", HelpPathFor("velkor.exe"));
    EXPECT_EQ("velkor.html", HelpPathFor("velkor"));
    EXPECT_EQ("\\\\server\\share\\Velkor\\velkor.html", HelpPathFor("\\\\server\\share\\Velkor\\velkor.exe"));
    EXPECT_EQ("C:\\Program Files\\Velkor Tools\\velkor.html",
              HelpPathFor("C:\\Program Files\\Velkor Tools\\velkor.exe"));
}

TEST(HelpPath, ProgramPathFromCommandLines)
{
    EXPECT_EQ("C:\\Tools\\velkor.exe", ProgramOf("C:\\Tools\\velkor.exe"));
    EXPECT_EQ("velkor.exe", ProgramOf("velkor.exe"));
    // A path with blanks arrives quoted: the quotes go, the blanks stay.
    EXPECT_EQ("C:\\Program Files\\Velkor Tools\\velkor.exe",
              ProgramOf("\"C:\\Program Files\\Velkor Tools\\velkor.exe\""));
    // Arguments never count, whatever separators they hold.
    EXPECT_EQ("C:\\Program Files\\Velkor Tools\\velkor.exe",
              ProgramOf("\"C:\\Program Files\\Velkor Tools\\velkor.exe\" -log C:\\temp\\x.msg /a/b"));
    EXPECT_EQ("C:\\Tools\\velkor.exe", ProgramOf("C:\\Tools\\velkor.exe D:\\Daten\\liste.cmd"));
    EXPECT_EQ("C:\\Tools\\velkor.exe", ProgramOf("C:\\Tools\\velkor.exe\t/x"));
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ("C:\\My Tools\\velkor.exe", ProgramOf("\"C:\\My Tools\\velkor.exe"));
    EXPECT_EQ("", ProgramOf(""));
    EXPECT_EQ("", ProgramOf("\"\" x\\y"));
}

TEST(HelpPath, QuotedPathAndArgumentsFindTheHelpFile)
{
    const char *quoted = "\"C:\\Program Files\\Velkor Tools\\velkor.exe\" /port COM1 D:\\a/b";
    // Split as it stands, the command line misses the program's directory:
    // the quote begins the directory and the arguments extend it.
    EXPECT_EQ("\"C:\\Program Files\\Velkor Tools\\velkor.exe\" /port COM1 D:\\a/velkor.html", HelpPathFor(quoted));
    // The program's own path finds the file beside it.
    EXPECT_EQ("C:\\Program Files\\Velkor Tools\\velkor.html", HelpPathFor(ProgramOf(quoted).c_str()));
    EXPECT_EQ("C:\\Tools\\velkor.html", HelpPathFor(ProgramOf("C:\\Tools\\velkor.exe /x C:\\y\\z").c_str()));
}

TEST(HelpPath, LongDirectoriesAreCutAndReported)
{
    char drive[HELP_DRIVE_SIZE], directory[HELP_DIRECTORY_SIZE];
    std::string fits = "C:\\" + std::string(253, 'd') + "\\velkor.exe"; // directory part of 255
    EXPECT_TRUE(SplitProgramPath(fits.c_str(), drive, directory));
    EXPECT_EQ(255u, std::string(directory).size());
    bool whole = false;
    EXPECT_EQ(fits.substr(0, 2 + 255) + "velkor.html", HelpPathFor(fits.c_str(), &whole));
    EXPECT_TRUE(whole);
    EXPECT_EQ(268u, HelpPathFor(fits.c_str()).size());

    std::string longer = "C:\\" + std::string(254, 'd') + "\\velkor.exe"; // 256
    EXPECT_FALSE(SplitProgramPath(longer.c_str(), drive, directory));
    EXPECT_EQ(longer.substr(2, 255), directory);
    std::string cut = HelpPathFor(longer.c_str(), &whole);
    EXPECT_FALSE(whole);
    EXPECT_EQ(longer.substr(0, 2 + 255) + "velkor.html", cut);
}

TEST(HelpPath, SmallBuffersAreNeverOverrun)
{
    char path[16];
    memset(path, 'x', sizeof path);
    EXPECT_FALSE(BuildHelpPath("C:\\Tools\\velkor.exe", path, 12));
    EXPECT_STREQ("C:\\Tools\\ve", path);
    EXPECT_EQ('x', path[12]);

    memset(path, 'x', sizeof path);
    EXPECT_FALSE(ProgramPathFromCommandLine("\"C:\\Program Files\\v.exe\"", path, 8));
    EXPECT_STREQ("C:\\Prog", path);
    EXPECT_EQ('x', path[8]);
    EXPECT_FALSE(ProgramPathFromCommandLine("abc", path, 0));
    EXPECT_TRUE(ProgramPathFromCommandLine("abc", path, 4));
    EXPECT_STREQ("abc", path);
}
