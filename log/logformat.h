// Formatting of message log lines (no windows.h).
#ifndef VELKOR_LOG_LOGFORMAT_H
#define VELKOR_LOG_LOGFORMAT_H

#include <stddef.h>

// Line buffer of the log, terminator included.
const size_t LOG_LINE_SIZE = 512;
// A longer text is cut to this many characters.
const size_t LOG_TEXT_LIMIT = 257;
// Characters of the head "M hh:mm:ss,mmm  ".
const size_t LOG_HEAD_LENGTH = 16;
// Bytes of a dump on one line, "0xHH " each: 16 + 5 * 99 = 511 characters.
const size_t DUMP_BYTES_PER_LINE = (LOG_LINE_SIZE - 1 - LOG_HEAD_LENGTH) / 5;

// Kinds of log line (any other value logs with the marker "?").
enum LogKind {
    LOG_POSTED = 1,   // ">" a text posted with WMU_LOG_TEXT
    LOG_SENT = 2,     // "<" the outcome of a send
    LOG_RECEIVED = 3, // ">" received bytes as a hex dump
    LOG_EVENT = 9     // "+" program events
};

// Local time of a log line.
struct LogClock {
    int hour, minute, second, millisecond;
};

// The marker of a kind (a LogKind or any other number, which gets "?").
char LogMarker(unsigned kind);
// Length of text up to its zero, at most LOG_TEXT_LIMIT.
size_t LogTextLength(const char *text);
// An event line: head and the text cut to 257 characters; returns its length.
size_t FormatEventLine(char *line, size_t size, unsigned kind, const LogClock &clock, const char *text);
// A dump line of at most DUMP_BYTES_PER_LINE bytes (fewer when size is smaller);
// returns the number of bytes it shows.
size_t FormatDumpLine(char *line, size_t size, const LogClock &clock, const unsigned char *bytes, size_t count);

#endif
