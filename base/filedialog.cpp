// The common file dialogs of the log and the command files.
#include "base/filedialog.h"

#include "base/appwindows.h"
#include "base/systemlibrary.h"

typedef BOOL(WINAPI *FileDialogFunction)(OPENFILENAMEA *);

// Runs GetOpenFileNameA or GetSaveFileNameA; the dialogs' library is loaded
// at the first dialog, not at start-up.
static bool RunFileDialog(const char *function, OPENFILENAMEA &ofn)
{
    FileDialogFunction dialog = (FileDialogFunction)(void (*)(void))SystemFunction("comdlg32.dll", function);
    return dialog && dialog(&ofn);
}

void PrepareFileDialog(OPENFILENAMEA &ofn, const FileDialogKind &kind, char *path)
{
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = MainWindow();
    ofn.lpstrFilter = kind.filter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = FILE_PATH_ROOM;
    ofn.lpstrTitle = kind.title;
    ofn.lpstrDefExt = kind.defaultExtension;
}

bool ChooseFileToOpen(OPENFILENAMEA &ofn)
{
    return RunFileDialog("GetOpenFileNameA", ofn);
}

bool ChooseFileToSave(const FileDialogKind &kind, char *path)
{
    OPENFILENAMEA ofn;
    PrepareFileDialog(ofn, kind, path);
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    return RunFileDialog("GetSaveFileNameA", ofn);
}
