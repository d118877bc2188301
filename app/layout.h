// Arithmetic of the main window's two panes (no windows.h).
#ifndef VELKOR_APP_LAYOUT_H
#define VELKOR_APP_LAYOUT_H

struct PaneRect {
    int x, y, width, height;
};

struct PaneLayout {
    PaneRect commandList;
    PaneRect messageLog;
};

// The toolbar's band above the list at 96 DPI.
const int TOOLBAR_BAND = 27;

// Places the list below the toolbar's band (its height in pixels) and the log
// below the list, overlapping its bottom edge by one pixel, from the client rectangle.
PaneLayout ComputePaneLayout(int left, int top, int right, int bottom, int band = TOOLBAR_BAND);

// True when (x, y) lies strictly inside the rectangle.
bool PointStrictlyInside(int x, int y, int left, int top, int right, int bottom);

#endif
