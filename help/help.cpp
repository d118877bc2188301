// The help file and the About box. Neither keeps state; both run on the
// user-interface thread.
#include "help/help.h"

#include "base/appwindows.h"
#include "base/boxes.h"
#include "base/systemlibrary.h"
#include "help/helppath.h"
#include "resources/resource.h"

static const char HELP_MISSING_TEXT[] =
    "Hilfedatei\n[Programmverzeichnis]\\velkor.html\nnicht vorhanden oder dieser Computer\nhat Probleme mit *.html Dateien";

// Where the program really lies. The command line is no guide: a path with
// blanks arrives quoted and arguments may hold "\" or "/". It is used only
// when the system cannot name the module.
static bool ProgramPath(char *path, DWORD size)
{
    DWORD length = GetModuleFileNameA(NULL, path, size);
    if (length > 0 && length < size)
        return true;
    return ProgramPathFromCommandLine(GetCommandLineA(), path, size);
}

void ShowHelp()
{
    char programPath[HELP_PATH_SIZE];
    char helpPath[HELP_PATH_SIZE];
    // A path that had to be cut names some other file: never hand it on.
    bool opened = ProgramPath(programPath, sizeof programPath) &&
                  BuildHelpPath(programPath, helpPath, sizeof helpPath);
    if (opened)
        opened = ShellOpen(helpPath, SW_SHOWDEFAULT);
    if (!opened)
        ShowBox(HELP_MISSING_TEXT, CAPTION_VELKOR, MB_ICONERROR);
}

// Not static: the tests run the dialog with it.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void ShowAboutBox()
{
    // The box has nothing to report; a failure to show it is not reported either.
    DialogBoxParamA(AppInstance(), MAKEINTRESOURCEA(IDD_ABOUT), MainWindow(), AboutDialogProc, 0);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE; // the default focus goes to the OK button
    case WM_COMMAND:
        // OK and Enter give IDOK; Escape and the title bar's close button IDCANCEL.
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
