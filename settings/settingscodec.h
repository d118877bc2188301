// The settings' registry values, the title text and the receive buffer's size
// rule as pure functions over the record (no windows.h).
#ifndef VELKOR_SETTINGS_SETTINGSCODEC_H
#define VELKOR_SETTINGS_SETTINGSCODEC_H

#include <stddef.h>
#include <stdint.h>

#include "settings/devicesettings.h"

// The seven 4-byte registry values, in the order they are read and written.
enum SettingsValue {
    VALUE_READ_BLOCK_LENGTH,
    VALUE_READ_TIMEOUT,
    VALUE_READ_END_BYTE,
    VALUE_WRITE_TIMEOUT,
    VALUE_SEND_PREFIX,
    VALUE_SEND_SUFFIX,
    VALUE_OPEN_EXCLUSIVE,
    SETTINGS_VALUE_COUNT
};

// Longest connect string taken from the registry, in bytes (its buffer holds one more).
const uint32_t CONNECT_STRING_LIMIT = 255;
// Largest block length a receive buffer is made for (see ReceiveBufferBytes).
const uint32_t READ_BLOCK_LENGTH_LIMIT = 1048576;

// The registry name of a value ("readblocklen", ...).
const char *SettingsValueName(SettingsValue value);
// Takes a queried value into its field; false, field unchanged, unless size is exactly 4.
bool DecodeSettingsValue(DeviceSettings &settings, SettingsValue value, const unsigned char *data, uint32_t size);
// The four little-endian bytes stored for a field.
void EncodeSettingsValue(const DeviceSettings &settings, SettingsValue value, unsigned char out[4]);
// Ends a queried connect string after its size bytes (at most CONNECT_STRING_LIMIT).
void TerminateConnectString(char *buffer, uint32_t size);
// True when both records would leave the same values in the registry.
bool SameStoredSettings(const DeviceSettings &a, const DeviceSettings &b);
// Size of the title buffer for a connect string: both lengths and 53.
size_t TitleBufferSize(const char *windowName, const char *connectString);
// "name  connect   R:block/read S:write", numbers signed; cut to size; returns its length.
size_t FormatTitle(char *out, size_t size, const char *windowName, const DeviceSettings &settings);
// Bytes of the receive buffer for a block length (length + 1, at least 2);
// false when the length is above READ_BLOCK_LENGTH_LIMIT.
bool ReceiveBufferBytes(uint32_t blockLength, size_t *bytes);

#endif
