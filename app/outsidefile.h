// A command file given from outside: named on the command line, dropped onto
// the main window, or handed over by a second start (user-interface thread).
// Each is loaded as "Befehlsdatei oeffnen" loads the file chosen in its dialog.
#ifndef VELKOR_APP_OUTSIDEFILE_H
#define VELKOR_APP_OUTSIDEFILE_H

#include <windows.h>

// Start-up, once the main window exists: files may be dropped onto it.
void AcceptDroppedFiles();
// Start-up, after the settings and before the loop: loads the file of the command line, if any.
void LoadCommandLineFile(const char *commandLine);
// A second start: hands the command line's file to the running copy and brings
// that forward; false (nothing done) when there is no file or no copy took it.
bool HandFileToRunningCopy(const char *commandLine);
// WM_DROPFILES: the last of the dropped files is loaded; a block the shell could not read is ignored.
void TakeDroppedFiles(HDROP drop);
// WM_COPYDATA: a path handed over by a second start waits to be loaded; TRUE
// when it was one, FALSE for anything else.
LRESULT TakeHandedFile(const COPYDATASTRUCT *data);
// WMU_LOAD_WAITING_FILE: loads the waiting file unless a dialog or box of the
// main window is open (it waits for that to close).
void LoadWaitingFile();
// WM_ENABLE: a dialog or box has closed; the waiting file is loaded from the
// loop, not inside the code that showed it.
void LoadWaitingFileLater();

#endif
