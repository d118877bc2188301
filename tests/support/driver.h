// Drives the velkor.exe of this build from another process, as a user would:
// start it, find its window, read its log and command list, send commands,
// answer its boxes and file dialogs, and see how it ends.
//
// Texts are Windows-1252, as the program shows them. Every wait has a
// deadline and pumps the calling thread's messages meanwhile.
#ifndef VELKOR_TESTS_DRIVER_H
#define VELKOR_TESTS_DRIVER_H

#include <windows.h>

#include <string>
#include <vector>

#include "boxes.h"
#include "files.h"

// One started copy of the program.
struct VelkorProcess {
    HANDLE process = NULL;
    DWORD processId = 0;
    HWND window = NULL; // its main window, once WaitForMainWindow found it
};

// Generous deadline for start-up and exit on a loaded machine.
const DWORD DRIVER_TIMEOUT_MS = 20000;

// Starts build/velkor.exe with workingDir as current folder (a Windows path;
// empty: the build folder). Does not wait for its window.
bool StartVelkorProcess(VelkorProcess &app, const std::string &workingDir = std::string());
// Waits until the process shows its main window (class "VELKOR_WND") with its
// message log holding at least one line; sets app.window.
bool WaitForMainWindow(VelkorProcess &app, DWORD timeoutMs = DRIVER_TIMEOUT_MS);
// Every top-level window of class "VELKOR_WND" on the desktop, of any process.
std::vector<HWND> VelkorWindows();

// The message log's lines, oldest first.
std::vector<std::string> ReadLogLines(const VelkorProcess &app);
// Waits until the log holds at least count lines.
bool WaitForLogLines(const VelkorProcess &app, size_t count, DWORD timeoutMs = DRIVER_TIMEOUT_MS);
// Waits until some line's text (after its 16-character head) equals text.
bool WaitForLogText(const VelkorProcess &app, const std::string &text, DWORD timeoutMs = DRIVER_TIMEOUT_MS);
// Logs text through WMU_LOG_TEXT, placed in the program's own memory first.
bool PostLogText(const VelkorProcess &app, const std::string &text);

// Number of entries in the command list.
int ListItemCount(const VelkorProcess &app);
// Text of a command list cell (item, sub-item 0 or 1).
std::string ReadListText(const VelkorProcess &app, int item, int subItem);

// Posts WM_COMMAND with a menu, toolbar or accelerator id.
void PostCommand(const VelkorProcess &app, int id);
// TB_GETSTATE of a toolbar button (-1 when there is no such button).
int ToolbarButtonState(const VelkorProcess &app, int id);

// Waits for a box or dialog of the program that is not in skip; null on time-out.
HWND WaitForBox(const VelkorProcess &app, DWORD timeoutMs = DRIVER_TIMEOUT_MS,
                const std::vector<HWND> &skip = std::vector<HWND>());
// DescribeBox for a box of another process. Under Wine a foreign window's
// instance handle and icon handles mean nothing here, so a message box is
// recognised by its controls and its icon by its picture on the screen.
BoxInfo DescribeBoxOfProcess(HWND box);
// Waits for the next box, describes it, presses buttonId; false on time-out.
bool AnswerBox(const VelkorProcess &app, int buttonId, BoxInfo *seen = NULL, DWORD timeoutMs = DRIVER_TIMEOUT_MS);
// True when window is a common file dialog (it has the file-name control 0x47C).
bool IsFileDialog(HWND window);
// Types path into a file dialog's name field and presses its OK button (any process).
bool ChooseFileInDialog(HWND dialog, const std::string &path);
// Waits for the program's file dialog and chooses path in it; the dialog's caption goes to caption.
bool AnswerFileDialog(const VelkorProcess &app, const std::string &path, std::string *caption = NULL,
                      DWORD timeoutMs = DRIVER_TIMEOUT_MS);

// Helpers for driver programs, which do not link the program's core (testapp.h does).
// Waits for the process to end; its exit code goes to exitCode.
bool WaitForExit(const VelkorProcess &app, DWORD timeoutMs, DWORD *exitCode);
// Ends the process if it still runs (a failed test) and closes its handles.
void EndVelkorProcess(VelkorProcess &app);

#endif
