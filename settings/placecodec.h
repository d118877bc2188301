// The main window's place as kept in the registry value "windowplace" (pure
// logic, no windows.h): the normal rectangle in workspace coordinates,
// whether the window was maximized, and the DPI it was drawn for.
#ifndef VELKOR_SETTINGS_PLACECODEC_H
#define VELKOR_SETTINGS_PLACECODEC_H

#include <stddef.h>
#include <stdint.h>

struct WindowPlace {
    int32_t left, top, right, bottom;
    bool maximized;
    uint32_t dpi; // the rectangle's pixels are this DPI's
};

// Five little-endian 32-bit numbers: left, top, right, bottom, state (0
// normal, 1 maximized); a place kept at 96 DPI, and every value written
// before places knew their DPI.
const size_t WINDOW_PLACE_SIZE = 20;
// The same five and the DPI: a place kept at any other DPI.
const size_t WINDOW_PLACE_DPI_SIZE = 24;

// Fills data (room for WINDOW_PLACE_DPI_SIZE bytes) with place; returns the size written.
size_t EncodeWindowPlace(const WindowPlace &place, unsigned char *data);
// Takes size bytes as a place; false when the size, the state, the DPI (48
// to 960) or the rectangle (empty, or beyond 32767 pixels a side) is not one.
bool DecodeWindowPlace(const unsigned char *data, size_t size, WindowPlace *place);
// The place for another DPI: the same corner, the size scaled by dpi / place.dpi
// (rounded, at most 32767 pixels a side).
WindowPlace ScaleWindowPlace(const WindowPlace &place, uint32_t dpi);

#endif
