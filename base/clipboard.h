// Text for the clipboard, as other programs paste it.
#ifndef VELKOR_BASE_CLIPBOARD_H
#define VELKOR_BASE_CLIPBOARD_H

#include <windows.h>

// Replaces the clipboard's content with text (Windows-1252) for owner; false,
// with the clipboard left as it was, when it cannot be opened or filled.
bool PutTextOnClipboard(HWND owner, const char *text);

#endif
