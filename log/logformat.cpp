// Log line formatting.
#include "log/logformat.h"

#include <stdio.h>
#include <string.h>

char LogMarker(unsigned kind)
{
    switch (kind) {
    case LOG_POSTED: return '>';
    case LOG_SENT: return '<';
    case LOG_RECEIVED: return '>';
    case LOG_EVENT: return '+';
    }
    return '?';
}

size_t LogTextLength(const char *text)
{
    size_t n = 0;
    while (n < LOG_TEXT_LIMIT && text[n])
        n++;
    return n;
}

static size_t FormatHead(char *line, size_t size, char marker, const LogClock &clock)
{
    int n = snprintf(line, size, "%c %02d:%02d:%02d,%03d  ", marker, clock.hour, clock.minute, clock.second,
                     clock.millisecond);
    if (n < 0)
        return 0;
    return (size_t)n < size ? (size_t)n : size - 1;
}

size_t FormatEventLine(char *line, size_t size, unsigned kind, const LogClock &clock, const char *text)
{
    if (size == 0)
        return 0;
    size_t used = FormatHead(line, size, LogMarker(kind), clock);
    size_t length = LogTextLength(text);
    if (length > size - 1 - used)
        length = size - 1 - used;
    memcpy(line + used, text, length);
    used += length;
    line[used] = 0;
    return used;
}

size_t FormatDumpLine(char *line, size_t size, const LogClock &clock, const unsigned char *bytes, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    if (size == 0)
        return 0;
    size_t used = FormatHead(line, size, '>', clock);
    size_t shown = 0;
    while (shown < count && shown < DUMP_BYTES_PER_LINE && used + 5 < size) {
        unsigned char b = bytes[shown++];
        line[used++] = '0';
        line[used++] = 'x';
        line[used++] = digits[b >> 4];
        line[used++] = digits[b & 15];
        line[used++] = ' ';
    }
    line[used] = 0;
    return shown;
}
