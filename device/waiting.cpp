// The bytes a device holds: a pipe's unread bytes, a serial driver's input queue.
#include "device/waiting.h"

WaitingCount WaitingCountOf(HANDLE device)
{
    if (GetFileType(device) == FILE_TYPE_PIPE)
        return COUNT_PIPE;
    // Only a serial driver answers this; the port was made ready by the open already.
    DWORD errors;
    COMSTAT status;
    return ClearCommError(device, &errors, &status) ? COUNT_SERIAL : COUNT_NONE;
}

uint32_t BytesWaiting(HANDLE device, WaitingCount how)
{
    if (how == COUNT_PIPE) {
        DWORD total = 0;
        return PeekNamedPipe(device, NULL, 0, NULL, &total, NULL) ? total : 0;
    }
    if (how == COUNT_SERIAL) {
        DWORD errors;
        COMSTAT status;
        return ClearCommError(device, &errors, &status) ? status.cbInQue : 0;
    }
    return 0;
}
