// Gathering bytes into blocks, and the size of the hand-over ring.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "device/gather.h"

// Feeds bytes as the receive thread does; returns the finished blocks as
// "41 42|43" and what is still gathered after the last "|".
static std::string Gather(uint32_t blockLength, uint32_t endByte, const std::vector<int> &bytes)
{
    std::vector<unsigned char> buffer(EffectiveBlockLength(blockLength));
    BlockGatherer gatherer;
    StartGathering(gatherer, buffer.data(), blockLength, endByte);
    std::string text;
    for (int byte : bytes) {
        if (GatherByte(gatherer, (unsigned char)byte)) {
            for (uint32_t i = 0; i < gatherer.count; i++) {
                char hex[4];
                snprintf(hex, sizeof hex, i ? " %02X" : "%02X", buffer[i]);
                text += hex;
            }
            text += "|";
            ClearGathered(gatherer);
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

// Blocks as "41 42|43 ..." from bytes arriving in runs (a negative size: after
// a pause longer than the read timeout), read a byte at a time, or (readLimit)
// as the receive thread reads what waits: the first byte of a run by a
// one-byte read, the rest as far as the block lacks them.
static std::string Blocks(uint32_t blockLength, uint32_t endByte, const std::vector<unsigned char> &bytes,
                          const std::vector<int> &runs, uint32_t readLimit)
{
    std::vector<unsigned char> buffer(EffectiveBlockLength(blockLength));
    BlockGatherer gatherer;
    StartGathering(gatherer, buffer.data(), blockLength, endByte);
    std::string text;
    auto handOver = [&] { text += std::string((char *)buffer.data(), gatherer.count) + "|", ClearGathered(gatherer); };
    const unsigned char *next = bytes.data();
    for (int run : runs) {
        for (uint32_t waiting = (uint32_t)abs(run); waiting > 0;) {
            if (run < 0 && waiting == (uint32_t)-run && gatherer.count > 0)
                handOver();
            uint32_t size = readLimit == 0 || waiting == (uint32_t)abs(run) ? 1 : ChunkToRead(gatherer, waiting, readLimit);
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
                uint32_t limit = round % 4 == 0 ? 7 : 16384;
                SCOPED_TRACE(testing::Message() << "length " << blockLength << " end " << endByte << " round " << round);
                EXPECT_EQ(Blocks(blockLength, endByte, bytes, runs, 0), Blocks(blockLength, endByte, bytes, runs, limit));
            }
        }
    }
}

TEST(DeviceGather, TheRingStaysBelowThePostingLimitAndWithinItsBudget)
{
    EXPECT_EQ(8192u, HandOverSlotCount(0));
    EXPECT_EQ(8192u, HandOverSlotCount(16));
    EXPECT_LT(HandOverSlotCount(1), 10000u);
    EXPECT_EQ(2097u, HandOverSlotCount(1000));
    EXPECT_EQ(2u, HandOverSlotCount(0xFFFFFFFFu)) << "never fewer than two slots";
    EXPECT_EQ(24576u, HandOverDataSize(3, 8192));
    size_t huge = HandOverDataSize(0xFFFFFFFFu, 2);
    EXPECT_TRUE(huge == 0 || huge == (size_t)0xFFFFFFFFu * 2) << "refused where it does not fit, else exact";
    if (sizeof(size_t) == 4) {
        EXPECT_EQ(0u, huge);
    }
}
