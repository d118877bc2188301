// Texts posted with WMU_LOG_TEXT. Any process may post the message, so the
// address is not trusted: a foreign pointer or garbage yields what is
// readable here, often nothing, and each message still gives its one line.
#include "log/postedtext.h"

#include "base/readablememory.h"
#include "log/logformat.h"
#include "log/messagelog.h"

// Copies at most limit characters of a text at an address that may not be
// readable in this process, stopping at its zero or at the first byte that
// is not readable; returns the length copied.
static size_t CopyReadableText(const char *source, char *out, size_t limit)
{
    size_t readable = ReadableBytes(source, limit);
    size_t n = 0;
    while (n < readable && source[n]) {
        out[n] = source[n];
        n++;
    }
    out[n] = 0;
    return n;
}

void LogPostedText(WPARAM address)
{
    char text[LOG_TEXT_LIMIT + 1];
    CopyReadableText((const char *)address, text, LOG_TEXT_LIMIT);
    LogMessage(text, LOG_POSTED);
}
