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
// Forgets the gathered bytes (after they were handed over or dropped).
void ClearGathered(BlockGatherer &gatherer);

// Largest read of the bytes a device holds: one read may span many blocks.
const uint32_t READ_CHUNK_LIMIT = 16384;

// The hand-over ring between the receive thread and the window: the blocks'
// bytes in a ring of HAND_OVER_DATA_SIZE, their lengths in a ring of
// HAND_OVER_RECORDS (16 MiB in all). It holds at least 7 s of a stream of
// 300,000 bytes a second at any block length, so the reader reads on while
// the window is busy (a save of a long log takes seconds). Both sizes are
// powers of two: positions count on across the wrap of 32 bits.
const uint32_t HAND_OVER_DATA_SIZE = 1u << 23;
const uint32_t HAND_OVER_RECORDS = 1u << 21;
// Largest block the ring takes (the block length's limit): the rest of the
// ring leaves the reader room for many of them.
const uint32_t HAND_OVER_BLOCK_LIMIT = 1u << 20;

// The position where a block of length bytes begins when the ring's next free
// position is at: a block never wraps; one that would begins at the ring's
// start, and the end's rest stays empty.
uint32_t BlockStart(uint32_t at, uint32_t length);
// Bytes a stopping reader may still hand over (a finished block, one read of
// waiting bytes, the block it gathers, a ring's end left empty): a running
// reader keeps them free.
uint32_t StopReserveBytes(uint32_t blockLength);
// The same in block lengths: a block for each byte of a read, two more, and a mark.
const uint32_t STOP_RESERVE_RECORDS = READ_CHUNK_LIMIT + 3;

#endif
