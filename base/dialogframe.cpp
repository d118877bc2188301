// The frame the program's own dialog procedures share.
#include "base/dialogframe.h"

INT_PTR RouteDialogMessage(HWND dialog, UINT message, WPARAM wParam, DialogInit init, DialogCommand command)
{
    switch (message) {
    case WM_INITDIALOG:
        init(dialog);
        return TRUE;
    case WM_COMMAND:
        return command(dialog, wParam);
    }
    return FALSE;
}
