// Keys of the command list and the log through the program's message loop:
// copying to the real clipboard, and Enter sending the selected command.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "base/appwindows.h"
#include "log/messagelog.h"

#include "support.h"

typedef VelkorAppTest Keys;

TEST_F(Keys, CtrlCAndCtrlInsertCopyTheSelectedLogLineAsShown)
{
    LogMessage("Größe geprüft", LOG_EVENT);
    HWND log = MessageLog();
    std::vector<std::string> lines = LogLines();
    for (UINT key : {(UINT)'C', (UINT)VK_INSERT}) {
        ASSERT_TRUE(SetClipboardText("vorher"));
        SendMessageA(log, LB_SETCURSEL, lines.size() - 1, 0);
        PressKeyInLoop(log, key, true);
        EXPECT_EQ(lines.back(), ClipboardText()); // Windows-1252, no CR LF
        EXPECT_EQ(0u, ClipboardText(CF_UNICODETEXT).find(std::string("+\0 \0", 4)));
    }
    // C without Ctrl, and Ctrl+C without a selected line, leave the clipboard alone.
    ASSERT_TRUE(SetClipboardText("vorher"));
    PressKeyInLoop(log, 'C', false);
    SendMessageA(log, LB_SETCURSEL, (WPARAM)-1, 0);
    PressKeyInLoop(log, 'C', true);
    EXPECT_EQ("vorher", ClipboardText());

    // Held by another program: the copy gives up and the clipboard keeps its text.
    SendMessageA(log, LB_SETCURSEL, 0, 0);
    HANDLE opened = CreateEventA(NULL, TRUE, FALSE, NULL), done = CreateEventA(NULL, TRUE, FALSE, NULL);
    std::thread holder([&] {
        OpenClipboard(NULL);
        SetEvent(opened);
        WaitForSingleObject(done, 10000);
        CloseClipboard();
    });
    WaitForSingleObject(opened, 10000);
    PressKeyInLoop(log, 'C', true);
    SetEvent(done);
    holder.join();
    CloseHandle(opened);
    CloseHandle(done);
    EXPECT_EQ("vorher", ClipboardText());
}

TEST_F(Keys, CtrlCCopiesTheSelectedCommandWithItsRemark)
{
    InsertListEntry("0x02   0x10 0x20  0x03", "Bemerkung ä");
    InsertListEntry(" 0x30", "");
    MarkEntry(0);
    PressKeyInLoop(CommandList(), 'C', true);
    EXPECT_EQ("0x02   0x10 0x20  0x03\tBemerkung ä", ClipboardText());
    // The German locale beside the text makes "ä" (E4) the Unicode letter U+00E4.
    std::string wide = ClipboardText(CF_UNICODETEXT);
    EXPECT_EQ(std::string("\xE4\0", 2), wide.substr(wide.size() - 2));
}

class EnterKey : public VelkorPeerTest {};

TEST_F(EnterKey, SendsTheSelectedCommandOnlyWhileSendingIsPossible)
{
    InsertListEntry(" 0x41 0x42", "AB");
    size_t lines = LogLines().size();
    MarkEntry(0);
    PressKeyInLoop(CommandList(), VK_RETURN); // device closed: no box, no line
    EXPECT_EQ(lines, LogLines().size());

    peer = StartPipePeer(UniqueName("velkor-enter"));
    OpenPeer();
    MarkEntry(-1);
    PressKeyInLoop(CommandList(), VK_RETURN); // nothing selected
    MarkEntry(0);
    PressKeyInLoop(CommandList(), VK_RETURN);
    ASSERT_TRUE(WaitPeerReceived(peer, 2, 5000));
    PumpFor(200);
    EXPECT_EQ(HexBytes("41 42"), PeerReceived(peer)); // once: the selected entry, sent once
}
