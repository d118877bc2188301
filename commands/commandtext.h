// Command entries' text forms and the hex-field helpers (no windows.h).
#ifndef VELKOR_COMMANDS_COMMANDTEXT_H
#define VELKOR_COMMANDS_COMMANDTEXT_H

#include <stddef.h>
#include "settings/devicesettings.h"

// The working record of one command: eight byte fields and a remark.
struct CommandBuffer {
    char byteField[8][3]; // up to two hex digits each; empty: no byte here
    char remark[256];     // up to 255 characters
};

// Longest command text (prefix, eight groups, suffix); its buffers hold one more.
const size_t COMMAND_TEXT_MAX = 52;
// The command header's longest text ("PF+Kommando+SF").
const size_t COMMAND_HEADER_MAX = 14;
// Characters of the prefix decoration "0xPP  " and of the suffix decoration "  0xSS".
const size_t DECORATION_LENGTH = 6;

// Length of the string at text, looking at no more than limit characters.
size_t BoundedLength(const char *text, size_t limit);
// The body (length characters) framed by the decorations in force; cut to fit size; returns its length.
size_t DecorateCommandBody(const char *body, size_t length, OptionalByte prefix, OptionalByte suffix, char *out,
                           size_t size);

// Turns a typed field into two characters or nothing, in place (room for 3 bytes); returns field.
char *NormalizeHexField(char *field);
// True for an empty text or one or two characters out of hex digits and space.
bool IsValidHexFieldText(const char *text);
// Converts the first two characters; *complete false when a character was not a hex digit.
unsigned char HexPairValue(const char *text, bool *complete);
// The command text of the buffer's byte fields with the decorations; cut to fit size.
size_t FormatCommandText(const CommandBuffer &buffer, OptionalByte prefix, OptionalByte suffix, char *out, size_t size);
// Fills all byte fields and the remark from a command text; never reads past its end.
bool ParseCommandText(CommandBuffer &buffer, const char *text, const char *remark, OptionalByte prefix);
// The command column's header text; returns its width in pixels.
int FormatCommandHeader(OptionalByte prefix, OptionalByte suffix, char *out, size_t size);
// Appends the two characters as eight digits 0/1 and a space to out; returns 9.
size_t HexPairToBits(char first, char second, char *out);

#endif
