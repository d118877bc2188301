// The receive thread and the main window's side of the hand-over.
//
// Blocks travel from the thread to the window through the hand-over storage:
// a ring of slots of one block each, allocated by the user-interface thread.
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
#include "device/receiver.h"

#include <stdio.h>
#include <string.h>

#include "base/appwindows.h"
#include "base/boxes.h"
#include "log/messagelog.h"
#include "base/systemtext.h"
#include "device/gather.h"
#include "device/receivebuffer.h"

namespace {

// The hand-over storage. Allocated and released by the user-interface thread;
// `published` is written by the reader only, `consumed` by the window only;
// `wakePending` is set by whoever posts a wake-up and cleared by the window
// before it looks.
struct HandOverPool {
    volatile LONG published;   // blocks filled and published
    volatile LONG consumed;    // blocks logged by the window
    volatile LONG wakePending; // a WMU_BLOCK_RECEIVED is owed or on its way
    uint32_t slotCount;  // READER_SPARE_SLOTS more than the reader fills while it runs
    uint32_t slotSize;
    uint32_t *lengths;   // per slot: bytes in its block
    unsigned char *data; // slotCount slots of slotSize bytes
};

// Everything one reader works with, in one zeroed block. The user-interface
// thread allocates and releases it; the reader uses it while it runs.
struct ReaderRecord {
    ReaderParams params; // first: the thread's argument points here
    HandOverPool *pool;
    HANDLE readEvent;
    OVERLAPPED overlapped;
    unsigned char readBuffer[16];
    volatile LONG readInFlight;   // a read may be outstanding (set before ReadFile)
    volatile LONG errorBoxShown;  // the read error box is open
    unsigned char gather[1];      // block length bytes
};

// The reader's loop state, on its own stack.
struct ReaderLoop {
    ReaderRecord *record;
    BlockGatherer gatherer;
    bool inFlight;       // a read is outstanding
    DWORD lastByteTick;  // when the last byte arrived
    DWORD lastStopPoll;  // when the stop event was last looked at
    unsigned emptyRun;   // reads in a row that gave no byte
    unsigned failRun;    // of those, failures in a row with the same error
    DWORD failError;
    bool blockKept;      // the gathered bytes are a finished block the stop kept from the ring
    bool wakeOwed;       // this thread took on a wake-up whose post has not succeeded
    ULONG wakeSequence;  // the block the owed wake-up names
};

enum ReadStart { READ_PENDING, READ_BYTE, READ_EMPTY, READ_REFUSED };

// Looking at the stop event between bytes costs a call into the system; under
// a flood once per interval is enough to end well within the grace period.
const DWORD STOP_POLL_MS = 10;
// Pause before retrying a post that failed or waiting for room in the ring.
const DWORD HAND_OVER_RETRY_MS = 5;
// Pause after reads that keep completing without a byte (so none spins).
const DWORD IDLE_PAUSE_MS = 10;
// Completions failing with the same error in a row that mean the device is gone.
const unsigned FAILURES_BEFORE_REPORT = 3;
// How long a stopping reader keeps trying to post what is left.
const DWORD FINAL_POST_MS = 100;
// How long a stopping reader waits for its cancelled read.
const DWORD CANCEL_WAIT_MS = 100;
// Longest time the window logs blocks in one go before it lets other
// messages (the user's input among them) have their turn.
const DWORD DRAIN_MAX_MS = 30;
// Slots of the ring a running reader leaves free for what it has when it is
// stopped: a finished block it was waiting to hand over, and the bytes of the
// next one (a byte of the cancelled read among them).
const uint32_t READER_SPARE_SLOTS = 2;

} // namespace

// Owned by the user-interface thread (the pointer; see HandOverPool for its contents).
static HandOverPool *handOver;

static unsigned char *SlotData(HandOverPool *pool, ULONG sequence)
{
    return pool->data + (size_t)(sequence % pool->slotCount) * pool->slotSize;
}

static LONG ReadShared(volatile LONG *value)
{
    return InterlockedCompareExchange(value, 0, 0);
}

// ---- The receive thread ----------------------------------------------------

static bool StopSignalled(HANDLE stopEvent, DWORD waitMs)
{
    return WaitForSingleObject(stopEvent, waitMs) == WAIT_OBJECT_0;
}

// Between bytes: true when the stop event is signalled (looked at once per interval).
static bool StopRequested(ReaderLoop &loop)
{
    DWORD now = GetTickCount();
    if (now - loop.lastStopPoll < STOP_POLL_MS)
        return false;
    loop.lastStopPoll = now;
    return StopSignalled(loop.record->params.stopEvent, 0);
}

// Posts the wake-up this thread owes, naming its block. A failed post (a full
// queue, a window gone) is retried after a pause; false when the stop event
// came first.
static bool PostOwedWake(ReaderLoop &loop)
{
    ReaderRecord *record = loop.record;
    HandOverPool *pool = record->pool;
    while (loop.wakeOwed) {
        WPARAM address = (WPARAM)SlotData(pool, loop.wakeSequence);
        LPARAM length = (LPARAM)(ULONG_PTR)pool->lengths[loop.wakeSequence % pool->slotCount];
        if (PostMessageA(record->params.window, WMU_BLOCK_RECEIVED, address, length))
            loop.wakeOwed = false;
        else if (StopSignalled(record->params.stopEvent, HAND_OVER_RETRY_MS))
            return false;
    }
    return true;
}

// Copies a block into the next slot, which must be free, and publishes it.
static void Publish(HandOverPool *pool, const unsigned char *bytes, uint32_t count)
{
    ULONG sequence = (ULONG)pool->published;
    memcpy(SlotData(pool, sequence), bytes, count);
    pool->lengths[sequence % pool->slotCount] = count;
    InterlockedIncrement(&pool->published); // full barrier: the block is complete first
}

// Copies a finished block into the next slot and publishes it; wakes the
// window unless a wake-up is already on its way. Waits while the ring is
// full; false when the stop event came meanwhile.
static bool HandOver(ReaderLoop &loop, const unsigned char *bytes, uint32_t count)
{
    HandOverPool *pool = loop.record->pool;
    while ((ULONG)pool->published - (ULONG)ReadShared(&pool->consumed) >= pool->slotCount - READER_SPARE_SLOTS) {
        if (StopSignalled(loop.record->params.stopEvent, HAND_OVER_RETRY_MS))
            return false;
    }
    ULONG sequence = (ULONG)pool->published;
    Publish(pool, bytes, count);
    if (InterlockedCompareExchange(&pool->wakePending, 1, 0) == 0) {
        loop.wakeOwed = true;
        loop.wakeSequence = sequence;
    }
    return PostOwedWake(loop);
}

// A block that the stop kept from being handed over stays gathered for EndReading.
static bool HandOverGathered(ReaderLoop &loop)
{
    ULONG published = (ULONG)loop.record->pool->published;
    bool going = HandOver(loop, loop.gatherer.buffer, loop.gatherer.count);
    if ((ULONG)loop.record->pool->published != published)
        ClearGathered(loop.gatherer);
    else
        loop.blockKept = true;
    return going;
}

// A byte arrived; false when the stop event came while handing a block over.
static bool TakeByte(ReaderLoop &loop, unsigned char byte)
{
    loop.lastByteTick = GetTickCount();
    loop.emptyRun = 0;
    loop.failRun = 0;
    if (GatherByte(loop.gatherer, byte))
        return HandOverGathered(loop);
    return true;
}

static bool PartialBlockDue(const ReaderLoop &loop)
{
    uint32_t timeout = loop.record->params.readTimeout;
    return loop.gatherer.count > 0 && timeout != INFINITE && GetTickCount() - loop.lastByteTick >= timeout;
}

// Longest wait for the next byte: until the read timeout after the last
// byte while bytes are gathered, else for the read or the stop alone.
static DWORD TimeLeft(const ReaderLoop &loop)
{
    uint32_t timeout = loop.record->params.readTimeout;
    if (loop.gatherer.count == 0 || timeout == INFINITE)
        return INFINITE;
    DWORD elapsed = GetTickCount() - loop.lastByteTick;
    return elapsed >= timeout ? 0 : timeout - elapsed;
}

// The read error box, on this thread, owned by the main window.
static void ShowReadError(ReaderRecord *record, DWORD error)
{
    char text[256];
    ComposeSystemError(text, sizeof text, "kein Lesezugriff auf Device\n(%d) %s",
                       "kein Lesezugriff auf Device\nFehler %d", error, CUT_LINE_END);
    InterlockedExchange(&record->errorBoxShown, 1);
    ShowBoxOver(record->params.window, text, CAPTION_VELKOR, MB_ICONERROR);
    InterlockedExchange(&record->errorBoxShown, 0);
}

// Starts a read of one byte. A read that completes at once is taken without
// a wait; a message pipe delivers its byte with ERROR_MORE_DATA.
static ReadStart StartRead(ReaderLoop &loop, DWORD *error)
{
    ReaderRecord *record = loop.record;
    DWORD got = 0;
    *error = 0;
    record->readInFlight = 1;
    if (ReadFile(record->params.device, record->readBuffer, 1, &got, &record->overlapped)) {
        record->readInFlight = 0;
        return got == 1 ? READ_BYTE : READ_EMPTY;
    }
    *error = GetLastError();
    if (*error == ERROR_IO_PENDING) {
        loop.inFlight = true;
        return READ_PENDING;
    }
    record->readInFlight = 0;
    if (*error == ERROR_MORE_DATA)
        return READ_BYTE;
    return READ_REFUSED;
}

// The outstanding read has completed: true with a byte in the read buffer.
static bool FinishRead(ReaderLoop &loop, DWORD *error)
{
    ReaderRecord *record = loop.record;
    DWORD got = 0;
    loop.inFlight = false;
    record->readInFlight = 0;
    *error = 0;
    if (GetOverlappedResult(record->params.device, &record->overlapped, &got, FALSE))
        return got == 1;
    *error = GetLastError();
    return *error == ERROR_MORE_DATA && got == 1;
}

enum CancelOutcome { CANCELLED_EMPTY, CANCELLED_LATE_BYTE, CANCEL_STOPPED };

// Cancels the outstanding read and waits until it has completed: with a byte
// it delivered all the same, or without. Should the stop event come first,
// the read stays in flight for EndReading.
static CancelOutcome CancelRead(ReaderLoop &loop)
{
    ReaderRecord *record = loop.record;
    if (!loop.inFlight)
        return CANCELLED_EMPTY;
    CancelIo(record->params.device);
    HANDLE waitSet[2] = {record->readEvent, record->params.stopEvent};
    if (WaitForMultipleObjects(2, waitSet, FALSE, INFINITE) != WAIT_OBJECT_0)
        return CANCEL_STOPPED;
    DWORD got = 0;
    BOOL done = GetOverlappedResult(record->params.device, &record->overlapped, &got, FALSE);
    DWORD error = done ? 0 : GetLastError();
    loop.inFlight = false;
    record->readInFlight = 0;
    return got == 1 && (done || error == ERROR_MORE_DATA) ? CANCELLED_LATE_BYTE : CANCELLED_EMPTY;
}

// A read gave no byte. A single failure is passed over; the same failure
// again and again means the device is gone or refuses: reported like a read
// that failed at once. Reads that keep coming back empty are paced so the
// thread never spins. False when the thread is to end.
static bool AfterEmptyRead(ReaderLoop &loop, DWORD error)
{
    ReaderRecord *record = loop.record;
    loop.emptyRun++;
    if (error != 0) {
        if (loop.failRun > 0 && error == loop.failError) {
            loop.failRun++;
        } else {
            loop.failError = error;
            loop.failRun = 1;
        }
        if (loop.failRun >= FAILURES_BEFORE_REPORT) {
            ShowReadError(record, error);
            SetEvent(record->params.stopEvent);
            return false;
        }
    } else {
        loop.failRun = 0;
    }
    if (PartialBlockDue(loop) && !HandOverGathered(loop))
        return false;
    if (loop.emptyRun >= 2 && StopSignalled(record->params.stopEvent, IDLE_PAUSE_MS))
        return false;
    return true;
}

// The read timeout passed with bytes gathered: they go as a shorter block. A
// byte that the cancelled read delivered all the same starts the next block.
static bool HandOverOnTimeout(ReaderLoop &loop)
{
    CancelOutcome cancel = CancelRead(loop);
    if (cancel == CANCEL_STOPPED || !HandOverGathered(loop))
        return false;
    return cancel != CANCELLED_LATE_BYTE || TakeByte(loop, loop.record->readBuffer[0]);
}

// A stopping reader's gathered bytes go into a slot kept for them: the
// window takes no blocks while it waits for the reader to end, so waiting for
// room is no use. Only a ring that an earlier reader's blocks still fill to
// the last slot leaves none.
static void TakeRest(ReaderLoop &loop, HandOverPool *pool)
{
    if (loop.gatherer.count == 0)
        return;
    if ((ULONG)pool->published - (ULONG)ReadShared(&pool->consumed) < pool->slotCount)
        Publish(pool, loop.gatherer.buffer, loop.gatherer.count);
    ClearGathered(loop.gatherer);
}

// Ending: the read is cancelled, the bytes gathered so far are handed over
// as a last, shorter block, and the window is told; it logs every block still
// waiting before its end line, so a wake-up still owed is not needed. A byte
// the cancelled read delivered all the same belongs to that block. A read
// whose cancellation does not complete stays marked in flight, so its buffers
// are kept when the block is released.
static void EndReading(ReaderLoop &loop)
{
    ReaderRecord *record = loop.record;
    HandOverPool *pool = record->pool;
    bool lateByte = false;
    if (loop.inFlight) {
        CancelIo(record->params.device);
        if (WaitForSingleObject(record->readEvent, CANCEL_WAIT_MS) == WAIT_OBJECT_0) {
            DWORD got = 0;
            BOOL done = GetOverlappedResult(record->params.device, &record->overlapped, &got, FALSE);
            DWORD error = done ? 0 : GetLastError();
            loop.inFlight = false;
            record->readInFlight = 0;
            lateByte = got == 1 && (done || error == ERROR_MORE_DATA);
        }
    }
    // A finished block still gathered goes first, then what follows it.
    if (loop.blockKept)
        TakeRest(loop, pool);
    if (lateByte && GatherByte(loop.gatherer, record->readBuffer[0]))
        TakeRest(loop, pool);
    TakeRest(loop, pool);
    DWORD deadline = GetTickCount() + FINAL_POST_MS;
    while (!PostMessageA(record->params.window, WMU_READER_ENDED, 0, 0) && (LONG)(GetTickCount() - deadline) < 0)
        Sleep(HAND_OVER_RETRY_MS);
}

DWORD WINAPI ReceiveThread(LPVOID argument)
{
    ReaderRecord *record = (ReaderRecord *)argument;
    ReaderParams &params = record->params;
    ReaderLoop loop;
    ZeroMemory(&loop, sizeof loop);
    loop.record = record;
    StartGathering(loop.gatherer, record->gather, params.blockLength, params.endByte);
    loop.lastStopPoll = GetTickCount();
    HANDLE waitSet[2] = {record->readEvent, params.stopEvent};

    for (;;) {
        DWORD error = 0;
        if (!loop.inFlight) {
            ReadStart start = StartRead(loop, &error);
            if (start == READ_REFUSED) {
                ShowReadError(record, error);
                SetEvent(params.stopEvent);
                break;
            }
            if (start == READ_BYTE) {
                // Reads that complete at once never wait on the stop event:
                // a flood is stopped by this look.
                if (!TakeByte(loop, record->readBuffer[0]) || StopRequested(loop))
                    break;
                continue;
            }
            if (start == READ_EMPTY) {
                if (!AfterEmptyRead(loop, 0))
                    break;
                continue;
            }
        }
        DWORD wait = WaitForMultipleObjects(2, waitSet, FALSE, TimeLeft(loop));
        if (wait == WAIT_OBJECT_0) {
            // The wait watched the stop event too and found the read first:
            // no need to look at the stop event again before the next read.
            if (FinishRead(loop, &error)) {
                if (!TakeByte(loop, record->readBuffer[0]))
                    break;
            } else if (!AfterEmptyRead(loop, error)) {
                break;
            }
        } else if (wait == WAIT_OBJECT_0 + 1) {
            break;
        } else if (wait == WAIT_TIMEOUT) {
            if (loop.gatherer.count > 0 && !HandOverOnTimeout(loop))
                break;
        } else {
            // A wait that fails would fail again at once: pause instead of spinning.
            Sleep(IDLE_PAUSE_MS);
        }
    }
    EndReading(loop);
    return 0;
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
    if (!PostMessageA(MainWindow(), WMU_BLOCK_RECEIVED, (WPARAM)SlotData(pool, oldest),
                      (LPARAM)(ULONG_PTR)pool->lengths[oldest % pool->slotCount]))
        InterlockedExchange(&pool->wakePending, 0); // the reader's next block tries again
}

// Logs the blocks published so far, oldest first. After maxMs the window
// wakes itself for the rest, so other messages are not kept waiting.
static void LogWaitingBlocks(HandOverPool *pool, DWORD maxMs)
{
    DWORD start = GetTickCount();
    while ((ULONG)ReadShared(&pool->published) != (ULONG)pool->consumed) {
        if (maxMs != INFINITE && GetTickCount() - start >= maxMs) {
            RequestWake(pool);
            break;
        }
        ConsumeOldest(pool);
    }
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
    if (pool) {
        InterlockedExchange(&pool->wakePending, 0);
        LogWaitingBlocks(pool, INFINITE);
    }
    LogMessage("Empfangsroutine wurde beendet", LOG_EVENT);
}

// Logs and drops every block left in the ring (no reader runs).
static void DrainHandOver(HandOverPool *pool)
{
    while ((ULONG)pool->consumed != (ULONG)pool->published)
        ConsumeOldest(pool);
    pool->wakePending = 0;
}

// A ring for blocks of this length. A ring of the same slot size is kept, so
// messages of an earlier reader still waiting in the queue stay valid. A new
// one takes the place of the old only after the old one's blocks were logged.
static bool PrepareHandOver(uint32_t blockLength)
{
    uint32_t slotSize = EffectiveBlockLength(blockLength);
    if (handOver && handOver->slotSize == slotSize)
        return true;
    uint32_t slotCount = HandOverSlotCount(blockLength) + READER_SPARE_SLOTS;
    size_t dataSize = HandOverDataSize(blockLength, slotCount);
    size_t lengthsSize = (size_t)slotCount * sizeof(uint32_t);
    if (dataSize == 0 || dataSize > (size_t)-1 - sizeof(HandOverPool) - lengthsSize)
        return false;
    HandOverPool *pool = (HandOverPool *)GlobalAlloc(GPTR, sizeof(HandOverPool) + lengthsSize + dataSize);
    if (!pool)
        return false;
    pool->slotCount = slotCount;
    pool->slotSize = slotSize;
    pool->lengths = (uint32_t *)(pool + 1);
    pool->data = (unsigned char *)(pool->lengths + slotCount);
    if (handOver) {
        DrainHandOver(handOver);
        GlobalFree(handOver);
    }
    handOver = pool;
    return true;
}

ReaderParams *CreateReaderParams(uint32_t blockLength)
{
    uint32_t capacity = EffectiveBlockLength(blockLength);
    size_t header = offsetof(ReaderRecord, gather);
    if ((size_t)capacity > (size_t)-1 - header || !PrepareHandOver(blockLength))
        return NULL;
    ReaderRecord *record = (ReaderRecord *)GlobalAlloc(GPTR, header + capacity);
    if (!record)
        return NULL;
    record->readEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!record->readEvent) {
        GlobalFree(record);
        return NULL;
    }
    record->overlapped.hEvent = record->readEvent;
    record->pool = handOver;
    // The gather buffer is made for this length: the thread gathers by it.
    record->params.blockLength = blockLength;
    return &record->params;
}

bool ReleaseReaderParams(ReaderParams *params)
{
    if (!params)
        return true;
    ReaderRecord *record = (ReaderRecord *)params;
    // A killed thread's read is cancelled by the system, and a thread that
    // ended by itself waited for its read; should one still be in flight, its
    // buffer and OVERLAPPED may yet be written: then they are kept.
    if (record->readInFlight && !HasOverlappedIoCompleted(&record->overlapped)) {
        CancelIoEx(params->device, &record->overlapped);
        if (WaitForSingleObject(record->readEvent, 1000) != WAIT_OBJECT_0 ||
            !HasOverlappedIoCompleted(&record->overlapped))
            return false;
    }
    CloseHandle(record->readEvent);
    GlobalFree(record);
    return true;
}

void AbandonReaderParams(ReaderParams *params)
{
    if (!params)
        return;
    ReaderRecord *record = (ReaderRecord *)params;
    // The thread may still write to the ring; a new reader gets a fresh one.
    if (record->pool == handOver)
        handOver = NULL;
}

bool ReaderShowsErrorBox(const ReaderParams *params)
{
    return params && ReadShared(&((ReaderRecord *)params)->errorBoxShown) != 0;
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
