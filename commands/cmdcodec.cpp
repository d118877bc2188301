// The .cmd file codec (no windows.h).
#include "commands/cmdcodec.h"

#include <stdio.h>
#include <string.h>

void StartCmdReader(CmdReader &reader, const char *data, size_t size)
{
    reader.data = data;
    reader.size = data ? size : 0;
    reader.offset = 0;
    reader.entry = 0;
    reader.expectCommand = true;
}

CmdItem NextCmdItem(CmdReader &reader)
{
    CmdItem item = {CMD_ITEM_END, NULL, 0, reader.entry};
    if (reader.offset >= reader.size)
        return item;
    // A last string without its zero byte ends with the data.
    item.text = reader.data + reader.offset;
    item.length = BoundedLength(item.text, reader.size - reader.offset);
    if (reader.expectCommand) {
        bool fits = item.length >= CMD_COMMAND_MIN && item.length <= CMD_COMMAND_MAX;
        item.kind = fits ? CMD_ITEM_COMMAND : CMD_ITEM_BAD_COMMAND;
    } else {
        item.kind = item.length <= CMD_REMARK_MAX ? CMD_ITEM_REMARK : CMD_ITEM_BAD_REMARK;
    }
    switch (item.kind) {
    case CMD_ITEM_COMMAND:
        reader.expectCommand = false;
        break;
    case CMD_ITEM_REMARK:
        reader.expectCommand = true;
        reader.entry++;
        break;
    default:
        // Nothing after a format error is read.
        reader.offset = reader.size;
        return item;
    }
    // The string and its zero byte; the offset never passes the end.
    size_t rest = reader.size - reader.offset;
    reader.offset += item.length < rest ? item.length + 1 : rest;
    return item;
}

size_t FormatLoadedCommand(const char *text, size_t length, OptionalByte prefix, OptionalByte suffix, char *out,
                           size_t size)
{
    return DecorateCommandBody(text, length > CMD_COMMAND_MAX ? CMD_COMMAND_MAX : length, prefix, suffix, out, size);
}

void StripCommandDecorations(const char *text, OptionalByte prefix, OptionalByte suffix, const char **start,
                             size_t *length)
{
    size_t n = strlen(text);
    // A text shorter than its decorations (never written by this program)
    // gives what is left, never a position outside it.
    if (OptionalByteOn(prefix)) {
        size_t drop = n < DECORATION_LENGTH ? n : DECORATION_LENGTH;
        text += drop;
        n -= drop;
    }
    if (OptionalByteOn(suffix))
        n -= n < DECORATION_LENGTH ? n : DECORATION_LENGTH;
    *start = text;
    *length = n;
}
