// The receive thread's way to the window: the bytes gathered into blocks,
// each finished block handed over into the ring (device/handover), the
// window woken for them, and the mark of bytes a serial driver dropped. All
// of it is the receive thread's own.
#ifndef VELKOR_DEVICE_BLOCKSINK_H
#define VELKOR_DEVICE_BLOCKSINK_H

#include <windows.h>
#include <stdint.h>

#include "device/gather.h"
#include "device/handover.h"

struct BlockSink {
    HandOverPool *pool;
    HWND window;
    HANDLE stopEvent;
    uint32_t blockLength;   // as set: the ring keeps room by it
    BlockGatherer gatherer;
    bool blockKept;         // the gathered bytes are a finished block the stop kept from the ring
    bool owed;              // blocks were handed over that the window was not told of
    LONGLONG lastPost;      // performance counter when the window was last woken ...
    LONGLONG countsPerMs;   // ... and its counts a millisecond
    bool overrunDue;        // the driver lost bytes: a mark is to go before the next block
    bool overrunSeen;       // a mark went, at lastOverrun
    DWORD lastOverrun;
};

// Binds an empty sink to the ring and the window, gathering into buffer (blockLength bytes, at least 1).
void StartSink(BlockSink &sink, HandOverPool *pool, HWND window, HANDLE stopEvent, unsigned char *buffer,
               uint32_t blockLength, uint32_t endByte);
// Gathers bytes; each block they finish is handed over (a stopping reader's into the room kept for it).
// False when the stop event came while waiting for room: *taken bytes were gathered, the rest were not.
bool SinkBytes(BlockSink &sink, const unsigned char *bytes, uint32_t count, bool stopping, uint32_t *taken);
// Hands the gathered bytes over as a block, waiting while the ring is full; false when the stop came first.
bool HandOverGathered(BlockSink &sink);
// A stopping reader: hands over what is still gathered, with a mark owed before it.
void HandOverRest(BlockSink &sink);
// The driver lost bytes: a mark goes at once when there is room, else before the next block (once a second).
void NoteOverrun(BlockSink &sink);
// Wakes the window for the blocks it was not told of; false when the stop came while a post kept failing.
bool Announce(BlockSink &sink);
// Milliseconds until the window may be woken again (0: now, or nothing to tell).
DWORD AnnounceWait(const BlockSink &sink);

#endif
