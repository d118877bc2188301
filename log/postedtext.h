// Texts that any program posts to the main window for the log.
#ifndef VELKOR_LOG_POSTEDTEXT_H
#define VELKOR_LOG_POSTEDTEXT_H

#include <windows.h>

// WMU_LOG_TEXT from any sender: logs the text at address, reading only readable memory.
void LogPostedText(WPARAM address);

#endif
