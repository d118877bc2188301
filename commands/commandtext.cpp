// Command text forms and hex fields (no windows.h).
#include "commands/commandtext.h"

#include <stdio.h>
#include <string.h>

// Characters a hex box may hold when it is left.
static const char HEX_FIELD_CHARACTERS[] = "abcdefABCDEF1234567890 ";

// Characters per byte group: " 0xDD".
static const size_t GROUP_STRIDE = 5;

size_t BoundedLength(const char *text, size_t limit)
{
    // Character by character: nothing after the zero is looked at.
    size_t n = 0;
    while (n < limit && text[n])
        n++;
    return n;
}

size_t DecorateCommandBody(const char *body, size_t length, OptionalByte prefix, OptionalByte suffix, char *out,
                           size_t size)
{
    if (size == 0)
        return 0;
    size_t used = 0;
    char decoration[DECORATION_LENGTH + 1];
    if (OptionalByteOn(prefix)) {
        snprintf(decoration, sizeof decoration, "0x%02X  ", OptionalByteValue(prefix));
        for (size_t i = 0; i < DECORATION_LENGTH && used + 1 < size; i++)
            out[used++] = decoration[i];
    }
    for (size_t i = 0; i < length && used + 1 < size; i++)
        out[used++] = body[i];
    if (OptionalByteOn(suffix)) {
        snprintf(decoration, sizeof decoration, "  0x%02X", OptionalByteValue(suffix));
        for (size_t i = 0; i < DECORATION_LENGTH && used + 1 < size; i++)
            out[used++] = decoration[i];
    }
    out[used] = 0;
    return used;
}

// Upper case in the Windows-1252 code page, as the ANSI case mapping of
// Windows does it: a-z, the accented letters E0-FE (not the division sign F7),
// and the four letters whose capitals lie in 80-9F.
static char UpperCaseAnsi(char c)
{
    unsigned char u = (unsigned char)c;
    if (u >= 'a' && u <= 'z')
        return (char)(u - 0x20);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7)
        return (char)(u - 0x20);
    switch (u) {
    case 0x9A: return (char)0x8A; // s with caron
    case 0x9C: return (char)0x8C; // ligature oe
    case 0x9E: return (char)0x8E; // z with caron
    case 0xFF: return (char)0x9F; // y with diaeresis
    default: return c;
    }
}

// -1 when c is not a hex digit.
static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

char *NormalizeHexField(char *field)
{
    char first = field[0];
    if (first == 0)
        return field;
    char second = field[1];
    bool longer = second != 0 && field[2] != 0;
    if (second != 0 && !longer) {
        // Two characters: a space on either side makes a single digit.
        if (first == ' ' && second == ' ') {
            field[0] = 0;
        } else if (first == ' ') {
            field[0] = '0';
            field[1] = second;
        } else if (second == ' ') {
            field[0] = '0';
            field[1] = first;
        }
        return field;
    }
    // One character, or a longer text taken by its first character alone.
    if (first == ' ') {
        field[0] = 0;
    } else {
        field[0] = '0';
        field[1] = first;
        field[2] = 0;
    }
    return field;
}

bool IsValidHexFieldText(const char *text)
{
    if (!text)
        return true; // nothing read counts as empty
    size_t length = BoundedLength(text, 3);
    if (length > 2)
        return false;
    for (size_t i = 0; i < length; i++)
        if (!strchr(HEX_FIELD_CHARACTERS, text[i]))
            return false;
    return true;
}

unsigned char HexPairValue(const char *text, bool *complete)
{
    unsigned value = 0;
    *complete = false;
    int high = HexDigit(text[0]);
    if (high < 0)
        return 0;
    value = (unsigned)high << 4;
    // text[1] exists: text[0] was a digit, so not the terminator.
    int low = HexDigit(text[1]);
    if (low < 0)
        return (unsigned char)value;
    *complete = true;
    return (unsigned char)(value | (unsigned)low);
}

size_t FormatCommandText(const CommandBuffer &buffer, OptionalByte prefix, OptionalByte suffix, char *out,
                         size_t size)
{
    // The groups; the decorations frame them, cut to the caller's size.
    char text[8 * 5];
    size_t length = 0;
    for (int k = 0; k < 8; k++) {
        const char *field = buffer.byteField[k];
        size_t fieldLength = BoundedLength(field, 2);
        if (fieldLength == 0)
            continue;
        text[length++] = ' ';
        text[length++] = '0';
        text[length++] = 'x';
        for (size_t i = 0; i < fieldLength; i++)
            text[length++] = UpperCaseAnsi(field[i]);
    }
    return DecorateCommandBody(text, length, prefix, suffix, out, size);
}

bool ParseCommandText(CommandBuffer &buffer, const char *text, const char *remark, OptionalByte prefix)
{
    if (!text)
        text = "";
    // Nothing past the last character a group could use is ever looked at.
    const size_t origin = OptionalByteOn(prefix) ? DECORATION_LENGTH : 0;
    const size_t length = BoundedLength(text, origin + 8 * GROUP_STRIDE);
    int k = 0;
    for (; k < 8; k++) {
        size_t s = origin + GROUP_STRIDE * k;
        if (s + 2 >= length || text[s + 1] != '0' || text[s + 2] != 'x')
            break;
        size_t n = 0;
        while (n < 2 && s + 3 + n < length) {
            buffer.byteField[k][n] = text[s + 3 + n];
            n++;
        }
        buffer.byteField[k][n] = 0;
    }
    for (; k < 8; k++)
        buffer.byteField[k][0] = 0;

    size_t remarkLength = remark ? BoundedLength(remark, sizeof buffer.remark - 1) : 0;
    if (remarkLength)
        memmove(buffer.remark, remark, remarkLength); // the remark may be the buffer's own
    buffer.remark[remarkLength] = 0;
    return true;
}

int FormatCommandHeader(OptionalByte prefix, OptionalByte suffix, char *out, size_t size)
{
    snprintf(out, size, "%s%s%s", OptionalByteOn(prefix) ? "PF+" : "", "Kommando", OptionalByteOn(suffix) ? "+SF" : "");
    return 250 + (OptionalByteOn(prefix) ? 28 : 0) + (OptionalByteOn(suffix) ? 28 : 0);
}

// Four digits 0/1 of one character; anything but 0-9, A-E, a-e counts as 1111.
static void AppendNibbleBits(char c, char *out)
{
    int value = HexDigit(c);
    if (value < 0)
        value = 15;
    for (int bit = 3; bit >= 0; bit--)
        *out++ = (value >> bit) & 1 ? '1' : '0';
}

size_t HexPairToBits(char first, char second, char *out)
{
    AppendNibbleBits(first, out);
    AppendNibbleBits(second, out + 4);
    out[8] = ' ';
    out[9] = 0;
    return 9;
}
