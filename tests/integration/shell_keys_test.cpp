// Keys of the command list and the log through the program's message loop:
// copying to the real clipboard, and Enter sending the selected command.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "base/appwindows.h"
#include "log/messagelog.h"

#include "support.h"

typedef VelkorAppTest Keys;

TEST_F(Keys, CtrlCAndCtrlInsertCopyTheSelectedLineOrCommandAsShown)
{
    LogMessage("Größe geprüft", LOG_EVENT);
    std::string line = LogLines().back();
    for (UINT key : {(UINT)'C', (UINT)VK_INSERT}) {
        ASSERT_TRUE(SetClipboardText("vorher"));
        SendMessageA(MessageLog(), LB_SETCURSEL, LogLines().size() - 1, 0);
        PressKeyInLoop(MessageLog(), key, true);
        EXPECT_EQ(line, ClipboardText()); // Windows-1252, no CR LF
    }
    InsertListEntry("0x02   0x10 0x20  0x03", "Bemerkung ä");
    MarkEntry(0);
    PressKeyInLoop(CommandList(), 'C', true);
    EXPECT_EQ("0x02   0x10 0x20  0x03\tBemerkung ä", ClipboardText());
    // The German locale beside the text makes "ä" (E4) the Unicode letter U+00E4.
    std::string wide = ClipboardText(CF_UNICODETEXT);
    EXPECT_EQ(std::string("\xE4\0", 2), wide.substr(wide.size() - 2));
}

TEST_F(Keys, NoSelectedLineOrABusyClipboardCopiesNothing)
{
    ASSERT_TRUE(SetClipboardText("vorher"));
    PressKeyInLoop(MessageLog(), 'C', true);
    SendMessageA(MessageLog(), LB_SETCURSEL, 0, 0);
    std::promise<void> opened, done;
    std::thread holder([&] {
        OpenClipboard(NULL);
        opened.set_value();
        done.get_future().wait();
        CloseClipboard();
    });
    opened.get_future().wait();
    PressKeyInLoop(MessageLog(), 'C', true);
    done.set_value();
    holder.join();
    EXPECT_EQ("vorher", ClipboardText());
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
    EXPECT_EQ(HexBytes("41 42"), PeerReceived(peer)); // the selected entry, once
}
