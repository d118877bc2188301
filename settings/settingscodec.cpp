// Decoding of registry values, the title text and the receive buffer's size
// rule (no windows.h).
#include "settings/settingscodec.h"

#include <stdio.h>
#include <string.h>

static const char *const VALUE_NAMES[SETTINGS_VALUE_COUNT] = {
    "readblocklen", "readtimeout", "readendbyte", "writetimeout", "writepraeff", "writesuff", "openexclusiv",
};

const char *SettingsValueName(SettingsValue value)
{
    return (unsigned)value < SETTINGS_VALUE_COUNT ? VALUE_NAMES[value] : "";
}

bool DecodeSettingsValue(DeviceSettings &settings, SettingsValue value, const unsigned char *data, uint32_t size)
{
    if (size != 4)
        return false;
    uint32_t full = (uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 | (uint32_t)data[3] << 24;
    // Optional bytes take the low 16 bits: bytes 2 and 3 are ignored.
    OptionalByte low = (OptionalByte)(full & 0xFFFF);
    switch (value) {
    case VALUE_READ_BLOCK_LENGTH: settings.readBlockLength = full; return true;
    case VALUE_READ_TIMEOUT: settings.readTimeoutMs = full; return true;
    case VALUE_READ_END_BYTE: settings.readEndByte = low; return true;
    case VALUE_WRITE_TIMEOUT: settings.writeTimeoutMs = full; return true;
    case VALUE_SEND_PREFIX: settings.sendPrefix = low; return true;
    case VALUE_SEND_SUFFIX: settings.sendSuffix = low; return true;
    case VALUE_OPEN_EXCLUSIVE: settings.openExclusive = full != 0; return true;
    default: return false;
    }
}

void EncodeSettingsValue(const DeviceSettings &settings, SettingsValue value, unsigned char out[4])
{
    uint32_t full = 0;
    switch (value) {
    case VALUE_READ_BLOCK_LENGTH: full = settings.readBlockLength; break;
    case VALUE_READ_TIMEOUT: full = settings.readTimeoutMs; break;
    case VALUE_READ_END_BYTE: full = settings.readEndByte; break;
    case VALUE_WRITE_TIMEOUT: full = settings.writeTimeoutMs; break;
    case VALUE_SEND_PREFIX: full = settings.sendPrefix; break;
    case VALUE_SEND_SUFFIX: full = settings.sendSuffix; break;
    case VALUE_OPEN_EXCLUSIVE: full = settings.openExclusive ? 1 : 0; break;
    default: break;
    }
    out[0] = (unsigned char)full;
    out[1] = (unsigned char)(full >> 8);
    out[2] = (unsigned char)(full >> 16);
    out[3] = (unsigned char)(full >> 24);
}

void TerminateConnectString(char *buffer, uint32_t size)
{
    buffer[size < CONNECT_STRING_LIMIT ? size : CONNECT_STRING_LIMIT] = 0;
}

bool SameStoredSettings(const DeviceSettings &a, const DeviceSettings &b)
{
    if (!a.connectString != !b.connectString)
        return false;
    if (a.connectString && strcmp(a.connectString, b.connectString) != 0)
        return false;
    for (int v = 0; v < SETTINGS_VALUE_COUNT; v++) {
        unsigned char x[4], y[4];
        EncodeSettingsValue(a, (SettingsValue)v, x);
        EncodeSettingsValue(b, (SettingsValue)v, y);
        if (memcmp(x, y, 4) != 0)
            return false;
    }
    return true;
}

size_t TitleBufferSize(const char *windowName, const char *connectString)
{
    // Eleven fixed characters, three numbers of up to eleven and the terminator.
    return strlen(connectString) + strlen(windowName) + 53;
}

size_t FormatTitle(char *out, size_t size, const char *windowName, const DeviceSettings &settings)
{
    if (size == 0)
        return 0;
    int n = snprintf(out, size, "%s  %s   R:%d/%d S:%d", windowName,
                     settings.connectString ? settings.connectString : "", (int32_t)settings.readBlockLength,
                     (int32_t)settings.readTimeoutMs, (int32_t)settings.writeTimeoutMs);
    if (n < 0) {
        out[0] = 0;
        return 0;
    }
    return (size_t)n < size ? (size_t)n : size - 1;
}

bool ReceiveBufferBytes(uint32_t blockLength, size_t *bytes)
{
    if (blockLength > READ_BLOCK_LENGTH_LIMIT)
        return false;
    *bytes = blockLength < 1 ? 2 : (size_t)blockLength + 1;
    return true;
}
