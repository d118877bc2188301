// Window place codec.
#include "settings/placecodec.h"

static const int32_t LARGEST_SIDE = 32767;

static void PutNumber(unsigned char *data, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        data[i] = (unsigned char)(value >> (8 * i));
}

static uint32_t GetNumber(const unsigned char *data)
{
    return (uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 | (uint32_t)data[3] << 24;
}

void EncodeWindowPlace(const WindowPlace &place, unsigned char *data)
{
    PutNumber(data, (uint32_t)place.left);
    PutNumber(data + 4, (uint32_t)place.top);
    PutNumber(data + 8, (uint32_t)place.right);
    PutNumber(data + 12, (uint32_t)place.bottom);
    PutNumber(data + 16, place.maximized ? 1 : 0);
}

bool DecodeWindowPlace(const unsigned char *data, size_t size, WindowPlace *place)
{
    if (size != WINDOW_PLACE_SIZE)
        return false;
    int32_t left = (int32_t)GetNumber(data), top = (int32_t)GetNumber(data + 4);
    int32_t right = (int32_t)GetNumber(data + 8), bottom = (int32_t)GetNumber(data + 12);
    uint32_t state = GetNumber(data + 16);
    // Each corner within the coordinates a window can have; the sides in 64-bit, which cannot overflow.
    bool corners = left >= -LARGEST_SIDE && top >= -LARGEST_SIDE && right <= 2 * LARGEST_SIDE && bottom <= 2 * LARGEST_SIDE;
    int64_t width = (int64_t)right - left, height = (int64_t)bottom - top;
    if (state > 1 || !corners || width <= 0 || height <= 0 || width > LARGEST_SIDE || height > LARGEST_SIDE)
        return false;
    place->left = left;
    place->top = top;
    place->right = right;
    place->bottom = bottom;
    place->maximized = state == 1;
    return true;
}
