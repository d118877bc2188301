// The log's journal file.
#include "log/logjournal.h"

#include <string.h>

// Appended bytes wait here until a frame or a full buffer writes them.
static const DWORD BUFFER_SIZE = 64 * 1024;
// Copies go through this much memory at a time.
static const DWORD COPY_CHUNK = 1 << 20;

// All owned by the user-interface thread.
static HANDLE journal = INVALID_HANDLE_VALUE;
static ULONGLONG journalStart; // bytes before it were saved and let go
static ULONGLONG written;      // the file's bytes in use end here
static char buffer[BUFFER_SIZE];
static DWORD buffered;         // bytes after written, not in the file yet

// Creates the file: deleted by the system when its handle closes, so nothing
// is left behind, not even after a crash.
static bool OpenJournal(DWORD *error)
{
    char folder[MAX_PATH];
    char path[MAX_PATH];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder || !GetTempFileNameA(folder, "vlk", 0, path)) {
        *error = GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND;
        return false;
    }
    journal = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (journal == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        DeleteFileA(path);
        return false;
    }
    return true;
}

static bool Seek(ULONGLONG offset)
{
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)offset;
    return SetFilePointerEx(journal, at, NULL, FILE_BEGIN) != 0;
}

// Writes bytes after those in use, creating the file first.
static bool WriteOut(const char *bytes, DWORD size, DWORD *error)
{
    DWORD done = 0;
    if (journal == INVALID_HANDLE_VALUE && !OpenJournal(error))
        return false;
    if (!Seek(written) || !WriteFile(journal, bytes, size, &done, NULL) || done != size) {
        *error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        return false;
    }
    written += size;
    return true;
}

bool JournalFlush(DWORD *error)
{
    *error = 0;
    if (buffered > 0 && !WriteOut(buffer, buffered, error))
        return false;
    buffered = 0;
    return true;
}

bool JournalAppend(const char *bytes, DWORD size, DWORD *error)
{
    *error = 0;
    if (size > BUFFER_SIZE - buffered && !JournalFlush(error))
        return false;
    if (size > BUFFER_SIZE)
        return WriteOut(bytes, size, error);
    memcpy(buffer + buffered, bytes, size);
    buffered += size;
    return true;
}

bool JournalAppendLine(const char *line, DWORD length, DWORD *error)
{
    if (length + 2 > BUFFER_SIZE - buffered)
        return JournalAppend(line, length, error) && JournalAppend("\r\n", 2, error);
    memcpy(buffer + buffered, line, length);
    buffer[buffered + length] = '\r';
    buffer[buffered + length + 1] = '\n';
    buffered += length + 2;
    *error = 0;
    return true;
}

ULONGLONG JournalStart() { return journalStart; }
ULONGLONG JournalEnd() { return written + buffered; }

void JournalRewind(ULONGLONG end)
{
    if (end < journalStart)
        end = journalStart;
    if (end >= written + buffered)
        return;
    if (end >= written) {
        buffered = (DWORD)(end - written);
    } else {
        written = end;
        buffered = 0;
    }
}

void JournalDropUpTo(ULONGLONG offset)
{
    if (offset > written)
        offset = written;
    if (offset > journalStart)
        journalStart = offset;
    if (journalStart == written && buffered == 0 && journal != INVALID_HANDLE_VALUE && Seek(0) &&
        SetEndOfFile(journal))
        journalStart = written = 0;
}

bool JournalRead(ULONGLONG at, char *out, DWORD size, DWORD *got)
{
    *got = 0;
    if (at >= written)
        return true;
    if (written - at < size)
        size = (DWORD)(written - at);
    return Seek(at) && ReadFile(journal, out, size, got, NULL) && *got == size;
}

bool JournalCopyTo(HANDLE file, DWORD *error)
{
    if (!JournalFlush(error))
        return false;
    if (written == journalStart)
        return true;
    char *chunk = (char *)HeapAlloc(GetProcessHeap(), 0, COPY_CHUNK);
    if (!chunk) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    bool ok = true;
    for (ULONGLONG at = journalStart; ok && at < written;) {
        DWORD got = 0;
        DWORD done = 0;
        ok = JournalRead(at, chunk, COPY_CHUNK, &got) && WriteFile(file, chunk, got, &done, NULL) && done == got;
        at += got;
    }
    if (!ok)
        *error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    HeapFree(GetProcessHeap(), 0, chunk);
    return ok;
}

void JournalClose()
{
    if (journal != INVALID_HANDLE_VALUE)
        CloseHandle(journal);
    journal = INVALID_HANDLE_VALUE;
    journalStart = written = 0;
    buffered = 0;
}
