// The main window's place as kept in the registry value "windowplace" (pure
// logic, no windows.h): the normal rectangle in workspace coordinates and
// whether the window was maximized.
#ifndef VELKOR_SETTINGS_PLACECODEC_H
#define VELKOR_SETTINGS_PLACECODEC_H

#include <stddef.h>
#include <stdint.h>

struct WindowPlace {
    int32_t left, top, right, bottom;
    bool maximized;
};

// Five little-endian 32-bit numbers: left, top, right, bottom, state (0 normal, 1 maximized).
const size_t WINDOW_PLACE_SIZE = 20;

// Fills data (WINDOW_PLACE_SIZE bytes) with place.
void EncodeWindowPlace(const WindowPlace &place, unsigned char *data);
// Takes size bytes as a place; false when the size, the state or the
// rectangle (empty, or beyond 32767 pixels a side) is not one.
bool DecodeWindowPlace(const unsigned char *data, size_t size, WindowPlace *place);

#endif
