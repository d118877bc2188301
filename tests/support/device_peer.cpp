#include "support.h"

#include <stdio.h>

#include <algorithm>

#include "commands/commandtext.h"

// Listening instances kept ready, so that a client may close and reopen at
// once and any number of times (an instance whose client left does not
// listen again by itself).
static const int SPARE_INSTANCES = 4;

struct DevicePeer {
    bool serial = false;
    std::string connectString; // a pipe peer's path too
    bool record = true;
    DWORD bufferSize = 4096;
    HANDLE quitEvent = NULL;               // manual reset: the serving ends
    HANDLE serveThread = NULL;             // Serve, while serving
    HANDLE firstEnd = INVALID_HANDLE_VALUE; // made before the thread runs: a listening instance or the serial port
    volatile LONG accepted = 0;            // pipe clients taken in, each one's instance replaced
    // serial
    std::string folder; // "/tmp/...", which Windows reaches as "Z:/tmp/..."
    // under lock
    CRITICAL_SECTION lock;
    HANDLE current = NULL; // the end the peer writes to
    Bytes received;
    // the flood, on a thread of its own
    HANDLE floodThread = NULL;
    DWORD floodMs = 0;
    Bytes floodBytes; // sent instead of the counter when not empty
    DWORD floodRate = 0;  // bytes a second; 0: as fast as the device takes them
    volatile LONG floodStop = 0;
    volatile LONG64 floodSent = 0;
    volatile LONG longestWriteMs = 0; // the longest one write of the flood waited
};

// Holds a peer's lock for the scope it lives in.
struct PeerLock {
    DevicePeer *peer;
    explicit PeerLock(DevicePeer *p) : peer(p) { EnterCriticalSection(&peer->lock); }
    ~PeerLock() { LeaveCriticalSection(&peer->lock); }
};

// A handle of its own on the current end, so a write never races its close.
static HANDLE DuplicateCurrent(DevicePeer *peer)
{
    PeerLock hold(peer);
    HANDLE copy = NULL;
    if (peer->current && !DuplicateHandle(GetCurrentProcess(), peer->current, GetCurrentProcess(), &copy, 0, FALSE,
                                          DUPLICATE_SAME_ACCESS))
        copy = NULL;
    return copy;
}

// Makes h the end the peer writes to; with replaced given, only while replaced is that end.
static void SetCurrentEnd(DevicePeer *peer, HANDLE h, HANDLE replaced = NULL)
{
    PeerLock hold(peer);
    if (!replaced || peer->current == replaced)
        peer->current = h;
}

static void Keep(DevicePeer *peer, const unsigned char *bytes, DWORD count)
{
    PeerLock hold(peer);
    peer->received.insert(peer->received.end(), bytes, bytes + count);
}

static HANDLE NewInstance(DevicePeer *peer)
{
    return CreateNamedPipeA(peer->connectString.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                            peer->bufferSize, peer->bufferSize, 0, NULL);
}

// One end the serving thread owns: a pipe instance (listening, or with a client) or the serial port.
struct End {
    HANDLE h;
    bool client;  // connected (the serial port always is)
    bool pending; // a connect or read is under way on ov, or its result waits there
    bool atOnce;  // the connect completed at once: ov holds no result
    OVERLAPPED ov;
    unsigned char buffer[4096];
};

static End *NewEnd(HANDLE h, bool client)
{
    End *end = new End();
    end->h = h;
    end->client = client;
    end->ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    return end;
}

static void Listen(DevicePeer *peer, End *end)
{
    for (;;) {
        if (ConnectNamedPipe(end->h, &end->ov) || GetLastError() == ERROR_PIPE_CONNECTED) {
            end->pending = end->atOnce = true;
            SetEvent(end->ov.hEvent);
            return;
        }
        if (GetLastError() != ERROR_NO_DATA) {
            end->pending = GetLastError() == ERROR_IO_PENDING; // else broken: it never signals
            return;
        }
        // A client came and went before the instance was listened on.
        InterlockedIncrement(&peer->accepted);
        DisconnectNamedPipe(end->h);
    }
}

// Starts what an end waits for: a client, or (when recording) the client's bytes; false when the client left.
static bool Arm(DevicePeer *peer, End *end)
{
    if (!end->client) {
        Listen(peer, end);
        return true;
    }
    // Wine's serial reads wait for their whole count whatever the port's
    // time-outs say, so the serial port is read byte by byte.
    DWORD got = 0, size = peer->serial ? 1 : sizeof end->buffer;
    while (peer->record && ReadFile(end->h, end->buffer, size, &got, &end->ov))
        Keep(peer, end->buffer, got);
    end->pending = peer->record && GetLastError() == ERROR_IO_PENDING;
    return !peer->record || end->pending;
}

// Closes an end and forgets it; one whose pending operation does not end when cancelled is left for good.
static void Drop(DevicePeer *peer, std::vector<End *> &ends, size_t i)
{
    End *end = ends[i];
    ends.erase(ends.begin() + (long)i);
    if (end->pending && (CancelIo(end->h), WaitForSingleObject(end->ov.hEvent, 3000) != WAIT_OBJECT_0)) {
        printf("peer: a cancelled read or connect did not finish\n");
        return;
    }
    SetCurrentEnd(peer, NULL, end->h);
    if (end->client && !peer->serial)
        DisconnectNamedPipe(end->h);
    if (end->h != INVALID_HANDLE_VALUE)
        CloseHandle(end->h);
    CloseHandle(end->ov.hEvent);
    delete end;
}

// The one serving thread of a peer: takes in pipe clients, records what they write, sees them leave.
static DWORD WINAPI Serve(LPVOID argument)
{
    DevicePeer *peer = (DevicePeer *)argument;
    std::vector<End *> ends(1, NewEnd(peer->firstEnd, peer->serial));
    for (int i = 1; !peer->serial && i < SPARE_INSTANCES; i++)
        ends.push_back(NewEnd(NewInstance(peer), false));
    for (End *end : ends)
        Arm(peer, end);
    for (;;) {
        HANDLE events[MAXIMUM_WAIT_OBJECTS] = {peer->quitEvent};
        size_t of[MAXIMUM_WAIT_OBJECTS] = {0}; // the end of each event
        DWORD count = 1;
        for (size_t i = 0; i < ends.size() && count < MAXIMUM_WAIT_OBJECTS; i++)
            if (ends[i]->pending) {
                of[count] = i;
                events[count++] = ends[i]->ov.hEvent;
            }
        DWORD wait = WaitForMultipleObjects(count, events, FALSE, INFINITE);
        if (wait <= WAIT_OBJECT_0 || wait >= WAIT_OBJECT_0 + count)
            break; // quit, or failed
        size_t i = of[wait - WAIT_OBJECT_0];
        End *end = ends[i];
        DWORD got = 0;
        bool done = end->atOnce || GetOverlappedResult(end->h, &end->ov, &got, FALSE);
        end->pending = end->atOnce = false;
        if (!end->client) {
            if (done)
                SetCurrentEnd(peer, end->h); // before it counts as taken in
            end->client = done;
            ends.push_back(NewEnd(NewInstance(peer), false));
            Listen(peer, ends.back());
            InterlockedIncrement(&peer->accepted);
        } else if (done) {
            Keep(peer, end->buffer, got);
        }
        // A pipe client that left is dropped; a serial port that fails is no longer read.
        if (!(done && Arm(peer, end)) && !peer->serial)
            Drop(peer, ends, i);
    }
    while (!ends.empty())
        Drop(peer, ends, ends.size() - 1);
    return 0;
}

// Runs tests/support/serial-peer.sh with an action for COM7 and COM8 and waits
// for its marker file (without pumping: a box the action causes waits for the test).
static bool RunSerialScript(DevicePeer *peer, const char *action)
{
    std::string markerPath = "Z:" + peer->folder + "/" + action + ".done";
    DeleteFileA(markerPath.c_str());
    std::string script = VELKOR_SOURCE_DIR_UNIX "/tests/support/serial-peer.sh";
    if (!StartUnixProgram("/bin/sh \"" + script + "\" " + action + " " + peer->folder + " 7 8")) {
        printf("serial: cannot run /bin/sh, error %lu\n", GetLastError());
        return false;
    }
    for (DWORD start = GetTickCount(); GetFileAttributesA(markerPath.c_str()) == INVALID_FILE_ATTRIBUTES; Sleep(20)) {
        if (GetTickCount() - start > 15000) {
            printf("serial: '%s' did not finish\n", action);
            return false;
        }
    }
    return true;
}

// Makes the first end (a pipe's first instance, so the pipe opens at once; or
// the serial port, once the pty pair is up) and starts the serving thread.
static bool StartServing(DevicePeer *peer)
{
    ResetEvent(peer->quitEvent);
    if (peer->serial) {
        peer->firstEnd = INVALID_HANDLE_VALUE; // a failed start must not serve the port closed before
        auto opened = [&] {
            peer->firstEnd = CreateFileA("\\\\.\\COM8", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED, NULL);
            return peer->firstEnd != INVALID_HANDLE_VALUE;
        };
        if (RunSerialScript(peer, "start"))
            PumpUntil(opened, 5000);
        SetCurrentEnd(peer, peer->firstEnd != INVALID_HANDLE_VALUE ? peer->firstEnd : NULL);
    } else {
        peer->firstEnd = NewInstance(peer);
    }
    if (peer->firstEnd == INVALID_HANDLE_VALUE) {
        printf("peer: cannot serve %s, error %lu\n", peer->connectString.c_str(), GetLastError());
        return false;
    }
    peer->serveThread = CreateThread(NULL, 0, Serve, peer, 0, NULL);
    return peer->serveThread != NULL;
}

static void StopServing(DevicePeer *peer)
{
    PeerStopFlood(peer);
    if (!peer->serveThread)
        return;
    SetEvent(peer->quitEvent);
    WaitForSingleObject(peer->serveThread, 10000);
    CloseHandle(peer->serveThread);
    peer->serveThread = NULL;
}

static DevicePeer *NewPeer(const std::string &connectString)
{
    DevicePeer *peer = new DevicePeer();
    InitializeCriticalSection(&peer->lock);
    peer->connectString = connectString;
    peer->quitEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    return peer;
}

DevicePeer *StartPipePeer(const std::string &name, bool record, DWORD bufferSize)
{
    DevicePeer *peer = NewPeer("\\\\.\\pipe\\" + name);
    peer->record = record;
    peer->bufferSize = bufferSize;
    StartServing(peer);
    return peer;
}

DevicePeer *StartSerialPeer()
{
    DevicePeer *peer = NewPeer("COM7");
    peer->serial = true;
    peer->folder = "/tmp/" + UniqueName("velkor-serial");
    if (!CreateDirectoryA(("Z:" + peer->folder).c_str(), NULL) || !StartServing(peer)) {
        StopPeer(peer);
        return NULL;
    }
    return peer;
}

void StopPeer(DevicePeer *peer)
{
    if (!peer)
        return;
    StopServing(peer);
    if (peer->serial)
        RunSerialScript(peer, "stop");
    CloseHandle(peer->quitEvent);
    DeleteCriticalSection(&peer->lock);
    delete peer;
}

std::string PeerConnectString(const DevicePeer *peer) { return peer->connectString; }

bool PeerConnected(DevicePeer *peer)
{
    PeerLock hold(peer);
    return peer->current != NULL;
}

bool WaitPeerReady(DevicePeer *peer, int clients, DWORD timeoutMs)
{
    return PumpUntil([&] { return InterlockedCompareExchange(&peer->accepted, 0, 0) >= clients; }, timeoutMs);
}

// One overlapped write, waited for until it ends, *stop is set or waitMs pass (then cancelled); false when it failed.
static bool WriteOnce(HANDLE h, const unsigned char *bytes, DWORD count, OVERLAPPED *ov, DWORD waitMs,
                      volatile LONG *stop, DWORD *written)
{
    *written = 0;
    if (WriteFile(h, bytes, count, written, ov))
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    for (DWORD start = GetTickCount(); WaitForSingleObject(ov->hEvent, 50) == WAIT_TIMEOUT;)
        if ((stop && *stop) || GetTickCount() - start >= waitMs) {
            CancelIo(h);
            break;
        }
    return GetOverlappedResult(h, ov, written, TRUE) != FALSE;
}

// A client that just reopened may not be taken in yet, and the one before it
// may not be noticed gone yet (writing to it fails at once): then a write of
// nothing is tried again for up to 3 s.
bool PeerWrite(DevicePeer *peer, const Bytes &bytes)
{
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD done = 0, written = 0;
    for (DWORD start = GetTickCount();; Sleep(10)) {
        HANDLE h = DuplicateCurrent(peer);
        bool ok = h != NULL;
        for (done = 0; ok && done < bytes.size(); done += written)
            ok = WriteOnce(h, bytes.data() + done, (DWORD)bytes.size() - done, &ov, 5000, NULL, &written);
        if (h)
            CloseHandle(h);
        if (done == bytes.size() || done > 0 || peer->serial || GetTickCount() - start > 3000)
            break;
    }
    CloseHandle(ov.hEvent);
    return done == bytes.size();
}

// Small writes: each one lands whole in the device's buffer or waits for room
// (as long as the reader takes: only a forced stop cancels), so the bytes
// counted as sent are exactly the bytes the reader will see. A paced flood
// writes what its rate owes every millisecond or so.
static DWORD WINAPI Flood(LPVOID argument)
{
    DevicePeer *peer = (DevicePeer *)argument;
    HANDLE h = DuplicateCurrent(peer);
    if (!h)
        return 0;
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    unsigned char chunk[64];
    uint64_t sent = 0;
    DWORD written = 0;
    bool ok = true;
    const Bytes &given = peer->floodBytes;
    bool counter = given.empty();
    for (DWORD start = GetTickCount();
         ok && !peer->floodStop && (counter ? GetTickCount() - start < peer->floodMs : sent < given.size());) {
        uint64_t room = sizeof chunk;
        if (peer->floodRate) {
            uint64_t owed = (uint64_t)(GetTickCount() - start) * peer->floodRate / 1000;
            if (owed <= sent) {
                Sleep(1);
                continue;
            }
            room = std::min<uint64_t>(room, owed - sent);
        }
        DWORD size = counter ? (DWORD)room : (DWORD)std::min<uint64_t>(room, given.size() - sent);
        for (size_t i = 0; i < size; i++)
            chunk[i] = counter ? (unsigned char)(sent + i) : given[sent + i];
        DWORD before = GetTickCount();
        ok = WriteOnce(h, chunk, size, &ov, INFINITE, &peer->floodStop, &written);
        LONG took = (LONG)(GetTickCount() - before);
        if (took > peer->longestWriteMs)
            InterlockedExchange(&peer->longestWriteMs, took);
        sent += written;
        InterlockedExchange64(&peer->floodSent, (LONG64)sent);
    }
    CloseHandle(ov.hEvent);
    CloseHandle(h);
    return 0;
}

static void StartFloodThread(DevicePeer *peer, DWORD durationMs, const Bytes &bytes, DWORD rate = 0)
{
    PeerStopFlood(peer);
    peer->floodBytes = bytes;
    peer->floodRate = rate;
    peer->floodStop = 0;
    peer->floodSent = 0;
    peer->longestWriteMs = 0;
    peer->floodMs = durationMs;
    peer->floodThread = CreateThread(NULL, 0, Flood, peer, 0, NULL);
}

void PeerStartPacedFlood(DevicePeer *peer, DWORD bytesPerSecond, DWORD durationMs)
{
    StartFloodThread(peer, durationMs, Bytes(), bytesPerSecond);
}

DWORD PeerLongestWriteMs(DevicePeer *peer) { return (DWORD)InterlockedCompareExchange(&peer->longestWriteMs, 0, 0); }

void PeerStartFlood(DevicePeer *peer, DWORD durationMs) { StartFloodThread(peer, durationMs, Bytes()); }

void PeerStartSending(DevicePeer *peer, const Bytes &bytes) { StartFloodThread(peer, INFINITE, bytes); }

uint64_t PeerStopFlood(DevicePeer *peer)
{
    if (peer->floodThread) {
        InterlockedExchange(&peer->floodStop, 1);
        WaitForSingleObject(peer->floodThread, 15000);
        CloseHandle(peer->floodThread);
        peer->floodThread = NULL;
    }
    return (uint64_t)InterlockedCompareExchange64(&peer->floodSent, 0, 0);
}

bool PeerFloodDone(DevicePeer *peer)
{
    return !peer->floodThread || WaitForSingleObject(peer->floodThread, 0) == WAIT_OBJECT_0;
}

Bytes PeerReceived(DevicePeer *peer)
{
    PeerLock hold(peer);
    return peer->received;
}

bool WaitPeerReceived(DevicePeer *peer, size_t count, DWORD timeoutMs)
{
    return PumpUntil([&] { return PeerReceived(peer).size() >= count; }, timeoutMs);
}

void PeerVanish(DevicePeer *peer)
{
    if (peer->serial)
        RunSerialScript(peer, "kill");
    StopServing(peer);
}

bool PeerRevive(DevicePeer *peer) { return StartServing(peer); }

// ---- log lines and bytes ---------------------------------------------------------

Bytes HexBytes(const char *text)
{
    Bytes bytes;
    for (bool pair; *text; text += pair ? 2 : 1) {
        unsigned char value = HexPairValue(text, &pair);
        if (pair)
            bytes.push_back(value);
    }
    return bytes;
}

std::vector<Bytes> ReceivedBlocks(const std::vector<std::string> &lines)
{
    // A block's line is "> hh:mm:ss,mmm  " and a "0xHH " group for each byte.
    std::vector<Bytes> blocks;
    for (const std::string &line : lines) {
        bool block = line.size() >= 16 && line[0] == '>' &&
                     (line.size() == 16 || (line[15] == ' ' && (line.size() - 16) % 5 == 0));
        Bytes bytes;
        for (size_t i = 16; block && i + 5 <= line.size(); i += 5) {
            bytes.push_back(HexPairValue(&line[i + 2], &block));
            block = block && line[i] == '0' && line[i + 1] == 'x' && line[i + 4] == ' ';
        }
        if (block)
            blocks.push_back(bytes);
    }
    return blocks;
}
