// The frame the program's own dialog procedures share.
#ifndef VELKOR_BASE_DIALOGFRAME_H
#define VELKOR_BASE_DIALOGFRAME_H

#include <windows.h>

// Fills the dialog's controls; the focus then goes where the template puts it.
typedef void (*DialogInit)(HWND dialog);
// Handles a WM_COMMAND; returns what the dialog procedure returns for it.
typedef INT_PTR (*DialogCommand)(HWND dialog, WPARAM wParam);

// A dialog procedure's body: WM_INITDIALOG runs init and returns TRUE (the
// focus as the template gives it), WM_COMMAND goes to command, the rest is FALSE.
INT_PTR RouteDialogMessage(HWND dialog, UINT message, WPARAM wParam, DialogInit init, DialogCommand command);

#endif
