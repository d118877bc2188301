// Keys the command list and the message log take before the accelerators:
// copying a line and sending with Enter (user-interface thread).
#ifndef VELKOR_APP_LISTKEYS_H
#define VELKOR_APP_LISTKEYS_H

#include <windows.h>

// Carries out a key of the message loop meant for the list or the log; true
// when it did, and the message must go no further.
bool HandleListKey(const MSG &msg);

#endif
