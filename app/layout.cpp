// Pane layout arithmetic.
#include "app/layout.h"

PaneLayout ComputePaneLayout(int left, int top, int right, int bottom, int band)
{
    // C++ division truncates toward zero, as the layout wants.
    int half = (bottom - top) / 2;
    int quarter = half / 4;
    PaneLayout layout;
    layout.commandList.x = left;
    layout.commandList.y = top + band;
    layout.commandList.width = right;
    layout.commandList.height = half - quarter;
    layout.messageLog.x = left;
    layout.messageLog.y = half - quarter + band - 1; // one pixel over the list's bottom edge
    layout.messageLog.width = right;
    layout.messageLog.height = half + quarter - band;
    return layout;
}

bool PointStrictlyInside(int x, int y, int left, int top, int right, int bottom)
{
    return left < x && x < right && top < y && y < bottom;
}
