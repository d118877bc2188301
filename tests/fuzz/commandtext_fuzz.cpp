// libFuzzer harness for the command text forms and the hex helpers.
//
// Input: byte 0 picks the operation, bytes 1-2 the prefix and 3-4 the suffix
// (little-endian OptionalByte values), the rest is the text. Every text is
// handed over in a heap block of exactly its length plus terminator, so that
// AddressSanitizer reports any read past the end.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "commands/commandtext.h"

// Checked in every build, NDEBUG or not.
#define CHECK(condition)                                                                   \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #condition);        \
            abort();                                                                       \
        }                                                                                  \
    } while (0)

// A zero-terminated copy in a block of exactly length + 1 bytes.
static char *ExactCopy(const uint8_t *data, size_t length)
{
    char *text = (char *)malloc(length + 1);
    memcpy(text, data, length);
    text[length] = 0;
    return text;
}

static size_t FieldLength(const char *field)
{
    return field[0] == 0 ? 0 : field[1] == 0 ? 1 : 2;
}

static char Upper(char c)
{
    // The upper-casing FormatCommandText applies, seen from outside.
    CommandBuffer one;
    memset(&one, 0, sizeof one);
    one.byteField[0][0] = c;
    one.byteField[0][1] = 'x';
    char out[COMMAND_TEXT_MAX + 1];
    FormatCommandText(one, OPTIONAL_BYTE_OFF, OPTIONAL_BYTE_OFF, out, sizeof out);
    return out[3];
}

static void CheckBuffer(const CommandBuffer &b)
{
    for (int k = 0; k < 8; k++) {
        // Fields stay terminated within their three bytes.
        CHECK(memchr(b.byteField[k], 0, 3) != NULL);
        // Fields are filled from the front: no empty field before a filled one.
        if (k > 0 && b.byteField[k][0])
            CHECK(b.byteField[k - 1][0]);
    }
    CHECK(memchr(b.remark, 0, sizeof b.remark) != NULL);
}

static void FuzzParse(const uint8_t *data, size_t size, OptionalByte prefix, OptionalByte suffix)
{
    // The text up to a byte 0xFF, the remark after it.
    const uint8_t *split = (const uint8_t *)memchr(data, 0xFF, size);
    size_t textLength = split ? (size_t)(split - data) : size;
    char *text = ExactCopy(data, textLength);
    char *remark = split ? ExactCopy(split + 1, size - textLength - 1) : NULL;

    CommandBuffer b;
    memset(&b, 0xA5, sizeof b);
    CHECK(ParseCommandText(b, text, remark, prefix));
    CheckBuffer(b);
    if (remark)
        CHECK(strncmp(b.remark, remark, 255) == 0);

    // Rendering what was parsed and parsing it again gives the same fields,
    // upper-cased, as long as each field holds two characters (a shorter one
    // shifts the groups after it; the edit dialog never stores one).
    bool pairs = true;
    for (int k = 0; k < 8; k++)
        if (FieldLength(b.byteField[k]) == 1)
            pairs = false;
    char rendered[COMMAND_TEXT_MAX + 1];
    size_t n = FormatCommandText(b, prefix, suffix, rendered, sizeof rendered);
    CHECK(n == strlen(rendered) && n <= COMMAND_TEXT_MAX);
    if (pairs) {
        char *again = ExactCopy((const uint8_t *)rendered, n);
        CommandBuffer c;
        memset(&c, 0x5A, sizeof c);
        ParseCommandText(c, again, b.remark, prefix);
        for (int k = 0; k < 8; k++) {
            size_t len = FieldLength(b.byteField[k]);
            CHECK(FieldLength(c.byteField[k]) == len);
            for (size_t i = 0; i < len; i++)
                CHECK(c.byteField[k][i] == Upper(b.byteField[k][i]));
        }
        free(again);
    }
    free(text);
    free(remark);
}

static void FuzzFormat(const uint8_t *data, size_t size, OptionalByte prefix, OptionalByte suffix)
{
    // Raw field bytes, terminated or not; the output size from the input.
    CommandBuffer b;
    memset(&b, 0, sizeof b);
    memcpy(&b, data, size < sizeof b.byteField ? size : sizeof b.byteField);
    size_t outSize = size > 24 ? data[24] % (COMMAND_TEXT_MAX + 4) : COMMAND_TEXT_MAX + 1;
    char *out = (char *)malloc(outSize ? outSize : 1);
    size_t n = FormatCommandText(b, prefix, suffix, out, outSize);
    if (outSize) {
        CHECK(n < outSize && out[n] == 0 && strlen(out) == n);
    } else {
        CHECK(n == 0);
    }
    free(out);
}

static void FuzzHexHelpers(const uint8_t *data, size_t size)
{
    char *text = ExactCopy(data, size);
    size_t length = strlen(text);

    bool complete = false;
    unsigned char value = HexPairValue(text, &complete);
    if (complete)
        CHECK(length >= 2);
    else if (length == 0)
        CHECK(value == 0);

    bool valid = IsValidHexFieldText(text);
    if (valid)
        CHECK(length <= 2);

    // A byte field has room for three bytes: "5" grows to "05" in place.
    char *field = (char *)malloc(size + 1 > 3 ? size + 1 : 3);
    memcpy(field, data, size);
    field[size] = 0;
    NormalizeHexField(field);
    size_t normalized = strlen(field);
    CHECK(normalized == 0 || normalized == 2);
    CHECK(!strchr(field, ' '));
    // A valid field normalises to two hex digits or nothing.
    if (valid && normalized == 2) {
        bool both = false;
        HexPairValue(field, &both);
        CHECK(both);
    }
    free(field);

    char *bits = (char *)malloc(10);
    CHECK(HexPairToBits(size > 0 ? (char)data[0] : 0, size > 1 ? (char)data[1] : 0, bits) == 9);
    CHECK(strlen(bits) == 9 && bits[8] == ' ' && strspn(bits, "01") == 8);
    free(bits);
    free(text);
}

static void FuzzHeader(const uint8_t *data, size_t size, OptionalByte prefix, OptionalByte suffix)
{
    size_t outSize = size > 0 ? data[0] % 20 : COMMAND_HEADER_MAX + 1;
    char *out = (char *)malloc(outSize ? outSize : 1);
    int width = FormatCommandHeader(prefix, suffix, out, outSize);
    CHECK(width == 250 || width == 278 || width == 306);
    if (outSize)
        CHECK(strlen(out) < outSize && strlen(out) <= COMMAND_HEADER_MAX);
    free(out);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    uint8_t operation = data[0];
    OptionalByte prefix = (OptionalByte)(data[1] | data[2] << 8);
    OptionalByte suffix = (OptionalByte)(data[3] | data[4] << 8);
    data += 5;
    size -= 5;
    switch (operation % 4) {
    case 0: FuzzParse(data, size, prefix, suffix); break;
    case 1: FuzzFormat(data, size, prefix, suffix); break;
    case 2: FuzzHexHelpers(data, size); break;
    case 3: FuzzHeader(data, size, prefix, suffix); break;
    }
    return 0;
}
