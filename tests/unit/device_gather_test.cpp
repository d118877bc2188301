// Gathering bytes into blocks, and the size of the hand-over ring.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "device/gather.h"

// Blocks as "41 42|43" and after the last "|" the count still gathered, from
// bytes arriving in runs (all in one unless given; a negative size: after a
// pause longer than the read timeout), read a byte at a time, or (readLimit)
// as the receive thread reads what waits: the first byte of a run by a
// one-byte read, the rest in reads of up to readLimit bytes, across blocks.
static std::string Gather(uint32_t blockLength, uint32_t endByte, const std::vector<unsigned char> &bytes,
                          std::vector<int> runs = {}, uint32_t readLimit = 0)
{
    std::vector<unsigned char> buffer(EffectiveBlockLength(blockLength));
    BlockGatherer gatherer;
    StartGathering(gatherer, buffer.data(), blockLength, endByte);
    std::string text;
    auto handOver = [&] {
        for (uint32_t i = 0; i < gatherer.count; i++) {
            text += i ? " " : "";
            text += "0123456789ABCDEF"[buffer[i] >> 4];
            text += "0123456789ABCDEF"[buffer[i] & 15];
        }
        text += "|";
        ClearGathered(gatherer);
    };
    if (runs.empty())
        runs.push_back((int)bytes.size());
    const unsigned char *next = bytes.data();
    for (int run : runs) {
        for (uint32_t waiting = (uint32_t)abs(run); waiting > 0;) {
            if (run < 0 && waiting == (uint32_t)-run && gatherer.count > 0)
                handOver();
            uint32_t size = readLimit == 0 || waiting == (uint32_t)abs(run) ? 1 : std::min(waiting, readLimit);
            for (uint32_t done = 0; done < size;) {
                bool finished;
                if (readLimit == 0)
                    finished = GatherByte(gatherer, next[done++]); // the reference
                else
                    done += GatherChunk(gatherer, next + done, size - done, &finished);
                if (finished)
                    handOver();
            }
            next += size;
            waiting -= size;
        }
    }
    return text + std::to_string(gatherer.count);
}

TEST(DeviceGather, BlocksEndByLengthOrEndByte)
{
    EXPECT_EQ("01 02 03|2", Gather(3, 0xFF00, {1, 2, 3, 4, 5}));
    EXPECT_EQ("01|02|03|0", Gather(0, 0xFF00, {1, 2, 3})) << "length 0 gathers like length 1";
    EXPECT_EQ("41 42 0D|43 0D|0", Gather(8, 0x0D, {0x41, 0x42, 0x0D, 0x43, 0x0D}));
    EXPECT_EQ("10 80 FF|0", Gather(8, 0xFF, {0x10, 0x80, 0xFF})) << "bytes above 0x7F match as well";
    EXPECT_EQ("0D|0", Gather(8, 0x0D, {0x0D})) << "an end byte alone is a block";
    EXPECT_EQ("41 42 0D|44 0D|0", Gather(3, 0x0D, {0x41, 0x42, 0x0D, 0x44, 0x0D}))
        << "a byte that fills the block and is the end byte ends one block";
}

TEST(DeviceGather, AnEndByteSwitchedOffEndsNothingWhateverItsLowByte)
{
    EXPECT_EQ("41 41 41 41|1", Gather(4, 0x0141, {0x41, 0x41, 0x41, 0x41, 0x41}));
    EXPECT_EQ("00 00|0", Gather(2, 0xFF00, {0, 0}));
    EXPECT_EQ("3", Gather(8, 256, {0, 0, 0}));
}

TEST(DeviceGather, ChunkedReadsGiveTheBlocksOfOneByteReads)
{
    std::mt19937 random(25);
    for (uint32_t blockLength : {1u, 3u, 16u, 150u}) {
        for (uint32_t endByte : {0xFF00u, 0x0Du, 0x00u}) {
            for (int round = 0; round < 40; round++) {
                // Small byte values make end bytes frequent; runs from single bytes to floods.
                std::vector<unsigned char> bytes;
                std::vector<int> runs;
                for (int r = 0; r < 30; r++) {
                    int size = 1 + (int)(random() % (round % 3 == 0 ? 2000 : 40));
                    runs.push_back(random() % 3 == 0 ? -size : size);
                    for (int i = 0; i < size; i++)
                        bytes.push_back((unsigned char)(random() % (round % 2 ? 256 : 24)));
                }
                SCOPED_TRACE(testing::Message() << "length " << blockLength << " end " << endByte << " round " << round);
                EXPECT_EQ(Gather(blockLength, endByte, bytes, runs),
                          Gather(blockLength, endByte, bytes, runs, round % 4 == 0 ? 7 : 16384));
            }
        }
    }
}

TEST(DeviceGather, ABlockNeverWrapsTheRingAndPositionsCountOnPastTheirWrap)
{
    const uint32_t size = HAND_OVER_DATA_SIZE;
    EXPECT_EQ(100u, BlockStart(100, 16));
    EXPECT_EQ(size - 16, BlockStart(size - 16, 16)) << "a block that ends at the ring's end stays";
    EXPECT_EQ(size, BlockStart(size - 15, 16)) << "one that would wrap begins at the start";
    EXPECT_EQ(0u, BlockStart(0xFFFFFFF0u, 17)) << "across the wrap of the positions";
    EXPECT_EQ(0xFFFFFFF0u, BlockStart(0xFFFFFFF0u, 16));
    EXPECT_EQ(READ_CHUNK_LIMIT + 3u, StopReserveBytes(0)) << "length 0 is length 1";
    EXPECT_EQ(0xFFFFFFFFu, StopReserveBytes(0xFFFFFFFFu)) << "never wraps";
    // The largest block leaves the running reader room for more than one.
    EXPECT_GT(size - StopReserveBytes(HAND_OVER_BLOCK_LIMIT), 2 * HAND_OVER_BLOCK_LIMIT);
}
