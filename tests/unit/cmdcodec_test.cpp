// The .cmd codec: reading a file's strings and the decorations of its commands.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "commands/cmdcodec.h"

namespace {

const OptionalByte OFF = 0xFF00;

// Reads a whole file into "C:text", "R:text", "BAD-C@n" / "BAD-R@n" items.
std::vector<std::string> ReadAll(const std::string &bytes)
{
    std::vector<std::string> items;
    CmdReader reader;
    StartCmdReader(reader, bytes.data(), bytes.size());
    for (;;) {
        CmdItem item = NextCmdItem(reader);
        std::string text = item.text ? std::string(item.text, item.length) : std::string();
        switch (item.kind) {
        case CMD_ITEM_END:
            return items;
        case CMD_ITEM_COMMAND:
            items.push_back("C" + std::to_string(item.entry) + ":" + text);
            break;
        case CMD_ITEM_REMARK:
            items.push_back("R" + std::to_string(item.entry) + ":" + text);
            break;
        case CMD_ITEM_BAD_COMMAND:
            items.push_back("BAD-C@" + std::to_string(item.entry));
            break;
        case CMD_ITEM_BAD_REMARK:
            items.push_back("BAD-R@" + std::to_string(item.entry));
            break;
        }
    }
}

typedef std::vector<std::string> Items;

TEST(CmdReader, ReadsTheExampleFile)
{
    std::string example(" 0x01 0x02\0Reset\0 0xFF\0\0", 24);
    EXPECT_EQ((Items{"C0: 0x01 0x02", "R0:Reset", "C1: 0xFF", "R1:"}), ReadAll(example));
}

TEST(CmdReader, UnendedFilesEndWithTheirBytes)
{
    EXPECT_EQ((Items{}), ReadAll(""));
    // The last string without its zero byte.
    EXPECT_EQ((Items{"C0: 0x01", "R0:Rest"}), ReadAll(std::string(" 0x01\0Rest", 10)));
    EXPECT_EQ((Items{"C0: 0x01"}), ReadAll(" 0x01"));
    // Ending right after a command string: no remark, no error.
    EXPECT_EQ((Items{"C0: 0x01"}), ReadAll(std::string(" 0x01\0", 6)));
}

TEST(CmdReader, CommandLengthsFrom4To40AreTaken)
{
    std::string c40(40, 'x'), c41(41, 'x');
    EXPECT_EQ((Items{"C0:abcd", "R0:"}), ReadAll(std::string("abcd\0\0", 6)));
    EXPECT_EQ((Items{"C0:" + c40, "R0:"}), ReadAll(c40 + std::string("\0\0", 2)));
    EXPECT_EQ((Items{"BAD-C@0"}), ReadAll(std::string("abc\0\0", 5)));
    EXPECT_EQ((Items{"BAD-C@0"}), ReadAll(c41 + std::string("\0\0", 2)));
    EXPECT_EQ((Items{"BAD-C@0"}), ReadAll(std::string("\0 0x01\0\0", 8)));
}

TEST(CmdReader, RemarksUpTo255AreTaken)
{
    std::string r255(255, 'r'), r256(256, 'r');
    EXPECT_EQ((Items{"C0: 0x01", "R0:" + r255}), ReadAll(" 0x01" + std::string(1, '\0') + r255));
    EXPECT_EQ((Items{"C0: 0x01", "BAD-R@0"}), ReadAll(" 0x01" + std::string(1, '\0') + r256));
}

TEST(CmdReader, AFormatErrorNamesTheEntryAndEndsTheReading)
{
    std::string two(" 0x01\0a\0 0x02\0b\0", 16);
    // One more zero byte after the last remark: a command of length 0.
    EXPECT_EQ((Items{"C0: 0x01", "R0:a", "C1: 0x02", "R1:b", "BAD-C@2"}), ReadAll(two + std::string(1, '\0')));
    // Nothing after the error is read, however much follows.
    EXPECT_EQ((Items{"C0: 0x01", "R0:a", "C1: 0x02", "R1:b", "BAD-C@2"}),
              ReadAll(two + std::string("xy\0 0x03\0c\0", 11)));
    EXPECT_EQ((Items{"C0: 0x01", "R0:a", "C1: 0x02", "BAD-R@1"}),
              ReadAll(std::string(" 0x01\0a\0 0x02\0", 14) + std::string(300, 'r')));

    CmdReader reader;
    std::string bad("ab\0", 3);
    StartCmdReader(reader, bad.data(), bad.size());
    EXPECT_EQ(CMD_ITEM_BAD_COMMAND, NextCmdItem(reader).kind);
    EXPECT_EQ(CMD_ITEM_END, NextCmdItem(reader).kind);
    EXPECT_EQ(CMD_ITEM_END, NextCmdItem(reader).kind);
}

TEST(CmdReader, BytesAbove127AndNoDataAreHandled)
{
    std::string bytes("\xF6\xE4\xFC\xDF\0\xFF\x80\0", 8);
    EXPECT_EQ((Items{"C0:\xF6\xE4\xFC\xDF", "R0:\xFF\x80"}), ReadAll(bytes));
    CmdReader reader;
    StartCmdReader(reader, NULL, 10);
    EXPECT_EQ(CMD_ITEM_END, NextCmdItem(reader).kind);
}

TEST(LoadedCommand, TakesTheDecorationsInForce)
{
    char text[64];
    EXPECT_EQ(10u, FormatLoadedCommand(" 0x01 0x02", 10, OFF, OFF, text, sizeof text));
    EXPECT_STREQ(" 0x01 0x02", text);
    FormatLoadedCommand(" 0x01 0x02", 10, 0x02, 0x03, text, sizeof text);
    EXPECT_STREQ("0x02   0x01 0x02  0x03", text);
    FormatLoadedCommand(" 0xFF", 5, 0xAB, 0x1CD, text, sizeof text);
    EXPECT_STREQ("0xAB   0xFF", text);
    FormatLoadedCommand(" 0xFF", 5, 0x100, 0x0D, text, sizeof text);
    EXPECT_STREQ(" 0xFF  0x0D", text);
    // Only length characters are taken, whatever follows.
    FormatLoadedCommand("abcdefgh", 4, OFF, OFF, text, sizeof text);
    EXPECT_STREQ("abcd", text);
}

TEST(LoadedCommand, IsCutToTheBuffer)
{
    std::string c40(40, 'c');
    char text[64];
    EXPECT_EQ(52u, FormatLoadedCommand(c40.c_str(), 40, 0x02, 0x03, text, sizeof text));
    char small[8];
    memset(small, '#', sizeof small);
    EXPECT_EQ(7u, FormatLoadedCommand(" 0x01 0x02", 10, 0x02, 0x03, small, sizeof small));
    EXPECT_STREQ("0x02   ", small);
    char one[1] = {'#'};
    EXPECT_EQ(0u, FormatLoadedCommand(" 0x01", 5, OFF, OFF, one, 1));
    EXPECT_EQ(0, one[0]);
}

TEST(StrippedCommand, DropsTheDecorations)
{
    struct Case {
        const char *text;
        OptionalByte prefix, suffix;
        std::string stored;
    } cases[] = {
        {" 0x01 0x02", OFF, OFF, " 0x01 0x02"},
        {"0x02   0x01 0x02  0x03", 0x02, 0x03, " 0x01 0x02"},
        {"0x02   0xFF", 0x02, 0x1FF, " 0xFF"},
        {" 0xFF  0x03", 0x1FF, 0x03, " 0xFF"},
        {"0x02  abcd  0x03", 0x02, 0x03, "abcd"},
        // Texts shorter than their decorations give what is left.
        {"0x02  ", 0x02, 0x03, ""},
        {"0x0", 0x02, OFF, ""},
        {"", 0x02, 0x03, ""},
        {"abc", OFF, 0x03, ""},
    };
    for (const Case &c : cases) {
        const char *start = NULL;
        size_t length = 99;
        StripCommandDecorations(c.text, c.prefix, c.suffix, &start, &length);
        EXPECT_EQ(c.stored, std::string(start, length)) << c.text;
        EXPECT_TRUE(start >= c.text && start + length <= c.text + strlen(c.text)) << c.text;
    }
}

TEST(StrippedCommand, UndoesTheLoadedFormWhateverTheSettings)
{
    const OptionalByte settings[] = {OFF, 0x00, 0x02, 0xFF, 0x1FF};
    const char *commands[] = {"abcd", " 0x01", " 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08", "  0x03  "};
    for (OptionalByte prefix : settings)
        for (OptionalByte suffix : settings)
            for (const char *command : commands) {
                char text[64];
                FormatLoadedCommand(command, strlen(command), prefix, suffix, text, sizeof text);
                const char *start;
                size_t length;
                StripCommandDecorations(text, prefix, suffix, &start, &length);
                EXPECT_EQ(command, std::string(start, length)) << prefix << " " << suffix;
            }
}

} // namespace
