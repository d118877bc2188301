// The command edit dialog (807) and the bit-pattern view (140).
#ifndef VELKOR_COMMANDS_EDITDIALOG_H
#define VELKOR_COMMANDS_EDITDIALOG_H

#include <windows.h>

// Edits the selected entry (edit true) or adds one, through dialog 807.
void EditCommand(bool edit);
// Dialog procedure of dialog 807.
INT_PTR CALLBACK CommandDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Dialog procedure of dialog 140.
INT_PTR CALLBACK BitPatternDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
