// The device properties dialog (808).
#ifndef VELKOR_PROPERTIES_PROPERTIESDIALOG_H
#define VELKOR_PROPERTIES_PROPERTIESDIALOG_H

#include <windows.h>

// Runs dialog 808 with the device closed and re-renders the command list.
void EditDeviceProperties();

#endif
