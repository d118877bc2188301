// What a device says it holds: the bytes that arrived and are not read yet,
// and whether its driver had to drop some.
#ifndef VELKOR_DEVICE_WAITING_H
#define VELKOR_DEVICE_WAITING_H

#include <windows.h>
#include <stdint.h>

// How a device tells the bytes it holds.
enum WaitingCount { COUNT_NONE, COUNT_PIPE, COUNT_SERIAL };

// A named pipe and a serial port tell; other devices (a USB interface) do not.
WaitingCount WaitingCountOf(HANDLE device);
// Bytes the device holds now (0 when it cannot tell); *lost is set when a
// serial driver reports that its queue or the port overran since it was last asked.
uint32_t BytesWaiting(HANDLE device, WaitingCount how, bool *lost);

#endif
