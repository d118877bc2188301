// What the tests look at inside the program beyond its modules' interfaces.
#ifndef VELKOR_TESTS_PROBES_H
#define VELKOR_TESTS_PROBES_H

#include <windows.h>
#include <stddef.h>

// The running (or self-ended, not yet stopped) receive thread's id; 0 when none.
DWORD ReaderThreadId();
// True when the last StopReader had to terminate the thread.
bool LastReaderWasKilled();
// Blocks handed over by readers and not yet logged.
size_t BlocksWaiting();
// Dialog procedure of the About box (dialog 103).
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
