// The hand-over storage between the receive thread and the main window.
//
// Two rings, made once by the user-interface thread: the blocks' bytes and
// their lengths (16 MiB of address space in all, whose pages the system
// provides as they are first written; device/gather.h gives the sizes). The
// reader copies each finished block after the newest one (a block that would
// wrap begins at the ring's start), writes its length and publishes it; a
// mark instead of a length says that the device lost bytes there. The window,
// woken by WMU_BLOCK_RECEIVED, logs every block published so far, oldest
// first, each as its own line with its own time stamp, in one round with the
// list box's drawing held, and frees their room. The reader posts a wake-up
// only when none is on its way, and only when it has bytes no longer to read
// or its blocks have waited a little (device/receiver): a flood costs a few
// hundred messages a second, whatever the block length, where posted
// messages are limited to 10,000 per thread on Windows.
//
// The window never reads memory a message points to: a message is only a
// wake-up, taken when it names a place in the ring, and only blocks the
// reader published are logged; forged, replayed and stale messages log
// nothing that was not handed over. When the ring is full the reader waits
// for room while the device buffers; a running reader always leaves the room
// a stopping one needs for what it still has, so every byte any read
// delivered reaches the log before the reader's end line.
//
// A message box may open while blocks are logged (the log's warnings), and
// its message loop delivers the next wake-up. So the log holds its warnings
// until the window has logged what waits, and a wake-up that arrives while
// the window logs anyway (a message sent from another thread, run as the log
// looks at the queue) only leaves the blocks to that round: each block is
// logged once, in order, and taken from the ring only after it was logged.
#include "device/handover.h"

#include <string.h>

#include "base/appwindows.h"
#include "log/logstore.h"
#include "log/messagelog.h"
#include "device/gather.h"
#include "device/receivebuffer.h"

// Made and released by the user-interface thread. The reader alone writes
// `published`, `written` and the newest block's place; the window alone
// `consumed`, `freedTo` and `readAt`. `wakePending` is set by whoever posts a
// wake-up and cleared by the window before it looks. Positions in the bytes'
// ring count on across the wrap of 32 bits.
struct HandOverPool {
    volatile LONG published; // blocks and marks published
    uint32_t written;        // position after the newest block
    uint32_t newestStart;    // the newest block, named by wake-ups
    uint32_t newestLength;
    volatile LONG consumed;  // blocks and marks logged
    volatile LONG freedTo;   // position up to which the window is done with the bytes
    uint32_t readAt;         // position after the newest block logged
    volatile LONG wakePending; // a WMU_BLOCK_RECEIVED is owed or on its way
    uint32_t *lengths;       // HAND_OVER_RECORDS lengths (or OVERRUN_MARK)
    unsigned char *data;     // HAND_OVER_DATA_SIZE bytes
};

// A length no block can have: the device lost bytes here.
static const uint32_t OVERRUN_MARK = 0xFFFFFFFFu;
static const char OVERRUN_TEXT[] = "Empfangspuffer uebergelaufen: Daten verloren";
// Longest time the window logs blocks in one go before it lets other
// messages (the user's input among them) have their turn.
static const DWORD DRAIN_MAX_MS = 30;

// Owned by the user-interface thread (the pointer; see HandOverPool for its contents).
static HandOverPool *handOver;
// Most blocks a running reader leaves waiting: set by the tests while no reader runs.
static uint32_t runningLimit = HAND_OVER_RECORDS;
static bool logging; // the window is logging waiting blocks

static uint32_t ReadShared(volatile LONG *value)
{
    return (uint32_t)InterlockedCompareExchange(value, 0, 0);
}

static unsigned char *DataAt(HandOverPool *pool, uint32_t position)
{
    return pool->data + (position & (HAND_OVER_DATA_SIZE - 1));
}

// A wake-up names the newest block (the ring's start while only a mark was published).
static BOOL PostWake(HWND window, HandOverPool *pool, uint32_t start, uint32_t length)
{
    return PostMessageA(window, WMU_BLOCK_RECEIVED, (WPARAM)DataAt(pool, start), (LPARAM)(length ? length : 1));
}

// ---- The receive thread's side --------------------------------------------

bool HandOverRoom(HandOverPool *pool, uint32_t count, uint32_t blockLength, bool stopping)
{
    uint64_t records = (uint32_t)pool->published - ReadShared(&pool->consumed);
    uint64_t used = pool->written - ReadShared(&pool->freedTo);
    uint64_t need = count ? (uint64_t)(BlockStart(pool->written, count) - pool->written) + count : 0;
    uint64_t reserveBytes = stopping ? 0 : StopReserveBytes(blockLength);
    uint64_t reserveRecords = stopping ? 0 : STOP_RESERVE_RECORDS;
    return used + need + reserveBytes <= HAND_OVER_DATA_SIZE && records + 1 + reserveRecords <= HAND_OVER_RECORDS &&
           (stopping || records < runningLimit);
}

// Writes a length (or a mark) and publishes it: the full barrier of the
// increment makes the block complete before the window can see it.
static void Publish(HandOverPool *pool, uint32_t length)
{
    pool->lengths[(uint32_t)pool->published & (HAND_OVER_RECORDS - 1)] = length;
    InterlockedIncrement(&pool->published);
}

void PublishBlock(HandOverPool *pool, const unsigned char *bytes, uint32_t count)
{
    if (count == 0 || count > HAND_OVER_BLOCK_LIMIT || !HandOverRoom(pool, count, 0, true))
        return;
    uint32_t start = BlockStart(pool->written, count);
    memcpy(DataAt(pool, start), bytes, count);
    pool->written = start + count;
    pool->newestStart = start;
    pool->newestLength = count;
    Publish(pool, count);
}

void PublishOverrunMark(HandOverPool *pool)
{
    if (HandOverRoom(pool, 0, 0, true))
        Publish(pool, OVERRUN_MARK);
}

bool ClaimWakeUp(HandOverPool *pool)
{
    return InterlockedCompareExchange(&pool->wakePending, 1, 0) == 0;
}

bool PostWakeUp(HandOverPool *pool, HWND window)
{
    return PostWake(window, pool, pool->newestStart, pool->newestLength) != FALSE;
}

// ---- The user-interface thread's side ---------------------------------------

// A wake-up names a place in the ring and a length that fits there; nothing
// at its address is read. Anything else is ignored.
static bool IsWakeUp(const HandOverPool *pool, WPARAM address, LPARAM length)
{
    if (!pool || length < 1)
        return false;
    ULONG_PTR first = (ULONG_PTR)pool->data;
    ULONG_PTR end = first + HAND_OVER_DATA_SIZE;
    return address >= first && address < end && (ULONG_PTR)length <= end - address;
}

static void CopyToReceiveBuffer(const unsigned char *bytes, size_t count)
{
    unsigned char *buffer = ReceiveBuffer();
    size_t size = ReceiveBufferSize();
    if (!buffer || size == 0)
        return;
    if (count > size - 1)
        count = size - 1;
    memcpy(buffer, bytes, count);
    buffer[count] = 0;
}

// Logs the oldest waiting block (every byte, zeros too) or mark and frees its room.
static void ConsumeOldest(HandOverPool *pool)
{
    uint32_t consumed = (uint32_t)pool->consumed;
    uint32_t length = pool->lengths[consumed & (HAND_OVER_RECORDS - 1)];
    if (length == OVERRUN_MARK) {
        LogMessage(OVERRUN_TEXT, LOG_EVENT);
    } else {
        uint32_t start = BlockStart(pool->readAt, length);
        const unsigned char *bytes = DataAt(pool, start);
        CopyToReceiveBuffer(bytes, length);
        LogReceivedBlock(bytes, length);
        pool->readAt = start + length;
        InterlockedExchange(&pool->freedTo, (LONG)pool->readAt);
    }
    InterlockedIncrement(&pool->consumed);
}

static bool BlocksPublished(HandOverPool *pool)
{
    return ReadShared(&pool->published) != (uint32_t)pool->consumed;
}

// Wakes the window itself for the blocks still waiting.
static void RequestWake(HandOverPool *pool)
{
    if (!BlocksPublished(pool))
        return;
    InterlockedExchange(&pool->wakePending, 1);
    if (!PostWake(MainWindow(), pool, pool->readAt, 1))
        InterlockedExchange(&pool->wakePending, 0); // the reader's next block tries again
}

// Logs the blocks published so far, oldest first, with the list box's
// drawing held; they show with the log's next frame. After maxMs the window
// wakes itself for the rest, so other messages are not kept waiting.
static void LogWaitingBlocks(HandOverPool *pool, DWORD maxMs)
{
    if (logging)
        return; // the round under way logs them
    logging = true;
    HoldStoreWarnings();
    BeginLogBatch();
    DWORD start = GetTickCount();
    while (BlocksPublished(pool)) {
        if (maxMs != INFINITE && GetTickCount() - start >= maxMs) {
            RequestWake(pool);
            break;
        }
        ConsumeOldest(pool);
    }
    EndLogBatchAtFrame();
    logging = false;
    ReleaseStoreWarnings(); // a box opened here runs rounds of its own
}

void HandleBlockReceived(WPARAM wParam, LPARAM lParam)
{
    HandOverPool *pool = handOver;
    if (!IsWakeUp(pool, wParam, lParam))
        return;
    // Cleared before looking: a block published from here on gets a wake-up of its own.
    InterlockedExchange(&pool->wakePending, 0);
    LogWaitingBlocks(pool, DRAIN_MAX_MS);
}

void HandleReaderEnded()
{
    // The reader posts this after its last block. Every block still waiting
    // is logged first, however long the backlog, so that none comes after
    // the end line.
    HandOverPool *pool = handOver;
    HoldStoreWarnings();
    if (pool) {
        InterlockedExchange(&pool->wakePending, 0);
        LogWaitingBlocks(pool, INFINITE);
    }
    LogMessage("Empfangsroutine wurde beendet", LOG_EVENT);
    ReleaseStoreWarnings();
}

static void FreePool(HandOverPool *pool)
{
    if (pool->lengths)
        VirtualFree(pool->lengths, 0, MEM_RELEASE);
    GlobalFree(pool);
}

// The rings are reserved and committed at once, but the system gives their
// pages (zeroed) only when they are first written.
HandOverPool *PrepareHandOver()
{
    if (handOver)
        return handOver;
    HandOverPool *pool = (HandOverPool *)GlobalAlloc(GPTR, sizeof(HandOverPool));
    if (!pool)
        return NULL;
    size_t lengthsSize = (size_t)HAND_OVER_RECORDS * sizeof(uint32_t);
    pool->lengths = (uint32_t *)VirtualAlloc(NULL, lengthsSize + HAND_OVER_DATA_SIZE, MEM_RESERVE | MEM_COMMIT,
                                             PAGE_READWRITE);
    if (!pool->lengths) {
        FreePool(pool);
        return NULL;
    }
    pool->data = (unsigned char *)pool->lengths + lengthsSize;
    handOver = pool;
    return pool;
}

void AbandonHandOver(const HandOverPool *pool)
{
    if (pool == handOver)
        handOver = NULL;
}

void AnnounceWaitingBlocks()
{
    if (handOver)
        RequestWake(handOver);
}

// For the tests only: a running reader leaves at most blocks waiting (0: as many as fit).
void LimitHandOverForTests(uint32_t blocks)
{
    runningLimit = blocks ? blocks : HAND_OVER_RECORDS;
}

// Looked at by the tests only.
size_t BlocksWaiting()
{
    HandOverPool *pool = handOver;
    return pool ? (size_t)(ReadShared(&pool->published) - (uint32_t)pool->consumed) : 0;
}

void ReleaseHandOver()
{
    if (handOver) {
        FreePool(handOver);
        handOver = NULL;
    }
}
