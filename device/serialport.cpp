// A serial port keeps its time-outs and its abort-on-error flag from the
// program that used it last. The reader's wait and the send's write time-out
// do all the timing, so the port's own are switched off; line settings (baud
// rate, parity, handshake) stay as the user set them.
#include "device/serialport.h"

// Asked for at open: a second and more of bytes at 921,600 baud; the output
// queue only ever holds one command.
static const DWORD INPUT_QUEUE_BYTES = 65536;
static const DWORD OUTPUT_QUEUE_BYTES = 4096;

bool PrepareSerialPort(HANDLE device)
{
    DCB state;
    ZeroMemory(&state, sizeof state);
    state.DCBlength = sizeof state;
    if (!GetCommState(device, &state))
        return false; // a pipe or a USB interface: not a serial port
    bool prepared = true;
    // With fAbortOnError one line error fails every read and write until ClearCommError (DCB's documentation).
    if (state.fAbortOnError) {
        state.fAbortOnError = FALSE;
        prepared = SetCommState(device, &state) != FALSE;
    }
    // All zero: a read waits for its byte and a write for its bytes (COMMTIMEOUTS' documentation).
    COMMTIMEOUTS none;
    ZeroMemory(&none, sizeof none);
    prepared = SetCommTimeouts(device, &none) && prepared;
    // Errors raised before the flag went off would still stop the port (ClearCommError's documentation).
    prepared = ClearCommError(device, NULL, NULL) && prepared;
    // The driver's default input queue of a few KiB overruns within a few
    // hundred ms of a busy window at 921,600 baud, and the driver then drops
    // bytes. The sizes are a recommendation (SetupComm's documentation): a
    // driver that refuses keeps its queue and the port works as before.
    SetupComm(device, INPUT_QUEUE_BYTES, OUTPUT_QUEUE_BYTES);
    return prepared;
}
