// The command edit dialog and the bit-pattern view, run by the real menu
// commands and right-clicks and answered as a user would.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <map>

#include "base/appwindows.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include "support.h"

static const OptionalByte OFF = 0xFF00;
static const char NEW_TITLE[] = "neues Kommando zufuegen";
static const char EDIT_TITLE[] = "markiertes Kommando bearbeiten";
static const char HEX_WARNING[] = "Nur 2 stellige Hexadezimalzahl oder leeres Feld sind gueltig!\n"
                                  "0-9 und a/A - f/F oder Leerzeichen verwenden";

// Work this thread runs inside whatever modal loop it is in, once its
// condition holds (after 5 s in any case, so a failing test does not hang).
struct Delayed {
    std::function<bool()> condition;
    std::function<void()> work;
    DWORD since;
};
static std::map<UINT_PTR, Delayed> delayed;

static void CALLBACK DelayedTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    auto found = delayed.find(id);
    if (found == delayed.end() || (!found->second.condition() && GetTickCount() - found->second.since < 5000))
        return;
    KillTimer(NULL, id);
    std::function<void()> work = found->second.work;
    delayed.erase(found);
    work();
}

// A timer message comes only when no posted message waits: what was posted
// before is handled by the time condition is first asked.
static void When(std::function<bool()> condition, std::function<void()> work)
{
    UINT_PTR id = SetTimer(NULL, 0, 10, DelayedTimerProc);
    if (id)
        delayed[id] = Delayed{condition, work, GetTickCount()};
}

// What dialog 807 showed when it was answered.
struct CommandDialogView {
    bool seen = false;
    std::string title;
    std::string bytes[8]; // COMMAND_BYTE_BOXES
    std::string remark;
    RECT rect = {0, 0, 0, 0}; // screen rectangle
    int focusId = 0;          // control with the keyboard focus
};

static CommandDialogView ReadCommandDialog(HWND dialog)
{
    CommandDialogView view;
    view.seen = true;
    view.title = WindowText(dialog);
    for (int k = 0; k < 8; k++)
        view.bytes[k] = ControlText(dialog, COMMAND_BYTE_BOXES[k]);
    view.remark = ControlText(dialog, IDC_REMARK);
    GetWindowRect(dialog, &view.rect);
    HWND focus = GetFocus();
    view.focusId = focus && GetParent(focus) == dialog ? GetDlgCtrlID(focus) : 0;
    return view;
}

class CommandEditing : public VelkorAppTest {
protected:
    // Runs command with dialog 807 answered by answer; what the dialog showed before.
    CommandDialogView Answer(int command, BoxAction answer)
    {
        CommandDialogView view;
        AnswerNextBox([&view, answer](HWND dialog, const SeenBox &seen) {
            view = ReadCommandDialog(dialog);
            answer(dialog, seen);
        });
        RunCommand(command);
        return view;
    }
    CommandDialogView Add(const std::vector<std::string> &bytes, const char *remark, int button = IDOK)
    {
        return Answer(IDM_ADD_COMMAND, FillCommandDialog(bytes, remark, button));
    }
    CommandDialogView Edit(int n, const std::vector<std::string> &bytes, const char *remark, int button = IDOK)
    {
        MarkEntry(n);
        return Answer(IDM_EDIT_COMMAND, FillCommandDialog(bytes, remark, button));
    }
    // Opens the edit dialog on entry n and cancels it; what it showed.
    CommandDialogView Look(int n)
    {
        MarkEntry(n);
        return Answer(IDM_EDIT_COMMAND, RecordBox(NULL, IDC_CMD_CANCEL));
    }
};

TEST_F(CommandEditing, AddingWithoutBytesAddsNothingButTheListSizeRuleRuns)
{
    Remember("Z:\\alt.cmd");
    CommandDialogView view = Add({}, "nur Notiz");
    ASSERT_TRUE(view.seen);
    EXPECT_EQ(NEW_TITLE, view.title);
    for (int k = 0; k < 8; k++)
        EXPECT_EQ("", view.bytes[k]) << k;
    EXPECT_EQ("", view.remark);
    EXPECT_EQ(IDC_BYTE0, view.focusId);
    EXPECT_EQ(0, ListItemCount());
    EXPECT_EQ("(none)", NameOrNone());
    EXPECT_TRUE(SaveOffered(false));

    Add({"  ", " ", "", " "}, "");
    EXPECT_EQ(0, ListItemCount());
}

TEST_F(CommandEditing, TypedBytesAreStoredAsTwoDigitsWithTheDecorationsInForce)
{
    Add({"5", " 5", "5 ", "  ", "a", "Ab", "ff"}, "Notiz");
    Settings().sendPrefix = 0x02;
    Settings().sendSuffix = 0x03;
    Add({"", "7"}, "");
    std::vector<std::string> expected = {" 0x05 0x05 0x05 0x0A 0xAB 0xFF|Notiz", "0x02   0x07  0x03|"};
    EXPECT_EQ(expected, ListEntries());

    // The gap closed up: the byte now stands in the first box.
    CommandDialogView view = Look(1);
    EXPECT_EQ(EDIT_TITLE, view.title);
    EXPECT_EQ("07", view.bytes[0]);
    EXPECT_EQ("", view.bytes[1]);
}

TEST_F(CommandEditing, EditShowsTheEntryAndOkReplacesIt)
{
    InsertListEntry(" 0x01 0x02", "Reset");
    InsertListEntry(" 0x0A 0x0B 0x0C 0x0D 0x0E 0x0F 0x10 0x11", "acht");
    InsertListEntry(" 0xFF", "");
    CommandDialogView view = Edit(1, {"1b", "", "c"}, "neu");
    ASSERT_TRUE(view.seen);
    EXPECT_EQ(EDIT_TITLE, view.title);
    const char *shown[8] = {"0A", "0B", "0C", "0D", "0E", "0F", "10", "11"};
    for (int k = 0; k < 8; k++)
        EXPECT_EQ(shown[k], view.bytes[k]) << k;
    EXPECT_EQ("acht", view.remark);
    EXPECT_EQ(IDC_BYTE0, view.focusId);
    std::vector<std::string> expected = {" 0x01 0x02|Reset", " 0x1B 0x0C|neu", " 0xFF|"};
    EXPECT_EQ(expected, ListEntries());
}

TEST_F(CommandEditing, ALongRemarkIsCutTo254Characters)
{
    std::string remark(300, 'x');
    Add({"1"}, remark.c_str());
    EXPECT_EQ(std::string(254, 'x'), ListText(0, 1));
}

TEST_F(CommandEditing, EmptyingEveryBoxDeletesTheEntryAndDropsTheNameBelowTwo)
{
    InsertListEntry(" 0x01", "eins");
    InsertListEntry(" 0x02", "zwei");
    InsertListEntry(" 0x03", "drei");
    Remember("Z:\\geladen.cmd");
    Edit(0, {}, "egal");
    EXPECT_EQ((std::vector<std::string>{" 0x02|zwei", " 0x03|drei"}), ListEntries());
    EXPECT_EQ("Z:\\geladen.cmd", NameOrNone());
    EXPECT_TRUE(SaveOffered());

    Edit(1, {"  ", " "}, "egal");
    EXPECT_EQ((std::vector<std::string>{" 0x02|zwei"}), ListEntries());
    EXPECT_EQ("(none)", NameOrNone());
    EXPECT_TRUE(SaveOffered(false));
}

TEST_F(CommandEditing, TheSecondEntryMakesVelkorCmdTheNameAndOffersSaving)
{
    Add({"1"}, "erstes");
    EXPECT_EQ("(none)", NameOrNone());
    EXPECT_TRUE(SaveOffered(false));
    Add({"2"}, "zweites");
    EXPECT_EQ("velkor.cmd", NameOrNone());
    EXPECT_TRUE(SaveOffered());

    // The save dialog proposes it.
    FileDialogView save;
    AnswerNextBox(ChooseFile("", &save));
    RunCommand(IDM_SAVE_COMMANDS);
    EXPECT_EQ("velkor.cmd", save.initialName);

    // A remembered name stays.
    Remember("Z:\\eigene.cmd");
    Add({"3"}, "drittes");
    EXPECT_EQ("Z:\\eigene.cmd", NameOrNone());
}

TEST_F(CommandEditing, TheNewCommandMarkerAsARemark)
{
    Add({"1"}, "##@@&&%%");
    EXPECT_EQ((std::vector<std::string>{" 0x01|##@@&&%%"}), ListEntries());

    // Edited, it opens as a new command, but OK replaces that entry.
    CommandDialogView view = Edit(0, {"7"}, NULL);
    EXPECT_EQ(NEW_TITLE, view.title);
    for (int k = 0; k < 8; k++)
        EXPECT_EQ("", view.bytes[k]) << k;
    EXPECT_EQ("", view.remark);
    EXPECT_EQ((std::vector<std::string>{" 0x07|"}), ListEntries());

    InsertListEntry(" 0x02", "##@@&&%%");
    Edit(1, {}, NULL);
    EXPECT_EQ((std::vector<std::string>{" 0x07|"}), ListEntries());
}

TEST_F(CommandEditing, EditWithoutAMarkedCommandAddsAtTheEnd)
{
    InsertListEntry(" 0x01", "eins");
    InsertListEntry("", "leer");
    CommandDialogView view = Edit(-1, {"9"}, "neu");
    EXPECT_EQ(NEW_TITLE, view.title);
    // An entry without a command text is not edited either.
    view = Edit(1, {"8"}, "auch neu");
    EXPECT_EQ(NEW_TITLE, view.title);
    std::vector<std::string> expected = {" 0x01|eins", "|leer", " 0x09|neu", " 0x08|auch neu"};
    EXPECT_EQ(expected, ListEntries());
}

TEST_F(CommandEditing, CancelAndEscChangeNothing)
{
    InsertListEntry(" 0x01", "eins");
    InsertListEntry(" 0x02", "zwei");
    std::vector<std::string> before = ListEntries();
    Edit(0, {"55"}, "anders", IDC_CMD_CANCEL);
    Edit(0, {}, "", IDC_CMD_CANCEL);
    Add({"66"}, "neu", IDC_CMD_CANCEL);
    EXPECT_EQ(before, ListEntries());
    EXPECT_EQ("(none)", NameOrNone()); // the list-size rule did not run
    EXPECT_TRUE(SaveOffered(false));

    // Esc from the keyboard, the focus in a box holding text that would be
    // refused: the dialog ends without a warning about a box nobody sees.
    MarkEntry(1);
    AnswerNextBox([](HWND dialog, const SeenBox &) {
        SetDlgItemTextA(dialog, IDC_BYTE0, "zz");
        PostKey(GetDlgItem(dialog, IDC_BYTE0), VK_ESCAPE);
    });
    RunCommand(IDM_EDIT_COMMAND);
    EXPECT_EQ(before, ListEntries());
    EXPECT_EQ(4u, SeenBoxes().size()) << "three dialogs before, this one, and no warning";
}

TEST_F(CommandEditing, LeavingABoxWithBadTextWarnsAndEmptiesIt)
{
    SeenBox warning;
    int focusAfter = 0;
    std::string textAfter = "?";
    AnswerNextBox([&](HWND dialog, const SeenBox &) {
        SetDlgItemTextA(dialog, IDC_BYTE0, "0x");
        SetDlgItemTextA(dialog, IDC_BYTE1, "12");
        // The user tabs on to the next box.
        PostMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dialog, IDC_BYTE1), TRUE);
        AnswerNextBox([&, dialog](HWND box, const SeenBox &info) {
            RecordBox(&warning, IDRETRY)(box, info);
            When([box] { return !IsWindow(box); }, [&, dialog] {
                HWND focus = GetFocus();
                focusAfter = focus && GetParent(focus) == dialog ? GetDlgCtrlID(focus) : 0;
                textAfter = ControlText(dialog, IDC_BYTE0);
                PressButton(dialog, IDOK);
            });
        });
    });
    RunCommand(IDM_ADD_COMMAND);
    ASSERT_TRUE(warning.seen);
    ExpectBox(warning, "VELKOR", HEX_WARNING, MB_ICONWARNING | MB_RETRYCANCEL);
    EXPECT_EQ(IDC_BYTE0, focusAfter) << "Retry puts the focus back";
    EXPECT_EQ("", textAfter);
    EXPECT_EQ((std::vector<std::string>{" 0x12|"}), ListEntries());
}

TEST_F(CommandEditing, AcceptingFromTheKeyboardStoresAnUncheckedBox)
{
    AnswerNextBox([](HWND dialog, const SeenBox &) {
        SetDlgItemTextA(dialog, IDC_BYTE0, "g");
        PostKey(GetDlgItem(dialog, IDC_BYTE0), VK_RETURN);
    });
    RunCommand(IDM_ADD_COMMAND);
    EXPECT_EQ(1u, SeenBoxes().size()) << "no warning after the dialog was accepted";
    EXPECT_EQ((std::vector<std::string>{" 0x0G|"}), ListEntries());
}

TEST_F(CommandEditing, TheDialogOpensBelowTheMiddleOfTheListWhereverThatIs)
{
    for (POINT at : {POINT{40, 30}, POINT{-300, 700}}) {
        MoveWindow(MainWindow(), at.x, at.y, 900, 500, TRUE);
        PumpPending();
        RECT list;
        GetWindowRect(CommandList(), &list);
        CommandDialogView view = Add({}, NULL, IDC_CMD_CANCEL);
        ASSERT_TRUE(view.seen);
        EXPECT_EQ(list.left + (list.right - list.left) / 2 - 250, view.rect.left) << at.x;
        EXPECT_EQ(list.bottom - 50, view.rect.top) << at.x;
    }
}

TEST_F(CommandEditing, TheBitViewShowsTheBytesAsSentAndOnlyItsOkClosesIt)
{
    Settings().sendPrefix = 0x02;
    Settings().sendSuffix = 0x03;
    std::string bits;
    RECT owner = {0, 0, 0, 0};
    RECT placed = {0, 0, 0, 0};
    bool survivedEsc = false;
    std::string remarkAfter;
    AnswerNextBox([&](HWND dialog, const SeenBox &) {
        SetDlgItemTextA(dialog, IDC_BYTE0, "1");
        SetDlgItemTextA(dialog, IDC_BYTE1, "a5");
        SetDlgItemTextA(dialog, IDC_REMARK, "Notiz");
        PressButton(dialog, IDC_BITPATTERN);
        AnswerNextBox([&, dialog](HWND view, const SeenBox &) {
            bits = ControlText(view, IDC_BITTEXT);
            // The template places the view's client area at the owner's.
            POINT origin = {0, 0};
            ClientToScreen(dialog, &origin);
            owner = {origin.x, origin.y, 0, 0};
            POINT client = {0, 0};
            ClientToScreen(view, &client);
            placed = {client.x, client.y, 0, 0};
            // Esc from the keyboard, the cancel command and closing: all ignored.
            PostKey(GetFocus(), VK_ESCAPE);
            PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            PostMessageA(view, WM_CLOSE, 0, 0);
            When([] { return true; }, [&, dialog, view] {
                survivedEsc = IsWindow(view) && IsWindowVisible(view);
                PressButton(view, IDOK);
                When([view] { return !IsWindow(view); }, [&, dialog] {
                    remarkAfter = ControlText(dialog, IDC_REMARK);
                    PressButton(dialog, IDOK);
                });
            });
        });
    });
    RunCommand(IDM_ADD_COMMAND);
    EXPECT_EQ(" 00000010  00000001 10100101  00000011 ", bits);
    EXPECT_EQ(39u, bits.size());
    EXPECT_TRUE(survivedEsc);
    EXPECT_EQ(owner.left - 50, placed.left);
    EXPECT_EQ(owner.top + 80, placed.top);
    EXPECT_EQ("Notiz", remarkAfter);
    EXPECT_EQ((std::vector<std::string>{"0x02   0x01 0xA5  0x03|Notiz"}), ListEntries());
}

TEST_F(CommandEditing, TheBitViewForOtherBoxesAndSettings)
{
    struct Case {
        OptionalByte prefix, suffix;
        std::vector<std::string> bytes;
        const char *bits;
    } cases[] = {
        {0x05, OFF, {"f", "  ", "g", "Z9"}, " 00000101  00001111 00001111 11111001 "},
        {OFF, OFF, {}, " "},
        {OFF, 0x1FF, {"12", "", "", "", "", "", "", "34"}, " 00010010 00110100 "},
        {OFF, 0xFF, {"Ab"}, " 10101011  11111111 "},
    };
    for (Case &c : cases) {
        Settings().sendPrefix = c.prefix;
        Settings().sendSuffix = c.suffix;
        std::string bits = "?";
        std::vector<std::string> bytes = c.bytes;
        AnswerNextBox([&bits, bytes](HWND dialog, const SeenBox &) {
            for (size_t k = 0; k < bytes.size(); k++)
                SetDlgItemTextA(dialog, COMMAND_BYTE_BOXES[k], bytes[k].c_str());
            PressButton(dialog, IDC_BITPATTERN);
            AnswerNextBox([&bits, dialog](HWND view, const SeenBox &) {
                bits = ControlText(view, IDC_BITTEXT);
                PressButton(view, IDOK);
                When([view] { return !IsWindow(view); }, [dialog] { PressButton(dialog, IDC_CMD_CANCEL); });
            });
        });
        RunCommand(IDM_ADD_COMMAND);
        EXPECT_EQ(c.bits, bits);
    }
    EXPECT_EQ(0, ListItemCount());
}

// Right-clicks on the list at a screen position; the title of the dialog
// that opened (the dialog is cancelled).
static std::string RightClickAt(int x, int y)
{
    std::string title = "(no dialog)";
    AnswerNextBox([&title](HWND dialog, const SeenBox &) {
        title = ReadCommandDialog(dialog).title;
        PressButton(dialog, IDC_CMD_CANCEL);
    });
    SendMessageA(MainWindow(), WM_CONTEXTMENU, (WPARAM)CommandList(), MAKELPARAM(x, y));
    PumpPending();
    return title;
}

// The command text's rectangle of entry n as the right-click rule sees it:
// the label rectangle offset by the list's window rectangle.
static RECT LabelOnScreen(int n)
{
    RECT window, label;
    GetWindowRect(CommandList(), &window);
    label.top = 0;
    label.left = LVIR_LABEL;
    SendMessageA(CommandList(), LVM_GETSUBITEMRECT, n, (LPARAM)&label);
    OffsetRect(&label, window.left, window.top);
    return label;
}

TEST_F(CommandEditing, RightClickEditsOnlyOnTheMarkedCommandTextAlsoLeftOfAndAboveTheScreen)
{
    InsertListEntry(" 0x01", "eins");
    InsertListEntry(" 0x02", "zwei");
    InsertListEntry(" 0x03", "drei");
    // A second monitor left of and above the main one has negative coordinates.
    MoveWindow(MainWindow(), -700, -400, 1000, 700, TRUE);
    PumpPending();
    MarkEntry(1);
    RECT r = LabelOnScreen(1);
    int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    ASSERT_LT(x, 0);
    ASSERT_LT(y, 0);

    EXPECT_EQ(EDIT_TITLE, RightClickAt(x, y));
    EXPECT_EQ(EDIT_TITLE, RightClickAt(r.left + 1, r.top + 1));
    EXPECT_EQ(EDIT_TITLE, RightClickAt(r.right - 1, r.bottom - 1));
    // The edges themselves are outside.
    EXPECT_EQ(NEW_TITLE, RightClickAt(r.left, y));
    EXPECT_EQ(NEW_TITLE, RightClickAt(x, r.top));
    EXPECT_EQ(NEW_TITLE, RightClickAt(r.right, y));
    EXPECT_EQ(NEW_TITLE, RightClickAt(x, r.bottom));
    // The remark column, another entry, nothing marked.
    EXPECT_EQ(NEW_TITLE, RightClickAt(r.right + 20, y));
    RECT other = LabelOnScreen(2);
    EXPECT_EQ(NEW_TITLE, RightClickAt(x, (other.top + other.bottom) / 2));
    MarkEntry(-1);
    EXPECT_EQ(NEW_TITLE, RightClickAt(x, y));
    EXPECT_EQ(3, ListItemCount());
}

static void ExpectItem(const TemplateItem &item, WORD atom, int id, const char *text, short x, short y, short cx,
                       short cy)
{
    SCOPED_TRACE(std::string("control ") + std::to_string(id) + " " + text);
    EXPECT_EQ(atom, item.classAtom);
    EXPECT_EQ(id, item.id);
    EXPECT_EQ(text, item.text);
    EXPECT_EQ(x, item.x);
    EXPECT_EQ(y, item.y);
    EXPECT_EQ(cx, item.cx);
    EXPECT_EQ(cy, item.cy);
    EXPECT_TRUE(item.style & WS_VISIBLE);
    if (atom == 0x81) { // edit boxes: border, scrolling, tab stop, nothing else
        EXPECT_TRUE(item.style & WS_BORDER);
        EXPECT_TRUE(item.style & ES_AUTOHSCROLL);
        EXPECT_TRUE(item.style & WS_TABSTOP);
        EXPECT_FALSE(item.style & (ES_UPPERCASE | ES_LOWERCASE | ES_READONLY | ES_NUMBER));
    }
}

// Both dialogs: a modal frame with a caption, in 8 point Arial.
static void ExpectFrame(const DialogTemplateView &dialog, short cx, short cy, const char *title)
{
    EXPECT_EQ((DWORD)(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT), dialog.style) << title;
    EXPECT_EQ(cx, dialog.cx) << title;
    EXPECT_EQ(cy, dialog.cy) << title;
    EXPECT_EQ(title, dialog.title);
    EXPECT_EQ("Arial", dialog.font) << title;
    EXPECT_EQ(8, dialog.pointSize) << title;
}

TEST(CommandDialogTemplates, AreAsDesigned)
{
    DialogTemplateView command = ReadDialogTemplate(IDD_COMMAND);
    EXPECT_TRUE(command.extended);
    ExpectFrame(command, 279, 109, "Kommand bearbeiten");
    ASSERT_EQ(30u, command.items.size());
    const short labelX[8] = {20, 51, 82, 113, 144, 176, 207, 239};
    const short prefixX[8] = {15, 46, 77, 108, 140, 171, 203, 235};
    const short boxX[8] = {23, 54, 85, 116, 148, 179, 211, 243};
    for (int k = 0; k < 8; k++) {
        ExpectItem(command.items[k], 0x82, -1, ("Byte" + std::to_string(k)).c_str(), labelX[k], 18, 20, 8);
        ExpectItem(command.items[8 + k], 0x82, -1, "0x", prefixX[k], 30, 8, 8);
        ExpectItem(command.items[17 + k], 0x81, COMMAND_BYTE_BOXES[k], "", boxX[k], 28, 19, 14);
    }
    ExpectItem(command.items[16], 0x82, -1, "Notiz", 7, 53, 17, 8);
    ExpectItem(command.items[25], 0x81, IDC_REMARK, "", 7, 62, 265, 14);
    ExpectItem(command.items[26], 0x80, IDC_CMD_CANCEL, "&Abbrechen", 56, 87, 50, 14);
    ExpectItem(command.items[27], 0x80, IDOK, "&Ok", 172, 87, 50, 14);
    ExpectItem(command.items[28], 0x80, -1, "Kommando", 7, 10, 265, 40);
    ExpectItem(command.items[29], 0x80, IDC_BITPATTERN, "&Bitmuster", 113, 87, 50, 14);
    for (int i : {26, 27, 29}) { // tab stops, no default button
        EXPECT_EQ((DWORD)BS_PUSHBUTTON, command.items[i].style & 0xF) << i;
        EXPECT_TRUE(command.items[i].style & WS_TABSTOP) << i;
    }
    EXPECT_EQ((DWORD)BS_GROUPBOX, command.items[28].style & 0xF);

    DialogTemplateView bits = ReadDialogTemplate(IDD_BITPATTERN);
    ExpectFrame(bits, 369, 71, "Bitmuster (ggf. mit PF und SF)");
    EXPECT_EQ(0, bits.x);
    EXPECT_EQ(0, bits.y);
    ASSERT_EQ(3u, bits.items.size());
    ExpectItem(bits.items[0], 0x80, IDOK, "OK", 159, 50, 50, 14);
    EXPECT_EQ((DWORD)BS_DEFPUSHBUTTON, bits.items[0].style & 0xF);
    ExpectItem(bits.items[1], 0x81, IDC_BITTEXT, "", 7, 29, 355, 14);
    ExpectItem(bits.items[2], 0x82, -1,
               "Die Leerzeichen werden nicht mit uebertragen.\nSie sind nur zur besseren Lesbarkeit eingefuegt", 7, 8,
               174, 17);
}
