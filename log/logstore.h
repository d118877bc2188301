// The one store of the log's lines: the journal holds every line, the list
// box shows the newest of them (user-interface thread).
#ifndef VELKOR_LOG_LOGSTORE_H
#define VELKOR_LOG_LOGSTORE_H

#include <windows.h>

// What a save wrote: the lines taken until then and where they end in the journal.
struct StoreMark {
    ULONGLONG lines;
    ULONGLONG journalEnd;
};

// Adds a line to the list box and the journal; trims the list box at its high-water mark.
void StoreLine(HWND log, const char *line);
// Writes the journal's buffer out (each frame does).
void FlushStore();
// A journal that failed is tried again (at most once a second, once its
// volume has room): true when it came back and holds every line again.
bool ResumeJournal(HWND log);
// Writes every line of the log to file in the .msg form; false with the system's error.
bool WriteStoreTo(HWND log, HANDLE file, StoreMark *mark, DWORD *error);
// Forgets the lines a save wrote, from the journal and the list box; later lines stay.
void ForgetStoredUpTo(HWND log, const StoreMark &mark);
// Holds the store's warning boxes back until as many releases as holds;
// the last release shows those that came meanwhile.
void HoldStoreWarnings();
void ReleaseStoreWarnings();
// For a newly created list box: no journal, nothing counted, nothing reported.
void ResetStore();

#endif
