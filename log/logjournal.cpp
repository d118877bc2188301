// The log's journal file.
#include "log/logjournal.h"

// All owned by the user-interface thread.
static HANDLE journal = INVALID_HANDLE_VALUE;
static ULONGLONG journalStart; // bytes before it were saved and let go
static ULONGLONG journalEnd;

// Copies go through this much memory at a time.
static const DWORD COPY_CHUNK = 1 << 20;

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
    journalStart = journalEnd = 0;
    return true;
}

static bool Seek(ULONGLONG offset)
{
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)offset;
    return SetFilePointerEx(journal, at, NULL, FILE_BEGIN) != 0;
}

bool JournalAppend(const char *bytes, DWORD size, DWORD *error)
{
    *error = 0;
    if (journal == INVALID_HANDLE_VALUE && !OpenJournal(error))
        return false;
    DWORD written = 0;
    if (!Seek(journalEnd) || !WriteFile(journal, bytes, size, &written, NULL) || written != size) {
        *error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        return false;
    }
    journalEnd += size;
    return true;
}

ULONGLONG JournalStart() { return journalStart; }
ULONGLONG JournalEnd() { return journalEnd; }

void JournalRewind(ULONGLONG end)
{
    if (end >= journalStart && end < journalEnd)
        journalEnd = end;
}

void JournalDropUpTo(ULONGLONG offset)
{
    if (offset > journalEnd)
        offset = journalEnd;
    if (offset > journalStart)
        journalStart = offset;
    if (journalStart == journalEnd && journal != INVALID_HANDLE_VALUE && Seek(0) && SetEndOfFile(journal))
        journalStart = journalEnd = 0;
}

bool JournalCopyTo(HANDLE file, DWORD *error)
{
    *error = 0;
    if (journalEnd == journalStart)
        return true;
    char *chunk = (char *)HeapAlloc(GetProcessHeap(), 0, COPY_CHUNK);
    if (!chunk) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    bool ok = Seek(journalStart);
    for (ULONGLONG at = journalStart; ok && at < journalEnd;) {
        DWORD want = journalEnd - at < COPY_CHUNK ? (DWORD)(journalEnd - at) : COPY_CHUNK;
        DWORD got = 0;
        DWORD written = 0;
        ok = ReadFile(journal, chunk, want, &got, NULL) && got == want &&
             WriteFile(file, chunk, want, &written, NULL) && written == want;
        at += want;
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
    journalStart = journalEnd = 0;
}
