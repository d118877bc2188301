// The device connection: open, close, and the receive thread's start and stop.
#include "device/connection.h"

#include <stdio.h>

#include "base/appwindows.h"
#include "base/boxes.h"
#include "controls/controls.h"
#include "log/messagelog.h"
#include "base/systemtext.h"
#include "base/devicehandle.h"
#include "device/handover.h"
#include "device/receiver.h"
#include "device/serialport.h"
#include "settings/settings.h"

// All owned by the user-interface thread.
static HANDLE readerThread;         // kept until StopReader
static DWORD readerThreadId;
static HANDLE readerStopEvent;      // created by the first StartReader, lives on
static ReaderParams *readerParams;  // the running reader's block, released by StopReader
static bool lastReaderKilled;

// The reader's grace period after the stop signal.
static const DWORD READER_GRACE_MS = 250;
// How often the grace period looks for the reader's error box.
static const DWORD BOX_LOOK_MS = 10;
// How long an ended or killed thread may take to be gone before what it used is given up.
static const DWORD THREAD_GONE_WAIT_MS = 1000;

static void LogDeviceEvent(const char *format)
{
    char text[256];
    snprintf(text, sizeof text, format, Settings().connectString ? Settings().connectString : "");
    LogMessage(text, LOG_EVENT);
}

typedef HANDLE(WINAPI *CreateFileFunction)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);

// Owned by the user-interface thread: CreateFileA, or a test's stand-in.
static CreateFileFunction createFile = CreateFileA;

// A test's stand-in for CreateFileA (null: the real one again); declared by the tests only.
void UseCreateFileForTests(CreateFileFunction function)
{
    createFile = function ? function : CreateFileA;
}

HANDLE OpenConnectString(const char *connectString, DWORD access, DWORD shareMode, DWORD flags)
{
    // Whatever spelling or link leads to a pipe, its server may identify the
    // user but never act as the user ("Impersonating a named pipe client").
    // For a port, a device or a file the same bit is FILE_FLAG_OPEN_NO_RECALL,
    // which concerns only data kept in remote storage (CreateFile's documentation).
    return createFile(connectString, access, shareMode, NULL, OPEN_EXISTING,
                      flags | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, NULL);
}

bool OpenDevice()
{
    const DeviceSettings &settings = Settings();
    bool opened = false;
    if (!DeviceIsOpen() && settings.connectString) {
        HCURSOR previous = GetCursor();
        SetCursor(LoadCursorA(NULL, IDC_WAIT));
        SetLastError(0);
        HANDLE device = OpenConnectString(settings.connectString, GENERIC_READ | GENERIC_WRITE,
                                          settings.openExclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING |
                                              FILE_ATTRIBUTE_NORMAL);
        DWORD error = GetLastError();
        SetCursor(previous);
        SetDeviceHandle(device);
        if (device == INVALID_HANDLE_VALUE) {
            ShowOpenDeviceError(MainWindow(), error);
        } else {
            // A port that refuses keeps the state it had, as before.
            PrepareSerialPort(device);
            LogDeviceEvent("Device %s geoeffnet");
            opened = true;
        }
    }
    RefreshDeviceControls();
    return opened;
}

// Stops the reader (only an open device has one), cancels what is in flight
// and closes the device.
static void ReleaseDevice()
{
    StopReader();
    HANDLE device = DeviceHandle();
    if (device != INVALID_HANDLE_VALUE) {
        CancelIo(device);
        CloseHandle(device);
    }
    SetDeviceHandle(INVALID_HANDLE_VALUE);
}

void CloseDevice()
{
    ReleaseDevice();
    RefreshDeviceControls();
    LogDeviceEvent("Device %s geschlossen");
}

bool StartReader()
{
    const DeviceSettings &settings = Settings();
    if (readerThread)
        return false; // one reader at a time; the running one goes on
    ReaderParams *params = CreateReaderParams(settings.readBlockLength);
    if (!params) {
        ShowBox("Out of Memory\nKann Device Leseroutine nicht starten", CAPTION_RECEIVE, MB_ICONERROR);
        return false;
    }
    if (!readerStopEvent)
        readerStopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    // Without a stop event the thread could never be told to end.
    if (readerStopEvent && ResetEvent(readerStopEvent)) {
        params->window = MainWindow();
        params->device = DeviceHandle();
        params->stopEvent = readerStopEvent;
        params->readTimeout = settings.readTimeoutMs;
        params->endByte = settings.readEndByte;
        readerThread = CreateThread(NULL, 0, ReceiveThread, params, 0, &readerThreadId);
    }
    if (!readerThread) {
        readerThreadId = 0;
        ShowBox("Kann Device Leseroutine nicht starten", CAPTION_RECEIVE, MB_ICONERROR);
        ReleaseReaderParams(params);
        return false;
    }
    readerParams = params;
    return true;
}

// A read error box still open on the reader would keep it from ending; a
// thread killed inside the box could leave the window system's locks held.
static BOOL CALLBACK CloseReaderBox(HWND window, LPARAM)
{
    char className[16];
    if (GetClassNameA(window, className, sizeof className) && lstrcmpA(className, "#32770") == 0)
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void StopReader()
{
    if (!readerThread)
        return;
    if (readerStopEvent)
        SetEvent(readerStopEvent);
    // The reader may open its error box at any moment of the grace period
    // (a read failing just now): the box is looked for throughout.
    DWORD graceStart = GetTickCount();
    for (;;) {
        if (ReaderShowsErrorBox(readerParams))
            EnumThreadWindows(readerThreadId, CloseReaderBox, 0);
        DWORD elapsed = GetTickCount() - graceStart;
        if (elapsed >= READER_GRACE_MS)
            break;
        Sleep(READER_GRACE_MS - elapsed < BOX_LOOK_MS ? READER_GRACE_MS - elapsed : BOX_LOOK_MS);
    }
    DWORD exitCode = 0;
    bool killed = false;
    if (!GetExitCodeThread(readerThread, &exitCode) || exitCode == STILL_ACTIVE) {
        bool boxShown = ReaderShowsErrorBox(readerParams);
        TerminateThread(readerThread, 1);
        killed = true;
        // The box had disabled its owner; its thread is gone, so is the box.
        if (boxShown && MainWindow())
            EnableWindow(MainWindow(), TRUE);
    }
    // TerminateThread only starts the end; what the thread used is reclaimed
    // once it is gone (the system has then cancelled its read).
    if (WaitForSingleObject(readerThread, THREAD_GONE_WAIT_MS) == WAIT_OBJECT_0) {
        ReleaseReaderParams(readerParams);
        AnnounceWaitingBlocks();
    } else {
        AbandonReaderParams(readerParams);
    }
    lastReaderKilled = killed;
    readerParams = NULL;
    CloseHandle(readerThread);
    readerThread = NULL;
    readerThreadId = 0;
}

void ReadDeviceProperties()
{
    char text[256];
    ComposeSystemError(text, sizeof text, "Systemfehler %d beim Versuch das Device auszulesen\n\n%s",
                       "Systemfehler %d beim Versuch das Device auszulesen", 0, KEEP_LINE_END);
    ShowBox(text, CAPTION_PROPERTIES, MB_OK);
}

// Looked at by the tests only.
DWORD ReaderThreadId() { return readerThreadId; }
bool LastReaderWasKilled() { return lastReaderKilled; }

void ShutdownDevice()
{
    ReleaseDevice();
    ReleaseHandOver();
}
