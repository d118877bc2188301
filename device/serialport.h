// A serial port opened as the device, set up for the reader and the send.
#ifndef VELKOR_DEVICE_SERIALPORT_H
#define VELKOR_DEVICE_SERIALPORT_H

#include <windows.h>

// On a serial port (GetCommState succeeds): no time-outs, abort-on-error off, pending errors cleared, a 64 KiB
// input queue asked for (a refusal is not counted); any other
// device is left untouched. False when it is no serial port or the port refused a step.
bool PrepareSerialPort(HANDLE device);

#endif
