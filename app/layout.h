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

// Places the list below the toolbar band and the log below it, from the client rectangle.
PaneLayout ComputePaneLayout(int left, int top, int right, int bottom);

// True when (x, y) lies strictly inside the rectangle.
bool PointStrictlyInside(int x, int y, int left, int top, int right, int bottom);

#endif
