// The receive thread's way to the window. The window is woken when no more
// bytes wait to be read, but at most once every ANNOUNCE_MS, so that it logs
// many blocks in one round however quick it is; a single block after a quiet
// spell wakes it at once. A running reader leaves the room in the ring that
// a stopping one needs for what it still has (device/gather.h).
#include "device/blocksink.h"

// Pause before retrying a post that failed or waiting for room in the ring.
static const DWORD RETRY_MS = 5;
// Shortest time between two wake-ups of the window.
static const DWORD ANNOUNCE_MS = 4;
// Shortest time between two lines telling that the device lost bytes.
static const DWORD OVERRUN_REPEAT_MS = 1000;

static bool StopSignalled(HANDLE stopEvent, DWORD waitMs)
{
    return WaitForSingleObject(stopEvent, waitMs) == WAIT_OBJECT_0;
}

void StartSink(BlockSink &sink, HandOverPool *pool, HWND window, HANDLE stopEvent, unsigned char *buffer,
               uint32_t blockLength, uint32_t endByte)
{
    ZeroMemory(&sink, sizeof sink);
    sink.pool = pool;
    sink.window = window;
    sink.stopEvent = stopEvent;
    sink.blockLength = blockLength;
    StartGathering(sink.gatherer, buffer, blockLength, endByte);
    LARGE_INTEGER frequency;
    sink.countsPerMs = QueryPerformanceFrequency(&frequency) ? frequency.QuadPart / 1000 : 0;
}

// Tells the window of the blocks handed over since it was last told, unless
// a wake-up is on its way (whose round takes them too). A failed post (a full
// queue, a window gone) is retried after a pause.
bool Announce(BlockSink &sink)
{
    if (!sink.owed)
        return true;
    sink.owed = false;
    if (!ClaimWakeUp(sink.pool))
        return true;
    while (!PostWakeUp(sink.pool, sink.window)) {
        if (StopSignalled(sink.stopEvent, RETRY_MS))
            return false;
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    sink.lastPost = now.QuadPart;
    return true;
}

DWORD AnnounceWait(const BlockSink &sink)
{
    if (!sink.owed)
        return 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    LONGLONG since = sink.countsPerMs > 0 ? (now.QuadPart - sink.lastPost) / sink.countsPerMs : ANNOUNCE_MS;
    return since >= (LONGLONG)ANNOUNCE_MS || since < 0 ? 0 : ANNOUNCE_MS - (DWORD)since;
}

// Waits until count bytes (0: a mark) fit into the ring, the window told of
// what it holds. False when the stop event came first.
static bool WaitForRoom(BlockSink &sink, uint32_t count)
{
    while (!HandOverRoom(sink.pool, count, sink.blockLength, false)) {
        if (!Announce(sink) || StopSignalled(sink.stopEvent, RETRY_MS))
            return false;
    }
    return true;
}

// The mark that the driver lost bytes goes before the next block.
static bool HandOverOverrun(BlockSink &sink, bool stopping)
{
    if (!sink.overrunDue)
        return true;
    if (!stopping && !WaitForRoom(sink, 0))
        return false;
    PublishOverrunMark(sink.pool);
    sink.overrunDue = false;
    sink.owed = true;
    return true;
}

void NoteOverrun(BlockSink &sink)
{
    DWORD now = GetTickCount();
    if (sink.overrunDue || (sink.overrunSeen && now - sink.lastOverrun < OVERRUN_REPEAT_MS))
        return;
    sink.overrunDue = sink.overrunSeen = true;
    sink.lastOverrun = now;
    if (HandOverRoom(sink.pool, 0, sink.blockLength, false))
        HandOverOverrun(sink, false);
}

bool HandOverGathered(BlockSink &sink)
{
    if (!HandOverOverrun(sink, false) || !WaitForRoom(sink, sink.gatherer.count)) {
        sink.blockKept = true;
        return false;
    }
    PublishBlock(sink.pool, sink.gatherer.buffer, sink.gatherer.count);
    ClearGathered(sink.gatherer);
    sink.owed = true;
    return true;
}

// The window takes no blocks while it waits for a stopping reader to end, so
// waiting for room is no use: the room a running reader kept free takes them.
void HandOverRest(BlockSink &sink)
{
    HandOverOverrun(sink, true);
    if (sink.gatherer.count == 0)
        return;
    PublishBlock(sink.pool, sink.gatherer.buffer, sink.gatherer.count);
    ClearGathered(sink.gatherer);
}

bool SinkBytes(BlockSink &sink, const unsigned char *bytes, uint32_t count, bool stopping, uint32_t *taken)
{
    *taken = 0;
    while (*taken < count) {
        bool finished;
        *taken += GatherChunk(sink.gatherer, bytes + *taken, count - *taken, &finished);
        if (finished && stopping)
            HandOverRest(sink);
        else if (finished && !HandOverGathered(sink))
            return false;
    }
    return true;
}
