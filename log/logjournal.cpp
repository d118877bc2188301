// The log's journal file.
#include "log/logjournal.h"

#include <stdio.h>
#include <string.h>

// Appended bytes wait here until a frame or a full buffer writes them.
static const DWORD BUFFER_SIZE = 64 * 1024;
// Copies go through this much memory at a time.
static const DWORD COPY_CHUNK = 1 << 20;

// Names tried in the temporary folder before the journal is given up.
static const unsigned NAME_TRIES = 1000;
// A Yes that leaves at least this much saved and let go in the file moves
// the unsaved bytes to a new file (the list box is refilled from them anyway).
static const ULONGLONG GIVE_BACK_MIN = 64 * 1024;

// All owned by the user-interface thread.
static HANDLE journal = INVALID_HANDLE_VALUE;
static ULONGLONG fileBase;     // the offset of the file's first byte
static ULONGLONG journalStart; // bytes before it were saved and let go
static ULONGLONG written;      // the file's bytes in use end here
static char buffer[BUFFER_SIZE];
static DWORD buffered;         // bytes after written, not in the file yet
static unsigned nameCounter;   // the last name tried

// Creates and opens a file of its own in the temporary folder in one step:
// CREATE_NEW never takes a name another process holds or has put a link
// under, and the system deletes the file when its handle closes, so nothing
// is left behind, not even after a crash. A name taken: the next one.
static HANDLE CreateJournalFile(DWORD *error)
{
    char folder[MAX_PATH];
    char path[MAX_PATH];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) {
        *error = GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    for (unsigned tries = 0; tries < NAME_TRIES; tries++) {
        int made = snprintf(path, sizeof path, "%svlk%lX-%X.tmp", folder, GetCurrentProcessId(), ++nameCounter);
        if (made < 0 || (size_t)made >= sizeof path) {
            *error = ERROR_FILENAME_EXCED_RANGE;
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, NULL);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        *error = GetLastError();
        // A file still being deleted refuses access to its name (Windows).
        if (*error != ERROR_FILE_EXISTS && *error != ERROR_ALREADY_EXISTS && *error != ERROR_ACCESS_DENIED)
            return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

static bool OpenJournal(DWORD *error)
{
    journal = CreateJournalFile(error);
    fileBase = written;
    return journal != INVALID_HANDLE_VALUE;
}

// Offsets count from the journal's start and never go back; the file holds
// them from fileBase on.
static bool SeekIn(HANDLE file, ULONGLONG base, ULONGLONG offset)
{
    if (offset < base) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)(offset - base);
    return SetFilePointerEx(file, at, NULL, FILE_BEGIN) != 0;
}

static bool Seek(ULONGLONG offset)
{
    return SeekIn(journal, fileBase, offset);
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
    // A CR LF inside the line (a posted text may have one) gets a zero byte
    // between its two, so that the line reads back as one.
    const char *end = line + length;
    const char *from = line; // the bytes before it are in the journal
    for (const char *at = line; (at = (const char *)memchr(at, '\n', (size_t)(end - at))) != NULL; at++) {
        if (at > line && at[-1] == '\r') {
            if (!JournalAppend(from, (DWORD)(at - from), error) || !JournalAppend("", 1, error))
                return false;
            from = at;
        }
    }
    line = from;
    length = (DWORD)(end - from);
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

void JournalCut(ULONGLONG end)
{
    JournalRewind(end);
    if (journal != INVALID_HANDLE_VALUE && SeekIn(journal, fileBase, written))
        SetEndOfFile(journal);
}

bool JournalRoom(ULONGLONG *freeBytes)
{
    char folder[MAX_PATH];
    DWORD length = GetTempPathA(sizeof folder, folder);
    ULARGE_INTEGER available;
    if (length == 0 || length >= sizeof folder || !GetDiskFreeSpaceExA(folder, &available, NULL, NULL))
        return false;
    *freeBytes = available.QuadPart;
    return true;
}

static bool WriteAll(HANDLE file, const char *bytes, DWORD size)
{
    DWORD done = 0;
    return size == 0 || (WriteFile(file, bytes, size, &done, NULL) && done == size);
}

// Writes bytes of the journal in the .msg form: without the zero bytes that
// mark a CR LF inside a line.
static bool WriteWithoutMarks(HANDLE file, const char *bytes, DWORD size)
{
    const char *end = bytes + size;
    for (const char *zero; (zero = (const char *)memchr(bytes, 0, (size_t)(end - bytes))) != NULL; bytes = zero + 1)
        if (!WriteAll(file, bytes, (DWORD)(zero - bytes)))
            return false;
    return WriteAll(file, bytes, (DWORD)(end - bytes));
}

// Writes the written bytes in use to file, in the .msg form when unmarked;
// false with the system's error.
static bool CopyInUse(HANDLE file, bool unmarked, DWORD *error)
{
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
        ok = JournalRead(at, chunk, COPY_CHUNK, &got) && got > 0 &&
             (unmarked ? WriteWithoutMarks(file, chunk, got) : WriteAll(file, chunk, got));
        at += got;
    }
    if (!ok)
        *error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    HeapFree(GetProcessHeap(), 0, chunk);
    return ok;
}

// Moves the bytes in use to a new file, so that the system gets back those
// before them; the old file stays in use when that fails.
static void GiveBack()
{
    DWORD error = 0;
    HANDLE fresh = CreateJournalFile(&error);
    if (fresh == INVALID_HANDLE_VALUE)
        return;
    if (!CopyInUse(fresh, false, &error)) {
        CloseHandle(fresh);
        return;
    }
    CloseHandle(journal);
    journal = fresh;
    fileBase = journalStart;
}

void JournalDropUpTo(ULONGLONG offset)
{
    if (offset > written)
        offset = written;
    if (offset > journalStart)
        journalStart = offset;
    if (journal == INVALID_HANDLE_VALUE)
        return;
    if (journalStart == written) {
        // Cut to nothing; buffered bytes go to the file's start.
        if (SeekIn(journal, 0, 0) && SetEndOfFile(journal))
            fileBase = written;
    } else if (journalStart - fileBase >= GIVE_BACK_MIN) {
        GiveBack();
    }
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
    return JournalFlush(error) && CopyInUse(file, true, error);
}

void JournalClose()
{
    if (journal != INVALID_HANDLE_VALUE)
        CloseHandle(journal);
    journal = INVALID_HANDLE_VALUE;
    fileBase = journalStart = written = 0;
    buffered = 0;
}
