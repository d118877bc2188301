// Answers dialogs and message boxes for tests, and records what they said.
//
// In-process: a thread timer runs inside every modal loop of the test's
// thread; each new box of class #32770 is described, recorded and handed to
// the next scripted answer. A box without a scripted answer is recorded as
// unexpected and cancelled, so a test never hangs on it.
// Cross-process: the same description works on another process's boxes.
#ifndef VELKOR_TESTS_BOXES_H
#define VELKOR_TESTS_BOXES_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct BoxInfo {
    HWND window = NULL;
    std::string caption;
    std::string text;          // a message box's text; empty for dialogs
    UINT style = 0;            // MB_ICON* | MB_OK/MB_YESNO/... as inferred from the box
    bool isMessageBox = false; // false for a dialog of the program's own
    bool unexpected = false;   // no answer was scripted for it
};

// What a scripted answer does with a box: press a button, fill a dialog, ...
typedef std::function<void(HWND box, const BoxInfo &info)> BoxAction;

// Reads caption, text and inferred style of a box (any process).
BoxInfo DescribeBox(HWND box);
// The icon flag of a message box (MB_ICONERROR, ...), 0 when it has none.
UINT MessageBoxIcon(HWND box);
// The button set of a message box (MB_OK, MB_YESNO, MB_RETRYCANCEL, ...).
UINT MessageBoxButtons(HWND box);

// Starts answering the current thread's boxes (idempotent).
void StartBoxAnswering();
// Stops answering and forgets the script and the records.
void StopBoxAnswering();
// Queues an answer for the next box that appears.
void AnswerNextBox(BoxAction action);
// Queues an answer that presses the button with this id (IDOK, IDYES, ...).
void AnswerNextBoxWith(int buttonId);
// Every box seen since StartBoxAnswering (or ClearSeenBoxes), in order.
const std::vector<BoxInfo> &SeenBoxes();
void ClearSeenBoxes();
// Number of scripted answers not used yet.
size_t PendingAnswers();

// Presses a button of a box or dialog by posting its command (any process).
void PressButton(HWND box, int buttonId);
// A BoxAction that presses a button.
BoxAction Press(int buttonId);

// A message box as the test saw it, read from its own controls whatever its
// instance handle (null under 64-bit Wine, so it does not read as user32's).
struct SeenBox {
    bool seen = false;
    std::string caption;
    std::string text;
    UINT style = 0; // MB_ICON* | button set
    HWND owner = NULL;
};
// A BoxAction that records the box into *box (when not null) and presses button.
BoxAction RecordBox(SeenBox *box, int button);

// Finds a visible, enabled #32770 window of a process that is not in skip.
HWND FindBoxOfProcess(DWORD processId, const std::vector<HWND> &skip = std::vector<HWND>());
// Waits for such a box while pumping this thread's messages; null on time-out.
HWND WaitForBoxOfProcess(DWORD processId, DWORD timeoutMs, const std::vector<HWND> &skip = std::vector<HWND>());

#endif
