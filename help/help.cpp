// The help file and the About box.
#include "help/help.h"

void ShowHelp() {}
void ShowAboutBox() {}
INT_PTR CALLBACK AboutDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
