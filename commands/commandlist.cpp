// Command entries in the list and the program's CommandBuffer.
#include "commands/commandlist.h"

#include <commctrl.h>

#include "base/appwindows.h"
#include "base/boxes.h"
#include "base/displayscale.h"
#include "commands/cmdcodec.h"
#include "settings/settings.h"

// Owned by the user-interface thread. Program-wide and small, so it is held
// in static storage: there is no allocation that could fail at start-up.
static CommandBuffer workingCommand;


static const char HEX_FIELD_WARNING[] =
    "Nur 2 stellige Hexadezimalzahl oder leeres Feld sind gueltig!\n"
    "0-9 und a/A - f/F oder Leerzeichen verwenden";
static const char CONVERT_WARNING[] = "Fehler beim konvertieren des Sendestrings";

bool AllocateCommandBuffer()
{
    ZeroMemory(&workingCommand, sizeof workingCommand);
    return true;
}

void ReleaseCommandBuffer()
{
    ZeroMemory(&workingCommand, sizeof workingCommand);
}

CommandBuffer &WorkingCommand() { return workingCommand; }

// The command column's header and width for the prefix and suffix in force,
// at the display scale.
static void DescribeCommandColumn(LVCOLUMNA &column, char (&header)[COMMAND_HEADER_MAX + 1])
{
    ZeroMemory(&column, sizeof column);
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = Scaled(FormatCommandHeader(Settings().sendPrefix, Settings().sendSuffix, header, sizeof header));
    column.pszText = header;
}

void InsertCommandColumns(HWND list)
{
    char header[COMMAND_HEADER_MAX + 1];
    LVCOLUMNA column;
    DescribeCommandColumn(column, header);
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, (LPARAM)&column);
    column.cx = Scaled(100);
    column.pszText = (char *)"Bemerkung";
    SendMessageA(list, LVM_INSERTCOLUMNA, 1, (LPARAM)&column);
}

void FitCommandColumn()
{
    char header[COMMAND_HEADER_MAX + 1];
    LVCOLUMNA column;
    DescribeCommandColumn(column, header);
    SendMessageA(CommandList(), LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(column.cx, 0));
}

void ValidateHexField(HWND dialog, int controlId, const char *text)
{
    if (IsValidHexFieldText(text))
        return;
    int answer = ShowBoxOver(dialog, HEX_FIELD_WARNING, CAPTION_VELKOR, MB_ICONWARNING | MB_RETRYCANCEL);
    HWND box = GetDlgItem(dialog, controlId);
    if (answer == IDRETRY && box)
        SetFocus(box);
    SetDlgItemTextA(dialog, controlId, "");
}

unsigned char HexPairToByte(const char *text, bool *converted)
{
    bool complete;
    unsigned char value = HexPairValue(text ? text : "", &complete);
    if (!complete)
        ShowBox(CONVERT_WARNING, CAPTION_SEND, MB_ICONWARNING);
    if (converted)
        *converted = complete;
    return value;
}

static void SetEntryText(int n, int subItem, const char *text)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.iSubItem = subItem;
    item.pszText = (char *)text;
    SendMessageA(CommandList(), LVM_SETITEMTEXTA, (WPARAM)n, (LPARAM)&item);
}

void GetEntryText(int n, int subItem, char *text, int room)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    text[0] = 0;
    item.iSubItem = subItem;
    item.pszText = text;
    item.cchTextMax = room;
    SendMessageA(CommandList(), LVM_GETITEMTEXTA, (WPARAM)n, (LPARAM)&item);
    text[room - 1] = 0;
}

void RenderCommandEntry(int n)
{
    char text[COMMAND_TEXT_MAX + 1];
    FormatCommandText(workingCommand, Settings().sendPrefix, Settings().sendSuffix, text, sizeof text);
    SetEntryText(n, 0, text);
    SetEntryText(n, 1, workingCommand.remark);
}

// Hex digits may have been stored in lower case: such a text is still in the byte-group form.
static bool SameIgnoringCase(const char *a, const char *b)
{
    for (; *a && *b; a++, b++) {
        char x = *a >= 'a' && *a <= 'z' ? (char)(*a - 32) : *a;
        char y = *b >= 'a' && *b <= 'z' ? (char)(*b - 32) : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

void RerenderCommandList(OptionalByte oldPrefix, OptionalByte oldSuffix)
{
    if (oldPrefix == Settings().sendPrefix && oldSuffix == Settings().sendSuffix)
        return;
    HWND list = CommandList();
    int count = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int n = count - 1; n >= 0; n--) {
        char command[COMMAND_COLUMN_ROOM];
        char remark[REMARK_COLUMN_ROOM];
        GetEntryText(n, 0, command, sizeof command);
        GetEntryText(n, 1, remark, sizeof remark);
        // The old prefix tells how much decoration the entry was written with.
        ParseCommandText(workingCommand, command, remark, oldPrefix);
        char again[COMMAND_TEXT_MAX + 1];
        FormatCommandText(workingCommand, oldPrefix, oldSuffix, again, sizeof again);
        if (SameIgnoringCase(again, command)) {
            RenderCommandEntry(n);
            continue;
        }
        // Not in the byte-group form (a loaded file may hold any text): the
        // text between the decorations stays as it stands, only they change.
        const char *body;
        size_t length;
        StripCommandDecorations(command, oldPrefix, oldSuffix, &body, &length);
        char text[COMMAND_COLUMN_ROOM];
        DecorateCommandBody(body, length, Settings().sendPrefix, Settings().sendSuffix, text, sizeof text);
        SetEntryText(n, 0, text);
    }

    char header[COMMAND_HEADER_MAX + 1];
    LVCOLUMNA column;
    DescribeCommandColumn(column, header);
    SendMessageA(list, LVM_SETCOLUMNA, 0, (LPARAM)&column);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
}
