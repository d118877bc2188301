// The device connection.
#include "device/connection.h"

// Owned by the user-interface thread.
static HANDLE device = INVALID_HANDLE_VALUE;

bool OpenDevice() { return false; }
void CloseDevice() {}
bool StartReader() { return false; }
void StopReader() {}
void ReadDeviceProperties() {}
bool DeviceIsOpen() { return device != INVALID_HANDLE_VALUE; }
HANDLE DeviceHandle() { return device; }
void ShutdownDevice() {}
