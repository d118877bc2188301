// The far end of Velkor's device handle, run by a test: a named pipe served
// by the test process, or a serial port made of a socat pty pair whose one
// end is COMn in the test's Wine prefix and whose other end the test opens.
// The peer records what Velkor writes and sends scripted bytes.
#ifndef VELKOR_TESTS_DEVICE_PEER_H
#define VELKOR_TESTS_DEVICE_PEER_H

#include <windows.h>

#include <stdint.h>
#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

struct DevicePeer;

// One step of a script: bytes to write, then a pause.
struct PeerStep {
    Bytes bytes;
    DWORD pauseMs;
};

// Serves \\.\pipe\<name>: every client that connects is served in turn (a
// listening instance is always ready, so the pipe can be reopened at once).
// With record, what a client writes is kept; without, nothing is read, and
// with bufferSize 0 a client's write then never completes.
DevicePeer *StartPipePeer(const std::string &name, bool record = true, DWORD bufferSize = 4096);
// Starts socat with a pty pair, maps one end as COM<velkorPort> and the other
// as COM<peerPort> in this Wine prefix, and opens the peer's end; null when
// that fails (the reason is printed).
DevicePeer *StartSerialPeer(int velkorPort = 7, int peerPort = 8);
// Ends the peer: its threads, its handles, socat and the mapped ports.
void StopPeer(DevicePeer *peer);

// The connect string Velkor uses for this peer ("\\.\pipe\..." or "COM7").
std::string PeerConnectString(const DevicePeer *peer);
// True while a client (Velkor) is connected; for a serial peer, while its end is open.
bool PeerConnected(DevicePeer *peer);
// Clients connected so far (pipe).
int PeerConnections(DevicePeer *peer);
// Waits until the pipe peer has taken in this many clients and put a fresh
// listening instance in place of each.
bool WaitPeerReady(DevicePeer *peer, int clients, DWORD timeoutMs);

// Writes to the connected client and waits for the write (up to 5 s).
bool PeerWrite(DevicePeer *peer, const Bytes &bytes);
// Plays a script on a thread of its own.
void PeerPlay(DevicePeer *peer, const std::vector<PeerStep> &steps);
bool PeerPlayDone(DevicePeer *peer);
// Writes the counter bytes 0, 1, ..., 255, 0, ... as fast as the device takes
// them, for durationMs, on a thread of its own.
void PeerStartFlood(DevicePeer *peer, DWORD durationMs);
void PeerStopFlood(DevicePeer *peer);
bool PeerFloodDone(DevicePeer *peer);
uint64_t PeerFloodSent(DevicePeer *peer);

// What the client wrote so far.
Bytes PeerReceived(DevicePeer *peer);
// Waits (pumping messages) until at least count bytes were received.
bool WaitPeerReceived(DevicePeer *peer, size_t count, DWORD timeoutMs);

// The device vanishes: a pipe peer drops its client and serves no more until
// PeerRevive; a serial peer's socat is killed (its ptys close).
void PeerVanish(DevicePeer *peer);
// The device is back: the pipe is served again; socat is started anew.
bool PeerRevive(DevicePeer *peer);

// Bytes from a text of hex pairs separated by blanks, "41 42 0D".
Bytes HexBytes(const char *text);
// The bytes of a received-block log line ("> hh:mm:ss,mmm  0x41 0x42 "); empty for other lines.
Bytes DumpLineBytes(const std::string &line);
// Log lines that show received blocks, as their bytes.
std::vector<Bytes> ReceivedBlocks(const std::vector<std::string> &lines);

// The process's handles and memory, for leak checks.
struct ResourceUse {
    DWORD handles;       // GetProcessHandleCount (under Wine: open handle values probed)
    SIZE_T privateBytes; // process memory counters: PrivateUsage (under Wine: PagefileUsage)
    SIZE_T heapBytes;    // bytes in use in the process heap
};
ResourceUse MeasureResources();

#endif
