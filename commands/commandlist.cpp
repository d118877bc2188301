// Command entries in the list and the program's CommandBuffer.
#include "commands/commandlist.h"

#include <commctrl.h>

#include "settings/settings.h"

// Owned by the user-interface thread.
static CommandBuffer *workingCommand;

bool AllocateCommandBuffer()
{
    if (!workingCommand)
        workingCommand = new CommandBuffer();
    return workingCommand != NULL;
}

void ReleaseCommandBuffer()
{
    delete workingCommand;
    workingCommand = NULL;
}

CommandBuffer &WorkingCommand() { return *workingCommand; }

void InsertCommandColumns(HWND list)
{
    char header[COMMAND_HEADER_MAX + 1];
    LVCOLUMNA column;
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = FormatCommandHeader(Settings().sendPrefix, Settings().sendSuffix, header, sizeof header);
    column.pszText = header;
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, (LPARAM)&column);
    column.cx = 100;
    column.pszText = (char *)"Bemerkung";
    SendMessageA(list, LVM_INSERTCOLUMNA, 1, (LPARAM)&column);
}

void ValidateHexField(HWND, int, const char *) {}
unsigned char HexPairToByte(const char *) { return 0; }
void RenderCommandEntry(int) {}
void RerenderCommandList(OptionalByte, OptionalByte) {}
