// The common file dialogs of the log and the command files.
#ifndef VELKOR_BASE_FILEDIALOG_H
#define VELKOR_BASE_FILEDIALOG_H

#include <windows.h>
#include <commdlg.h>
#include <stddef.h>

// A dialog's name buffer: a path of at most 515 characters.
const size_t FILE_PATH_ROOM = 516;

// What a file dialog offers, and the caption of the box for a file that cannot be saved.
struct FileDialogKind {
    const char *filter;           // pairs of name and pattern, ended by an empty name
    const char *title;
    const char *defaultExtension; // appended to a bare name
    const char *errorCaption;
};

// Fills ofn for a dialog of the main window over path (FILE_PATH_ROOM bytes); Flags stay 0.
void PrepareFileDialog(OPENFILENAMEA &ofn, const FileDialogKind &kind, char *path);
// The open dialog over a prepared ofn; false when cancelled or when the
// dialogs' library cannot be had (as a dialog that fails to open).
bool ChooseFileToOpen(OPENFILENAMEA &ofn);
// The save dialog (path holds the proposal and gets the choice); false when cancelled.
bool ChooseFileToSave(const FileDialogKind &kind, char *path);

#endif
