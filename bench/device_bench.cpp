// Figures of the device path under Wine, from a named pipe and from a serial
// pty: the receive rate with every byte logged against a bare loop of
// one-byte reads and a reader taking everything at once, the window shown and
// minimized; the latency from a block's last byte to its log line; the round
// trip to the demo device; how long a device waits while a long log is
// saved; the memory of the log per line.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/appwindows.h"
#include "log/messagelog.h"
#include "resources/resource.h"

#include "support.h"

static double Frequency()
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return (double)f.QuadPart;
}

static double NowMs()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1000.0 / Frequency();
}

// Lines the log took since the start, which logstore.cpp keeps to itself
// (the list box keeps only the newest of a long flood).
ULONGLONG LinesLogged();

static void ClearLog()
{
    SendMessageA(MessageLog(), LB_RESETCONTENT, 0, 0);
}

static double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t i = (size_t)(p * (double)(values.size() - 1) + 0.5);
    return values[std::min(i, values.size() - 1)];
}

// ---- the log list box, watched --------------------------------------------------

static std::vector<double> addTimes;   // when each line was added
static std::vector<double> paintTimes; // when the log finished a paint
static bool watching;

static LRESULT CALLBACK WatchLog(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CallLogProc(window, message, wParam, lParam);
    if (watching) {
        if (message == LB_ADDSTRING)
            addTimes.push_back(NowMs());
        else if (message == WM_PAINT)
            paintTimes.push_back(NowMs());
    }
    return result;
}

static void WatchLogStart()
{
    addTimes.clear();
    paintTimes.clear();
    WatchLogWindow(WatchLog);
    watching = true;
}

static void WatchLogStop()
{
    watching = false;
    WatchLogWindow(NULL);
}

// The first paint that finished at or after t; -1 when none did.
static double PaintAfter(double t)
{
    std::vector<double>::iterator it = std::lower_bound(paintTimes.begin(), paintTimes.end(), t);
    return it == paintTimes.end() ? -1 : *it;
}

// "Device oeffnen"; a figure left out says why.
static bool OpenForBench(const char *part)
{
    if (OpenFromToolbar())
        return true;
    printf("%s: the device did not open\n", part);
    return false;
}

// ---- receive rates ---------------------------------------------------------------

static const DWORD RUN_MS = 3000;

// Velkor with every byte logged, the window shown or minimized as a user
// would: bytes a second, and the log lines a second and the window thread's
// processor time per line; and what the window did for them: the wake-ups it
// took and the frames it showed (the list box given its drawing back) a second.
struct VelkorFigures {
    double bytesPerSecond, linesPerSecond, cpuUsPerLine, wakeUpsPerSecond, framesPerSecond;
};

static unsigned long wakeUps, frames;

static LRESULT CALLBACK CountWakeUps(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG *msg = (const MSG *)lParam;
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WMU_BLOCK_RECEIVED)
        wakeUps++;
    return CallNextHookEx(NULL, code, wParam, lParam);
}

static LRESULT CALLBACK CountFrames(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETREDRAW && wParam)
        frames++;
    return CallLogProc(window, message, wParam, lParam);
}

static VelkorFigures VelkorRate(DevicePeer *peer, uint32_t blockLength, bool minimized)
{
    VelkorFigures figures = {0, 0, 0, 0, 0};
    UseDevice(PeerConnectString(peer), blockLength, 500);
    ShowWindow(MainWindow(), minimized ? SW_MINIMIZE : SW_RESTORE);
    PumpFor(100);
    if (!OpenForBench(__func__))
        return figures;
    PumpUntil([&] { return PeerConnected(peer); }, 2000);
    ClearLog();
    ULONGLONG cpuBefore = ThreadMilliseconds(GetCurrentThreadId());
    ULONGLONG linesBefore = LinesLogged();
    wakeUps = frames = 0;
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, CountWakeUps, NULL, GetCurrentThreadId());
    WatchLogWindow(CountFrames);
    double start = NowMs();
    PeerStartFlood(peer, RUN_MS);
    PumpUntil([&] { return PeerFloodDone(peer); }, RUN_MS + 20000);
    double elapsed = NowMs() - start;
    size_t lines = (size_t)(LinesLogged() - linesBefore);
    WatchLogWindow(NULL);
    UnhookWindowsHookEx(hook);
    figures.wakeUpsPerSecond = wakeUps * 1000.0 / elapsed;
    figures.framesPerSecond = frames * 1000.0 / elapsed;
    double cpu = (double)(ThreadMilliseconds(GetCurrentThreadId()) - cpuBefore);
    CloseFromToolbar();
    PeerStopFlood(peer);
    ClearLog();
    ShowWindow(MainWindow(), SW_RESTORE);
    figures.linesPerSecond = (double)lines * 1000.0 / elapsed;
    figures.bytesPerSecond = figures.linesPerSecond / ((blockLength + 98) / 99) * blockLength;
    figures.cpuUsPerLine = lines ? cpu * 1000.0 / (double)lines : 0;
    return figures;
}

static HANDLE OpenRaw(const std::string &connectString)
{
    return CreateFileA(connectString.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, NULL);
}

// A bare loop of one-byte overlapped reads (a read that completed at once is
// taken without a wait), or reads of everything available; bytes a second.
static double BareRate(DevicePeer *peer, DWORD chunk)
{
    HANDLE h = OpenRaw(PeerConnectString(peer));
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    PumpUntil([&] { return PeerConnected(peer); }, 2000);
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    std::vector<unsigned char> buffer(chunk);
    PeerStartFlood(peer, RUN_MS + 500);
    Sleep(100);
    double start = NowMs();
    unsigned long long total = 0;
    while (NowMs() - start < RUN_MS) {
        DWORD got = 0;
        if (!ReadFile(h, buffer.data(), chunk, &got, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING)
                break;
            // A serial read under Wine waits for its whole count: the last one
            // may outlast the flood and is cancelled, keeping what it got.
            if (WaitForSingleObject(ov.hEvent, 2000) != WAIT_OBJECT_0)
                CancelIo(h);
            if (!GetOverlappedResult(h, &ov, &got, TRUE) && got == 0)
                break;
        }
        total += got;
    }
    double elapsed = NowMs() - start;
    CloseHandle(h);
    PeerStopFlood(peer);
    CloseHandle(ov.hEvent);
    return (double)total * 1000.0 / elapsed;
}

// The rates alternate, three runs each, and the medians are compared: the
// machine's load changes from second to second.
static void ReceiveRates(const char *what, DevicePeer *peer)
{
    const uint32_t lengths[] = {1, 3, 16, 150};
    const int kinds = sizeof lengths / sizeof lengths[0];
    std::vector<double> bare, bulk, rate[kinds][2], lines[kinds][2], cpu[kinds][2], woken[kinds][2], shown[kinds][2];
    for (int run = 0; run < 3; run++) {
        bare.push_back(BareRate(peer, 1));
        bulk.push_back(BareRate(peer, 65536));
        for (int i = 0; i < kinds; i++)
            for (int state = 0; state < 2; state++) {
                VelkorFigures f = VelkorRate(peer, lengths[i], state == 1);
                rate[i][state].push_back(f.bytesPerSecond);
                lines[i][state].push_back(f.linesPerSecond);
                cpu[i][state].push_back(f.cpuUsPerLine);
                woken[i][state].push_back(f.wakeUpsPerSecond);
                shown[i][state].push_back(f.framesPerSecond);
            }
    }
    double b = Percentile(bare, 0.5), a = Percentile(bulk, 0.5);
    printf("receive rate, %s (medians of 3 runs of %lu s): bare loop of one-byte reads %.0f B/s; reader taking "
           "all there is %.0f B/s\n",
           what, RUN_MS / 1000, b, a);
    const char *states[2] = {"visible", "minimized"};
    for (int i = 0; i < kinds; i++)
        for (int state = 0; state < 2; state++) {
            double v = Percentile(rate[i][state], 0.5);
            printf("  Velkor, block length %3u, %-9s: %8.0f B/s, %7.0f lines/s, %.3f of the reader taking all; "
                   "window thread %.1f us of processor time a line, %.0f wake-ups and %.0f frames a second\n",
                   lengths[i], states[state], v, Percentile(lines[i][state], 0.5), a > 0 ? v / a : 0,
                   Percentile(cpu[i][state], 0.5), Percentile(woken[i][state], 0.5),
                   Percentile(shown[i][state], 0.5));
        }
}

// ---- latency and round trip ------------------------------------------------------

static std::vector<double> writeTimes;
static volatile LONG latencyDone;
static DWORD latencyPause;
static int latencyBlocks;

static DWORD WINAPI WriteEndedBlocks(LPVOID argument)
{
    DevicePeer *peer = (DevicePeer *)argument;
    const Bytes block = HexBytes("41 0D");
    for (int i = 0; i < latencyBlocks; i++) {
        writeTimes.push_back(NowMs());
        PeerWrite(peer, block);
        Sleep(latencyPause);
    }
    InterlockedExchange(&latencyDone, 1);
    return 0;
}

// Blocks ended by 0x0D, pauseMs apart: a stream (15 ms) or single answers (150 ms).
static void Latency(const char *what, DevicePeer *peer, DWORD pauseMs, int blocks)
{
    latencyPause = pauseMs;
    latencyBlocks = blocks;
    UseDevice(PeerConnectString(peer), 16, 500, 0x0D);
    if (!OpenForBench(__func__))
        return;
    PumpUntil([&] { return PeerConnected(peer); }, 2000);
    // Bytes an earlier run left in the device are logged and forgotten first.
    PumpFor(700);
    ClearLog();
    writeTimes.clear();
    latencyDone = 0;
    WatchLogStart();
    HANDLE writer = CreateThread(NULL, 0, WriteEndedBlocks, peer, 0, NULL);
    PumpUntil([&] { return latencyDone && addTimes.size() >= (size_t)latencyBlocks; }, 60000);
    PumpFor(100);
    WatchLogStop();
    WaitForSingleObject(writer, 5000);
    CloseHandle(writer);
    std::vector<double> added, shown;
    for (size_t i = 0; i < writeTimes.size() && i < addTimes.size(); i++) {
        added.push_back(addTimes[i] - writeTimes[i]);
        double paint = PaintAfter(addTimes[i]);
        if (paint >= 0)
            shown.push_back(paint - writeTimes[i]);
    }
    printf("latency, %s, a block every %lu ms: last byte written to its line added (the list box itself takes a few ms to add a shown line): median %.2f ms, p99 %.2f ms; to "
           "line painted: median %.2f ms, p99 %.2f ms (%zu blocks)\n",
           what, (unsigned long)pauseMs, Percentile(added, 0.5), Percentile(added, 0.99), Percentile(shown, 0.5),
           Percentile(shown, 0.99), added.size());
    CloseFromToolbar();
    ClearLog();
}

// Sends a tenth of a second apart, as a script waiting for each answer would.
// The device path alone: a read of one byte waiting on a raw handle, and the
// peer's write that completes it (the figure Velkor's latency builds on).
static void BareLatency(const char *what, DevicePeer *peer)
{
    HANDLE h = OpenRaw(PeerConnectString(peer));
    if (h == INVALID_HANDLE_VALUE)
        return;
    PumpUntil([&] { return PeerConnected(peer); }, 2000);
    Sleep(300);
    PurgeComm(h, PURGE_RXCLEAR); // a serial port may hold bytes of an earlier run
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    unsigned char byte;
    std::vector<double> took;
    for (int i = 0; i < 60; i++) {
        DWORD got = 0;
        if (ReadFile(h, &byte, 1, &got, &ov))
            continue; // an old byte
        if (GetLastError() != ERROR_IO_PENDING)
            break;
        Sleep(20);
        double start = NowMs();
        PeerWrite(peer, HexBytes("41"));
        WaitForSingleObject(ov.hEvent, 5000);
        took.push_back(NowMs() - start);
        GetOverlappedResult(h, &ov, &got, TRUE);
    }
    CloseHandle(ov.hEvent);
    CloseHandle(h);
    printf("device path alone, %s: a waiting one-byte read completes median %.2f ms (p99 %.2f) after the peer "
           "starts its write\n",
           what, Percentile(took, 0.5), Percentile(took, 0.99));
}

// Sends a tenth of a second apart, as a script waiting for each answer would.
static void RoundTrip()
{
    std::string name = UniqueName("velkor-echo-bench");
    VelkorProcess echo;
    if (!StartEchoDevice(echo, name)) {
        printf("round trip: velkor-echo.exe did not start\n");
        return;
    }
    UseDevice("\\\\.\\pipe\\" + name, 4, 500);
    if (!OpenForBench(__func__))
        return;
    int entry = InsertListEntry(" 0x41 0x42 0x43 0x44", "");
    MarkEntry(entry);
    std::vector<double> logged, shown;
    WatchLogStart();
    for (int i = 0; i < 100; i++) {
        addTimes.clear();
        paintTimes.clear();
        double start = NowMs();
        RunCommand(IDM_SEND_COMMAND);
        if (!PumpUntil([&] { return addTimes.size() >= 2 && PaintAfter(addTimes[1]) >= 0; }, 3000))
            break;
        logged.push_back(addTimes[1] - start);
        shown.push_back(PaintAfter(addTimes[1]) - start);
        PumpFor(100);
    }
    WatchLogStop();
    printf("round trip, 4 bytes to velkor-echo and back: answer logged after median %.2f ms (p99 %.2f), shown "
           "after median %.2f ms (p99 %.2f) (%zu sends)\n",
           Percentile(logged, 0.5), Percentile(logged, 0.99), Percentile(shown, 0.5), Percentile(shown, 0.99),
           logged.size());
    CloseFromToolbar();
    ClearLog();
    EndVelkorProcess(echo);
}

// ---- saving a long log while a device streams ----------------------------------------

// A log of about megabytes MB is saved (through the real dialog, kept) while
// the pipe peer streams 92,000 B/s at block length 3: how long one of its
// writes had to wait at worst (a full pipe holds the writer under Wine, where a
// Windows driver would drop bytes), and whether every byte came.
static void SaveWhileStreaming(DevicePeer *peer, int megabytes)
{
    ClearLog();
    char text[64];
    BeginLogBatch();
    for (long i = 0; i < (long)megabytes * 1048576L / 40; i++) {
        snprintf(text, sizeof text, "Zeile %010ld des langen Logs", i);
        LogMessage(text, 1);
    }
    EndLogBatch();
    PumpFor(100);
    UseDevice(PeerConnectString(peer), 3, 500);
    if (!OpenForBench(__func__))
        return;
    PumpUntil([&] { return PeerConnected(peer); }, 2000);
    PeerStartPacedFlood(peer, 92000, 600000);
    PumpFor(500);
    std::string folder = TestFolder("device-bench");
    std::string path = folder + "\\lang.msg";
    AnswerNextBox(ChooseFile(path));
    AnswerNextBoxWith(IDNO);
    double start = NowMs();
    SendMessageA(MainWindow(), WM_COMMAND, MAKEWPARAM(IDM_SAVE_LOG, 0), 0);
    double took = NowMs() - start;
    PumpFor(500);
    uint64_t sent = PeerStopFlood(peer);
    DWORD longest = PeerLongestWriteMs(peer);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    printf("saving a log of %.0f MB (%.1f s) while the pipe streams 92,000 B/s at block length 3: the longest "
           "write of the device waited %lu ms (%llu bytes sent)\n",
           ((double)data.nFileSizeHigh * 4294967296.0 + data.nFileSizeLow) / 1048576.0, took / 1000, longest,
           (unsigned long long)sent);
    CloseFromToolbar();
    ClearLog();
    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
}

// ---- memory of the log --------------------------------------------------------------

static void LogMemory()
{
    ClearLog();
    PumpFor(50);
    ResourceUse before = MeasureResources();
    const int lines = 100000;
    const unsigned char block[3] = {0x41, 0x42, 0x0D};
    BeginLogBatch();
    for (int i = 0; i < lines; i++)
        LogReceivedBlock(block, sizeof block);
    EndLogBatch();
    PumpFor(50);
    ResourceUse after = MeasureResources();
    printf("memory of the log: %.0f bytes a line in the process heap, %.0f bytes a line of private memory "
           "(%d lines of 3 received bytes, %d bytes of text each)\n",
           (double)(after.heapBytes - before.heapBytes) / lines,
           (double)(after.privateBytes - before.privateBytes) / lines, lines, 16 + 5 * 3);
    ClearLog();
}

// The parts named on the command line ("rates", "latency", "savestream",
// "roundtrip", "memory"), or all of them.
static int partCount;
static char **partNames;

static bool Wanted(const char *part)
{
    for (int i = 1; i < partCount; i++)
        if (strcmp(partNames[i], part) == 0)
            return true;
    return partCount < 2;
}

// The parts every kind of device gets, as far as they are wanted.
static void RatesAndLatency(const char *what, DevicePeer *peer)
{
    if (Wanted("rates"))
        ReceiveRates(what, peer);
    if (Wanted("latency")) {
        Latency(what, peer, 15, 200);
        Latency(what, peer, 150, 60);
        BareLatency(what, peer);
    }
}

int main(int argc, char **argv)
{
    partCount = argc;
    partNames = argv;
    setvbuf(stdout, NULL, _IONBF, 0);
    ClearVelkorRegistry();
    StartBoxAnswering();
    StartTestApp();
    ShowWindow(MainWindow(), SW_SHOWNORMAL);
    PumpFor(200);

    DevicePeer *pipe = StartPipePeer(UniqueName("velkor-bench"));
    RatesAndLatency("named pipe", pipe);
    if (Wanted("savestream"))
        SaveWhileStreaming(pipe, 600);
    StopPeer(pipe);

    bool serialWanted = Wanted("rates") || Wanted("latency");
    DevicePeer *serial = serialWanted ? StartSerialPeer() : NULL;
    if (serial) {
        RatesAndLatency("serial pty", serial);
        StopPeer(serial);
    } else if (serialWanted) {
        printf("serial pty: socat pair not available\n");
    }

    if (Wanted("roundtrip"))
        RoundTrip();
    if (Wanted("memory"))
        LogMemory();
    StopTestApp();
    StopBoxAnswering();
    ClearVelkorRegistry();
    return 0;
}
