// The command line's file argument and the form of a handed path.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "app/filearg.h"

TEST(FileArgument, IsTheFirstArgumentAfterTheProgramWithoutItsQuotes)
{
    struct Case {
        const char *commandLine, *file;
    } cases[] = {
        {"velkor.exe", ""},
        {"\"C:\\Program Files\\velkor.exe\"  ", ""},
        {"\"C:\\Program Files\\velkor.exe\" \"C:\\mit Leer\\a b.cmd\"", "C:\\mit Leer\\a b.cmd"},
        {"velkor.exe\ta.cmd b.cmd", "a.cmd"},
        {"velkor.exe C:\\x\\\"y z\".cmd zwei", "C:\\x\\y z.cmd"},
        {"velkor.exe \"\" b.cmd", ""},
        {"\"unended velkor.exe a.cmd", ""},
        {"velkor.exe \"offen bis zum Ende", "offen bis zum Ende"},
    };
    for (const Case &c : cases) {
        std::vector<char> file(strlen(c.commandLine) + 1, 'x');
        EXPECT_EQ(*c.file != 0, FirstFileArgument(c.commandLine, file.data())) << c.commandLine;
        EXPECT_STREQ(c.file, file.data()) << c.commandLine;
    }
}

TEST(FileArgument, AHandedPathIsOneTerminatedTextWithinItsRoom)
{
    std::string longest(HANDED_PATH_ROOM - 1, 'x'), tooLong(HANDED_PATH_ROOM, 'x');
    EXPECT_TRUE(IsHandedPath("a", 2));
    EXPECT_TRUE(IsHandedPath(longest.c_str(), longest.size() + 1));
    EXPECT_FALSE(IsHandedPath(tooLong.c_str(), tooLong.size() + 1));
    EXPECT_FALSE(IsHandedPath("ab", 2)); // no zero at the end
    EXPECT_FALSE(IsHandedPath("", 1));
    EXPECT_FALSE(IsHandedPath("a\0b", 4));
    EXPECT_FALSE(IsHandedPath(NULL, 4));
}
