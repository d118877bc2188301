// Saving a file so that a failure never loses the new data nor the old. The
// new file is written beside the old one, flushed and closed with every
// result checked, and only then takes the old one's place, while the old one
// waits under a backup name in the same folder. Every name used is the
// target's or one made here, so after a failure each file can be put back.
#include "base/atomicsave.h"

#include <stdio.h>
#include <string.h>

#include "base/boxes.h"

typedef BOOL(WINAPI *ReplaceFileFunction)(LPCSTR, LPCSTR, LPCSTR, DWORD, LPVOID, LPVOID);

// Owned by the user-interface thread: ReplaceFileA, or a test's stand-in.
static ReplaceFileFunction replaceFile = ReplaceFileA;

// Owned by the user-interface thread: saves so far, so that the next one
// starts at names this process has not used.
static unsigned savesBegun;

static const unsigned NAME_ATTEMPTS = 100;
// How long a save waits for another program (a virus scanner, an indexer)
// that has just opened one of its files, and how often it tries again.
static const DWORD SHARING_WAIT_MS = 1000;
static const DWORD SHARING_STEP_MS = 50;
// The bytes the in-place write copies at a time.
static const DWORD COPY_CHUNK = 16384;

// A test's stand-in for ReplaceFileA (null: the real one again); declared by the tests only.
void UseReplaceFileForTests(ReplaceFileFunction function)
{
    replaceFile = function ? function : ReplaceFileA;
}

// A name with extension in the target's folder, so that moving is a rename
// within one volume; false when it does not fit the ANSI functions' MAX_PATH.
static bool SideName(const char *target, unsigned attempt, const char *extension, char *name, size_t room)
{
    size_t folder = 0;
    for (size_t i = 0; target[i]; i++) {
        if (target[i] == '\\' || target[i] == '/' || target[i] == ':')
            folder = i + 1;
    }
    int length = snprintf(name, room, "%.*s~velkor%04lX%04X%s", (int)folder, target, GetCurrentProcessId() & 0xFFFF,
                          (savesBegun + attempt) & 0xFFFF, extension);
    return length > 0 && (size_t)length < room && length < MAX_PATH;
}

static bool Exists(const char *path)
{
    return path[0] && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// After error: true, having waited a moment, while another program may
// still be about to let go of a file; false for any other error or once
// the time since started is up.
static bool WaitForSharing(DWORD error, DWORD started)
{
    if (error != ERROR_SHARING_VIOLATION || GetTickCount() - started >= SHARING_WAIT_MS)
        return false;
    Sleep(SHARING_STEP_MS);
    return true;
}

// Deletes a file of this save, waiting a moment while another program has
// just opened it.
static void Remove(const char *path)
{
    DWORD started = GetTickCount();
    while (Exists(path) && !DeleteFileA(path) && WaitForSharing(GetLastError(), started)) {
    }
}

// An existing target that could not be written (held by another program
// without sharing, read-only) is refused before anything is written, with
// the number creating it would have given.
static bool TargetWritable(const char *target, DWORD *error)
{
    DWORD started = GetTickCount();
    for (;;) {
        HANDLE file =
            CreateFileA(target, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        *error = GetLastError();
        if (*error == ERROR_FILE_NOT_FOUND)
            return true;
        if (!WaitForSharing(*error, started))
            return false;
    }
}

// False when the folder refuses to let the file go by its name, as
// ReplaceFile, MoveFileEx and DeleteFile take it.
static bool MayDeleteByName(const char *path)
{
    HANDLE probe = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (probe == INVALID_HANDLE_VALUE)
        return GetLastError() != ERROR_ACCESS_DENIED;
    CloseHandle(probe);
    return true;
}

// Removes the new file through the handle that created it, which asked
// for DELETE then and so may delete it where its name may not (ReplaceFile's
// remarks), and closes the handle.
static void DiscardThroughHandle(HANDLE file, const char *path)
{
    FILE_DISPOSITION_INFO gone = {TRUE};
    bool marked = SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone) != 0;
    CloseHandle(file);
    if (!marked)
        Remove(path);
}

// Creates the new file for target; false, with *error the failed call's number, when none could be created.
static bool BeginAtomicSave(AtomicSave &save, const char *target, DWORD *error)
{
    snprintf(save.target, sizeof save.target, "%s", target);
    save.file = INVALID_HANDLE_VALUE;
    save.temporary[0] = 0;
    save.backup[0] = 0;
    save.targetCut = false;
    if (!TargetWritable(save.target, error))
        return false;
    for (unsigned attempt = 0; attempt < NAME_ATTEMPTS; attempt++) {
        if (!SideName(save.target, attempt, ".tmp", save.temporary, sizeof save.temporary) ||
            !SideName(save.target, attempt, ".bak", save.backup, sizeof save.backup))
            break;
        if (Exists(save.backup))
            continue; // another program's file is never made a backup
        // CREATE_NEW never opens what is already there: a file or a link
        // another program put under this name is left alone. DELETE asked for
        // at creation is granted whatever the folder allows (ReplaceFile's remarks).
        save.file = CreateFileA(save.temporary, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, NULL,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (save.file != INVALID_HANDLE_VALUE) {
            savesBegun += attempt + 1;
            if (MayDeleteByName(save.temporary)) {
                // A short write reports the last error; none may be left from here.
                SetLastError(0);
                return true;
            }
            // The user may create and write files here but not delete them.
            DiscardThroughHandle(save.file, save.temporary);
            break;
        }
        DWORD failed = GetLastError();
        if (failed == ERROR_ACCESS_DENIED)
            break;
        if (failed != ERROR_FILE_EXISTS && failed != ERROR_ALREADY_EXISTS) {
            save.temporary[0] = 0;
            save.backup[0] = 0;
            *error = failed;
            return false;
        }
    }
    // A folder whose permissions let the user replace the file but not add
    // or remove one (or a path with no room for another name): written in place.
    save.temporary[0] = 0;
    save.backup[0] = 0;
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

// Copies the closed new file's bytes over the old file, which keeps its name
// and everything else: the save where names may not be deleted or renamed.
// 0, or the failed call's number.
static DWORD WriteInPlace(AtomicSave &save)
{
    HANDLE from = CreateFileA(save.temporary, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (from == INVALID_HANDLE_VALUE)
        return GetLastError();
    HANDLE to = CreateFileA(save.target, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (to == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        CloseHandle(from);
        return error;
    }
    save.targetCut = true; // until every byte is in
    char chunk[COPY_CHUNK];
    DWORD error = 0;
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(from, chunk, sizeof chunk, &got, NULL) || (got && !WriteFile(to, chunk, got, &put, NULL))) {
            error = GetLastError();
            break;
        }
        if (put != got) {
            error = ERROR_WRITE_FAULT;
            break;
        }
        if (!got)
            break;
    }
    if (!error && (!SetEndOfFile(to) || !FlushFileBuffers(to)))
        error = GetLastError();
    if (!CloseHandle(to) && !error)
        error = GetLastError();
    CloseHandle(from);
    if (error)
        return error;
    save.targetCut = false;
    Remove(save.temporary);
    return 0;
}

// One try to put the closed new file in the target's place: 0, or the
// number of the failure.
static DWORD TryPutInPlace(AtomicSave &save)
{
    if (!Exists(save.target))
        return MoveFileExA(save.temporary, save.target, MOVEFILE_WRITE_THROUGH) ? 0 : GetLastError();
    // Keeps the old file's attributes, security and creation time (ReplaceFile's documentation).
    if (replaceFile(save.target, save.temporary, save.backup, 0, NULL, NULL)) {
        Remove(save.backup);
        return 0;
    }
    DWORD error = GetLastError();
    switch (error) {
    // ReplaceFile: after any error but 1176 and 1177 both files keep their names and there is no backup.
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        // A file system or share without ReplaceFile: a plain rename over the old file.
        return MoveFileExA(save.temporary, save.target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? 0
                   : GetLastError();
    case ERROR_ACCESS_DENIED:             // the old file may not be deleted, or its rights not be taken over
    case ERROR_UNABLE_TO_REMOVE_REPLACED: // 1175: the old file could not be moved away
        return WriteInPlace(save);
    default:
        // ReplaceFile: after 1176 (with a backup name) both keep their names;
        // after 1177 the old file is under the backup name, the new one under its own.
        return error;
    }
}

// Puts the closed new file in the target's place, waiting about a second
// while another program holds one of the files; 0, or the failure's number.
static DWORD PutInPlace(AtomicSave &save)
{
    DWORD started = GetTickCount();
    DWORD error;
    do
        error = TryPutInPlace(save);
    while (WaitForSharing(error, started));
    return error;
}

// Flushes, closes and puts the file in place; 0, or the failed call's number.
static DWORD FinishAtomicSave(AtomicSave &save)
{
    // A full disk behind a cache or a lost network share shows at the flush
    // or at the close, not at the writes.
    DWORD error = 0;
    if (!FlushFileBuffers(save.file)) {
        error = GetLastError();
        if (save.temporary[0])
            DiscardThroughHandle(save.file, save.temporary);
        else
            CloseHandle(save.file);
        save.file = INVALID_HANDLE_VALUE;
        return error;
    }
    if (!CloseHandle(save.file))
        error = GetLastError();
    save.file = INVALID_HANDLE_VALUE;
    if (!save.temporary[0] || error)
        return error;
    return PutInPlace(save);
}

// After a failed write: closes the file and removes it; the target stays as it was.
static void AbandonAtomicSave(AtomicSave &save)
{
    if (save.file != INVALID_HANDLE_VALUE) {
        if (save.temporary[0])
            DiscardThroughHandle(save.file, save.temporary);
        else
            CloseHandle(save.file);
    }
    save.file = INVALID_HANDLE_VALUE;
}

// After a failure: the old file back under its own name and the new one
// removed; false when that could not be done.
static bool TakeBack(AtomicSave &save)
{
    // Only after ReplaceFile's 1177 is the old file under the backup name; a
    // name taken meanwhile is not replaced.
    if (Exists(save.backup))
        MoveFileExA(save.backup, save.target, MOVEFILE_WRITE_THROUGH);
    bool oldInPlace = !save.targetCut && !Exists(save.backup);
    if (oldInPlace)
        Remove(save.temporary);
    return oldInPlace && !Exists(save.temporary);
}

// The write error box that also says where the old and the new file are.
static void ShowBothFilesBox(const AtomicSave &save, DWORD error, const char *caption)
{
    char text[2 * FILE_PATH_ROOM + 160];
    int length = snprintf(text, sizeof text, TEXT_WRITE_ERROR, (int)error);
    if (length > 0 && (size_t)length < sizeof text)
        snprintf(text + length, sizeof text - length,
                 "\r\n\r\nDie bisherige Datei liegt unter\r\n%s\r\n\r\nDie neue Datei liegt unter\r\n%s",
                 Exists(save.backup) ? save.backup : save.target, save.temporary);
    ShowBox(text, caption, MB_OK);
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
    else if ((error = FinishAtomicSave(save)) == 0)
        return true;
    if (save.temporary[0] && !TakeBack(save))
        ShowBothFilesBox(save, error, kind.errorCaption);
    else
        ShowNumberBox(TEXT_WRITE_ERROR, error, kind.errorCaption);
    return false;
}
