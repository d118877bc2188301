// libFuzzer harness for the .cmd codec: whatever a file holds, reading it
// stays inside the bytes, gives entries in order or one format error with the
// right entry number, and every command taken survives a save unchanged.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "commands/cmdcodec.h"

#define CHECK(condition)                                                                                        \
    do {                                                                                                       \
        if (!(condition))                                                                                      \
            __builtin_trap();                                                                                  \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = (const char *)data;
    // The decorations in force come from the first bytes, so every setting is tried.
    OptionalByte prefix = size > 0 ? (OptionalByte)(data[0] | (data[0] & 1 ? 0 : 0x100)) : 0xFF00;
    OptionalByte suffix = size > 1 ? (OptionalByte)(data[1] | (data[1] & 1 ? 0 : 0x100)) : 0xFF00;

    CmdReader reader;
    StartCmdReader(reader, bytes, size);
    std::string rebuilt;
    int complete = 0;
    bool commandRead = false;
    bool ended = false;
    while (!ended) {
        CmdItem item = NextCmdItem(reader);
        if (item.kind == CMD_ITEM_END)
            break;
        // Inside the bytes, no zero within, ended by a zero or by the end.
        CHECK(item.text >= bytes && item.text + item.length <= bytes + size);
        CHECK(memchr(item.text, 0, item.length) == NULL);
        CHECK(item.text + item.length == bytes + size || item.text[item.length] == 0);
        CHECK((size_t)(item.text - bytes) == rebuilt.size());
        CHECK(item.entry == complete);
        switch (item.kind) {
        case CMD_ITEM_COMMAND: {
            CHECK(!commandRead);
            CHECK(item.length >= CMD_COMMAND_MIN && item.length <= CMD_COMMAND_MAX);
            commandRead = true;
            char text[64];
            size_t n = FormatLoadedCommand(item.text, item.length, prefix, suffix, text, sizeof text);
            CHECK(n == strlen(text) && n < sizeof text);
            const char *start;
            size_t length;
            StripCommandDecorations(text, prefix, suffix, &start, &length);
            CHECK(length == item.length && memcmp(start, item.text, length) == 0);
            break;
        }
        case CMD_ITEM_REMARK:
            CHECK(commandRead);
            CHECK(item.length <= CMD_REMARK_MAX);
            commandRead = false;
            complete++;
            break;
        case CMD_ITEM_BAD_COMMAND:
            CHECK(!commandRead);
            CHECK(item.length < CMD_COMMAND_MIN || item.length > CMD_COMMAND_MAX);
            ended = true;
            break;
        case CMD_ITEM_BAD_REMARK:
            CHECK(commandRead);
            CHECK(item.length > CMD_REMARK_MAX);
            ended = true;
            break;
        default:
            CHECK(false);
        }
        if (!ended)
            rebuilt.append(item.text, item.length).push_back('\0');
    }
    // After the end or an error nothing more is read.
    CHECK(NextCmdItem(reader).kind == CMD_ITEM_END);
    // What was taken is the file itself, but for a missing last zero byte.
    if (!ended) {
        CHECK(rebuilt.size() == size || rebuilt.size() == size + 1);
        CHECK(memcmp(rebuilt.data(), bytes, size) == 0);
    }
    return 0;
}
