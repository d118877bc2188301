// The log's journal: a file in the user's temporary folder that holds the
// log's lines in the .msg form, written through a buffer (user-interface thread).
// A CR LF inside a line is kept as CR, a zero byte, LF; copies leave the zero out.
// Offsets count from the first byte ever appended and never go back.
#ifndef VELKOR_LOG_LOGJOURNAL_H
#define VELKOR_LOG_LOGJOURNAL_H

#include <windows.h>

// Appends size bytes at the journal's end through its buffer; false with the
// system's error when the buffer could not be written out.
bool JournalAppend(const char *bytes, DWORD size, DWORD *error);
// Appends a line and CR LF, as JournalAppend does (a CR LF inside it marked).
bool JournalAppendLine(const char *line, DWORD length, DWORD *error);
// Writes the buffer out, creating the file first; false with the system's error.
bool JournalFlush(DWORD *error);
// Offset of the journal's first byte still in use, and of its end (buffer included).
ULONGLONG JournalStart();
ULONGLONG JournalEnd();
// Gives up everything after offset end, written or buffered.
void JournalRewind(ULONGLONG end);
// The same, and the file's space after it goes back to the system.
void JournalCut(ULONGLONG end);
// Free bytes on the temporary folder's volume, where the journal lives; false when unknown.
bool JournalRoom(ULONGLONG *freeBytes);
// Forgets the bytes before offset (written ones only) and gives the file's space
// back: a journal left empty is cut to nothing, a large freed part moved out.
void JournalDropUpTo(ULONGLONG offset);
// Reads written bytes from offset at; false when the file cannot be read.
bool JournalRead(ULONGLONG at, char *buffer, DWORD size, DWORD *got);
// Writes the bytes in use to file in the .msg form; false with the system's error.
bool JournalCopyTo(HANDLE file, DWORD *error);
// Closes the journal, which deletes its file.
void JournalClose();

#endif
