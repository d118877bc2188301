// The receive buffer: the main window's copy of the latest block.
#include "device/receiver.h"

#include <stdlib.h>

// Owned by the user-interface thread.
static unsigned char *receiveBuffer;
static size_t receiveBufferSize;

bool AllocateReceiveBuffer(uint32_t blockLength)
{
    size_t size = (size_t)blockLength + 1 < 2 ? 2 : (size_t)blockLength + 1;
    unsigned char *buffer = (unsigned char *)calloc(size, 1);
    if (!buffer)
        return false;
    free(receiveBuffer);
    receiveBuffer = buffer;
    receiveBufferSize = size;
    return true;
}

void ReleaseReceiveBuffer()
{
    free(receiveBuffer);
    receiveBuffer = NULL;
    receiveBufferSize = 0;
}

unsigned char *ReceiveBuffer() { return receiveBuffer; }
size_t ReceiveBufferSize() { return receiveBufferSize; }
