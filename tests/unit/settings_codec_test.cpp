#include <gtest/gtest.h>

#include <string>
#include <string.h>

#include "settings/placecodec.h"
#include "settings/settingscodec.h"

static DeviceSettings Defaults()
{
    return {NULL, 3, 500, OPTIONAL_BYTE_OFF, 500, OPTIONAL_BYTE_OFF, OPTIONAL_BYTE_OFF, true};
}

static std::string Bytes(const DeviceSettings &s, SettingsValue v)
{
    unsigned char b[4];
    EncodeSettingsValue(s, v, b);
    char text[16];
    snprintf(text, sizeof text, "%02X %02X %02X %02X", b[0], b[1], b[2], b[3]);
    return text;
}

TEST(SettingsCodec, ValueNamesInStoreOrder)
{
    const char *names[] = {"readblocklen", "readtimeout",  "readendbyte", "writetimeout",
                           "writepraeff",  "writesuff",    "openexclusiv"};
    for (int v = 0; v < SETTINGS_VALUE_COUNT; v++)
        EXPECT_STREQ(names[v], SettingsValueName((SettingsValue)v));
}

TEST(SettingsCodec, OnlyExactlyFourBytesAreTaken)
{
    const unsigned char data[8] = {0x10, 0x27, 0, 0, 1, 2, 3, 4};
    for (uint32_t size : {0u, 1u, 2u, 3u, 5u, 8u}) {
        DeviceSettings s = Defaults();
        for (int v = 0; v < SETTINGS_VALUE_COUNT; v++)
            EXPECT_FALSE(DecodeSettingsValue(s, (SettingsValue)v, data, size)) << size;
        EXPECT_EQ(3u, s.readBlockLength);
        EXPECT_EQ(500u, s.readTimeoutMs);
        EXPECT_EQ(OPTIONAL_BYTE_OFF, s.readEndByte);
        EXPECT_EQ(500u, s.writeTimeoutMs);
        EXPECT_EQ(OPTIONAL_BYTE_OFF, s.sendPrefix);
        EXPECT_EQ(OPTIONAL_BYTE_OFF, s.sendSuffix);
        EXPECT_TRUE(s.openExclusive);
    }
}

TEST(SettingsCodec, FullValuesTakeAllThirtyTwoBitsLittleEndian)
{
    const unsigned char data[4] = {0x78, 0x56, 0x34, 0x12};
    const unsigned char max[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    DeviceSettings s = Defaults();
    EXPECT_TRUE(DecodeSettingsValue(s, VALUE_READ_BLOCK_LENGTH, data, 4));
    EXPECT_TRUE(DecodeSettingsValue(s, VALUE_READ_TIMEOUT, max, 4));
    EXPECT_TRUE(DecodeSettingsValue(s, VALUE_WRITE_TIMEOUT, data, 4));
    EXPECT_EQ(0x12345678u, s.readBlockLength);
    EXPECT_EQ(0xFFFFFFFFu, s.readTimeoutMs);
    EXPECT_EQ(0x12345678u, s.writeTimeoutMs);
    EXPECT_EQ("78 56 34 12", Bytes(s, VALUE_READ_BLOCK_LENGTH));
    EXPECT_EQ("FF FF FF FF", Bytes(s, VALUE_READ_TIMEOUT));
}

TEST(SettingsCodec, OptionalBytesTakeTheLowSixteenBits)
{
    const unsigned char upper[4] = {0x05, 0x00, 0xAA, 0xBB};
    const unsigned char offKeeping41[4] = {0x41, 0xFF, 0x00, 0x00};
    const unsigned char off0100[4] = {0x00, 0x01, 0x00, 0x00};
    DeviceSettings s = Defaults();
    EXPECT_TRUE(DecodeSettingsValue(s, VALUE_READ_END_BYTE, upper, 4));
    EXPECT_EQ(0x0005, s.readEndByte);
    EXPECT_TRUE(OptionalByteOn(s.readEndByte));
    EXPECT_TRUE(DecodeSettingsValue(s, VALUE_SEND_PREFIX, offKeeping41, 4));
    EXPECT_EQ(0xFF41, s.sendPrefix);
    EXPECT_FALSE(OptionalByteOn(s.sendPrefix));
    EXPECT_EQ(0x41, OptionalByteValue(s.sendPrefix));
    EXPECT_TRUE(DecodeSettingsValue(s, VALUE_SEND_SUFFIX, off0100, 4));
    EXPECT_FALSE(OptionalByteOn(s.sendSuffix));
    EXPECT_EQ("05 00 00 00", Bytes(s, VALUE_READ_END_BYTE));
    EXPECT_EQ("41 FF 00 00", Bytes(s, VALUE_SEND_PREFIX));
    EXPECT_EQ("00 01 00 00", Bytes(s, VALUE_SEND_SUFFIX));
}

TEST(SettingsCodec, ExclusiveIsTrueForAnyNonZeroByte)
{
    DeviceSettings s = Defaults();
    const unsigned char zero[4] = {0, 0, 0, 0};
    EXPECT_TRUE(DecodeSettingsValue(s, VALUE_OPEN_EXCLUSIVE, zero, 4));
    EXPECT_FALSE(s.openExclusive);
    EXPECT_EQ("00 00 00 00", Bytes(s, VALUE_OPEN_EXCLUSIVE));
    for (int i = 0; i < 4; i++) {
        unsigned char one[4] = {0, 0, 0, 0};
        one[i] = 0x01;
        s.openExclusive = false;
        EXPECT_TRUE(DecodeSettingsValue(s, VALUE_OPEN_EXCLUSIVE, one, 4));
        EXPECT_TRUE(s.openExclusive) << i;
    }
    EXPECT_EQ("01 00 00 00", Bytes(s, VALUE_OPEN_EXCLUSIVE));
}

TEST(SettingsCodec, ConnectStringIsEndedAfterItsBytes)
{
    char buffer[CONNECT_STRING_LIMIT + 1];
    memset(buffer, 'c', sizeof buffer);
    TerminateConnectString(buffer, 4);
    EXPECT_STREQ("cccc", buffer);
    memset(buffer, 'c', sizeof buffer);
    TerminateConnectString(buffer, 255);
    EXPECT_EQ(255u, strlen(buffer));
    memset(buffer, 'c', sizeof buffer);
    TerminateConnectString(buffer, 0);
    EXPECT_STREQ("", buffer);
    memset(buffer, 'c', sizeof buffer);
    TerminateConnectString(buffer, 100000); // never past the buffer
    EXPECT_EQ(255u, strlen(buffer));
}

TEST(SettingsCodec, TitleWithDeviceAndTimings)
{
    DeviceSettings s = Defaults();
    char com1[] = "COM1";
    s.connectString = com1;
    char title[200];
    size_t n = FormatTitle(title, sizeof title, "Velkor", s);
    EXPECT_STREQ("Velkor  COM1   R:3/500 S:500", title);
    EXPECT_EQ(strlen(title), n);
    EXPECT_EQ(4u + 6u + 53u, TitleBufferSize("Velkor", "COM1"));

    // The numbers are signed: the largest values need the full eleven characters.
    s.readBlockLength = 0x80000000u;
    s.readTimeoutMs = 0xFFFFFFFFu;
    s.writeTimeoutMs = 2147483647u;
    size_t size = TitleBufferSize("Velkor", com1);
    n = FormatTitle(title, size, "Velkor", s);
    EXPECT_STREQ("Velkor  COM1   R:-2147483648/-1 S:2147483647", title);
    EXPECT_LT(n, size);

    s.readBlockLength = 0x80000000u;
    s.readTimeoutMs = 0x80000000u;
    s.writeTimeoutMs = 0x80000000u;
    n = FormatTitle(title, size, "Velkor", s);
    EXPECT_STREQ("Velkor  COM1   R:-2147483648/-2147483648 S:-2147483648", title);
    EXPECT_LT(n, size); // the longest title fits the buffer uncut
}

TEST(SettingsCodec, TitleIsCutToTheBuffer)
{
    DeviceSettings s = Defaults();
    char com1[] = "COM1";
    s.connectString = com1;
    char title[16];
    memset(title, '#', sizeof title);
    EXPECT_EQ(9u, FormatTitle(title, 10, "Velkor", s));
    EXPECT_STREQ("Velkor  C", title);
    EXPECT_EQ('#', title[10]);
}

TEST(SettingsCodec, SameStoredSettingsComparesWhatTheRegistryWouldHold)
{
    DeviceSettings a = Defaults(), b = Defaults();
    EXPECT_TRUE(SameStoredSettings(a, b));
    char x1[] = "COM1", x2[] = "COM1", y[] = "COM2";
    a.connectString = x1;
    EXPECT_FALSE(SameStoredSettings(a, b));
    b.connectString = x2;
    EXPECT_TRUE(SameStoredSettings(a, b));
    b.connectString = y;
    EXPECT_FALSE(SameStoredSettings(a, b));
    b.connectString = x2;
    b.sendPrefix = 0xFF41; // off either way, but another byte is kept
    EXPECT_FALSE(SameStoredSettings(a, b));
    b = a;
    b.openExclusive = false;
    EXPECT_FALSE(SameStoredSettings(a, b));
    b = a;
    b.readTimeoutMs = 501;
    EXPECT_FALSE(SameStoredSettings(a, b));
}

TEST(SettingsCodec, ReceiveBufferSizeIsBounded)
{
    size_t bytes = 0;
    for (uint32_t length : {0u, 1u, 3u, READ_BLOCK_LENGTH_LIMIT}) {
        EXPECT_TRUE(ReceiveBufferBytes(length, &bytes)) << length;
        EXPECT_EQ(length < 1 ? 2u : (size_t)length + 1, bytes) << length;
    }
    bytes = 77;
    for (uint32_t refused : {READ_BLOCK_LENGTH_LIMIT + 1, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
        EXPECT_FALSE(ReceiveBufferBytes(refused, &bytes)) << refused;
        EXPECT_EQ(77u, bytes);
    }
}

static std::string Text(const WindowPlace &p)
{
    return std::to_string(p.left) + "," + std::to_string(p.top) + " " + std::to_string(p.right - p.left) + "x" +
           std::to_string(p.bottom - p.top) + (p.maximized ? " max @" : " @") + std::to_string(p.dpi);
}

TEST(PlaceCodec, AValueOfTwentyBytesIsAt96AndOnlyOtherDpisAddTheirs)
{
    const unsigned char old[20] = {100, 0, 0, 0, 80, 0, 0, 0, 0x84, 3, 0, 0, 0xA8, 2, 0, 0, 1, 0, 0, 0};
    unsigned char data[WINDOW_PLACE_DPI_SIZE];
    WindowPlace place = {};
    ASSERT_TRUE(DecodeWindowPlace(old, sizeof old, &place));
    EXPECT_EQ("100,80 800x600 max @96", Text(place));
    EXPECT_TRUE(EncodeWindowPlace(place, data) == 20 && memcmp(old, data, 20) == 0);
    place.dpi = 144;
    EXPECT_TRUE(EncodeWindowPlace(place, data) == 24 && memcmp(old, data, 20) == 0);
    ASSERT_TRUE(DecodeWindowPlace(data, 24, &place));
    EXPECT_EQ("100,80 800x600 max @144", Text(place));
    for (size_t size : {21u, 23u, 25u})
        EXPECT_FALSE(DecodeWindowPlace(data, size, &place)) << size;
    data[20] = 47; // no display has it
    EXPECT_FALSE(DecodeWindowPlace(data, 24, &place));
}

TEST(PlaceCodec, ScalingKeepsTheCornerAndRoundsTheSize)
{
    WindowPlace place = {100, 80, 900, 680, false, 96};
    EXPECT_EQ("100,80 1200x900 @144", Text(ScaleWindowPlace(place, 144)));
    place = {-50, 10, 1151, 911, true, 144}; // 1201 x 901
    EXPECT_EQ("-50,10 801x601 max @96", Text(ScaleWindowPlace(place, 96)));
    place = {0, 0, 30000, 20000, false, 48};
    EXPECT_EQ("0,0 32767x32767 @960", Text(ScaleWindowPlace(place, 960)));
}
