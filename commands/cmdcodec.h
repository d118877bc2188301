// The .cmd command file format (no windows.h): for each entry its command
// string and its remark string, each ended by a zero byte; no header, count
// or trailer. The decorations of the send prefix and suffix are never stored.
#ifndef VELKOR_COMMANDS_CMDCODEC_H
#define VELKOR_COMMANDS_CMDCODEC_H

#include <stddef.h>
#include "commands/commandtext.h"

// Accepted lengths of the strings of a file.
const size_t CMD_COMMAND_MIN = 4;
const size_t CMD_COMMAND_MAX = 40;
const size_t CMD_REMARK_MAX = 255;

// What the next string of a file is.
enum CmdItemKind {
    CMD_ITEM_END,         // no more bytes
    CMD_ITEM_COMMAND,     // a command string of an acceptable length: a new entry
    CMD_ITEM_REMARK,      // the remark of the entry whose command came last
    CMD_ITEM_BAD_COMMAND, // a command string of fewer than 4 or more than 40 characters
    CMD_ITEM_BAD_REMARK   // a remark string of more than 255 characters
};

struct CmdItem {
    CmdItemKind kind;
    const char *text; // inside the data; not necessarily zero-terminated at the data's end
    size_t length;    // characters of the string, its zero byte not counted
    int entry;        // index of the entry it belongs to (complete entries before it)
};

// Walks the strings of a file's bytes; the bytes must outlive it.
struct CmdReader {
    const char *data;
    size_t size;
    size_t offset;
    int entry;          // index of the entry being read
    bool expectCommand; // false right after a command string
};

// Starts reading size bytes of a file at data.
void StartCmdReader(CmdReader &reader, const char *data, size_t size);
// The next string; after the end or a format error every call gives CMD_ITEM_END.
CmdItem NextCmdItem(CmdReader &reader);

// The command text of a loaded command string with the decorations in force;
// cut to fit size; returns its length.
size_t FormatLoadedCommand(const char *text, size_t length, OptionalByte prefix, OptionalByte suffix, char *out,
                           size_t size);
// The part of an entry's command text that goes into a file: without the
// prefix decoration's first and the suffix decoration's last 6 characters.
void StripCommandDecorations(const char *text, OptionalByte prefix, OptionalByte suffix, const char **start,
                             size_t *length);

#endif
