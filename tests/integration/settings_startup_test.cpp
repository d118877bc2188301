// Start-up with settings from the registry: title, device controls, command
// column, and the receive buffer for the loaded block length.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/appwindows.h"
#include "device/receivebuffer.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "settings/settingscodec.h"

#include "support.h"

static void PutDword(const char *name, DWORD value) { PutVelkorValue(name, REG_DWORD, DwordBytes(value)); }

static void PutText(const char *name, const std::string &t) { PutVelkorValue(name, REG_SZ, Bytes(t.begin(), t.end())); }

// Each test writes the registry values first and then starts the program.
class SettingsStartup : public VelkorAppTest {
protected:
    SettingsStartup() { startAtSetUp = false; }
};

TEST_F(SettingsStartup, FirstRunShowsTheBareNameAndNoDevice)
{
    Start();
    EXPECT_EQ("Velkor", WindowText(MainWindow()));
    EXPECT_TRUE(MenuState(IDM_OPEN_DEVICE) & MF_GRAYED);
    EXPECT_FALSE(ButtonState(IDM_OPEN_DEVICE_BUTTON) & TBSTATE_ENABLED);
    EXPECT_EQ("Kommando|250", ColumnHeader(0));
    EXPECT_EQ(4u, ReceiveBufferSize());
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(SettingsStartup, ConnectStringGivesTitleAndDeviceControls)
{
    PutText("connectstring", "COM1");
    Start();
    EXPECT_EQ("Velkor  COM1   R:3/500 S:500", WindowText(MainWindow()));
    EXPECT_FALSE(MenuState(IDM_OPEN_DEVICE) & MF_GRAYED);
    EXPECT_TRUE(ButtonState(IDM_OPEN_DEVICE_BUTTON) & TBSTATE_ENABLED);
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(SettingsStartup, TitleShowsTheLoadedTimings)
{
    PutText("connectstring", "\\\\.\\pipe\\velkor");
    PutDword("readblocklen", 16);
    PutDword("readtimeout", 0xFFFFFFFF);
    PutDword("writetimeout", 2000);
    Start();
    EXPECT_EQ("Velkor  \\\\.\\pipe\\velkor   R:16/-1 S:2000", WindowText(MainWindow()));
    EXPECT_EQ(17u, ReceiveBufferSize());
    // Without a connect string the title is the window name again.
    ReplaceConnectString(NULL);
    UpdateTitle();
    EXPECT_EQ("Velkor", WindowText(MainWindow()));
}

TEST_F(SettingsStartup, CommandColumnFollowsTheLoadedDecorations)
{
    PutDword("writepraeff", 0x02);
    PutDword("writesuff", 0x03);
    Start();
    EXPECT_EQ("PF+Kommando+SF|306", ColumnHeader(0));
    Stop();

    PutDword("writepraeff", 0xFF41);
    Start();
    EXPECT_EQ("Kommando+SF|278", ColumnHeader(0));
}

TEST_F(SettingsStartup, BlockLengthThatWrapsIsRefusedWithTheDefaultBuffer)
{
    PutText("connectstring", "COM1");
    PutDword("readblocklen", 0xFFFFFFFF);
    SeenBox box;
    AnswerNextBox(RecordBox(&box, IDOK));
    Start();
    ASSERT_TRUE(box.seen);
    ExpectBox(box, "VELKOR empfangen",
              "Die Blocklaenge 4294967295 ist zu gross:\r\nhoechstens 1048576 Bytes je Block sind moeglich.\r\n"
              "Es gilt weiter die Blocklaenge 3.",
              MB_ICONERROR | MB_OK);
    EXPECT_EQ(MainWindow(), box.owner);
    // The program goes on with a buffer that matches the record.
    EXPECT_EQ(3u, Settings().readBlockLength);
    EXPECT_EQ(4u, ReceiveBufferSize());
    EXPECT_TRUE(ReceiveBuffer() != NULL);
    EXPECT_EQ("Velkor  COM1   R:3/500 S:500", WindowText(MainWindow()));
    EXPECT_EQ("VelKor gestartet", LogLines().at(0).substr(16));

    // The length in force is stored at exit, so the next start is clean.
    Stop();
    Bytes stored;
    EXPECT_TRUE(GetVelkorValue("readblocklen", &stored));
    EXPECT_EQ(DwordBytes(3), stored);
}

TEST_F(SettingsStartup, BlockLengthsAtTheLimit)
{
    struct Case {
        DWORD length;
        bool refused;
        size_t bufferSize;
    };
    const Case cases[] = {
        {0, false, 2},
        {1, false, 2},
        {READ_BLOCK_LENGTH_LIMIT, false, READ_BLOCK_LENGTH_LIMIT + 1},
        {READ_BLOCK_LENGTH_LIMIT + 1, true, 4},
        {0x80000000, true, 4},
    };
    for (const Case &c : cases) {
        ClearSeenBoxes();
        ClearVelkorRegistry();
        PutDword("readblocklen", c.length);
        SeenBox box;
        if (c.refused)
            AnswerNextBox(RecordBox(&box, IDOK));
        Start();
        EXPECT_EQ(c.refused, box.seen) << c.length;
        EXPECT_EQ(c.bufferSize, ReceiveBufferSize()) << c.length;
        EXPECT_EQ(c.refused ? 3u : c.length, Settings().readBlockLength) << c.length;
        if (c.refused) {
            EXPECT_EQ("VELKOR empfangen", box.caption);
        }
        Stop();
    }
}

TEST_F(SettingsStartup, RefusalKeepsThePreviousBuffer)
{
    PutDword("readblocklen", 40);
    Start();
    unsigned char *before = ReceiveBuffer();
    ASSERT_EQ(41u, ReceiveBufferSize());

    SeenBox box;
    AnswerNextBox(RecordBox(&box, IDOK));
    EXPECT_FALSE(AllocateReceiveBuffer(0xFFFFFFFF));
    ASSERT_TRUE(box.seen);
    EXPECT_NE(std::string::npos, box.text.find("Es gilt weiter die Blocklaenge 40.")) << box.text;
    EXPECT_EQ(before, ReceiveBuffer());
    EXPECT_EQ(41u, ReceiveBufferSize());

    // A length within the limit replaces it.
    EXPECT_TRUE(AllocateReceiveBuffer(READ_BLOCK_LENGTH_LIMIT));
    EXPECT_EQ((size_t)READ_BLOCK_LENGTH_LIMIT + 1, ReceiveBufferSize());
    ReceiveBuffer()[READ_BLOCK_LENGTH_LIMIT] = 0x5A; // the whole buffer is usable
}

TEST_F(SettingsStartup, ExitStoresTheSettings)
{
    Start();
    ReplaceConnectString("COM2");
    Settings().readTimeoutMs = 1234;
    Stop();
    Bytes stored;
    EXPECT_TRUE(GetVelkorValue("readtimeout", &stored));
    EXPECT_EQ(DwordBytes(1234), stored);
    EXPECT_EQ(NULL, Settings().connectString);
    Start();
    EXPECT_EQ("Velkor  COM2   R:3/1234 S:500", WindowText(MainWindow()));
}
