#include "support.h"

#include <stdio.h>

#include "commands/commandtext.h"

// Listening instances kept ready, so that a client may close and reopen at
// once and any number of times (an instance whose client left does not
// listen again by itself).
static const int SPARE_INSTANCES = 4;

struct DevicePeer {
    bool serial = false;
    std::string connectString;
    HANDLE quitEvent = NULL; // manual reset: the serving or recording ends
    // pipe
    std::string pipePath;
    bool record = true;
    DWORD bufferSize = 4096;
    HANDLE serveThread = NULL;
    HANDLE firstInstance = INVALID_HANDLE_VALUE; // listening before the thread runs
    volatile LONG accepted = 0;                  // clients taken in, each one's instance replaced
    volatile LONG serving = 0;                   // client threads still running
    // serial
    std::string unixFolder, winFolder, dosdevices;
    int velkorPort = 7, peerPort = 8;
    HANDLE serialEnd = INVALID_HANDLE_VALUE;
    HANDLE recordThread = NULL;
    // both, under lock
    CRITICAL_SECTION lock;
    HANDLE current = NULL;             // the end the peer writes to
    int connections = 0;
    Bytes received;
    // the flood, on a thread of its own
    HANDLE floodThread = NULL;
    DWORD floodMs = 0;
    volatile LONG floodStop = 0;
    volatile LONG64 floodSent = 0;
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

static void SetCurrentEnd(DevicePeer *peer, HANDLE h)
{
    PeerLock hold(peer);
    peer->current = h;
    peer->connections += h ? 1 : 0;
}

static HANDLE NewInstance(DevicePeer *peer)
{
    return CreateNamedPipeA(peer->pipePath.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                            peer->bufferSize, peer->bufferSize, 0, NULL);
}

// Records what a handle delivers (reading nothing unless readAtAll) until it
// fails or quit is signalled.
static void RecordFrom(DevicePeer *peer, HANDLE end, bool readAtAll, DWORD readSize)
{
    // On the heap: a read whose cancellation never completes keeps them for good.
    OVERLAPPED &ov = *new OVERLAPPED();
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    unsigned char *buffer = new unsigned char[4096];
    readSize = readSize > 4096 ? 4096 : readSize;
    for (;;) {
        DWORD got = 0;
        bool pending = false;
        if (readAtAll) {
            if (ReadFile(end, buffer, readSize, &got, &ov)) {
                PeerLock hold(peer);
                peer->received.insert(peer->received.end(), buffer, buffer + got);
                continue;
            }
            if (GetLastError() != ERROR_IO_PENDING)
                break; // the other side left
            pending = true;
        }
        HANDLE set[2] = {peer->quitEvent, ov.hEvent};
        DWORD wait = WaitForMultipleObjects(pending ? 2 : 1, set, FALSE, pending ? INFINITE : 50);
        if (wait == WAIT_OBJECT_0) {
            if (pending && (CancelIo(end), WaitForSingleObject(ov.hEvent, 3000) != WAIT_OBJECT_0)) {
                printf("peer: a cancelled read did not finish\n");
                return;
            }
            break;
        }
        if (wait == WAIT_OBJECT_0 + 1) {
            if (!GetOverlappedResult(end, &ov, &got, FALSE))
                break;
            PeerLock hold(peer);
            peer->received.insert(peer->received.end(), buffer, buffer + got);
        } else if (!pending && !PeekNamedPipe(end, NULL, 0, NULL, &got, NULL) && GetLastError() != ERROR_MORE_DATA) {
            break; // not reading, and the client is gone
        }
    }
    CloseHandle(ov.hEvent);
    delete &ov;
    delete[] buffer;
}

struct PipeClient {
    DevicePeer *peer;
    HANDLE pipe;
};

static DWORD WINAPI ServeClient(LPVOID argument)
{
    PipeClient *client = (PipeClient *)argument;
    DevicePeer *peer = client->peer;
    RecordFrom(peer, client->pipe, peer->record, 4096);
    {
        PeerLock hold(peer);
        if (peer->current == client->pipe)
            peer->current = NULL;
    }
    DisconnectNamedPipe(client->pipe);
    CloseHandle(client->pipe);
    delete client;
    InterlockedDecrement(&peer->serving); // the last the thread does with the peer
    return 0;
}

struct Listener {
    HANDLE pipe;
    OVERLAPPED ov;
    bool connectedAtOnce; // the client came before ConnectNamedPipe was called
};

static void Listen(DevicePeer *peer, Listener &l)
{
    ResetEvent(l.ov.hEvent);
    l.connectedAtOnce = false;
    while (l.pipe != INVALID_HANDLE_VALUE) {
        if (ConnectNamedPipe(l.pipe, &l.ov) || GetLastError() == ERROR_PIPE_CONNECTED) {
            l.connectedAtOnce = true;
            SetEvent(l.ov.hEvent);
            return;
        }
        if (GetLastError() != ERROR_NO_DATA)
            return; // pending (or broken: then it never signals)
        // A client came and went before the instance was listened on.
        InterlockedIncrement(&peer->accepted);
        DisconnectNamedPipe(l.pipe);
    }
}

static DWORD WINAPI ServePipe(LPVOID argument)
{
    DevicePeer *peer = (DevicePeer *)argument;
    Listener listeners[SPARE_INSTANCES];
    HANDLE set[SPARE_INSTANCES + 1] = {peer->quitEvent};
    for (int i = 0; i < SPARE_INSTANCES; i++) {
        ZeroMemory(&listeners[i].ov, sizeof(OVERLAPPED));
        set[i + 1] = listeners[i].ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        listeners[i].pipe = i == 0 ? peer->firstInstance : NewInstance(peer);
        Listen(peer, listeners[i]);
    }
    for (;;) {
        DWORD wait = WaitForMultipleObjects(SPARE_INSTANCES + 1, set, FALSE, INFINITE);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_FAILED)
            break;
        Listener &l = listeners[wait - WAIT_OBJECT_0 - 1];
        DWORD unused;
        if (l.pipe != INVALID_HANDLE_VALUE &&
            (l.connectedAtOnce || GetOverlappedResult(l.pipe, &l.ov, &unused, FALSE))) {
            SetCurrentEnd(peer, l.pipe); // before it counts as accepted
            InterlockedIncrement(&peer->serving);
            HANDLE thread = CreateThread(NULL, 0, ServeClient, new PipeClient{peer, l.pipe}, 0, NULL);
            if (thread)
                CloseHandle(thread);
            else
                InterlockedDecrement(&peer->serving);
        } else if (l.pipe != INVALID_HANDLE_VALUE) {
            CloseHandle(l.pipe);
        }
        l.pipe = NewInstance(peer);
        Listen(peer, l);
        InterlockedIncrement(&peer->accepted);
    }
    for (Listener &l : listeners) {
        if (l.pipe != INVALID_HANDLE_VALUE) {
            CancelIo(l.pipe);
            WaitForSingleObject(l.ov.hEvent, 3000);
            CloseHandle(l.pipe);
        }
        CloseHandle(l.ov.hEvent);
    }
    return 0;
}

static void StartServing(DevicePeer *peer)
{
    ResetEvent(peer->quitEvent);
    // The first instance exists before this returns, so the pipe opens at once.
    peer->firstInstance = NewInstance(peer);
    if (peer->firstInstance == INVALID_HANDLE_VALUE)
        printf("pipe %s: CreateNamedPipe failed, error %lu\n", peer->pipePath.c_str(), GetLastError());
    peer->serveThread = CreateThread(NULL, 0, ServePipe, peer, 0, NULL);
}

// Ends a thread of the peer that watches quitEvent, and closes its handle.
static void EndThread(DevicePeer *peer, HANDLE &thread)
{
    if (!thread)
        return;
    SetEvent(peer->quitEvent);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    thread = NULL;
}

static void StopServing(DevicePeer *peer)
{
    if (!peer->serveThread)
        return;
    EndThread(peer, peer->serveThread);
    // The client threads see quitEvent too.
    for (DWORD start = GetTickCount(); peer->serving > 0 && GetTickCount() - start < 10000;)
        Sleep(5);
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
    peer->pipePath = peer->connectString;
    peer->record = record;
    peer->bufferSize = bufferSize;
    StartServing(peer);
    return peer;
}

// ---- serial port --------------------------------------------------------------

// Runs tests/support/serial-peer.sh with an action and waits for its marker
// file: Wine starts Unix programs, but cannot wait for them.
static bool RunSerialScript(DevicePeer *peer, const char *action, const char *marker)
{
    std::string markerPath = peer->winFolder + "\\" + marker;
    DeleteFileA(markerPath.c_str());
    char command[2048];
    snprintf(command, sizeof command, "/bin/sh \"%s/tests/support/serial-peer.sh\" %s %s %s %d %d",
             VELKOR_SOURCE_DIR_UNIX, action, peer->unixFolder.c_str(), peer->dosdevices.c_str(), peer->velkorPort,
             peer->peerPort);
    if (!StartUnixProgram(command)) {
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

static DWORD WINAPI RecordSerial(LPVOID argument)
{
    DevicePeer *peer = (DevicePeer *)argument;
    // Wine's serial reads wait for their whole count whatever the port's
    // time-outs say, so the peer reads byte by byte; a failed read (the pair
    // is gone) ends the recording.
    RecordFrom(peer, peer->serialEnd, true, 1);
    return 0;
}

static bool StartSerialEnd(DevicePeer *peer)
{
    if (!RunSerialScript(peer, "start", "ready"))
        return false;
    char name[32];
    snprintf(name, sizeof name, "\\\\.\\COM%d", peer->peerPort);
    for (DWORD start = GetTickCount(); peer->serialEnd == INVALID_HANDLE_VALUE && GetTickCount() - start < 5000;) {
        peer->serialEnd =
            CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
        if (peer->serialEnd == INVALID_HANDLE_VALUE)
            Sleep(20);
    }
    if (peer->serialEnd == INVALID_HANDLE_VALUE) {
        printf("serial: cannot open %s, error %lu\n", name, GetLastError());
        return false;
    }
    ResetEvent(peer->quitEvent);
    SetCurrentEnd(peer, peer->serialEnd);
    peer->recordThread = CreateThread(NULL, 0, RecordSerial, peer, 0, NULL);
    return true;
}

static void StopSerialEnd(DevicePeer *peer)
{
    EndThread(peer, peer->recordThread);
    SetCurrentEnd(peer, NULL);
    if (peer->serialEnd != INVALID_HANDLE_VALUE)
        CloseHandle(peer->serialEnd);
    peer->serialEnd = INVALID_HANDLE_VALUE;
}

DevicePeer *StartSerialPeer(int velkorPort, int peerPort)
{
    char prefix[1024], text[128];
    DWORD length = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    if (length == 0 || length >= sizeof prefix) {
        printf("serial: WINEPREFIX is not set\n");
        return NULL;
    }
    snprintf(text, sizeof text, "COM%d", velkorPort);
    DevicePeer *peer = NewPeer(text);
    peer->serial = true;
    peer->velkorPort = velkorPort;
    peer->peerPort = peerPort;
    peer->dosdevices = std::string(prefix) + "/dosdevices";
    snprintf(text, sizeof text, "/tmp/velkor-serial-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    peer->unixFolder = text;
    peer->winFolder = "Z:" + peer->unixFolder;
    for (char &c : peer->winFolder)
        c = c == '/' ? '\\' : c;
    if (!CreateDirectoryA(peer->winFolder.c_str(), NULL) || !StartSerialEnd(peer)) {
        StopPeer(peer);
        return NULL;
    }
    return peer;
}

// ---- common -------------------------------------------------------------------

void StopPeer(DevicePeer *peer)
{
    if (!peer)
        return;
    PeerStopFlood(peer);
    if (peer->serial) {
        StopSerialEnd(peer);
        RunSerialScript(peer, "stop", "stopped");
    } else {
        StopServing(peer);
    }
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

int PeerConnections(DevicePeer *peer)
{
    PeerLock hold(peer);
    return peer->connections;
}

bool WaitPeerReady(DevicePeer *peer, int clients, DWORD timeoutMs)
{
    return PumpUntil([&] { return InterlockedCompareExchange(&peer->accepted, 0, 0) >= clients; }, timeoutMs);
}

// Writes all bytes through h, waiting for each write up to 5 s (then
// cancelling it); returns the bytes written, the error that stopped it in *error.
static DWORD WriteThrough(HANDLE h, const Bytes &bytes, DWORD *error)
{
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD done = 0, count = (DWORD)bytes.size();
    for (*error = 0; done < count;) {
        DWORD written = 0;
        if (!WriteFile(h, bytes.data() + done, count - done, &written, &ov)) {
            bool pending = GetLastError() == ERROR_IO_PENDING;
            if (pending && WaitForSingleObject(ov.hEvent, 5000) != WAIT_OBJECT_0)
                CancelIo(h);
            if (!pending || !GetOverlappedResult(h, &ov, &written, TRUE)) {
                *error = GetLastError();
                done += pending ? written : 0;
                break;
            }
        }
        done += written;
    }
    CloseHandle(ov.hEvent);
    return done;
}

// A client that just reopened may not be taken in yet, and the one before it
// may not be noticed gone yet (writing to it fails at once): then the write
// waits a little for the new client.
bool PeerWrite(DevicePeer *peer, const Bytes &bytes)
{
    for (DWORD start = GetTickCount();; Sleep(10)) {
        HANDLE h = DuplicateCurrent(peer);
        DWORD done = 0, error = 0;
        if (h) {
            done = WriteThrough(h, bytes, &error);
            CloseHandle(h);
        }
        if (done == bytes.size())
            return true;
        bool clientLeft = !h || (done == 0 && (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE ||
                                                error == ERROR_PIPE_NOT_CONNECTED));
        if (!clientLeft || peer->serial || GetTickCount() - start > 3000)
            return false;
    }
}

// Small writes: each one lands whole in the device's buffer or waits for room,
// so the bytes counted as sent are exactly the bytes the reader will see.
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
    for (DWORD start = GetTickCount(); !peer->floodStop && GetTickCount() - start < peer->floodMs;) {
        for (size_t i = 0; i < sizeof chunk; i++)
            chunk[i] = (unsigned char)(sent + i);
        DWORD written = 0;
        bool failed = false;
        if (!WriteFile(h, chunk, sizeof chunk, &written, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING)
                break;
            // Wait for room as long as the reader takes; only a forced stop cancels.
            while (WaitForSingleObject(ov.hEvent, 50) == WAIT_TIMEOUT && !peer->floodStop) {
            }
            if (peer->floodStop && WaitForSingleObject(ov.hEvent, 0) != WAIT_OBJECT_0)
                CancelIo(h);
            failed = !GetOverlappedResult(h, &ov, &written, TRUE);
        }
        sent += written;
        InterlockedExchange64(&peer->floodSent, (LONG64)sent);
        if (failed)
            break;
    }
    CloseHandle(ov.hEvent);
    CloseHandle(h);
    return 0;
}

void PeerStartFlood(DevicePeer *peer, DWORD durationMs)
{
    PeerStopFlood(peer);
    peer->floodStop = 0;
    peer->floodSent = 0;
    peer->floodMs = durationMs;
    peer->floodThread = CreateThread(NULL, 0, Flood, peer, 0, NULL);
}

void PeerStopFlood(DevicePeer *peer)
{
    if (!peer->floodThread)
        return;
    InterlockedExchange(&peer->floodStop, 1);
    WaitForSingleObject(peer->floodThread, 15000);
    CloseHandle(peer->floodThread);
    peer->floodThread = NULL;
}

bool PeerFloodDone(DevicePeer *peer)
{
    return !peer->floodThread || WaitForSingleObject(peer->floodThread, 0) == WAIT_OBJECT_0;
}

uint64_t PeerFloodSent(DevicePeer *peer) { return (uint64_t)InterlockedCompareExchange64(&peer->floodSent, 0, 0); }

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
    PeerStopFlood(peer);
    if (peer->serial) {
        RunSerialScript(peer, "kill", "killed");
        StopSerialEnd(peer);
    } else {
        StopServing(peer);
    }
}

bool PeerRevive(DevicePeer *peer)
{
    if (peer->serial)
        return StartSerialEnd(peer);
    StartServing(peer);
    return peer->firstInstance != INVALID_HANDLE_VALUE;
}

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
