#include <gtest/gtest.h>

#include <string>
#include <string.h>

#include "commands/commandtext.h"

static const OptionalByte OFF = OPTIONAL_BYTE_OFF;

static CommandBuffer Buffer(std::initializer_list<const char *> fields, const char *remark = "")
{
    CommandBuffer b;
    memset(&b, 0x5A, sizeof b); // stale bytes must not show through
    int k = 0;
    for (const char *f : fields)
        strcpy(b.byteField[k++], f);
    for (; k < 8; k++)
        b.byteField[k][0] = 0;
    strcpy(b.remark, remark);
    return b;
}

static std::string Text(const CommandBuffer &b, OptionalByte prefix, OptionalByte suffix)
{
    char out[COMMAND_TEXT_MAX + 1];
    size_t n = FormatCommandText(b, prefix, suffix, out, sizeof out);
    EXPECT_EQ(strlen(out), n);
    return out;
}

// The eight byte fields as "f0|f1|...|f7".
static std::string Fields(const CommandBuffer &b)
{
    std::string s;
    for (int k = 0; k < 8; k++)
        s += (k ? "|" : "") + std::string(b.byteField[k]);
    return s;
}

// What Fields gives for these leading fields and empty ones after them.
static std::string Expected(std::initializer_list<const char *> fields)
{
    std::string s;
    int k = 0;
    for (const char *f : fields)
        s += (k++ ? "|" : "") + std::string(f);
    for (; k < 8; k++)
        s += k ? "|" : "";
    return s;
}

static CommandBuffer Parsed(const char *text, OptionalByte prefix, const char *remark = "")
{
    CommandBuffer b = Buffer({"aa", "bb", "cc", "dd", "ee", "ff", "11", "22"}, "old");
    EXPECT_TRUE(ParseCommandText(b, text, remark, prefix));
    return b;
}

TEST(NormalizeHexField, EveryFormOfTheTable)
{
    struct { const char *in, *out; } cases[] = {
        {"", ""}, {" ", ""}, {"a", "0a"}, {"  ", ""}, {" 5", "05"}, {"5 ", "05"}, {"Ab", "Ab"},
        {"x", "0x"}, {"G1", "G1"}, {"abc", "0a"}, {" bc", ""},
    };
    for (auto &c : cases) {
        char field[8];
        strcpy(field, c.in);
        EXPECT_EQ(field, NormalizeHexField(field));
        EXPECT_STREQ(c.out, field) << "from \"" << c.in << "\"";
    }
}

TEST(HexFieldText, AcceptsDigitsAndSpacesOnly)
{
    for (const char *ok : {"", "a", "A5", "5", "b9", " 5", "5 ", "  ", " ", "fF"})
        EXPECT_TRUE(IsValidHexFieldText(ok)) << "\"" << ok << "\"";
    for (const char *bad : {"G", "0x", "123", "1-", "\xF6", "   ", "g "})
        EXPECT_FALSE(IsValidHexFieldText(bad)) << "\"" << bad << "\"";
}

TEST(HexPairValue, DigitsAndTheValueBuiltSoFar)
{
    // Only two characters count; the terminator stops it.
    const struct { const char *text; int value; bool complete; } cases[] = {
        {"1b", 0x1B, true}, {"1B", 0x1B, true},  {"fA9", 0xFA, true}, {"G1", 0x00, false}, {"1G", 0x10, false},
        {"", 0x00, false},  {"7", 0x70, false}, {" 5", 0x00, false}, {"c\xE4", 0xC0, false}};
    for (const auto &c : cases) {
        bool complete = !c.complete;
        EXPECT_EQ(c.value, HexPairValue(c.text, &complete)) << c.text;
        EXPECT_EQ(c.complete, complete) << c.text;
    }
}

TEST(CommandText, TheTwentyTwoCharacterExample)
{
    CommandBuffer b = Buffer({"1b", "05"});
    std::string text = Text(b, 0x02, 0x03);
    EXPECT_EQ("0x02   0x1B 0x05  0x03", text);
    EXPECT_EQ(22u, text.size());
}

TEST(CommandText, DecorationsAlone)
{
    CommandBuffer empty = Buffer({});
    EXPECT_EQ("", Text(empty, OFF, OFF));
    EXPECT_EQ("0x02  ", Text(empty, 0x02, OFF));
    EXPECT_EQ("  0xFE", Text(empty, OFF, 0xFE));
    // Off values keep their byte but show nothing; 0x0100 is off too.
    EXPECT_EQ("", Text(empty, 0x41FF, 0x0100));
    EXPECT_EQ(" 0xAB", Text(Buffer({"ab"}), 0xFF41, 0x0100));
}

TEST(CommandText, EmptyFieldsBetweenFilledOnesLeaveNoTrace)
{
    CommandBuffer b = Buffer({"", "05", "", "", "7"});
    std::string text = Text(b, OFF, OFF);
    EXPECT_EQ(" 0x05 0x7", text);
    CommandBuffer back = Parsed(text.c_str(), OFF);
    EXPECT_EQ(Expected({"05", "7"}), Fields(back));
}

TEST(CommandText, UpperCasesFieldsOnly)
{
    EXPECT_EQ(" 0xAB 0x0F", Text(Buffer({"ab", "0f"}), OFF, OFF));
    // The ANSI case mapping of the field characters, whatever they hold.
    EXPECT_EQ(" 0x\xC4\x8A 0x\xF7\xDF", Text(Buffer({"\xE4\x9A", "\xF7\xDF"}), OFF, OFF));
}

TEST(CommandText, LongestTextFitsAndIsCutToTheCallersSize)
{
    CommandBuffer b = Buffer({"01", "23", "45", "67", "89", "ab", "cd", "ef"});
    std::string full = Text(b, 0x00, 0xFF);
    EXPECT_EQ("0x00   0x01 0x23 0x45 0x67 0x89 0xAB 0xCD 0xEF  0xFF", full);
    EXPECT_EQ(COMMAND_TEXT_MAX, full.size());

    char small[12];
    memset(small, '#', sizeof small);
    EXPECT_EQ(7u, FormatCommandText(b, 0x00, 0xFF, small, 8));
    EXPECT_STREQ("0x00   ", small);
    EXPECT_EQ('#', small[8]);
    EXPECT_EQ(0u, FormatCommandText(b, 0x00, 0xFF, small, 0));
}

TEST(ParseCommandText, TheTenCharacterText)
{
    CommandBuffer b = Parsed(" 0x01 0x02", OFF, "Hallo");
    EXPECT_EQ(Expected({"01", "02"}), Fields(b));
    EXPECT_STREQ("Hallo", b.remark);
}

TEST(ParseCommandText, NoGroupEmptiesEveryField)
{
    for (const char *text : {"", "0x02  ", "0x0", " 0X01 0x02", "0x01", "  0x01"}) {
        CommandBuffer b = Parsed(text, OFF);
        EXPECT_EQ(Expected({}), Fields(b)) << "\"" << text << "\"";
        EXPECT_STREQ("", b.remark);
    }
    // With the prefix on, the first six characters are never groups.
    for (const char *text : {"", " 0x01", "0x02  ", "0x02 ", " 0x01 0x02"})
        EXPECT_EQ(Expected({}), Fields(Parsed(text, 0x02))) << "\"" << text << "\"";
}

TEST(ParseCommandText, PrefixDecorationIsSkippedUnread)
{
    EXPECT_EQ(Expected({"1B", "05"}), Fields(Parsed("0x02   0x1B 0x05  0x03", 0x02)));
    // Whatever stands in the first six characters is skipped.
    EXPECT_EQ(Expected({"1B"}), Fields(Parsed("zzzzzz 0x1B", 0x7F)));
    // An off value that keeps a byte is still off: no skipping.
    EXPECT_EQ(Expected({"1B", "05"}), Fields(Parsed(" 0x1B 0x05", 0x0100)));
}

TEST(ParseCommandText, AllEightGroupsWithTheSuffixAfterThem)
{
    const char *text = "0x00   0x01 0x23 0x45 0x67 0x89 0xAB 0xCD 0xEF  0xFF";
    EXPECT_EQ(Expected({"01", "23", "45", "67", "89", "AB", "CD", "EF"}), Fields(Parsed(text, 0x00)));
    EXPECT_EQ(Expected({"01", "23", "45", "67", "89", "AB", "CD", "EF"}), Fields(Parsed(text + 6, OFF)));
}

TEST(ParseCommandText, SuffixDecorationIsNotAGroup)
{
    EXPECT_EQ(Expected({"1B", "05"}), Fields(Parsed(" 0x1B 0x05  0x03", OFF)));
    EXPECT_EQ(Expected({}), Fields(Parsed("  0x03", OFF)));
}

TEST(ParseCommandText, StopsAtTheFirstMissingGroup)
{
    EXPECT_EQ(Expected({"01"}), Fields(Parsed(" 0x01 0X02 0x03", OFF)));
    EXPECT_EQ(Expected({"01"}), Fields(Parsed(" 0x01 1x02", OFF)));
    EXPECT_EQ(Expected({"01", "02"}), Fields(Parsed(" 0x01-0x02", OFF))); // the space is not examined
}

TEST(ParseCommandText, ShortGroupsTakeWhatIsThere)
{
    EXPECT_EQ(Expected({"1"}), Fields(Parsed(" 0x1", OFF)));
    EXPECT_EQ(Expected({}), Fields(Parsed(" 0x", OFF)));
    EXPECT_EQ(Expected({"01", "2"}), Fields(Parsed(" 0x01 0x2", OFF)));
    // Characters are copied as they stand, lower case and non-digits too.
    EXPECT_EQ(Expected({"ab", "G "}), Fields(Parsed(" 0xab 0xG ", OFF)));
}

TEST(ParseCommandText, RemarkIsCopiedAndCut)
{
    std::string longRemark(300, 'r');
    CommandBuffer b = Parsed(" 0x01", OFF, longRemark.c_str());
    EXPECT_EQ(std::string(255, 'r'), b.remark);
    CommandBuffer n = Buffer({"01"}, "old");
    ParseCommandText(n, " 0x02", NULL, OFF);
    EXPECT_STREQ("", n.remark);
    // Its own remark as the source keeps it.
    ParseCommandText(n, " 0x02", n.remark, OFF);
    EXPECT_STREQ("", n.remark);
    strcpy(n.remark, "selbst");
    ParseCommandText(n, " 0x02", n.remark, OFF);
    EXPECT_STREQ("selbst", n.remark);
}

TEST(ParseCommandText, RoundTripsEveryRenderedForm)
{
    const OptionalByte settings[] = {OFF, 0x00, 0x02, 0xFF, 0x41FF};
    CommandBuffer b = Buffer({"1b", "05", "", "ff", "00", "", "", "09"});
    for (OptionalByte prefix : settings)
        for (OptionalByte suffix : settings) {
            std::string text = Text(b, prefix, suffix);
            CommandBuffer back = Parsed(text.c_str(), prefix);
            EXPECT_EQ(Expected({"1B", "05", "FF", "00", "09"}), Fields(back)) << text;
        }
}

TEST(CommandHeader, TextsAndWidths)
{
    char h[COMMAND_HEADER_MAX + 1];
    EXPECT_EQ(250, FormatCommandHeader(OFF, OFF, h, sizeof h));
    EXPECT_STREQ("Kommando", h);
    EXPECT_EQ(278, FormatCommandHeader(0x02, 0x0100, h, sizeof h));
    EXPECT_STREQ("PF+Kommando", h);
    EXPECT_EQ(278, FormatCommandHeader(0xFF41, 0x00, h, sizeof h));
    EXPECT_STREQ("Kommando+SF", h);
    EXPECT_EQ(306, FormatCommandHeader(0xFF, 0x00, h, sizeof h));
    EXPECT_STREQ("PF+Kommando+SF", h);
    EXPECT_EQ(COMMAND_HEADER_MAX, strlen(h));
    char small[6];
    EXPECT_EQ(306, FormatCommandHeader(0x01, 0x01, small, sizeof small));
    EXPECT_STREQ("PF+Ko", small);
}

TEST(HexPairToBits, DigitsAndEverythingElse)
{
    const struct { char high, low; const char *bits; } cases[] = {
        {'0', '5', "00000101 "}, {'a', '5', "10100101 "}, {'F', 'f', "11111111 "},  {'E', 'e', "11101110 "},
        {' ', 0, "11111111 "},   {'g', '\xF6', "11111111 "}, {'9', '1', "10010001 "}};
    for (const auto &c : cases) {
        char out[16];
        memset(out, '#', sizeof out);
        EXPECT_EQ(9u, HexPairToBits(c.high, c.low, out)) << c.bits;
        EXPECT_STREQ(c.bits, out);
    }
}

TEST(HexPairToBits, AppendsWhereItIsTold)
{
    // The bit text of prefix 05, box "f": space, prefix part, byte part.
    char text[100] = " ";
    size_t n = 1;
    n += HexPairToBits('0', '5', text + n);
    text[n++] = ' ';
    n += HexPairToBits('0', 'f', text + n);
    text[n] = 0;
    EXPECT_STREQ(" 00000101  00001111 ", text);
}
