// The connection to the device: open, close, start and stop the reader.
// All state is owned by the user-interface thread.
#ifndef VELKOR_DEVICE_CONNECTION_H
#define VELKOR_DEVICE_CONNECTION_H

#include <windows.h>

// CreateFileA of a connect string (OPEN_EXISTING) with flags, lending a pipe's server only an identification.
HANDLE OpenConnectString(const char *connectString, DWORD access, DWORD shareMode, DWORD flags);
// Opens the device named by the connect string; true only when this call opened it.
bool OpenDevice();
// Stops the reader, closes the device and logs "Device %s geschlossen".
void CloseDevice();
// Starts the receive thread on the open device.
bool StartReader();
// Signals the reader to stop, waits its grace period, terminates it if need be.
void StopReader();
// "Device Eigenschaften auslesen".
void ReadDeviceProperties();
// At exit: stops the reader, cancels and closes the device; no log, no refresh.
void ShutdownDevice();

#endif
