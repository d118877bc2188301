// Helpers for the tests of command editing and command files, in-process:
// answering dialog 807, the bit-pattern view and the common file dialogs
// through the scripted box answering of boxes.h.
#ifndef VELKOR_TESTS_COMMANDS_SUPPORT_H
#define VELKOR_TESTS_COMMANDS_SUPPORT_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "boxes.h"
#include "files.h"

// What dialog 807 showed when it was answered.
struct CommandDialogView {
    bool seen = false;
    std::string title;
    std::string bytes[8]; // byte boxes 1003, 1006, ... 1016
    std::string remark;
    RECT rect = {0, 0, 0, 0}; // screen rectangle
    int focusId = 0;          // control with the keyboard focus
};

// What a common file dialog showed when it was answered.
struct FileDialogView {
    bool seen = false;
    std::string caption;
    std::string initialName;          // the name field's text
    std::vector<std::string> filters; // the file type box's entries
};

// The byte boxes of dialog 807 in the order of byte fields 0 to 7.
extern const int COMMAND_BYTE_BOXES[8];

// Reads what dialog 807 shows.
CommandDialogView ReadCommandDialog(HWND dialog);
// Records dialog 807 into view (may be null), sets the byte boxes to bytes
// (missing ones empty) and, unless remark is null, the remark box, then
// presses button (0: presses nothing).
BoxAction FillCommandDialog(const std::vector<std::string> &bytes, const char *remark, int button = IDOK,
                            CommandDialogView *view = NULL);

// The name field (an Edit with id 0x47C) of a common file dialog, or null.
HWND FileNameField(HWND dialog);
// Records the file dialog into view (may be null), types path and presses OK.
BoxAction ChooseFile(const std::string &path, FileDialogView *view = NULL);
// Records the file dialog and cancels it.
BoxAction CancelFileDialog(FileDialogView *view = NULL);

// For a box that may or may not come first: a question with a Yes button is
// answered Yes and next waits for the box after it; any other box gets next.
BoxAction YesIfAskedThen(BoxAction next);

// A folder of the build tree for one test, known by its Windows and Unix paths.
struct SharedFolder {
    std::string windows;
    std::string unix;
};
SharedFolder MakeSharedFolder(const char *stem);

// True when a folder lists the name (also a link to a device, for which
// GetFileAttributes fails under Wine).
bool FolderLists(const std::string &folder, const char *name);
// Removes the files and the folder of MakeSharedFolder.
void RemoveSharedFolder(const SharedFolder &folder);

// Runs f once, about ms later, inside whatever modal loop this thread is in.
void AfterDelay(DWORD ms, std::function<void()> f);
// Posts a key press (down and up) to a window, as the keyboard would.
void PostKey(HWND window, UINT key);

// Writes bytes to a file (Windows path), replacing it; false on failure.
bool WriteWholeFile(const std::string &path, const std::string &bytes);
// The entries of the command list as "command|remark".
std::vector<std::string> ListEntries();
// Selects entry n and makes it the selection mark (-1: no selection mark).
void MarkEntry(int n);
// The text lines of the log after their 16-character heads.
std::vector<std::string> LogTexts();

#endif
