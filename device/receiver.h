// The receive thread and the parameter block it runs with.
#ifndef VELKOR_DEVICE_RECEIVER_H
#define VELKOR_DEVICE_RECEIVER_H

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

// The receive thread's only argument; it owns and releases the block.
struct ReaderParams {
    HWND window;          // receiver of the posted messages
    HANDLE device;        // opened for overlapped I/O
    HANDLE stopEvent;     // manual reset; signalled: end
    uint32_t readTimeout; // milliseconds
    uint32_t blockLength; // bytes that finish a block
    uint32_t endByte;     // OptionalByte: below 256 a byte that finishes a block
};

// Thread entry: reads the device byte by byte and posts finished blocks.
DWORD WINAPI ReceiveThread(LPVOID params);

// A zeroed parameter block with the thread's read event, buffers and hand-over
// storage for blocks of blockLength; null when any of them cannot be had.
ReaderParams *CreateReaderParams(uint32_t blockLength);
// Releases a parameter block whose thread has ended or was never started. A
// read still in flight (a killed thread's, or one whose cancellation never
// completed) keeps the block for good; false is returned then.
bool ReleaseReaderParams(ReaderParams *params);
// A thread whose end could not be confirmed: its block and the hand-over
// storage it writes to are given up, never released.
void AbandonReaderParams(ReaderParams *params);
// True while the reader shows its read error box (which disables the main window).
bool ReaderShowsErrorBox(const ReaderParams *params);

#endif
