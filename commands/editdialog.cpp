// The command edit dialog and the bit-pattern view.
#include "commands/editdialog.h"

void EditCommand(bool) {}
INT_PTR CALLBACK CommandDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK BitPatternDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
