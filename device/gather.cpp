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

uint32_t ChunkToRead(const BlockGatherer &gatherer, uint32_t waiting, uint32_t limit)
{
    uint32_t size = gatherer.blockLength - gatherer.count;
    if (waiting < size)
        size = waiting;
    if (limit < size)
        size = limit;
    return size == 0 ? 1 : size;
}

void ClearGathered(BlockGatherer &gatherer)
{
    gatherer.count = 0;
}

uint32_t HandOverSlotCount(uint32_t blockLength)
{
    uint64_t length = EffectiveBlockLength(blockLength);
    uint64_t slots = HAND_OVER_BUDGET / length;
    if (slots > HAND_OVER_MAX_SLOTS)
        slots = HAND_OVER_MAX_SLOTS;
    if (slots < 2)
        slots = 2;
    return (uint32_t)slots;
}

size_t HandOverDataSize(uint32_t blockLength, uint32_t slotCount)
{
    uint64_t bytes = (uint64_t)EffectiveBlockLength(blockLength) * slotCount;
    // Half the address space at most: the rest of the program needs room too.
    if (bytes > (uint64_t)(SIZE_MAX / 2))
        return 0;
    return (size_t)bytes;
}
