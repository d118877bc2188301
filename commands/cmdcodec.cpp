// The .cmd file codec (no windows.h).
#include "commands/cmdcodec.h"

#include <stdio.h>
#include <string.h>

// Length of the string at text, looking at no more than limit bytes.
static size_t BoundedLength(const char *text, size_t limit)
{
    const void *zero = memchr(text, 0, limit);
    return zero ? (size_t)((const char *)zero - text) : limit;
}

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
    if (size == 0)
        return 0;
    int shown = length > CMD_COMMAND_MAX ? (int)CMD_COMMAND_MAX : (int)length;
    char line[CMD_DECORATION_LENGTH + CMD_COMMAND_MAX + CMD_DECORATION_LENGTH + 1];
    int n;
    if (OptionalByteOn(prefix))
        n = snprintf(line, sizeof line, "0x%02X  %.*s", OptionalByteValue(prefix), shown, text);
    else
        n = snprintf(line, sizeof line, "%.*s", shown, text);
    if (n < 0)
        n = 0;
    if (OptionalByteOn(suffix) && (size_t)n < sizeof line)
        n += snprintf(line + n, sizeof line - (size_t)n, "  0x%02X", OptionalByteValue(suffix));
    size_t total = (size_t)n < sizeof line ? (size_t)n : sizeof line - 1;
    if (total >= size)
        total = size - 1;
    memcpy(out, line, total);
    out[total] = 0;
    return total;
}

void StripCommandDecorations(const char *text, OptionalByte prefix, OptionalByte suffix, const char **start,
                             size_t *length)
{
    size_t n = strlen(text);
    // A text shorter than its decorations (never written by this program)
    // gives what is left, never a position outside it.
    if (OptionalByteOn(prefix)) {
        size_t drop = n < CMD_DECORATION_LENGTH ? n : CMD_DECORATION_LENGTH;
        text += drop;
        n -= drop;
    }
    if (OptionalByteOn(suffix))
        n -= n < CMD_DECORATION_LENGTH ? n : CMD_DECORATION_LENGTH;
    *start = text;
    *length = n;
}
