// Saving a file so that a failure never leaves it cut. The new file is
// written beside the old one, flushed and closed with every result checked,
// and only then takes the old one's place.
#include "base/atomicsave.h"

#include <stdio.h>
#include <string.h>

#include "base/boxes.h"

// Owned by the user-interface thread: saves so far, so that the next one
// starts at a name this process has not used.
static unsigned savesBegun;

static const unsigned NAME_ATTEMPTS = 100;

// The new file's name in the target's folder, so that putting it in place
// is a rename within one volume; false when the name does not fit the ANSI
// functions' MAX_PATH.
static bool TemporaryName(const char *target, unsigned attempt, char *name, size_t room)
{
    size_t folder = 0;
    for (size_t i = 0; target[i]; i++) {
        if (target[i] == '\\' || target[i] == '/' || target[i] == ':')
            folder = i + 1;
    }
    int length = snprintf(name, room, "%.*s~velkor%04lX%04X.tmp", (int)folder, target,
                          GetCurrentProcessId() & 0xFFFF, (savesBegun + attempt) & 0xFFFF);
    return length > 0 && (size_t)length < room && length < MAX_PATH;
}

// An existing target that could not be written (held by another program
// without sharing, read-only) is refused before anything is written, with
// the number creating it would have given.
static bool TargetWritable(const char *target, DWORD *error)
{
    HANDLE file =
        CreateFileA(target, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return true;
    }
    *error = GetLastError();
    return *error == ERROR_FILE_NOT_FOUND;
}

// Creates the new file for target; false, with *error the failed call's number, when none could be created.
static bool BeginAtomicSave(AtomicSave &save, const char *target, DWORD *error)
{
    snprintf(save.target, sizeof save.target, "%s", target);
    save.file = INVALID_HANDLE_VALUE;
    save.temporary[0] = 0;
    if (!TargetWritable(save.target, error))
        return false;
    for (unsigned attempt = 0; attempt < NAME_ATTEMPTS; attempt++) {
        if (!TemporaryName(save.target, attempt, save.temporary, sizeof save.temporary))
            break;
        // CREATE_NEW never opens what is already there: a file or a link
        // another program put under this name is left alone.
        save.file = CreateFileA(save.temporary, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, NULL);
        if (save.file != INVALID_HANDLE_VALUE) {
            savesBegun += attempt + 1;
            // A short write reports the last error; none may be left from here.
            SetLastError(0);
            return true;
        }
        DWORD failed = GetLastError();
        if (failed == ERROR_ACCESS_DENIED)
            break;
        if (failed != ERROR_FILE_EXISTS && failed != ERROR_ALREADY_EXISTS) {
            save.temporary[0] = 0;
            *error = failed;
            return false;
        }
    }
    // A folder whose permissions let the user replace the file but not add
    // one (or a path with no room for another name): written in place.
    save.temporary[0] = 0;
    SetLastError(0);
    save.file = CreateFileA(save.target, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            NULL);
    if (save.file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    SetLastError(0);
    return true;
}

// Puts the closed new file in the target's place; false with *error set.
static bool PutInPlace(AtomicSave &save, DWORD *error)
{
    if (GetFileAttributesA(save.target) == INVALID_FILE_ATTRIBUTES) {
        if (MoveFileExA(save.temporary, save.target, MOVEFILE_WRITE_THROUGH))
            return true;
        *error = GetLastError();
        DeleteFileA(save.temporary);
        return false;
    }
    // Keeps the old file's attributes, security and creation time (ReplaceFile's documentation).
    if (ReplaceFileA(save.target, save.temporary, NULL, 0, NULL, NULL))
        return true;
    *error = GetLastError();
    // Without a backup name this error means the old file is gone already
    // and the new one still has its own name (ReplaceFile's documentation):
    // the new file is all there is, so it goes to the target's name or stays.
    if (*error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        if (MoveFileExA(save.temporary, save.target, MOVEFILE_WRITE_THROUGH))
            return true;
        *error = GetLastError();
        return false;
    }
    DeleteFileA(save.temporary);
    return false;
}

// Flushes, closes and puts the file in place; false, with *error the failed call's number, leaves the
// target as it was.
static bool FinishAtomicSave(AtomicSave &save, DWORD *error)
{
    // A full disk behind a cache or a lost network share shows at the flush
    // or at the close, not at the writes.
    bool ok = FlushFileBuffers(save.file) != 0;
    if (!ok)
        *error = GetLastError();
    if (!CloseHandle(save.file) && ok) {
        *error = GetLastError();
        ok = false;
    }
    save.file = INVALID_HANDLE_VALUE;
    if (!save.temporary[0])
        return ok;
    if (!ok) {
        DeleteFileA(save.temporary);
        return false;
    }
    return PutInPlace(save, error);
}

// After a failed write: closes the file and removes it; the target stays as it was.
static void AbandonAtomicSave(AtomicSave &save)
{
    if (save.file != INVALID_HANDLE_VALUE)
        CloseHandle(save.file);
    save.file = INVALID_HANDLE_VALUE;
    if (save.temporary[0])
        DeleteFileA(save.temporary);
}

bool BeginChosenSave(const FileDialogKind &kind, char *path, AtomicSave &save)
{
    if (!ChooseFileToSave(kind, path))
        return false;
    DWORD error = 0;
    if (BeginAtomicSave(save, path, &error))
        return true;
    ShowNumberBox(TEXT_WRITE_ERROR, error, kind.errorCaption);
    return false;
}

bool EndChosenSave(AtomicSave &save, bool written, DWORD writeError, const FileDialogKind &kind)
{
    DWORD error = writeError;
    if (!written)
        AbandonAtomicSave(save);
    else if (FinishAtomicSave(save, &error))
        return true;
    ShowNumberBox(TEXT_WRITE_ERROR, error, kind.errorCaption);
    return false;
}
