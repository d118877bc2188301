// The common file dialogs of the log and the command files.
#include "base/filedialog.h"

#include "base/appwindows.h"
#include "base/boxes.h"
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

HANDLE CreateChosenFile(const FileDialogKind &kind, char *path)
{
    OPENFILENAMEA ofn;
    PrepareFileDialog(ofn, kind, path);
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    if (!RunFileDialog("GetSaveFileNameA", ofn))
        return INVALID_HANDLE_VALUE;
    SetLastError(0);
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        ShowNumberBox(TEXT_WRITE_ERROR, GetLastError(), kind.errorCaption);
    return file;
}
