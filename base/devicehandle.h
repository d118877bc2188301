// The open device's handle (owned by the user-interface thread).
#ifndef VELKOR_BASE_DEVICEHANDLE_H
#define VELKOR_BASE_DEVICEHANDLE_H

#include <windows.h>

// True while the device handle is open.
bool DeviceIsOpen();
// The device handle (INVALID_HANDLE_VALUE when closed).
HANDLE DeviceHandle();
// Remembers the handle the connection opened (INVALID_HANDLE_VALUE: closed).
void SetDeviceHandle(HANDLE handle);

#endif
