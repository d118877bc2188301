#include <gtest/gtest.h>

#include <string>
#include <string.h>

#include "app/layout.h"
#include "log/logformat.h"

static const LogClock T090507 = {9, 5, 7, 45};

TEST(LogFormat, MarkersByKind)
{
    EXPECT_EQ('>', LogMarker(1));
    EXPECT_EQ('<', LogMarker(2));
    EXPECT_EQ('>', LogMarker(3));
    EXPECT_EQ('+', LogMarker(9));
    for (unsigned kind : {0u, 4u, 5u, 8u, 10u, 0xFFFFFFFFu})
        EXPECT_EQ('?', LogMarker(kind)) << "kind " << kind;
}

TEST(LogFormat, EventLineHeadAndText)
{
    char line[LOG_LINE_SIZE];
    size_t n = FormatEventLine(line, sizeof line, 9, T090507, "VelKor gestartet");
    EXPECT_STREQ("+ 09:05:07,045  VelKor gestartet", line);
    EXPECT_EQ(16u + 16u, n);
}

TEST(LogFormat, TextCutAfter257Characters)
{
    char line[LOG_LINE_SIZE];
    std::string exact(257, 'a');
    FormatEventLine(line, sizeof line, 1, T090507, exact.c_str());
    EXPECT_EQ(16u + 257u, std::string(line).size());
    std::string longer = std::string(257, 'b') + std::string(43, 'c');
    FormatEventLine(line, sizeof line, 1, T090507, longer.c_str());
    EXPECT_EQ("> 09:05:07,045  " + std::string(257, 'b'), std::string(line));
}

TEST(LogFormat, SmallBufferIsNeverOverrun)
{
    char line[24];
    memset(line, 'X', sizeof line);
    size_t n = FormatEventLine(line, 20, 9, T090507, "a long text that does not fit");
    EXPECT_EQ(19u, n);
    EXPECT_EQ(0, line[19]);
    EXPECT_EQ('X', line[20]);
}

TEST(LogFormat, DumpLineShowsEveryByteZeroesIncluded)
{
    char line[LOG_LINE_SIZE];
    const unsigned char bytes[] = {0x41, 0x0D};
    EXPECT_EQ(2u, FormatDumpLine(line, sizeof line, T090507, bytes, 2));
    EXPECT_STREQ("> 09:05:07,045  0x41 0x0D ", line);
    EXPECT_EQ(26u, strlen(line));
    const unsigned char withZero[] = {0x00, 0xFF, 0x80};
    EXPECT_EQ(3u, FormatDumpLine(line, sizeof line, T090507, withZero, 3));
    EXPECT_STREQ("> 09:05:07,045  0x00 0xFF 0x80 ", line);
}

TEST(LogFormat, DumpLineTakesAtMost99Bytes)
{
    char line[LOG_LINE_SIZE];
    unsigned char bytes[150];
    for (int i = 0; i < 150; i++)
        bytes[i] = (unsigned char)i;
    EXPECT_EQ(99u, FormatDumpLine(line, sizeof line, T090507, bytes, 150));
    EXPECT_EQ(511u, strlen(line));
    EXPECT_EQ(51u, FormatDumpLine(line, sizeof line, T090507, bytes + 99, 51));
    EXPECT_EQ(16u + 5u * 51u, strlen(line));
    EXPECT_EQ(std::string("0x63 "), std::string(line + 16, 5));
}

TEST(LogFormat, DumpLineNeverOverrunsASmallBuffer)
{
    char line[40];
    memset(line, 'X', sizeof line);
    const unsigned char bytes[] = {1, 2, 3, 4, 5, 6};
    // 16 for the head, then whole groups of 5 that fit with the terminator.
    EXPECT_EQ(3u, FormatDumpLine(line, 32, T090507, bytes, 6));
    EXPECT_STREQ("> 09:05:07,045  0x01 0x02 0x03 ", line);
    EXPECT_EQ('X', line[32]);
    EXPECT_EQ(0u, FormatDumpLine(line, 21, T090507, bytes, 6));
    EXPECT_STREQ("> 09:05:07,045  ", line);
    EXPECT_EQ(0u, FormatDumpLine(line, 0, T090507, bytes, 6));
}

TEST(LogFormat, EmptyDumpIsTheHeadAlone)
{
    char line[LOG_LINE_SIZE];
    EXPECT_EQ(0u, FormatDumpLine(line, sizeof line, T090507, nullptr, 0));
    EXPECT_STREQ("> 09:05:07,045  ", line);
}

TEST(Layout, PanesFromClientRectangle)
{
    PaneLayout l = ComputePaneLayout(0, 0, 800, 600);
    // half 300, quarter 75
    EXPECT_EQ(0, l.commandList.x);
    EXPECT_EQ(27, l.commandList.y);
    EXPECT_EQ(800, l.commandList.width);
    EXPECT_EQ(225, l.commandList.height);
    EXPECT_EQ(251, l.messageLog.y);
    EXPECT_EQ(348, l.messageLog.height);
    // odd heights truncate: half 150, quarter 37
    l = ComputePaneLayout(0, 0, 100, 301);
    EXPECT_EQ(113, l.commandList.height);
    EXPECT_EQ(139, l.messageLog.y);
    EXPECT_EQ(160, l.messageLog.height);
}

TEST(Layout, StrictInsideOnEveryEdge)
{
    EXPECT_TRUE(PointStrictlyInside(5, 5, 0, 0, 10, 10));
    EXPECT_FALSE(PointStrictlyInside(0, 5, 0, 0, 10, 10));
    EXPECT_FALSE(PointStrictlyInside(10, 5, 0, 0, 10, 10));
    EXPECT_FALSE(PointStrictlyInside(5, 0, 0, 0, 10, 10));
    EXPECT_FALSE(PointStrictlyInside(5, 10, 0, 0, 10, 10));
    EXPECT_TRUE(PointStrictlyInside(-150, -20, -200, -30, -100, -10));
}
