// Gathering received bytes into blocks (no windows.h).
#include "device/gather.h"

#include <string.h>

uint32_t EffectiveBlockLength(uint32_t blockLength)
{
    return blockLength == 0 ? 1 : blockLength;
}

void StartGathering(BlockGatherer &gatherer, unsigned char *buffer, uint32_t blockLength, uint32_t endByte)
{
    gatherer.buffer = buffer;
    gatherer.blockLength = EffectiveBlockLength(blockLength);
    gatherer.endByte = endByte;
    gatherer.count = 0;
}

bool GatherByte(BlockGatherer &gatherer, unsigned char byte)
{
    gatherer.buffer[gatherer.count++] = byte;
    // One test for both: a byte that fills the block and is the end byte ends one block.
    return gatherer.count >= gatherer.blockLength || (gatherer.endByte < 256 && byte == gatherer.endByte);
}

uint32_t GatherChunk(BlockGatherer &gatherer, const unsigned char *bytes, uint32_t count, bool *finished)
{
    uint32_t lacks = gatherer.blockLength - gatherer.count;
    uint32_t take = count < lacks ? count : lacks;
    if (gatherer.endByte < 256) {
        const void *end = memchr(bytes, (int)gatherer.endByte, take);
        if (end)
            take = (uint32_t)((const unsigned char *)end - bytes) + 1;
    }
    memcpy(gatherer.buffer + gatherer.count, bytes, take);
    gatherer.count += take;
    *finished = gatherer.count >= gatherer.blockLength ||
                (gatherer.endByte < 256 && take > 0 && bytes[take - 1] == gatherer.endByte);
    return take;
}

void ClearGathered(BlockGatherer &gatherer)
{
    gatherer.count = 0;
}

uint32_t BlockStart(uint32_t at, uint32_t length)
{
    uint32_t offset = at & (HAND_OVER_DATA_SIZE - 1);
    return length > HAND_OVER_DATA_SIZE - offset ? at + (HAND_OVER_DATA_SIZE - offset) : at;
}

uint32_t StopReserveBytes(uint32_t blockLength)
{
    uint64_t bytes = READ_CHUNK_LIMIT + 3ull * EffectiveBlockLength(blockLength);
    return bytes > UINT32_MAX ? UINT32_MAX : (uint32_t)bytes;
}
