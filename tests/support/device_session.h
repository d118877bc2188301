// Velkor's real window in the test process, talking to a test's device peer.
#ifndef VELKOR_TESTS_DEVICE_SESSION_H
#define VELKOR_TESTS_DEVICE_SESSION_H

#include <windows.h>

#include <stdint.h>
#include <string>
#include <vector>

#include "device_peer.h"

// A first run of the program (empty registry), boxes answered.
void StartDeviceApp();
// Closes what is open, ends the program and the box answering.
void StopDeviceApp();

// The read settings and the connect string, as the properties dialog would set them.
void UseDevice(const std::string &connectString, uint32_t blockLength = 3, uint32_t readTimeoutMs = 500,
               uint16_t endByte = 0xFF00);

// "Device oeffnen" from the toolbar; true when the log then says it was opened.
bool OpenFromToolbar();
// "Device schliessen" from the toolbar.
void CloseFromToolbar();

// Index of the first log line at or after from whose text (after the
// 16-character head) starts with text; -1 when there is none.
int FindLogLine(const std::vector<std::string> &lines, const std::string &text, size_t from = 0);
// Waits until the log has a line starting with text (after its head).
bool WaitForLogLine(const std::string &text, DWORD timeoutMs);
// Waits until the log shows at least count received blocks; returns them all.
std::vector<Bytes> WaitForBlocks(size_t count, DWORD timeoutMs);
// Milliseconds since midnight of a log line's time stamp.
long LineTime(const std::string &line);

// The box of another thread of this process (the receive thread's), or null.
HWND WaitForThreadBox(DWORD timeoutMs);

// Makes an entry the list's selected entry and selection mark.
void SelectEntry(int index);

// Starts the demo device velkor-echo.exe of this build on \\.\pipe\<name>
// (with a status block every statusMs when not 0); null when it does not serve.
HANDLE StartEchoDevice(const std::string &name, DWORD statusMs = 0);
// Ends it.
void StopEchoDevice(HANDLE process);

// Processor time a thread of this process has used so far, in milliseconds
// (0 when it cannot be read).
ULONGLONG ThreadMilliseconds(DWORD threadId);

#endif
