// The receive buffer: the main window's copy of the latest block.
#include "device/receivebuffer.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "base/appwindows.h"
#include "base/boxes.h"
#include "settings/settings.h"
#include "settings/settingscodec.h"

// The buffer for the default block length 3, for when the heap cannot give
// even that: the program always goes on with a usable buffer.
static const size_t DEFAULT_BUFFER_SIZE = 4;

// Owned by the user-interface thread.
static unsigned char *receiveBuffer;
static size_t receiveBufferSize;
static unsigned char lastResortBuffer[DEFAULT_BUFFER_SIZE];

static void ReplaceBuffer(unsigned char *buffer, size_t size)
{
    if (receiveBuffer != lastResortBuffer)
        free(receiveBuffer);
    receiveBuffer = buffer;
    receiveBufferSize = size;
}

// Tells the user which length was refused and which one stays in force.
static void ReportRefusedLength(uint32_t blockLength, bool tooLarge)
{
    char text[256];
    unsigned long kept = (unsigned long)(receiveBufferSize - 1);
    if (tooLarge)
        snprintf(text, sizeof text,
                 "Die Blocklaenge %lu ist zu gross:\r\nhoechstens %lu Bytes je Block sind moeglich.\r\n"
                 "Es gilt weiter die Blocklaenge %lu.",
                 (unsigned long)blockLength, (unsigned long)READ_BLOCK_LENGTH_LIMIT, kept);
    else
        snprintf(text, sizeof text,
                 "Fuer die Blocklaenge %lu ist nicht genug Speicher frei.\r\n"
                 "Es gilt weiter die Blocklaenge %lu.",
                 (unsigned long)blockLength, kept);
    ShowBoxOver(BoxOwner(), text, CAPTION_RECEIVE, MB_ICONERROR);
}

bool AllocateReceiveBuffer(uint32_t blockLength)
{
    // Bounded: length + 1 would wrap at 4294967295, and a block of gigabytes
    // is a stream, not a block.
    size_t size = 0;
    bool allowed = ReceiveBufferBytes(blockLength, &size);
    unsigned char *buffer = allowed ? (unsigned char *)calloc(size, 1) : NULL;
    if (buffer) {
        ReplaceBuffer(buffer, size);
        return true;
    }
    if (!receiveBuffer) {
        buffer = (unsigned char *)calloc(DEFAULT_BUFFER_SIZE, 1);
        ReplaceBuffer(buffer ? buffer : lastResortBuffer, DEFAULT_BUFFER_SIZE);
    }
    ReportRefusedLength(blockLength, !allowed);
    return false;
}

void FitReceiveBufferToSettings()
{
    DeviceSettings &settings = Settings();
    if (!AllocateReceiveBuffer(settings.readBlockLength))
        settings.readBlockLength = (uint32_t)(receiveBufferSize - 1);
}

void ReleaseReceiveBuffer()
{
    ReplaceBuffer(NULL, 0);
}

unsigned char *ReceiveBuffer() { return receiveBuffer; }
size_t ReceiveBufferSize() { return receiveBufferSize; }
