// The device settings record and the optional-byte encoding (no windows.h).
#ifndef VELKOR_SETTINGS_DEVICESETTINGS_H
#define VELKOR_SETTINGS_DEVICESETTINGS_H

#include <stdint.h>

// Below 256: enabled with that byte. 256 and above: off; the low byte is kept.
typedef uint16_t OptionalByte;

// The default of every optional byte: off, keeping byte 0x00.
const OptionalByte OPTIONAL_BYTE_OFF = 0xFF00;

// True when the optional byte is enabled.
inline bool OptionalByteOn(OptionalByte value) { return value < 256; }
// The byte an optional byte carries, whether enabled or not.
inline unsigned char OptionalByteValue(OptionalByte value) { return (unsigned char)(value & 0xFF); }

struct DeviceSettings {
    char *connectString;      // heap copy, or null when no device was chosen
    uint32_t readBlockLength; // bytes that finish a received block
    uint32_t readTimeoutMs;   // a partial block is handed over after this pause
    OptionalByte readEndByte; // a received byte that finishes a block
    uint32_t writeTimeoutMs;  // longest wait for a send to complete
    OptionalByte sendPrefix;  // byte sent before every command
    OptionalByte sendSuffix;  // byte sent after every command
    bool openExclusive;       // open the device without sharing
};

#endif
