// Gathering received bytes into blocks, and the sizes of the hand-over
// storage between the receive thread and the window (no windows.h).
#ifndef VELKOR_DEVICE_GATHER_H
#define VELKOR_DEVICE_GATHER_H

#include <stddef.h>
#include <stdint.h>

// The bytes of the block being gathered; buffer holds blockLength bytes.
struct BlockGatherer {
    unsigned char *buffer;
    uint32_t blockLength; // effective: at least 1
    uint32_t endByte;     // below 256: a byte that ends a block
    uint32_t count;       // bytes gathered so far
};

// Block length 0 gathers like block length 1: every byte is a block.
uint32_t EffectiveBlockLength(uint32_t blockLength);
// Empties the gatherer and binds it to a buffer of EffectiveBlockLength(blockLength) bytes.
void StartGathering(BlockGatherer &gatherer, unsigned char *buffer, uint32_t blockLength, uint32_t endByte);
// Appends a byte; true when it finished the block (length reached or end byte).
bool GatherByte(BlockGatherer &gatherer, unsigned char byte);
// Appends bytes up to and including the first that finishes the block;
// returns how many it took (the rest begin the next block) and sets *finished.
uint32_t GatherChunk(BlockGatherer &gatherer, const unsigned char *bytes, uint32_t count, bool *finished);
// Bytes to ask one read for when waiting bytes are known to be in the device:
// no more than wait, than the block still lacks, than limit; at least 1.
uint32_t ChunkToRead(const BlockGatherer &gatherer, uint32_t waiting, uint32_t limit);
// Forgets the gathered bytes (after they were handed over or dropped).
void ClearGathered(BlockGatherer &gatherer);

// Largest number of blocks handed over and not yet logged: stays below the
// 10,000 posted messages a Windows thread may have waiting.
const uint32_t HAND_OVER_MAX_SLOTS = 8192;
// Memory the hand-over slots may take before their number is cut (but never below 2 slots).
const uint64_t HAND_OVER_BUDGET = 2u * 1024u * 1024u;

// Number of hand-over slots for blocks of this length.
uint32_t HandOverSlotCount(uint32_t blockLength);
// Bytes for the slots of that many blocks of that length; 0 when it cannot be
// expressed in a size_t (the length is then refused).
size_t HandOverDataSize(uint32_t blockLength, uint32_t slotCount);

#endif
