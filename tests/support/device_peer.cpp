#include "support.h"

#include <stdio.h>

#include "commands/commandtext.h"

struct DevicePeer {
    bool serial = false;
    std::string connectString;
    // pipe
    std::string pipePath;
    bool record = true;
    DWORD bufferSize = 4096;
    HANDLE serveThread = NULL;
    HANDLE firstInstance = INVALID_HANDLE_VALUE; // listening before the thread runs
    HANDLE quitEvent = NULL; // manual reset: the serving ends
    // serial
    std::string unixFolder, winFolder, dosdevices;
    int velkorPort = 7, peerPort = 8;
    HANDLE serialEnd = INVALID_HANDLE_VALUE;
    HANDLE recordThread = NULL;
    // both
    CRITICAL_SECTION lock;
    HANDLE current = NULL; // the end the peer writes to (under lock)
    std::vector<HANDLE> clientThreads; // pipe: one per client served (under lock)
    int connections = 0;
    volatile LONG accepted = 0; // pipe: clients taken in, each one's instance replaced
    Bytes received;
    HANDLE floodThread = NULL;
    DWORD floodMs = 0;
    volatile LONG floodStop = 0;
    volatile LONG64 floodSent = 0;
};

// A handle of its own on the current end, so a write never races its close.
static HANDLE DuplicateCurrent(DevicePeer *peer)
{
    HANDLE copy = NULL;
    EnterCriticalSection(&peer->lock);
    if (peer->current && !DuplicateHandle(GetCurrentProcess(), peer->current, GetCurrentProcess(), &copy, 0, FALSE,
                                          DUPLICATE_SAME_ACCESS))
        copy = NULL;
    LeaveCriticalSection(&peer->lock);
    return copy;
}

static void SetCurrentEnd(DevicePeer *peer, HANDLE h)
{
    EnterCriticalSection(&peer->lock);
    peer->current = h;
    if (h)
        peer->connections++;
    LeaveCriticalSection(&peer->lock);
}

static void Append(DevicePeer *peer, const unsigned char *bytes, DWORD count)
{
    EnterCriticalSection(&peer->lock);
    peer->received.insert(peer->received.end(), bytes, bytes + count);
    LeaveCriticalSection(&peer->lock);
}

static HANDLE NewInstance(DevicePeer *peer)
{
    return CreateNamedPipeA(peer->pipePath.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                            peer->bufferSize, peer->bufferSize, 0, NULL);
}

// Records what a handle delivers until it fails or quit is signalled; false on quit.
static bool RecordFrom(DevicePeer *peer, HANDLE end, bool readAtAll, DWORD readSize)
{
    // On the heap: a read whose cancellation never completes keeps them for good.
    OVERLAPPED &ov = *new OVERLAPPED();
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    unsigned char *buffer = new unsigned char[4096];
    if (readSize > 4096)
        readSize = 4096;
    bool going = true;
    for (;;) {
        bool pending = false;
        if (readAtAll) {
            DWORD got = 0;
            if (ReadFile(end, buffer, readSize, &got, &ov)) {
                Append(peer, buffer, got);
                continue;
            }
            if (GetLastError() != ERROR_IO_PENDING)
                break; // the other side left
            pending = true;
        }
        HANDLE set[2] = {peer->quitEvent, ov.hEvent};
        DWORD wait = WaitForMultipleObjects(pending ? 2 : 1, set, FALSE, pending ? INFINITE : 50);
        if (wait == WAIT_OBJECT_0) {
            going = false;
            if (pending) {
                CancelIo(end);
                if (WaitForSingleObject(ov.hEvent, 3000) != WAIT_OBJECT_0) {
                    printf("peer: a cancelled read did not finish\n");
                    return going;
                }
            }
            break;
        }
        if (wait == WAIT_OBJECT_0 + 1) {
            DWORD got = 0;
            if (!GetOverlappedResult(end, &ov, &got, FALSE))
                break;
            Append(peer, buffer, got);
        } else if (!pending) {
            // Not reading: look whether the client is still there.
            DWORD available = 0;
            if (!PeekNamedPipe(end, NULL, 0, NULL, &available, NULL) && GetLastError() != ERROR_MORE_DATA)
                break;
        }
    }
    CloseHandle(ov.hEvent);
    delete &ov;
    delete[] buffer;
    return going;
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
    EnterCriticalSection(&peer->lock);
    if (peer->current == client->pipe)
        peer->current = NULL;
    LeaveCriticalSection(&peer->lock);
    DisconnectNamedPipe(client->pipe);
    CloseHandle(client->pipe);
    delete client;
    return 0;
}

// Listening instances kept ready, so that a client may close and reopen at
// once and any number of times (an instance whose client left does not
// listen again by itself).
static const int SPARE_INSTANCES = 4;

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

// Closes the handles of client threads that have ended (under the lock).
static void ReapClientThreads(DevicePeer *peer)
{
    std::vector<HANDLE> &threads = peer->clientThreads;
    for (size_t i = threads.size(); i-- > 0;) {
        if (WaitForSingleObject(threads[i], 0) == WAIT_OBJECT_0) {
            CloseHandle(threads[i]);
            threads.erase(threads.begin() + (long)i);
        }
    }
}

static DWORD WINAPI ServePipe(LPVOID argument)
{
    DevicePeer *peer = (DevicePeer *)argument;
    Listener listeners[SPARE_INSTANCES];
    HANDLE set[SPARE_INSTANCES + 1];
    set[0] = peer->quitEvent;
    for (int i = 0; i < SPARE_INSTANCES; i++) {
        ZeroMemory(&listeners[i].ov, sizeof(OVERLAPPED));
        listeners[i].ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        set[i + 1] = listeners[i].ov.hEvent;
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
            PipeClient *client = new PipeClient{peer, l.pipe};
            SetCurrentEnd(peer, l.pipe); // before it counts as accepted
            HANDLE thread = CreateThread(NULL, 0, ServeClient, client, 0, NULL);
            EnterCriticalSection(&peer->lock);
            ReapClientThreads(peer);
            peer->clientThreads.push_back(thread);
            LeaveCriticalSection(&peer->lock);
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

static void StopServing(DevicePeer *peer)
{
    if (!peer->serveThread)
        return;
    SetEvent(peer->quitEvent);
    WaitForSingleObject(peer->serveThread, 10000);
    CloseHandle(peer->serveThread);
    peer->serveThread = NULL;
    std::vector<HANDLE> threads;
    EnterCriticalSection(&peer->lock);
    threads.swap(peer->clientThreads);
    LeaveCriticalSection(&peer->lock);
    for (HANDLE t : threads) {
        WaitForSingleObject(t, 10000);
        CloseHandle(t);
    }
}

DevicePeer *StartPipePeer(const std::string &name, bool record, DWORD bufferSize)
{
    DevicePeer *peer = new DevicePeer();
    InitializeCriticalSection(&peer->lock);
    peer->pipePath = "\\\\.\\pipe\\" + name;
    peer->connectString = peer->pipePath;
    peer->record = record;
    peer->bufferSize = bufferSize;
    peer->quitEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
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
             VELKOR_SOURCE_DIR_UNIX, action, peer->unixFolder.c_str(), peer->dosdevices.c_str(), peer->velkorPort, peer->peerPort);
    if (!StartUnixProgram(command)) {
        printf("serial: cannot run /bin/sh, error %lu\n", GetLastError());
        return false;
    }
    DWORD start = GetTickCount();
    while (GetFileAttributesA(markerPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > 15000) {
            printf("serial: '%s' did not finish\n", action);
            return false;
        }
        Sleep(20);
    }
    return true;
}

static HANDLE OpenPeerPort(DevicePeer *peer)
{
    char name[32];
    snprintf(name, sizeof name, "\\\\.\\COM%d", peer->peerPort);
    HANDLE h = INVALID_HANDLE_VALUE;
    DWORD start = GetTickCount();
    while (h == INVALID_HANDLE_VALUE && GetTickCount() - start < 5000) {
        h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
        if (h == INVALID_HANDLE_VALUE)
            Sleep(20);
    }
    if (h == INVALID_HANDLE_VALUE) {
        printf("serial: cannot open %s, error %lu\n", name, GetLastError());
        return h;
    }
    return h;
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
    peer->serialEnd = OpenPeerPort(peer);
    if (peer->serialEnd == INVALID_HANDLE_VALUE)
        return false;
    ResetEvent(peer->quitEvent);
    SetCurrentEnd(peer, peer->serialEnd);
    peer->recordThread = CreateThread(NULL, 0, RecordSerial, peer, 0, NULL);
    return true;
}

static void StopSerialEnd(DevicePeer *peer)
{
    if (peer->recordThread) {
        SetEvent(peer->quitEvent);
        WaitForSingleObject(peer->recordThread, 10000);
        CloseHandle(peer->recordThread);
        peer->recordThread = NULL;
    }
    SetCurrentEnd(peer, NULL);
    if (peer->serialEnd != INVALID_HANDLE_VALUE)
        CloseHandle(peer->serialEnd);
    peer->serialEnd = INVALID_HANDLE_VALUE;
}

DevicePeer *StartSerialPeer(int velkorPort, int peerPort)
{
    char prefix[1024];
    DWORD length = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    if (length == 0 || length >= sizeof prefix) {
        printf("serial: WINEPREFIX is not set\n");
        return NULL;
    }
    DevicePeer *peer = new DevicePeer();
    InitializeCriticalSection(&peer->lock);
    peer->serial = true;
    peer->velkorPort = velkorPort;
    peer->peerPort = peerPort;
    char port[16];
    snprintf(port, sizeof port, "COM%d", velkorPort);
    peer->connectString = port;
    peer->dosdevices = std::string(prefix) + "/dosdevices";
    char folder[128];
    snprintf(folder, sizeof folder, "/tmp/velkor-serial-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    peer->unixFolder = folder;
    peer->winFolder = "Z:" + peer->unixFolder;
    for (char &c : peer->winFolder)
        if (c == '/')
            c = '\\';
    peer->quitEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
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
    if (peer->quitEvent)
        CloseHandle(peer->quitEvent);
    DeleteCriticalSection(&peer->lock);
    delete peer;
}

std::string PeerConnectString(const DevicePeer *peer) { return peer->connectString; }

bool PeerConnected(DevicePeer *peer)
{
    EnterCriticalSection(&peer->lock);
    bool connected = peer->current != NULL;
    LeaveCriticalSection(&peer->lock);
    return connected;
}

bool WaitPeerReady(DevicePeer *peer, int clients, DWORD timeoutMs)
{
    return PumpUntil([&] { return InterlockedCompareExchange(&peer->accepted, 0, 0) >= clients; }, timeoutMs);
}

int PeerConnections(DevicePeer *peer)
{
    EnterCriticalSection(&peer->lock);
    int n = peer->connections;
    LeaveCriticalSection(&peer->lock);
    return n;
}

// Writes all bytes through h; waits for each write up to waitMs (then cancels).
static DWORD WriteThrough(HANDLE h, const unsigned char *bytes, DWORD count, DWORD waitMs, DWORD *error)
{
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD done = 0;
    *error = 0;
    while (done < count) {
        DWORD written = 0;
        if (!WriteFile(h, bytes + done, count - done, &written, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                *error = GetLastError();
                break;
            }
            if (WaitForSingleObject(ov.hEvent, waitMs) != WAIT_OBJECT_0)
                CancelIo(h);
            if (!GetOverlappedResult(h, &ov, &written, TRUE)) {
                *error = GetLastError();
                done += written;
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
    DWORD start = GetTickCount();
    for (;;) {
        HANDLE h = DuplicateCurrent(peer);
        DWORD done = 0, error = 0;
        if (h) {
            done = WriteThrough(h, bytes.data(), (DWORD)bytes.size(), 5000, &error);
            CloseHandle(h);
        }
        if (done == bytes.size())
            return true;
        bool clientLeft = !h || (done == 0 && (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE ||
                                                error == ERROR_PIPE_NOT_CONNECTED));
        if (!clientLeft || peer->serial || GetTickCount() - start > 3000)
            return false;
        Sleep(10);
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
    DWORD start = GetTickCount();
    while (!peer->floodStop && GetTickCount() - start < peer->floodMs) {
        for (size_t i = 0; i < sizeof chunk; i++)
            chunk[i] = (unsigned char)(sent + i);
        DWORD written = 0;
        if (!WriteFile(h, chunk, sizeof chunk, &written, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING)
                break;
            // Wait for room as long as the reader takes; only a forced stop cancels.
            while (WaitForSingleObject(ov.hEvent, 50) == WAIT_TIMEOUT && !peer->floodStop) {
            }
            if (peer->floodStop && WaitForSingleObject(ov.hEvent, 0) != WAIT_OBJECT_0)
                CancelIo(h);
            if (!GetOverlappedResult(h, &ov, &written, TRUE)) {
                sent += written;
                break;
            }
        }
        sent += written;
        InterlockedExchange64(&peer->floodSent, (LONG64)sent);
    }
    InterlockedExchange64(&peer->floodSent, (LONG64)sent);
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

uint64_t PeerFloodSent(DevicePeer *peer)
{
    return (uint64_t)InterlockedCompareExchange64(&peer->floodSent, 0, 0);
}

Bytes PeerReceived(DevicePeer *peer)
{
    EnterCriticalSection(&peer->lock);
    Bytes copy = peer->received;
    LeaveCriticalSection(&peer->lock);
    return copy;
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

// The bytes of a received-block line ("> hh:mm:ss,mmm  0x41 0x42 "); empty for other lines.
static Bytes DumpLineBytes(const std::string &line)
{
    Bytes bytes;
    if (line.size() < 16 || line[0] != '>' || line[15] != ' ' || (line.size() - 16) % 5 != 0)
        return bytes;
    for (size_t i = 16; i + 5 <= line.size(); i += 5) {
        bool pair = false;
        unsigned char value = HexPairValue(&line[i + 2], &pair);
        if (line[i] != '0' || line[i + 1] != 'x' || line[i + 4] != ' ' || !pair)
            return Bytes();
        bytes.push_back(value);
    }
    return bytes;
}

std::vector<Bytes> ReceivedBlocks(const std::vector<std::string> &lines)
{
    std::vector<Bytes> blocks;
    for (const std::string &line : lines) {
        Bytes bytes = DumpLineBytes(line);
        if (!bytes.empty() || (line.size() == 16 && line[0] == '>'))
            blocks.push_back(bytes);
    }
    return blocks;
}
