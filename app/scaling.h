// The fonts and icons of the main window made for its DPI (user-interface thread).
#ifndef VELKOR_APP_SCALING_H
#define VELKOR_APP_SCALING_H

// Gives the command list, the log and the window's title bar a font and icons
// made for the DPI in force. At the system's DPI the windows keep their own
// (made for it) until something was made for another.
void FitFontsAndIcons();
// Shutdown, once the windows are gone: releases the fonts and icons made.
void ReleaseFontsAndIcons();

#endif
