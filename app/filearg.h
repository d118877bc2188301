// The command file named on the command line, and the form of a path that a
// second start hands to the running copy (pure logic, no windows.h).
#ifndef VELKOR_APP_FILEARG_H
#define VELKOR_APP_FILEARG_H

#include <stddef.h>

// Marks a WM_COPYDATA block as a path handed over by a second start ("VLK1").
const unsigned long HANDED_PATH_MARK = 0x564C4B31UL;
// Room of a handed path with its zero byte, as the file dialogs' name buffer.
const size_t HANDED_PATH_ROOM = 516;

// The first argument after the program's name, its quotes removed, into file
// (room for at least strlen(commandLine) + 1 bytes); false when there is none
// or it is an option (starting with "-" or "/").
bool FirstFileArgument(const char *commandLine, char *file);
// True when size bytes at data are a handed path: 2 to HANDED_PATH_ROOM bytes
// whose only zero byte is the last one.
bool IsHandedPath(const void *data, size_t size);

#endif
