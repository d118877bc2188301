// The open device's handle.
#include "base/devicehandle.h"

// Owned by the user-interface thread.
static HANDLE device = INVALID_HANDLE_VALUE;

bool DeviceIsOpen() { return device != INVALID_HANDLE_VALUE; }
HANDLE DeviceHandle() { return device; }
void SetDeviceHandle(HANDLE handle) { device = handle; }
