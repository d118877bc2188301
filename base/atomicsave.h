// Saving a file so that a failure never loses the new data nor the old: the
// data goes to a new file beside it, which takes the old one's place only
// once it is complete.
#ifndef VELKOR_BASE_ATOMICSAVE_H
#define VELKOR_BASE_ATOMICSAVE_H

#include <windows.h>

#include "base/filedialog.h"

// One save in progress; the caller writes to file.
struct AtomicSave {
    HANDLE file;
    char target[FILE_PATH_ROOM];
    char temporary[FILE_PATH_ROOM]; // empty when the target itself is written
    char backup[FILE_PATH_ROOM];    // where the old file waits while the new one takes its place
    bool targetCut;                 // the new bytes were being written over the old ones and failed
};

// The save dialog over path (the proposal; gets the choice), then the new file for it; false when cancelled
// or, after the write error box with kind's caption, when no file could be created.
bool BeginChosenSave(const FileDialogKind &kind, char *path, AtomicSave &save);
// Finishes a save whose writes all succeeded (written), else abandons it; false after the write error box
// with the number of the call that failed (writeError for a failed write), which also names where the old
// and the new file are when they could not be left as before.
bool EndChosenSave(AtomicSave &save, bool written, DWORD writeError, const FileDialogKind &kind);

#endif
