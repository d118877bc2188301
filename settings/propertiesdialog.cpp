// The device properties dialog.
#include "settings/propertiesdialog.h"

void EditDeviceProperties() {}

INT_PTR CALLBACK DevicePropertiesDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
