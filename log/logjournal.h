// The log's journal: a file in the user's temporary folder that holds, in the
// .msg form, the oldest lines the list box gave up (user-interface thread).
#ifndef VELKOR_LOG_LOGJOURNAL_H
#define VELKOR_LOG_LOGJOURNAL_H

#include <windows.h>

// Appends size bytes at the journal's end, creating the file first; false
// with the system's error, nothing appended, when it cannot be written.
bool JournalAppend(const char *bytes, DWORD size, DWORD *error);
// Offset of the journal's first byte still in use, and of its end.
ULONGLONG JournalStart();
ULONGLONG JournalEnd();
// Gives up what was appended after offset end (a spill that failed half-way).
void JournalRewind(ULONGLONG end);
// Forgets the bytes before offset; a journal left empty is cut to nothing.
void JournalDropUpTo(ULONGLONG offset);
// Writes the bytes in use to file; false with the system's error.
bool JournalCopyTo(HANDLE file, DWORD *error);
// Closes the journal, which deletes its file.
void JournalClose();

#endif
