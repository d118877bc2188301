// The receive thread: reads the device and hands the bytes to its block sink
// (device/blocksink), which gathers them into blocks for the main window.
// While no byte is known to wait, a read asks for one: it waits for the next
// byte and the read timeout runs between bytes. A serial port or a named
// pipe tells how many bytes it holds; then one read takes them all (up to
// READ_CHUNK_LIMIT), whatever the block length, and the gatherer cuts them
// into the blocks one-byte reads would have given. Other devices (a USB
// interface, whose driver may wait for the whole count) are read a byte at a
// time. A serial driver that reports lost bytes gets a mark, which the window
// logs as a line of its own.
#include "device/receiver.h"

#include "base/appwindows.h"
#include "base/boxes.h"
#include "base/systemtext.h"
#include "device/blocksink.h"
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
    BlockSink sink;
    WaitingCount waitingCount;
    uint32_t knownWaiting; // bytes the device was seen to hold that no read has taken yet
    uint32_t chunkDone;    // the read buffer's bytes gathered so far ...
    uint32_t chunkEnd;     // ... of those the last read delivered
    bool inFlight;       // a read is outstanding
    DWORD lastByteTick;  // when the last byte arrived
    DWORD lastStopPoll;  // when the stop event was last looked at
    unsigned emptyRun;   // reads in a row that gave no byte
    unsigned failRun;    // of those, failures in a row with the same error
    DWORD failError;
    DWORD asked;         // bytes the last read asked for
};

enum ReadStart { READ_PENDING, READ_BYTES, READ_EMPTY, READ_REFUSED };

// Looking at the stop event between bytes costs a call into the system; under
// a flood once per interval is enough to end well within the grace period.
const DWORD STOP_POLL_MS = 10;
// Pause between tries to post the reader's end.
const DWORD POST_RETRY_MS = 5;
// Pause after reads that keep completing without a byte (so none spins).
const DWORD IDLE_PAUSE_MS = 10;
// Completions failing with the same error in a row that mean the device is gone.
const unsigned FAILURES_BEFORE_REPORT = 3;
// How long a stopping reader keeps trying to post what is left.
const DWORD FINAL_POST_MS = 100;
// How long a stopping reader waits for its cancelled read.
const DWORD CANCEL_WAIT_MS = 100;

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

// Gathers the bytes of the read buffer not gathered yet. False when the stop
// event came while handing a block over; the bytes left stay for EndReading.
static bool GatherDelivered(ReaderLoop &loop, bool stopping)
{
    uint32_t taken = 0;
    bool all = SinkBytes(loop.sink, loop.record->readBuffer + loop.chunkDone, loop.chunkEnd - loop.chunkDone,
                         stopping, &taken);
    loop.chunkDone += taken;
    return all;
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
    return loop.sink.gatherer.count > 0 && timeout != INFINITE && GetTickCount() - loop.lastByteTick >= timeout;
}

// Longest wait for the next byte: until the read timeout after the last
// byte while bytes are gathered, else for the read or the stop alone.
static DWORD TimeLeft(const ReaderLoop &loop)
{
    uint32_t timeout = loop.record->params.readTimeout;
    if (loop.sink.gatherer.count == 0 || timeout == INFINITE)
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

// One byte, or the bytes known to wait (up to the read buffer's size). The
// device is asked again only once the bytes it reported have been taken.
static DWORD NextReadSize(ReaderLoop &loop)
{
    if (loop.knownWaiting == 0) {
        bool lost = false;
        loop.knownWaiting = BytesWaiting(loop.record->params.device, loop.waitingCount, &lost);
        if (lost)
            NoteOverrun(loop.sink);
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
    if (PartialBlockDue(loop) && !HandOverGathered(loop.sink))
        return false;
    if (loop.emptyRun >= 2 && (!Announce(loop.sink) || StopSignalled(record->params.stopEvent, IDLE_PAUSE_MS)))
        return false;
    return true;
}

// The read timeout passed with bytes gathered: they go as a shorter block.
// Bytes that the cancelled read delivered all the same start the next block.
static bool HandOverOnTimeout(ReaderLoop &loop)
{
    CancelOutcome cancel = CancelRead(loop);
    if (cancel == CANCEL_STOPPED || !HandOverGathered(loop.sink))
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
    if (loop.sink.blockKept)
        HandOverRest(loop.sink);
    GatherDelivered(loop, true);
    HandOverRest(loop.sink);
    DWORD deadline = GetTickCount() + FINAL_POST_MS;
    while (!PostMessageA(record->params.window, WMU_READER_ENDED, 0, 0) && (LONG)(GetTickCount() - deadline) < 0)
        Sleep(POST_RETRY_MS);
}

DWORD WINAPI ReceiveThread(LPVOID argument)
{
    ReaderRecord *record = (ReaderRecord *)argument;
    ReaderParams &params = record->params;
    ReaderLoop loop;
    ZeroMemory(&loop, sizeof loop);
    loop.record = record;
    StartSink(loop.sink, record->pool, params.window, params.stopEvent, record->gather, params.blockLength,
              params.endByte);
    loop.waitingCount = WaitingCountOf(params.device);
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
                if (!TakeChunk(loop) || StopRequested(loop) || (AnnounceWait(loop.sink) == 0 && !Announce(loop.sink)))
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
        DWORD waitMs = TimeLeft(loop), gap = AnnounceWait(loop.sink);
        if (gap == 0 && !Announce(loop.sink))
            break;
        if (gap > 0 && gap < waitMs)
            waitMs = gap;
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
