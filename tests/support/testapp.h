// Runs Velkor's real main window inside a test program.
#ifndef VELKOR_TESTS_TESTAPP_H
#define VELKOR_TESTS_TESTAPP_H

#include <windows.h>

#include <string>
#include <vector>

#include "files.h"

// Starts the program in-process (window shown, first line logged); false on failure.
bool StartTestApp();
// Ends it as "Beenden" does and runs the shutdown; returns the loop's exit code.
int StopTestApp();
// The log's lines, oldest first.
std::vector<std::string> LogLines();
// True when the log's newest line is wholly in view.
bool LastLineInView();
// Text of a command list cell.
std::string ListText(int item, int subItem);
// Inserts an entry with the given column texts at the end; returns its index.
int InsertListEntry(const char *command, const char *remark);
// Sends a WM_COMMAND as a menu would, and lets posted messages run.
void RunCommand(int id);
// Menu item state (MF_GRAYED etc.) of a command in the main menu.
UINT MenuState(int id);
// Toolbar button state (TBSTATE_*).
int ButtonState(int id);

#endif
