// Sending a command: the selected entry's bytes, framed by prefix and suffix,
// in one overlapped write that is waited for at most the write time-out.
#include "device/sender.h"

#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "base/appwindows.h"
#include "base/boxes.h"
#include "log/messagelog.h"
#include "base/systemtext.h"
#include "commands/commandlist.h"
#include "base/devicehandle.h"
#include "settings/settings.h"

// How long a cancelled write may take to finish before its record is given up.
static const DWORD CANCEL_WAIT_MS = 5000;

static const char DEVICE_CLOSED[] = "Device ist geschlossen.\nSenden nicht moeglich";

static void WarnSend(const char *text)
{
    ShowBox(text, CAPTION_SEND, MB_ICONWARNING);
}

// The prefix, the byte fields up to the first empty one, the suffix, counted
// in *count. False when a field was not two hex digits; every such field has
// been warned about by then.
static bool BuildBytes(unsigned char *bytes, size_t *count)
{
    const DeviceSettings &settings = Settings();
    const CommandBuffer &command = WorkingCommand();
    bool allConverted = true;
    size_t n = 0;
    if (OptionalByteOn(settings.sendPrefix))
        bytes[n++] = OptionalByteValue(settings.sendPrefix);
    for (int i = 0; i < 8 && command.byteField[i][0]; i++) {
        bool converted;
        bytes[n++] = HexPairToByte(command.byteField[i], &converted);
        allConverted = allConverted && converted;
    }
    if (OptionalByteOn(settings.sendSuffix))
        bytes[n++] = OptionalByteValue(settings.sendSuffix);
    *count = n;
    return allConverted;
}

// "!! Error ..." with the system's text for error, kind 2.
static void LogSendError(DWORD error, DWORD written, size_t count, const char *logged)
{
    char line[512];
    ComposeSystemError(line, sizeof line, "!! Error %d (%s)", "!! Error %d", error, CUT_LINE_END);
    // Cutting the two parts one after the other cuts the line as a whole would be.
    size_t used = strlen(line);
    snprintf(line + used, sizeof line - used, ": %d von %d Bytes (%s)", (int)written, (int)count, logged);
    LogMessage(line, LOG_SENT);
}

// Writes count bytes and logs the outcome. The record and its event are made
// for this write and released once it has completed or its cancellation has
// taken effect; a write that never finishes keeps them, as the system may
// still write into the record.
static void WriteAndLog(HANDLE device, const unsigned char *bytes, size_t count, const char *logged)
{
    OVERLAPPED *overlapped = (OVERLAPPED *)GlobalAlloc(GPTR, sizeof(OVERLAPPED));
    HANDLE event = overlapped ? CreateEventA(NULL, TRUE, FALSE, NULL) : NULL;
    if (!event) {
        LogSendError(GetLastError(), 0, count, logged);
        if (overlapped)
            GlobalFree(overlapped);
        return;
    }
    overlapped->hEvent = event;
    ResetEvent(event);

    DWORD written = 0;
    SetLastError(0);
    BOOL done = WriteFile(device, bytes, (DWORD)count, &written, overlapped);
    DWORD writeError = done ? 0 : GetLastError();
    if (!done && writeError != ERROR_IO_PENDING) {
        // Refused at once (a device gone, a handle not writable): nothing is in
        // flight and no event will come, so this is the outcome, not a time-out.
        LogSendError(writeError, 0, count, logged);
        CloseHandle(event);
        GlobalFree(overlapped);
        return;
    }

    DWORD wait = WaitForSingleObject(event, Settings().writeTimeoutMs);
    DWORD error = GetLastError();
    if (!GetOverlappedResult(device, overlapped, &written, FALSE) && wait == WAIT_OBJECT_0)
        error = GetLastError(); // the write's own failure says more than the wait's
    bool finished = true;
    if (wait == WAIT_OBJECT_0 && written == count) {
        char line[512];
        snprintf(line, sizeof line, "successful: %d Bytes (%s)", (int)written, logged);
        LogMessage(line, LOG_SENT);
    } else if (wait == WAIT_TIMEOUT) {
        CancelIo(device);
        LogMessage("DeviceIO Operationen abgebrochen wegen Timeout beim Senden", LOG_EVENT);
        finished = WaitForSingleObject(event, CANCEL_WAIT_MS) == WAIT_OBJECT_0;
    } else {
        LogSendError(error, written, count, logged);
        finished = HasOverlappedIoCompleted(overlapped) || WaitForSingleObject(event, CANCEL_WAIT_MS) == WAIT_OBJECT_0;
    }
    if (finished) {
        CloseHandle(event);
        GlobalFree(overlapped);
    }
}

void SendSelectedCommand()
{
    HANDLE device = DeviceHandle();
    if (device == INVALID_HANDLE_VALUE) {
        WarnSend(DEVICE_CLOSED);
        return;
    }
    int mark = (int)SendMessageA(CommandList(), LVM_GETSELECTIONMARK, 0, 0);
    if (mark < 0) {
        WarnSend("Bitte erst Kommando markieren.\nSenden nicht moeglich");
        return;
    }
    char text[64];
    char remark[16];
    GetEntryText(mark, 0, text, sizeof text);
    GetEntryText(mark, 1, remark, sizeof remark);
    if (strlen(text) <= 3) {
        WarnSend("Bitte erst gueltiges Kommando markieren.\nSenden nicht moeglich");
        return;
    }
    char logged[64];
    memcpy(logged, text, sizeof logged);
    ParseCommandText(WorkingCommand(), text, remark, Settings().sendPrefix);

    unsigned char bytes[16];
    memset(bytes, 0, sizeof bytes);
    size_t count = 0;
    // A half-converted byte is one nobody asked for: the device gets none of
    // the command, and the log no line claiming it was sent.
    if (!BuildBytes(bytes, &count))
        return;
    // A warning about a byte field runs a modal loop, in which a posted close
    // may have been handled: the handle is taken anew.
    device = DeviceHandle();
    if (device == INVALID_HANDLE_VALUE) {
        WarnSend(DEVICE_CLOSED);
        return;
    }
    WriteAndLog(device, bytes, count, logged);
}
