// The hand-over storage between the receive thread and the main window.
//
// A ring of slots of one block each, allocated by the user-interface thread.
// The thread fills the slot after the last published one and publishes it.
// It posts WMU_BLOCK_RECEIVED (the block's address and length) only when no
// such message is already on its way; the window, woken by it, logs every
// block published so far, oldest first, each as its own line with its own
// time stamp; the message log decides when they are drawn. So a flood costs
// one message per round of the window instead of one per block (posted
// messages are limited to 10,000 per thread on Windows). The window
// never reads memory a message points to: a message is
// only a wake-up, taken when it names a slot of the ring, and only blocks the
// reader published are logged; forged, replayed and stale messages log
// nothing that was not handed over. The ring holds fewer blocks than the
// posting limit; when it is full the thread waits for room while the device
// buffers.
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

// Allocated and released by the user-interface thread; `published` is
// written by the reader only, `consumed` by the window only; `wakePending` is
// set by whoever posts a wake-up and cleared by the window before it looks.
struct HandOverPool {
    volatile LONG published;   // blocks filled and published
    volatile LONG consumed;    // blocks logged by the window
    volatile LONG wakePending; // a WMU_BLOCK_RECEIVED is owed or on its way
    uint32_t slotCount;  // READER_SPARE_SLOTS more than the reader fills while it runs
    uint32_t slotSize;
    uint32_t *lengths;   // per slot: bytes in its block
    unsigned char *data; // slotCount slots of slotSize bytes
};

// Longest time the window logs blocks in one go before it lets other
// messages (the user's input among them) have their turn.
static const DWORD DRAIN_MAX_MS = 30;
// Slots of the ring a running reader leaves free for what it has when it is
// stopped: a finished block it was waiting to hand over, and the bytes of the
// next one (a byte of the cancelled read among them).
static const uint32_t READER_SPARE_SLOTS = 2;

// Owned by the user-interface thread (the pointer; see HandOverPool for its contents).
static HandOverPool *handOver;
static bool logging; // the window is logging waiting blocks

static unsigned char *SlotData(HandOverPool *pool, ULONG sequence)
{
    return pool->data + (size_t)(sequence % pool->slotCount) * pool->slotSize;
}

static LONG ReadShared(volatile LONG *value)
{
    return InterlockedCompareExchange(value, 0, 0);
}

// A wake-up names the block's slot and length.
static BOOL PostWake(HWND window, HandOverPool *pool, ULONG sequence)
{
    return PostMessageA(window, WMU_BLOCK_RECEIVED, (WPARAM)SlotData(pool, sequence),
                        (LPARAM)(ULONG_PTR)pool->lengths[sequence % pool->slotCount]);
}

// ---- The receive thread's side --------------------------------------------

// Blocks published and not yet logged (`published` is this thread's own).
static ULONG BlocksInRing(HandOverPool *pool)
{
    return (ULONG)pool->published - (ULONG)ReadShared(&pool->consumed);
}

bool HandOverFull(HandOverPool *pool)
{
    return BlocksInRing(pool) >= pool->slotCount - READER_SPARE_SLOTS;
}

void PublishBlock(HandOverPool *pool, const unsigned char *bytes, uint32_t count)
{
    if (BlocksInRing(pool) >= pool->slotCount)
        return;
    ULONG sequence = (ULONG)pool->published;
    memcpy(SlotData(pool, sequence), bytes, count);
    pool->lengths[sequence % pool->slotCount] = count;
    InterlockedIncrement(&pool->published); // full barrier: the block is complete first
}

bool ClaimWakeUp(HandOverPool *pool)
{
    return InterlockedCompareExchange(&pool->wakePending, 1, 0) == 0;
}

bool PostWakeUp(HandOverPool *pool, HWND window)
{
    return PostWake(window, pool, (ULONG)pool->published - 1) != FALSE;
}

// ---- The user-interface thread's side ---------------------------------------

// A wake-up names a slot of the ring and a length a block can have; nothing
// at its address is read. Anything else is ignored.
static bool IsWakeUp(const HandOverPool *pool, WPARAM address, LPARAM length)
{
    if (!pool || length < 1 || (ULONG_PTR)length > pool->slotSize)
        return false;
    ULONG_PTR first = (ULONG_PTR)pool->data;
    ULONG_PTR end = first + (ULONG_PTR)pool->slotCount * pool->slotSize;
    return address >= first && address < end && (address - first) % pool->slotSize == 0;
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

// Logs the oldest waiting block (every byte, zeros too) and frees its slot.
static void ConsumeOldest(HandOverPool *pool)
{
    ULONG consumed = (ULONG)pool->consumed;
    const unsigned char *data = SlotData(pool, consumed);
    size_t count = pool->lengths[consumed % pool->slotCount];
    CopyToReceiveBuffer(data, count);
    LogReceivedBlock(data, count);
    InterlockedIncrement(&pool->consumed);
}

// Wakes the window itself for the blocks still waiting.
static void RequestWake(HandOverPool *pool)
{
    ULONG oldest = (ULONG)pool->consumed;
    if (oldest == (ULONG)ReadShared(&pool->published))
        return;
    InterlockedExchange(&pool->wakePending, 1);
    if (!PostWake(MainWindow(), pool, oldest))
        InterlockedExchange(&pool->wakePending, 0); // the reader's next block tries again
}

// Logs the blocks published so far, oldest first. After maxMs the window
// wakes itself for the rest, so other messages are not kept waiting.
static void LogWaitingBlocks(HandOverPool *pool, DWORD maxMs)
{
    if (logging)
        return; // the round under way logs them
    logging = true;
    HoldStoreWarnings();
    DWORD start = GetTickCount();
    while ((ULONG)ReadShared(&pool->published) != (ULONG)pool->consumed) {
        if (maxMs != INFINITE && GetTickCount() - start >= maxMs) {
            RequestWake(pool);
            break;
        }
        ConsumeOldest(pool);
    }
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

// Logs and drops every block left in the ring (no reader runs).
static void DrainHandOver(HandOverPool *pool)
{
    HoldStoreWarnings();
    while ((ULONG)pool->consumed != (ULONG)pool->published)
        ConsumeOldest(pool);
    pool->wakePending = 0;
    ReleaseStoreWarnings();
}

// A ring of the same slot size is kept, so messages of an earlier reader
// still waiting in the queue stay valid. A new one takes the place of the old
// only after the old one's blocks were logged.
HandOverPool *PrepareHandOver(uint32_t blockLength)
{
    uint32_t slotSize = EffectiveBlockLength(blockLength);
    if (handOver && handOver->slotSize == slotSize)
        return handOver;
    uint32_t slotCount = HandOverSlotCount(blockLength) + READER_SPARE_SLOTS;
    size_t dataSize = HandOverDataSize(blockLength, slotCount);
    size_t lengthsSize = (size_t)slotCount * sizeof(uint32_t);
    if (dataSize == 0 || dataSize > (size_t)-1 - sizeof(HandOverPool) - lengthsSize)
        return NULL;
    HandOverPool *pool = (HandOverPool *)GlobalAlloc(GPTR, sizeof(HandOverPool) + lengthsSize + dataSize);
    if (!pool)
        return NULL;
    pool->slotCount = slotCount;
    pool->slotSize = slotSize;
    pool->lengths = (uint32_t *)(pool + 1);
    pool->data = (unsigned char *)(pool->lengths + slotCount);
    if (handOver) {
        DrainHandOver(handOver);
        GlobalFree(handOver);
    }
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

// Looked at by the tests only.
size_t BlocksWaiting()
{
    HandOverPool *pool = handOver;
    return pool ? (size_t)((ULONG)ReadShared(&pool->published) - (ULONG)pool->consumed) : 0;
}

void ReleaseHandOver()
{
    if (handOver) {
        GlobalFree(handOver);
        handOver = NULL;
    }
}
