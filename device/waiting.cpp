// The bytes a device holds: a pipe's unread bytes, a serial driver's input queue.
#include "device/waiting.h"

typedef BOOL(WINAPI *ClearCommErrorCall)(HANDLE, LPDWORD, LPCOMSTAT);

// ClearCommError itself, or what a test puts in its place (receive thread;
// set by the tests while no reader runs).
static ClearCommErrorCall clearCommError = ClearCommError;

// For the tests only: the driver's answers come from call (null: the system's again).
void UseClearCommErrorForTests(ClearCommErrorCall call)
{
    clearCommError = call ? call : ClearCommError;
}

WaitingCount WaitingCountOf(HANDLE device)
{
    if (GetFileType(device) == FILE_TYPE_PIPE)
        return COUNT_PIPE;
    // Only a serial driver answers this; the port was made ready by the open
    // already, so errors it reports now came before this reader.
    DWORD errors;
    COMSTAT status;
    return clearCommError(device, &errors, &status) ? COUNT_SERIAL : COUNT_NONE;
}

uint32_t BytesWaiting(HANDLE device, WaitingCount how, bool *lost)
{
    *lost = false;
    if (how == COUNT_PIPE) {
        DWORD total = 0;
        return PeekNamedPipe(device, NULL, 0, NULL, &total, NULL) ? total : 0;
    }
    if (how == COUNT_SERIAL) {
        DWORD errors = 0;
        COMSTAT status;
        if (!clearCommError(device, &errors, &status))
            return 0;
        // CE_RXOVER: the input queue was full; CE_OVERRUN: the port's own buffer
        // overran (ClearCommError's documentation). Either way bytes are gone.
        *lost = (errors & (CE_RXOVER | CE_OVERRUN)) != 0;
        return status.cbInQue;
    }
    return 0;
}
