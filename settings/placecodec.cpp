// Window place codec.
#include "settings/placecodec.h"

static const int32_t LARGEST_SIDE = 32767;
static const uint32_t PLAIN_DPI = 96;
static const uint32_t LOWEST_DPI = 48, HIGHEST_DPI = 960;

static void PutNumber(unsigned char *data, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        data[i] = (unsigned char)(value >> (8 * i));
}

static uint32_t GetNumber(const unsigned char *data)
{
    return (uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 | (uint32_t)data[3] << 24;
}

size_t EncodeWindowPlace(const WindowPlace &place, unsigned char *data)
{
    PutNumber(data, (uint32_t)place.left);
    PutNumber(data + 4, (uint32_t)place.top);
    PutNumber(data + 8, (uint32_t)place.right);
    PutNumber(data + 12, (uint32_t)place.bottom);
    PutNumber(data + 16, place.maximized ? 1 : 0);
    // At 96 DPI the value stays as every earlier version wrote and reads it.
    if (place.dpi == PLAIN_DPI)
        return WINDOW_PLACE_SIZE;
    PutNumber(data + 20, place.dpi);
    return WINDOW_PLACE_DPI_SIZE;
}

bool DecodeWindowPlace(const unsigned char *data, size_t size, WindowPlace *place)
{
    if (size != WINDOW_PLACE_SIZE && size != WINDOW_PLACE_DPI_SIZE)
        return false;
    int32_t left = (int32_t)GetNumber(data), top = (int32_t)GetNumber(data + 4);
    int32_t right = (int32_t)GetNumber(data + 8), bottom = (int32_t)GetNumber(data + 12);
    uint32_t state = GetNumber(data + 16);
    uint32_t dpi = size == WINDOW_PLACE_DPI_SIZE ? GetNumber(data + 20) : PLAIN_DPI;
    // Each corner within the coordinates a window can have; the sides in 64-bit, which cannot overflow.
    bool corners = left >= -LARGEST_SIDE && top >= -LARGEST_SIDE && right <= 2 * LARGEST_SIDE && bottom <= 2 * LARGEST_SIDE;
    int64_t width = (int64_t)right - left, height = (int64_t)bottom - top;
    if (state > 1 || !corners || width <= 0 || height <= 0 || width > LARGEST_SIDE || height > LARGEST_SIDE ||
        dpi < LOWEST_DPI || dpi > HIGHEST_DPI)
        return false;
    place->left = left;
    place->top = top;
    place->right = right;
    place->bottom = bottom;
    place->maximized = state == 1;
    place->dpi = dpi;
    return true;
}

// side * to / from, rounded to the nearest pixel, within 1 to 32767.
static int32_t ScaleSide(int32_t side, uint32_t to, uint32_t from)
{
    int64_t scaled = ((int64_t)side * to * 2 + from) / ((int64_t)from * 2);
    return scaled < 1 ? 1 : scaled > LARGEST_SIDE ? LARGEST_SIDE : (int32_t)scaled;
}

WindowPlace ScaleWindowPlace(const WindowPlace &place, uint32_t dpi)
{
    WindowPlace scaled = place;
    if (dpi == place.dpi || dpi == 0 || place.dpi == 0)
        return scaled;
    scaled.right = place.left + ScaleSide(place.right - place.left, dpi, place.dpi);
    scaled.bottom = place.top + ScaleSide(place.bottom - place.top, dpi, place.dpi);
    scaled.dpi = dpi;
    return scaled;
}
