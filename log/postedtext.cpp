// Texts posted with WMU_LOG_TEXT. Any process may post the message, so the
// address is not trusted: a foreign pointer or garbage yields what is
// readable here, often nothing, and each message still gives its one line.
#include "log/postedtext.h"

#include "base/readablememory.h"
#include "log/logformat.h"
#include "log/messagelog.h"

void LogPostedText(WPARAM address)
{
    // The text ends at its zero or at the first byte that is not readable.
    const char *source = (const char *)address;
    size_t readable = ReadableLength(source, LOG_TEXT_LIMIT);
    char text[LOG_TEXT_LIMIT + 1];
    size_t n = 0;
    for (; n < readable && source[n]; n++)
        text[n] = source[n];
    text[n] = 0;
    LogMessage(text, LOG_POSTED);
}
