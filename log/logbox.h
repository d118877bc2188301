// The message log's list box read back: its lines as the store needs them
// (user-interface thread).
#ifndef VELKOR_LOG_LOGBOX_H
#define VELKOR_LOG_LOGBOX_H

#include <windows.h>

// Line i in *line, grown as needed with room for a CR LF after it (free with
// HeapFree); its length, or -1.
LRESULT ReadBoxLine(HWND log, LRESULT i, char **line, size_t *capacity);
// True when line i is kept, character for character.
bool SameBoxLine(HWND log, LRESULT i, const char *kept);
// Writes the first count lines that are not empty, each with CR LF; false with the system's error.
bool WriteBoxLines(HWND log, HANDLE file, LRESULT count, DWORD *error);
// Keeps only the newest keep of count lines; false, nothing changed, without the memory.
bool KeepNewestBoxLines(HWND log, LRESULT count, LRESULT keep);
// Bytes the first count lines take in the .msg form (each with CR LF).
ULONGLONG BoxLineBytes(HWND log, LRESULT count);

#endif
