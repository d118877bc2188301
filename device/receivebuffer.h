// The receive buffer: the main window's copy of the latest block (owned by
// the user-interface thread).
#ifndef VELKOR_DEVICE_RECEIVEBUFFER_H
#define VELKOR_DEVICE_RECEIVEBUFFER_H

#include <stddef.h>
#include <stdint.h>

// Gives the receive buffer blockLength + 1 bytes (at least 2). A length that
// cannot be had is refused with a box; the previous buffer stays (or one for
// the default length 3 is made) and false is returned.
bool AllocateReceiveBuffer(uint32_t blockLength);
// The buffer for the settings' readBlockLength; a refused length gives way to
// the one the kept buffer serves, so the reader never gathers more than it holds.
void FitReceiveBufferToSettings();
// Releases the receive buffer.
void ReleaseReceiveBuffer();
// The receive buffer and its size in bytes.
unsigned char *ReceiveBuffer();
size_t ReceiveBufferSize();

#endif
