// The command edit dialog and the bit-pattern view.
#include "commands/editdialog.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "base/appwindows.h"
#include "base/dialogframe.h"
#include "base/displayscale.h"
#include "controls/controls.h"
#include "base/commandfilename.h"
#include "commands/commandlist.h"
#include "resources/resource.h"
#include "settings/settings.h"

// The remark that tells the command dialog to start as a new command.
static const char NEW_COMMAND_MARKER[] = "##@@&&%%";

// The byte boxes of dialog 807 for byte fields 0 to 7.
static const int BYTE_BOXES[8] = {IDC_BYTE0, IDC_BYTE1, IDC_BYTE2, IDC_BYTE3,
                                  IDC_BYTE4, IDC_BYTE5, IDC_BYTE6, IDC_BYTE7};

// A byte box is read with room for 15 characters when it is left, with room
// for 2 when it is stored; the remark box with room for 254.
static const int LEFT_BOX_ROOM = 16;
static const int STORED_BOX_ROOM = 3;
static const int REMARK_BOX_ROOM = 255;
// Bit text: a space, 10 for the prefix, 9 per byte, 10 for the suffix.
static const size_t BIT_TEXT_MAX = 93;

static INT_PTR CALLBACK CommandDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
static INT_PTR CALLBACK BitPatternDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Owned by the user-interface thread: set once dialog 807 is being ended, so
// that the focus leaving a box while the dialog goes away validates nothing.
static bool commandDialogEnding;

static bool AllByteFieldsEmpty(const CommandBuffer &buffer)
{
    for (int k = 0; k < 8; k++)
        if (buffer.byteField[k][0])
            return false;
    return true;
}

// Applies an accepted dialog to the list: entry n changed or deleted in edit
// mode, a new entry at the end in add mode (nothing without bytes).
static void ApplyAcceptedCommand(bool edit, int n)
{
    HWND list = CommandList();
    if (AllByteFieldsEmpty(WorkingCommand())) {
        if (edit)
            SendMessageA(list, LVM_DELETEITEM, (WPARAM)n, 0);
        return;
    }
    if (edit) {
        RenderCommandEntry(n);
        return;
    }
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.iItem = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    int index = (int)SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&item);
    if (index >= 0)
        RenderCommandEntry(index);
}

void EditCommand(bool edit)
{
    HWND list = CommandList();
    int n = (int)SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0);
    bool editing = false;
    if (edit && n >= 0) {
        char command[COMMAND_COLUMN_ROOM];
        char remark[REMARK_COLUMN_ROOM];
        GetEntryText(n, 0, command, sizeof command);
        GetEntryText(n, 1, remark, sizeof remark);
        if (command[0]) {
            ParseCommandText(WorkingCommand(), command, remark, Settings().sendPrefix);
            editing = true;
        }
    }
    if (!editing)
        snprintf(WorkingCommand().remark, sizeof WorkingCommand().remark, "%s", NEW_COMMAND_MARKER);

    INT_PTR result = DialogBoxParamA(AppInstance(), MAKEINTRESOURCEA(IDD_COMMAND), MainWindow(), CommandDialogProc, 0);
    if (result != IDOK)
        return;
    ApplyAcceptedCommand(editing, n);
    ApplyListSizeRule();
    RefreshSaveControls();
}

// Dialog 807 opens below the middle of the command list, wherever that is
// (the offsets at the display scale).
static void PlaceCommandDialog(HWND dialog)
{
    RECT list;
    RECT own;
    if (!GetWindowRect(CommandList(), &list) || !GetWindowRect(dialog, &own))
        return;
    int x = list.left + (list.right - list.left) / 2 - Scaled(250);
    int y = list.bottom - Scaled(50);
    MoveWindow(dialog, x, y, own.right - own.left, own.bottom - own.top, TRUE);
}

static void InitCommandDialog(HWND dialog)
{
    commandDialogEnding = false;
    PlaceCommandDialog(dialog);
    const CommandBuffer &buffer = WorkingCommand();
    if (strcmp(buffer.remark, NEW_COMMAND_MARKER) == 0) {
        SetWindowTextA(dialog, "neues Kommando zufuegen");
        return;
    }
    SetWindowTextA(dialog, "markiertes Kommando bearbeiten");
    for (int k = 0; k < 8; k++)
        SetDlgItemTextA(dialog, BYTE_BOXES[k], buffer.byteField[k]);
    SetDlgItemTextA(dialog, IDC_REMARK, buffer.remark);
}

static void EndCommandDialog(HWND dialog, INT_PTR result)
{
    commandDialogEnding = true;
    EndDialog(dialog, result);
}

// Byte box k as a byte field holds it: at most two characters, normalised.
static void ReadStoredBox(HWND dialog, int k, char (&field)[STORED_BOX_ROOM])
{
    if (!GetDlgItemTextA(dialog, BYTE_BOXES[k], field, sizeof field))
        field[0] = 0;
    NormalizeHexField(field);
}

// OK: the boxes become the CommandBuffer, normalised but not checked again.
static void AcceptCommandDialog(HWND dialog)
{
    CommandBuffer &buffer = WorkingCommand();
    for (int k = 0; k < 8; k++) {
        char field[STORED_BOX_ROOM];
        ReadStoredBox(dialog, k, field);
        memcpy(buffer.byteField[k], field, sizeof buffer.byteField[k]);
    }
    if (!GetDlgItemTextA(dialog, IDC_REMARK, buffer.remark, REMARK_BOX_ROOM))
        buffer.remark[0] = 0;
    EndCommandDialog(dialog, IDOK);
}

static void ValidateLeftBox(HWND dialog, int id)
{
    if (commandDialogEnding)
        return;
    char text[LEFT_BOX_ROOM];
    if (!GetDlgItemTextA(dialog, id, text, sizeof text))
        text[0] = 0;
    ValidateHexField(dialog, id, text);
}

// The bytes as they would be sent, as digits 0 and 1, from the boxes as they
// stand and the prefix and suffix in force: at most BIT_TEXT_MAX characters.
static void BuildBitText(HWND dialog, char (&out)[sizeof CommandBuffer().remark])
{
    static_assert(sizeof out > BIT_TEXT_MAX, "the bit text fits the remark");
    size_t n = 0;
    out[n++] = ' ';
    char digits[3];
    OptionalByte prefix = Settings().sendPrefix;
    if (OptionalByteOn(prefix)) {
        snprintf(digits, sizeof digits, "%02X", OptionalByteValue(prefix));
        n += HexPairToBits(digits[0], digits[1], out + n);
        out[n++] = ' ';
    }
    for (int k = 0; k < 8; k++) {
        char field[STORED_BOX_ROOM];
        ReadStoredBox(dialog, k, field);
        if (field[0])
            n += HexPairToBits(field[0], field[1], out + n);
    }
    OptionalByte suffix = Settings().sendSuffix;
    if (OptionalByteOn(suffix)) {
        out[n++] = ' ';
        snprintf(digits, sizeof digits, "%02X", OptionalByteValue(suffix));
        n += HexPairToBits(digits[0], digits[1], out + n);
    }
    out[n] = 0;
}

// "Bitmuster": the bit text travels to the view in the CommandBuffer's
// remark; the remark box, which OK reads, is not touched.
static void ShowBitPattern(HWND dialog)
{
    BuildBitText(dialog, WorkingCommand().remark);
    DialogBoxParamA(AppInstance(), MAKEINTRESOURCEA(IDD_BITPATTERN), dialog, BitPatternDialogProc, 0);
}

static bool IsByteBox(int id)
{
    for (int k = 0; k < 8; k++)
        if (BYTE_BOXES[k] == id)
            return true;
    return false;
}

static INT_PTR OnCommandDialogCommand(HWND dialog, WPARAM wParam)
{
    int id = LOWORD(wParam);
    switch (id) {
    case IDOK:
        AcceptCommandDialog(dialog);
        return TRUE;
    case IDC_CMD_CANCEL:
        EndCommandDialog(dialog, IDC_CMD_CANCEL);
        return TRUE;
    case IDCANCEL:
        // Esc, which has no button of its own here, cancels too.
        EndCommandDialog(dialog, IDCANCEL);
        return TRUE;
    case IDC_BITPATTERN:
        ShowBitPattern(dialog);
        return TRUE;
    }
    if (IsByteBox(id) && HIWORD(wParam) == EN_KILLFOCUS) {
        ValidateLeftBox(dialog, id);
        return TRUE;
    }
    return FALSE;
}

// The focus goes to byte box 0, the template's first.
static INT_PTR CALLBACK CommandDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    return RouteDialogMessage(dialog, message, wParam, InitCommandDialog, OnCommandDialogCommand);
}

// The view opens 50 pixels left of and 80 pixels below its template place (at 96 DPI).
static void InitBitPatternDialog(HWND dialog)
{
    RECT own;
    if (GetWindowRect(dialog, &own))
        MoveWindow(dialog, own.left - Scaled(50), own.top + Scaled(80), own.right - own.left, own.bottom - own.top,
                   TRUE);
    SetDlgItemTextA(dialog, IDC_BITTEXT, WorkingCommand().remark);
}

// Only the OK button closes the view; Esc does not.
static INT_PTR OnBitPatternCommand(HWND dialog, WPARAM wParam)
{
    if (LOWORD(wParam) != IDOK)
        return FALSE;
    EndDialog(dialog, IDOK);
    return TRUE;
}

static INT_PTR CALLBACK BitPatternDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    return RouteDialogMessage(dialog, message, wParam, InitBitPatternDialog, OnBitPatternCommand);
}
