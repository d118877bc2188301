// Command entries in the real list, the hex-field warnings and the
// re-rendering after the prefix or suffix changed.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <stdlib.h>

#include "base/appwindows.h"
#include "commands/commandlist.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include "support.h"

static const char HEX_WARNING[] = "Nur 2 stellige Hexadezimalzahl oder leeres Feld sind gueltig!\n"
                                  "0-9 und a/A - f/F oder Leerzeichen verwenden";
static const char CONVERT_WARNING[] = "Fehler beim konvertieren des Sendestrings";

class CommandListTest : public VelkorAppTest {
protected:
    void TearDown() override
    {
        if (dialog)
            DestroyWindow(dialog);
        VelkorAppTest::TearDown();
    }

    // The command dialog's template, hosted modeless with a procedure that
    // does nothing, gives ValidateHexField real edit boxes.
    static INT_PTR CALLBACK HostProc(HWND, UINT message, WPARAM, LPARAM)
    {
        return message == WM_INITDIALOG;
    }
    HWND OpenHost()
    {
        // The answerer takes every new #32770 window for a box: let it see the
        // host once and leave it alone.
        AnswerNextBox(BoxAction());
        dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_COMMAND), MainWindow(), HostProc, 0);
        EXPECT_TRUE(dialog != NULL);
        ShowWindow(dialog, SW_SHOW);
        SetForegroundWindow(dialog);
        EXPECT_TRUE(PumpUntil([] { return PendingAnswers() == 0; }, 5000));
        ClearSeenBoxes();
        return dialog;
    }
    std::string BoxText(int id) { return ControlText(dialog, id); }

    HWND dialog = NULL;
};

static void FillWorkingCommand(std::initializer_list<const char *> fields, const char *remark)
{
    CommandBuffer &b = WorkingCommand();
    int k = 0;
    for (const char *f : fields)
        lstrcpynA(b.byteField[k++], f, 3);
    for (; k < 8; k++)
        b.byteField[k][0] = 0;
    lstrcpynA(b.remark, remark, sizeof b.remark);
}

TEST_F(CommandListTest, ColumnsAreInsertedForTheCurrentSettings)
{
    EXPECT_EQ("Kommando|250", ColumnHeader(0));
    EXPECT_EQ("Bemerkung|", ColumnHeader(1).substr(0, 10));

    // A fresh list shows the remark column's starting width, before the
    // main window's layout stretches it.
    Settings().sendPrefix = 0x00;
    Settings().sendSuffix = 0xFF;
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | LVS_REPORT, 0, 0, 600, 100, MainWindow(), NULL,
                                GetModuleHandleA(NULL), NULL);
    ASSERT_TRUE(list != NULL);
    InsertCommandColumns(list);
    EXPECT_EQ("PF+Kommando+SF|306", ColumnHeader(0, list));
    EXPECT_EQ("Bemerkung|100", ColumnHeader(1, list));
    DestroyWindow(list);
}

TEST_F(CommandListTest, ValidTextsPassWithoutABox)
{
    OpenHost();
    for (const char *text : {"", "a", "A5", "5", "b9", " 5", "5 ", "  ", " "}) {
        SetDlgItemTextA(dialog, IDC_BYTE0, text);
        ValidateHexField(dialog, IDC_BYTE0, text);
        EXPECT_EQ(text, BoxText(IDC_BYTE0));
    }
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(CommandListTest, RefusedTextWarnsEmptiesAndRetryReturnsTheFocus)
{
    OpenHost();
    HWND byte0 = GetDlgItem(dialog, IDC_BYTE0);
    HWND byte1 = GetDlgItem(dialog, IDC_BYTE1);
    for (const char *text : {"G", "0x", "123", "1-", "\xF6"}) {
        ClearSeenBoxes();
        SetDlgItemTextA(dialog, IDC_BYTE0, text);
        SetFocus(byte1); // the user tabbed on
        ASSERT_EQ(byte1, GetFocus());
        SeenBox box;
        AnswerNextBox(RecordBox(&box, IDRETRY));
        ValidateHexField(dialog, IDC_BYTE0, text);
        EXPECT_EQ(1u, SeenBoxes().size()) << text;
        ASSERT_TRUE(box.seen) << text;
        ExpectBox(box, "VELKOR", HEX_WARNING, MB_ICONWARNING | MB_RETRYCANCEL);
        EXPECT_EQ(dialog, box.owner);
        EXPECT_EQ("", BoxText(IDC_BYTE0)) << text;
        EXPECT_EQ(byte0, GetFocus()) << text;
    }
}

TEST_F(CommandListTest, CancelEmptiesTheBoxAndLeavesTheFocus)
{
    OpenHost();
    HWND byte0 = GetDlgItem(dialog, IDC_BYTE0);
    HWND byte1 = GetDlgItem(dialog, IDC_BYTE1);
    SetDlgItemTextA(dialog, IDC_BYTE0, "zz");
    SetFocus(byte1);
    SeenBox box;
    AnswerNextBox(RecordBox(&box, IDCANCEL));
    ValidateHexField(dialog, IDC_BYTE0, "zz");
    EXPECT_EQ(1u, SeenBoxes().size());
    EXPECT_EQ(HEX_WARNING, box.text);
    EXPECT_EQ("", BoxText(IDC_BYTE0));
    EXPECT_NE(byte0, GetFocus());
}

TEST_F(CommandListTest, HexPairToByteWarnsOnceWithTheValueSoFar)
{
    bool converted = false;
    EXPECT_EQ(0x1B, HexPairToByte("1b", &converted));
    EXPECT_TRUE(converted);
    EXPECT_EQ(0x1B, HexPairToByte("1B"));
    EXPECT_EQ(0xF0, HexPairToByte("f0"));
    EXPECT_TRUE(SeenBoxes().empty());

    struct { const char *text; int value; } bad[] = {{"G1", 0}, {"1G", 0x10}, {"", 0}, {"7", 0x70}, {" 5", 0}};
    for (auto &c : bad) {
        ClearSeenBoxes();
        SeenBox box;
        AnswerNextBox(RecordBox(&box, IDOK));
        EXPECT_EQ(c.value, HexPairToByte(c.text, &converted)) << c.text;
        EXPECT_FALSE(converted) << c.text;
        EXPECT_EQ(1u, SeenBoxes().size()) << c.text;
        ASSERT_TRUE(box.seen) << c.text;
        ExpectBox(box, "VELKOR senden", CONVERT_WARNING, MB_ICONWARNING | MB_OK);
        EXPECT_EQ(MainWindow(), box.owner);
    }
}

TEST_F(CommandListTest, RenderWritesBothColumnsWithTheCurrentDecorations)
{
    int n = InsertListEntry("", "");
    FillWorkingCommand({"1b", "05"}, "Reset");
    Settings().sendPrefix = 0x02;
    Settings().sendSuffix = 0x03;
    RenderCommandEntry(n);
    EXPECT_EQ("0x02   0x1B 0x05  0x03", ListText(n, 0));
    EXPECT_EQ("Reset", ListText(n, 1));

    Settings().sendPrefix = OPTIONAL_BYTE_OFF;
    Settings().sendSuffix = 0x0103; // off, keeping 03
    FillWorkingCommand({"", "ab"}, "");
    RenderCommandEntry(n);
    EXPECT_EQ(" 0xAB", ListText(n, 0));
    EXPECT_EQ("", ListText(n, 1));
}

TEST_F(CommandListTest, RerenderFollowsPrefixAndSuffixAndKeepsBytesAndRemarks)
{
    InsertListEntry(" 0x01", "eins");
    InsertListEntry(" 0x1B 0x05", "zwei");
    InsertListEntry(" 0x01 0x23 0x45 0x67 0x89 0xAB 0xCD 0xEF", std::string(255, 'r').c_str());

    // Prefix on.
    Settings().sendPrefix = 0x02;
    RerenderCommandList(OPTIONAL_BYTE_OFF, OPTIONAL_BYTE_OFF);
    EXPECT_EQ("0x02   0x01", ListText(0, 0));
    EXPECT_EQ("0x02   0x1B 0x05", ListText(1, 0));
    EXPECT_EQ("0x02   0x01 0x23 0x45 0x67 0x89 0xAB 0xCD 0xEF", ListText(2, 0));
    EXPECT_EQ("eins", ListText(0, 1));
    EXPECT_EQ("zwei", ListText(1, 1));
    EXPECT_EQ(std::string(255, 'r'), ListText(2, 1));
    EXPECT_EQ("PF+Kommando|278", ColumnHeader(0));
    int width1 = ListView_GetColumnWidth(CommandList(), 1);
    RECT client;
    GetClientRect(CommandList(), &client);
    // The remark column, as the last one, fills the rest of the list.
    EXPECT_NE(100, width1);
    EXPECT_LE(std::abs(client.right - 278 - width1), 2) << "client " << client.right << " remark " << width1;

    // Another prefix byte while it stays on.
    Settings().sendPrefix = 0x05;
    RerenderCommandList(0x02, OPTIONAL_BYTE_OFF);
    EXPECT_EQ("0x05   0x1B 0x05", ListText(1, 0));

    // Suffix on as well: the longest text, 52 characters, fits the column.
    Settings().sendSuffix = 0xFF;
    RerenderCommandList(0x05, OPTIONAL_BYTE_OFF);
    EXPECT_EQ("0x05   0x01 0x23 0x45 0x67 0x89 0xAB 0xCD 0xEF  0xFF", ListText(2, 0));
    EXPECT_EQ("0x05   0x01  0xFF", ListText(0, 0));
    EXPECT_EQ("PF+Kommando+SF|306", ColumnHeader(0));

    // Both off again, each keeping its byte: the plain forms come back.
    Settings().sendPrefix = 0xFF05;
    Settings().sendSuffix = 0xFFFF;
    RerenderCommandList(0x05, 0xFF);
    EXPECT_EQ(" 0x01", ListText(0, 0));
    EXPECT_EQ(" 0x1B 0x05", ListText(1, 0));
    EXPECT_EQ(" 0x01 0x23 0x45 0x67 0x89 0xAB 0xCD 0xEF", ListText(2, 0));
    EXPECT_EQ("zwei", ListText(1, 1));
    EXPECT_EQ("Kommando|250", ColumnHeader(0));

    // A changed byte inside an off value counts as a change too.
    Settings().sendPrefix = 0xFF06;
    ListView_SetColumnWidth(CommandList(), 0, 123);
    RerenderCommandList(0xFF05, 0xFFFF);
    EXPECT_EQ(250, ListView_GetColumnWidth(CommandList(), 0));
    EXPECT_EQ(" 0x1B 0x05", ListText(1, 0));
}

TEST_F(CommandListTest, NothingHappensWhenPrefixAndSuffixAreUnchanged)
{
    InsertListEntry("kein Kommando", "bleibt");
    Settings().sendPrefix = 0x02;
    ListView_SetColumnWidth(CommandList(), 0, 123);
    ListView_SetColumnWidth(CommandList(), 1, 77);
    RerenderCommandList(0x02, OPTIONAL_BYTE_OFF);
    EXPECT_EQ("Kommando|123", ColumnHeader(0));
    EXPECT_EQ("Bemerkung|77", ColumnHeader(1));
    EXPECT_EQ("kein Kommando", ListText(0, 0));
    EXPECT_EQ("bleibt", ListText(0, 1));
}

TEST_F(CommandListTest, EmptyListStillGetsTheNewHeader)
{
    Settings().sendSuffix = 0x03;
    RerenderCommandList(OPTIONAL_BYTE_OFF, OPTIONAL_BYTE_OFF);
    EXPECT_EQ("Kommando+SF|278", ColumnHeader(0));
    EXPECT_EQ(0, ListView_GetItemCount(CommandList()));
}

TEST_F(CommandListTest, EntriesWrittenWithTheOldPrefixLoseOnlyTheirDecoration)
{
    // An entry that does not follow the form keeps its text between the
    // decorations, through every change of them, and is saved as loaded.
    Settings().sendPrefix = 0x02;
    InsertListEntry("0x02   0x01 0X02 0x03", "halb");
    InsertListEntry("0x02   0x01 Rest", "");
    Settings().sendPrefix = OPTIONAL_BYTE_OFF;
    RerenderCommandList(0x02, OPTIONAL_BYTE_OFF);
    EXPECT_EQ(" 0x01 0X02 0x03", ListText(0, 0));
    EXPECT_EQ("halb", ListText(0, 1));
    EXPECT_EQ(" 0x01 Rest", ListText(1, 0));
    Settings().sendPrefix = 0x07;
    Settings().sendSuffix = 0x08;
    RerenderCommandList(OPTIONAL_BYTE_OFF, OPTIONAL_BYTE_OFF);
    EXPECT_EQ("0x07   0x01 0X02 0x03  0x08", ListText(0, 0));
    EXPECT_EQ("0x07   0x01 Rest  0x08", ListText(1, 0));
}
