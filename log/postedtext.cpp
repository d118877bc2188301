// Texts posted with WMU_LOG_TEXT. Any process may post the message, so the
// address is not trusted: a foreign pointer or garbage yields what is
// readable here, often nothing, and each message still gives its one line.
#include "log/postedtext.h"

#include "log/logformat.h"
#include "log/messagelog.h"

// True when the whole region described by info can be read without a fault
// (a guard page would fault once and lose its guard for the thread that owns it).
static bool ReadableRegion(const MEMORY_BASIC_INFORMATION &info)
{
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return info.State == MEM_COMMIT && !(info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) && (info.Protect & readable);
}

// Copies at most limit characters of a text at an address that may not be
// readable in this process, stopping at its zero or at the first byte that
// is not readable; returns the length copied.
static size_t CopyReadableText(const char *source, char *out, size_t limit)
{
    size_t n = 0;
    while (n < limit) {
        MEMORY_BASIC_INFORMATION info;
        if (!VirtualQuery(source + n, &info, sizeof info) || !ReadableRegion(info))
            break;
        const char *regionEnd = (const char *)info.BaseAddress + info.RegionSize;
        while (n < limit && source + n < regionEnd) {
            if (!source[n]) {
                out[n] = 0;
                return n;
            }
            out[n] = source[n];
            n++;
        }
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
