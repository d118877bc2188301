// The clipboard: one text at a time, in the program's code page.
#include "base/clipboard.h"

#include <string.h>

// A copy of data in memory the clipboard may own; null when none is left.
static HGLOBAL ClipboardCopy(const void *data, size_t size)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory)
        return NULL;
    void *target = GlobalLock(memory);
    if (!target) {
        GlobalFree(memory);
        return NULL;
    }
    memcpy(target, data, size);
    GlobalUnlock(memory);
    return memory;
}

bool PutTextOnClipboard(HWND owner, const char *text)
{
    HGLOBAL textMemory = ClipboardCopy(text, strlen(text) + 1);
    // The texts are Windows-1252 whatever the system's code page: a German
    // locale beside CF_TEXT makes the system's conversion to Unicode use it
    // (Microsoft's "Standard Clipboard Formats", CF_LOCALE).
    LCID german = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
    HGLOBAL localeMemory = ClipboardCopy(&german, sizeof german);
    bool placed = false;
    // Opening may fail while another program holds the clipboard; then
    // nothing is emptied, and the clipboard stays as it was.
    if (textMemory && localeMemory && OpenClipboard(owner)) {
        if (EmptyClipboard() && SetClipboardData(CF_TEXT, textMemory)) {
            placed = true;
            textMemory = NULL; // the clipboard owns it now
            if (SetClipboardData(CF_LOCALE, localeMemory))
                localeMemory = NULL;
        }
        CloseClipboard();
    }
    if (localeMemory)
        GlobalFree(localeMemory);
    if (textMemory)
        GlobalFree(textMemory);
    return placed;
}
