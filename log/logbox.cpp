// The message log's list box read back.
#include "log/logbox.h"

#include <string.h>

#include "log/logformat.h"

LRESULT ReadBoxLine(HWND log, LRESULT i, char **line, size_t *capacity)
{
    LRESULT length = SendMessageA(log, LB_GETTEXTLEN, (WPARAM)i, 0);
    if (length < 0)
        return -1;
    if ((size_t)length + 3 > *capacity) {
        char *bigger = (char *)(*line ? HeapReAlloc(GetProcessHeap(), 0, *line, (size_t)length + 3)
                                      : HeapAlloc(GetProcessHeap(), 0, (size_t)length + 3));
        if (!bigger)
            return -1;
        *line = bigger;
        *capacity = (size_t)length + 3;
    }
    return SendMessageA(log, LB_GETTEXT, (WPARAM)i, (LPARAM)*line);
}

bool SameBoxLine(HWND log, LRESULT i, const char *kept)
{
    char text[LOG_LINE_SIZE];
    LRESULT length = SendMessageA(log, LB_GETTEXTLEN, (WPARAM)i, 0);
    return length >= 0 && (size_t)length < sizeof text && SendMessageA(log, LB_GETTEXT, (WPARAM)i, (LPARAM)text) == length &&
           strcmp(text, kept) == 0;
}

bool WriteBoxLines(HWND log, HANDLE file, LRESULT count, DWORD *error)
{
    char *line = NULL;
    size_t capacity = 0;
    bool ok = true;
    for (LRESULT i = 0; i < count && ok; i++) {
        LRESULT length = ReadBoxLine(log, i, &line, &capacity);
        if (length < 0) {
            *error = ERROR_NOT_ENOUGH_MEMORY;
            ok = false;
        } else if (length > 0) {
            line[length] = '\r';
            line[length + 1] = '\n';
            DWORD written = 0;
            ok = WriteFile(file, line, (DWORD)length + 2, &written, NULL) && written == (DWORD)length + 2;
            if (!ok)
                *error = GetLastError();
        }
    }
    if (line)
        HeapFree(GetProcessHeap(), 0, line);
    return ok;
}

// The lines are read first, each with its zero, so that nothing changes when the memory runs out.
bool KeepNewestBoxLines(HWND log, LRESULT count, LRESULT keep)
{
    char *lines = NULL;
    size_t capacity = 0, used = 0;
    char *line = NULL;
    size_t lineCapacity = 0;
    bool ok = true;
    for (LRESULT i = count - keep; i < count && ok; i++) {
        LRESULT length = ReadBoxLine(log, i, &line, &lineCapacity);
        if (length < 0)
            length = 0;
        if (used + (size_t)length + 1 > capacity) {
            size_t grown = capacity * 2 > used + (size_t)length + 1 ? capacity * 2 : used + (size_t)length + 1 + 4096;
            char *bigger = (char *)(lines ? HeapReAlloc(GetProcessHeap(), 0, lines, grown)
                                          : HeapAlloc(GetProcessHeap(), 0, grown));
            ok = bigger != NULL;
            if (ok) {
                lines = bigger;
                capacity = grown;
            }
        }
        if (ok) {
            memcpy(lines + used, length ? line : "", (size_t)length);
            lines[used + (size_t)length] = 0;
            used += (size_t)length + 1;
        }
    }
    if (ok) {
        SendMessageA(log, LB_RESETCONTENT, 0, 0);
        for (size_t at = 0; at < used; at += strlen(lines + at) + 1)
            SendMessageA(log, LB_ADDSTRING, 0, (LPARAM)(lines + at));
    }
    if (line)
        HeapFree(GetProcessHeap(), 0, line);
    if (lines)
        HeapFree(GetProcessHeap(), 0, lines);
    return ok;
}

ULONGLONG BoxLineBytes(HWND log, LRESULT count)
{
    ULONGLONG bytes = 0;
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendMessageA(log, LB_GETTEXTLEN, (WPARAM)i, 0);
        if (length > 0)
            bytes += (ULONGLONG)length + 2;
    }
    return bytes;
}
