// Waiting for conditions with deadlines, pumping messages meanwhile.
#ifndef VELKOR_TESTS_WAIT_H
#define VELKOR_TESTS_WAIT_H

#include <windows.h>

#include <functional>

// Dispatches this thread's messages until condition holds or timeoutMs passes.
bool PumpUntil(const std::function<bool()> &condition, DWORD timeoutMs);
// Dispatches this thread's messages for about ms milliseconds.
void PumpFor(DWORD ms);
// Dispatches whatever is queued now.
void PumpPending();

#endif
