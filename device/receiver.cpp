// The receive thread: reads the device, gathers the bytes into blocks and
// hands finished blocks over to the main window (device/handover). While no
// byte is known to wait, a read asks for one: it waits for the next byte and
// the read timeout runs between bytes. A serial port or a named pipe tells
// how many bytes it holds; then one read takes them all (up to
// READ_CHUNK_LIMIT), whatever the block length, and the gatherer cuts them
// into the blocks one-byte reads would have given. Other devices (a USB
// interface, whose driver may wait for the whole count) are read a byte at a
// time. Blocks are announced to the window when no more bytes wait to be
// read, but at most once every ANNOUNCE_MS: the window then logs many in one
// round, however quick it is. A serial driver that reports lost bytes gets a mark in the ring,
// which the window logs as a line of its own, at most once a second.
#include "device/receiver.h"

#include "base/appwindows.h"
#include "base/boxes.h"
#include "base/systemtext.h"
#include "device/gather.h"
#include "device/handover.h"
#include "device/waiting.h"

namespace {

// Everything one reader works with, in one zeroed block. The user-interface
// thread allocates, fills and releases it; the reader uses it while it runs
// and alone writes readInFlight and errorBoxShown, which the user-interface
// thread reads.
struct ReaderRecord {
    ReaderParams params; // first: the thread's argument points here
    HandOverPool *pool;
    HANDLE readEvent;
    OVERLAPPED overlapped;
    unsigned char *readBuffer;    // readSize bytes after the gather buffer
    uint32_t readSize;            // READ_CHUNK_LIMIT
    volatile LONG readInFlight;   // a read may be outstanding (set before ReadFile)
    volatile LONG errorBoxShown;  // the read error box is open
    unsigned char gather[1];      // block length bytes, then the read buffer
};

// The reader's loop state, on its own stack: the receive thread's alone.
struct ReaderLoop {
    ReaderRecord *record;
    BlockGatherer gatherer;
    WaitingCount waitingCount;
    uint32_t knownWaiting; // bytes the device was seen to hold that no read has taken yet
    bool owed;             // blocks were handed over that the window was not told of
    LONGLONG lastPost;     // performance counter when the window was last woken ...
    LONGLONG countsPerMs;  // ... and its counts a millisecond
    bool overrunDue;       // the driver lost bytes: a mark is to go before the next block
    bool overrunSeen;      // a mark went, at lastOverrun
    DWORD lastOverrun;
    uint32_t chunkDone;    // the read buffer's bytes gathered so far ...
    uint32_t chunkEnd;     // ... of those the last read delivered
    bool inFlight;       // a read is outstanding
    DWORD lastByteTick;  // when the last byte arrived
    DWORD lastStopPoll;  // when the stop event was last looked at
    unsigned emptyRun;   // reads in a row that gave no byte
    unsigned failRun;    // of those, failures in a row with the same error
    DWORD failError;
    DWORD asked;         // bytes the last read asked for
    bool blockKept;      // the gathered bytes are a finished block the stop kept from the ring
};

enum ReadStart { READ_PENDING, READ_BYTES, READ_EMPTY, READ_REFUSED };

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
// Shortest time between two wake-ups of the window (a single block, after a
// quiet spell, wakes it at once).
const DWORD ANNOUNCE_MS = 4;
// Shortest time between two lines telling that the device lost bytes.
const DWORD OVERRUN_REPEAT_MS = 1000;

} // namespace

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

// Tells the window of the blocks handed over since it was last told, unless
// a wake-up is on its way (whose round takes them too). A failed post (a full
// queue, a window gone) is retried after a pause; false when the stop event
// came meanwhile.
static bool Announce(ReaderLoop &loop)
{
    ReaderRecord *record = loop.record;
    if (!loop.owed)
        return true;
    loop.owed = false;
    if (!ClaimWakeUp(record->pool))
        return true;
    while (!PostWakeUp(record->pool, record->params.window)) {
        if (StopSignalled(record->params.stopEvent, HAND_OVER_RETRY_MS))
            return false;
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    loop.lastPost = now.QuadPart;
    return true;
}

static void Owe(ReaderLoop &loop)
{
    loop.owed = true;
}

// Milliseconds until the window may be woken again (0: now).
static DWORD AnnounceWait(const ReaderLoop &loop)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    LONGLONG since = loop.countsPerMs > 0 ? (now.QuadPart - loop.lastPost) / loop.countsPerMs : ANNOUNCE_MS;
    return since >= (LONGLONG)ANNOUNCE_MS || since < 0 ? 0 : ANNOUNCE_MS - (DWORD)since;
}

// While bytes keep coming, blocks are announced as often as the window may be woken.
static bool AnnounceWhenDue(ReaderLoop &loop)
{
    return !loop.owed || AnnounceWait(loop) > 0 || Announce(loop);
}

// Waits until count bytes (0: a mark) fit into the ring, the window told of
// what it holds. False when the stop event came first.
static bool WaitForRoom(ReaderLoop &loop, uint32_t count)
{
    ReaderRecord *record = loop.record;
    while (!HandOverRoom(record->pool, count, record->params.blockLength, false)) {
        if (!Announce(loop) || StopSignalled(record->params.stopEvent, HAND_OVER_RETRY_MS))
            return false;
    }
    return true;
}

// The mark that the driver lost bytes goes before the next block.
static bool HandOverOverrun(ReaderLoop &loop, bool stopping)
{
    if (!loop.overrunDue)
        return true;
    if (!stopping && !WaitForRoom(loop, 0))
        return false;
    PublishOverrunMark(loop.record->pool);
    loop.overrunDue = false;
    Owe(loop);
    return true;
}

// Publishes the finished block gathered, waiting while the ring is full.
// False when the stop event came meanwhile; the block then stays gathered,
// kept for EndReading.
static bool HandOverGathered(ReaderLoop &loop)
{
    if (!HandOverOverrun(loop, false) || !WaitForRoom(loop, loop.gatherer.count)) {
        loop.blockKept = true;
        return false;
    }
    PublishBlock(loop.record->pool, loop.gatherer.buffer, loop.gatherer.count);
    ClearGathered(loop.gatherer);
    Owe(loop);
    return true;
}

// A stopping reader's gathered bytes go into the room a running reader kept
// free for them: the window takes no blocks while it waits for the reader to
// end, so waiting for room is no use.
static void TakeRest(ReaderLoop &loop)
{
    if (loop.gatherer.count == 0)
        return;
    PublishBlock(loop.record->pool, loop.gatherer.buffer, loop.gatherer.count);
    ClearGathered(loop.gatherer);
}

// Gathers the bytes of the read buffer not gathered yet: each block they
// finish is handed over (by a stopping reader into a kept slot) and the bytes
// after it begin the next. False when the stop event came while handing a
// block over; the bytes left stay for EndReading.
static bool GatherDelivered(ReaderLoop &loop, bool stopping)
{
    const unsigned char *bytes = loop.record->readBuffer;
    while (loop.chunkDone < loop.chunkEnd) {
        bool finished;
        loop.chunkDone += GatherChunk(loop.gatherer, bytes + loop.chunkDone, loop.chunkEnd - loop.chunkDone, &finished);
        if (finished && stopping)
            TakeRest(loop);
        else if (finished && !HandOverGathered(loop))
            return false;
    }
    return true;
}

// Bytes arrived; false when the stop event came while handing a block over.
static bool TakeChunk(ReaderLoop &loop)
{
    loop.lastByteTick = GetTickCount();
    loop.emptyRun = 0;
    loop.failRun = 0;
    return GatherDelivered(loop, false);
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

// A driver that lost bytes gets a mark before the next block, at most once a second.
static void NoteOverrun(ReaderLoop &loop)
{
    DWORD now = GetTickCount();
    if (loop.overrunDue || (loop.overrunSeen && now - loop.lastOverrun < OVERRUN_REPEAT_MS))
        return;
    loop.overrunDue = loop.overrunSeen = true;
    loop.lastOverrun = now;
}

// One byte, or the bytes known to wait (up to the read buffer's size). The
// device is asked again only once the bytes it reported have been taken.
static DWORD NextReadSize(ReaderLoop &loop)
{
    if (loop.knownWaiting == 0) {
        bool lost = false;
        loop.knownWaiting = BytesWaiting(loop.record->params.device, loop.waitingCount, &lost);
        // The mark goes at once when there is room, else before the next block.
        if (lost)
            NoteOverrun(loop);
        if (loop.overrunDue && HandOverRoom(loop.record->pool, 0, loop.record->params.blockLength, false))
            HandOverOverrun(loop, false);
    }
    if (loop.knownWaiting == 0)
        return 1;
    return loop.knownWaiting < loop.record->readSize ? loop.knownWaiting : loop.record->readSize;
}

// The outstanding read has completed (or its cancellation has): true with
// bytes in the read buffer; error is the read's failure, 0 when it succeeded.
// A message pipe delivers with ERROR_MORE_DATA, and a cancelled read may have
// delivered part of what it asked for: their bytes are taken all the same.
static bool FinishRead(ReaderLoop &loop, DWORD *error)
{
    ReaderRecord *record = loop.record;
    DWORD got = 0;
    BOOL done = GetOverlappedResult(record->params.device, &record->overlapped, &got, FALSE);
    *error = done ? 0 : GetLastError();
    loop.inFlight = false;
    record->readInFlight = 0;
    if (got > loop.asked)
        got = 0;
    loop.chunkDone = 0;
    loop.chunkEnd = got;
    loop.knownWaiting = got < loop.knownWaiting ? loop.knownWaiting - got : 0;
    return got > 0;
}

// Starts a read of size bytes. A read that completes at once is taken without
// a wait; its count is in the OVERLAPPED record, as ReadFile's documentation
// advises for a handle opened for overlapped I/O.
static ReadStart StartRead(ReaderLoop &loop, DWORD size, DWORD *error)
{
    ReaderRecord *record = loop.record;
    loop.asked = size;
    record->readInFlight = 1;
    BOOL done = ReadFile(record->params.device, record->readBuffer, size, NULL, &record->overlapped);
    *error = done ? 0 : GetLastError();
    if (!done && *error == ERROR_IO_PENDING) {
        loop.inFlight = true;
        return READ_PENDING;
    }
    record->readInFlight = 0;
    if (!done && *error != ERROR_MORE_DATA)
        return READ_REFUSED;
    return FinishRead(loop, error) ? READ_BYTES : READ_EMPTY;
}

enum CancelOutcome { CANCELLED_EMPTY, CANCELLED_LATE_BYTES, CANCEL_STOPPED };

// Cancels the outstanding read and waits until it has completed: with bytes
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
    DWORD error;
    return FinishRead(loop, &error) ? CANCELLED_LATE_BYTES : CANCELLED_EMPTY;
}

// A read gave no byte. A single failure is passed over; the same failure
// again and again means the device is gone or refuses: reported like a read
// that failed at once. Reads that keep coming back empty are paced so the
// thread never spins. False when the thread is to end.
static bool AfterEmptyRead(ReaderLoop &loop, DWORD error)
{
    ReaderRecord *record = loop.record;
    loop.emptyRun++;
    loop.knownWaiting = 0; // what the device said it held did not come: ask again
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
    if (loop.emptyRun >= 2 && (!Announce(loop) || StopSignalled(record->params.stopEvent, IDLE_PAUSE_MS)))
        return false;
    return true;
}

// The read timeout passed with bytes gathered: they go as a shorter block.
// Bytes that the cancelled read delivered all the same start the next block.
static bool HandOverOnTimeout(ReaderLoop &loop)
{
    CancelOutcome cancel = CancelRead(loop);
    if (cancel == CANCEL_STOPPED || !HandOverGathered(loop))
        return false;
    return cancel != CANCELLED_LATE_BYTES || TakeChunk(loop);
}

// Ending: the read is cancelled, the bytes gathered so far are handed over
// as a last, shorter block, and the window is told; it logs every block still
// waiting before its end line, so a wake-up still owed is not needed. Bytes
// the cancelled read delivered all the same, or that a read delivered after a
// block the stop kept from the ring, follow in blocks as they would have: the
// room a running reader keeps free holds them all. A read whose cancellation
// does not complete stays marked in flight, so its buffers are kept when the
// block is released.
static void EndReading(ReaderLoop &loop)
{
    ReaderRecord *record = loop.record;
    if (loop.inFlight) {
        CancelIo(record->params.device);
        DWORD error;
        if (WaitForSingleObject(record->readEvent, CANCEL_WAIT_MS) == WAIT_OBJECT_0)
            FinishRead(loop, &error);
    }
    // A mark and a finished block still waiting go first, then what follows them.
    HandOverOverrun(loop, true);
    if (loop.blockKept)
        TakeRest(loop);
    GatherDelivered(loop, true);
    TakeRest(loop);
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
    loop.waitingCount = WaitingCountOf(params.device);
    LARGE_INTEGER frequency;
    loop.countsPerMs = QueryPerformanceFrequency(&frequency) ? frequency.QuadPart / 1000 : 0;
    loop.lastStopPoll = GetTickCount();
    HANDLE waitSet[2] = {record->readEvent, params.stopEvent};

    for (;;) {
        DWORD error = 0;
        if (!loop.inFlight) {
            ReadStart start = StartRead(loop, NextReadSize(loop), &error);
            if (start == READ_REFUSED) {
                ShowReadError(record, error);
                SetEvent(params.stopEvent);
                break;
            }
            if (start == READ_BYTES) {
                // Reads that complete at once never wait on the stop event:
                // a flood is stopped by this look.
                if (!TakeChunk(loop) || StopRequested(loop) || !AnnounceWhenDue(loop))
                    break;
                continue;
            }
            if (start == READ_EMPTY) {
                if (!AfterEmptyRead(loop, 0))
                    break;
                continue;
            }
        }
        // No more bytes to read for now: the window learns of every block
        // first, or once it may be woken again.
        DWORD waitMs = TimeLeft(loop);
        if (loop.owed) {
            DWORD gap = AnnounceWait(loop);
            if (gap == 0 && !Announce(loop))
                break;
            if (gap > 0 && gap < waitMs)
                waitMs = gap;
        }
        DWORD wait = WaitForMultipleObjects(2, waitSet, FALSE, waitMs);
        if (wait == WAIT_OBJECT_0) {
            // The wait watched the stop event too and found the read first:
            // no need to look at the stop event again before the next read.
            if (FinishRead(loop, &error)) {
                if (!TakeChunk(loop))
                    break;
            } else if (!AfterEmptyRead(loop, error)) {
                break;
            }
        } else if (wait == WAIT_OBJECT_0 + 1) {
            break;
        } else if (wait == WAIT_TIMEOUT) {
            // The read timeout, or only the wait for the next wake-up.
            if (PartialBlockDue(loop) && !HandOverOnTimeout(loop))
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

ReaderParams *CreateReaderParams(uint32_t blockLength)
{
    uint32_t capacity = EffectiveBlockLength(blockLength);
    if (capacity > HAND_OVER_BLOCK_LIMIT)
        return NULL;
    HandOverPool *pool = PrepareHandOver();
    if (!pool)
        return NULL;
    size_t header = offsetof(ReaderRecord, gather) + capacity;
    ReaderRecord *record = (ReaderRecord *)GlobalAlloc(GPTR, header + READ_CHUNK_LIMIT);
    if (!record)
        return NULL;
    record->readEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!record->readEvent) {
        GlobalFree(record);
        return NULL;
    }
    record->overlapped.hEvent = record->readEvent;
    record->pool = pool;
    record->readBuffer = record->gather + capacity;
    record->readSize = READ_CHUNK_LIMIT;
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
    // The thread may still write to the ring; a new reader gets a fresh one.
    AbandonHandOver(((ReaderRecord *)params)->pool);
}

bool ReaderShowsErrorBox(const ReaderParams *params)
{
    return params && InterlockedCompareExchange(&((ReaderRecord *)params)->errorBoxShown, 0, 0) != 0;
}
