// The device properties dialog (808).
#ifndef VELKOR_SETTINGS_PROPERTIESDIALOG_H
#define VELKOR_SETTINGS_PROPERTIESDIALOG_H

#include <windows.h>

// Runs dialog 808 with the device closed and re-renders the command list.
void EditDeviceProperties();
// Dialog procedure of dialog 808.
INT_PTR CALLBACK DevicePropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
