// What the tests look at inside the program beyond its modules' interfaces.
#ifndef VELKOR_TESTS_PROBES_H
#define VELKOR_TESTS_PROBES_H

#include <windows.h>

// The running (or self-ended, not yet stopped) receive thread's id; 0 when none.
DWORD ReaderThreadId();
// True when the last StopReader had to terminate the thread.
bool LastReaderWasKilled();

#endif
