// Pane layout arithmetic.
#include "app/layout.h"

PaneLayout ComputePaneLayout(int left, int top, int right, int bottom)
{
    // C++ division truncates toward zero, as the layout wants.
    int half = (bottom - top) / 2;
    int quarter = half / 4;
    PaneLayout layout;
    layout.commandList.x = left;
    layout.commandList.y = top + 27; // the toolbar's band
    layout.commandList.width = right;
    layout.commandList.height = half - quarter;
    layout.messageLog.x = left;
    layout.messageLog.y = half - quarter + 26; // one pixel over the list's bottom edge
    layout.messageLog.width = right;
    layout.messageLog.height = half + quarter - 27;
    return layout;
}

bool PointStrictlyInside(int x, int y, int left, int top, int right, int bottom)
{
    return left < x && x < right && top < y && y < bottom;
}
