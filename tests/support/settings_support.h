// Helpers for the settings and command-list tests.
#ifndef VELKOR_TESTS_SETTINGS_SUPPORT_H
#define VELKOR_TESTS_SETTINGS_SUPPORT_H

#include <windows.h>

#include <string>

#include "boxes.h"

// What a message box showed, read directly from its controls.
struct SeenMessageBox {
    bool seen = false;
    HWND owner = NULL;
    std::string caption;
    std::string text;
    UINT style = 0; // MB_ICON* | button set
};

// A BoxAction that records the box into *into and then presses button.
// (Under 64-bit Wine a message box's instance handle is null, so it does not
// read as user32's own; this reads its controls whatever the instance.)
BoxAction RecordAndPress(SeenMessageBox *into, int button);

#endif
