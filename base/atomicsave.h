// Saving a file so that a failure never leaves it cut: the data goes to a new
// file beside it, which takes the old one's place only once it is complete.
#ifndef VELKOR_BASE_ATOMICSAVE_H
#define VELKOR_BASE_ATOMICSAVE_H

#include <windows.h>

#include "base/filedialog.h"

// One save in progress; the caller writes to file.
struct AtomicSave {
    HANDLE file;
    char target[FILE_PATH_ROOM];
    char temporary[FILE_PATH_ROOM]; // empty when the target itself is written
};

// Creates the new file for target; false, with *error the failed call's number, when none could be created.
bool BeginAtomicSave(AtomicSave &save, const char *target, DWORD *error);
// Flushes, closes and puts the file in place; false, with *error the failed call's number, leaves the target as it was.
bool FinishAtomicSave(AtomicSave &save, DWORD *error);
// After a failed write: closes the file and removes it; the target stays as it was.
void AbandonAtomicSave(AtomicSave &save);

#endif
