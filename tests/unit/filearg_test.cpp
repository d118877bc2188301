// The command line's file argument.
#include <gtest/gtest.h>

#include <string.h>

#include "app/filearg.h"

TEST(FileArgument, IsTheFirstArgumentAfterTheProgramWithoutItsQuotes)
{
    const char *cases[][2] = {
        {"velkor.exe", ""},
        {"\"C:\\Program Files\\velkor.exe\"  ", ""},
        {"\"C:\\Program Files\\velkor.exe\" \"C:\\mit Leer\\a b.cmd\"", "C:\\mit Leer\\a b.cmd"},
        {"velkor.exe\ta.cmd b.cmd", "a.cmd"},
        {"velkor.exe C:\\x\\\"y z\".cmd zwei", "C:\\x\\y z.cmd"},
        {"velkor.exe \"\" b.cmd", ""},
        {"\"unended velkor.exe a.cmd", ""},
        {"velkor.exe -x C:\\datei.cmd /a/b", ""},
    };
    for (auto &c : cases) {
        std::string file(strlen(c[0]) + 1, 'x');
        EXPECT_EQ(*c[1] != 0, FirstFileArgument(c[0], &file[0])) << c[0];
        EXPECT_STREQ(c[1], file.c_str()) << c[0];
    }
}
