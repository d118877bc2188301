// The command list's entries and the program's CommandBuffer (owned by the
// user-interface thread), with the hex-field helpers that show boxes.
#ifndef VELKOR_COMMANDS_COMMANDLIST_H
#define VELKOR_COMMANDS_COMMANDLIST_H

#include <windows.h>
#include "commands/commandtext.h"

// Readers of an entry ask for column 0 with room for 63 characters and for
// column 1 with room for 255.
const int COMMAND_COLUMN_ROOM = 64;
const int REMARK_COLUMN_ROOM = 256;

// Makes the program's CommandBuffer ready with empty fields (it cannot fail).
bool AllocateCommandBuffer();
// Empties it at exit.
void ReleaseCommandBuffer();
// The program's CommandBuffer.
CommandBuffer &WorkingCommand();
// Inserts the command column (header for the current settings) and "Bemerkung".
void InsertCommandColumns(HWND list);
// After a change of DPI: the command column's width for it.
void FitCommandColumn();
// On leaving a hex box: warns about and empties a text that is not 0-2 hex characters.
void ValidateHexField(HWND dialog, int controlId, const char *text);
// Converts two hex digits to a byte; warns (once) when they are not, and then
// gives the value so far with *converted (when asked for) false.
unsigned char HexPairToByte(const char *text, bool *converted = NULL);
// Reads column subItem of entry n into text (room bytes, always terminated).
void GetEntryText(int n, int subItem, char *text, int room);
// Writes the CommandBuffer into entry n with the current decorations.
void RenderCommandEntry(int n);
// Re-renders every entry and the header when prefix or suffix changed.
void RerenderCommandList(OptionalByte oldPrefix, OptionalByte oldSuffix);

#endif
