// The program's message boxes: their captions, the texts more than one
// module shows, and the one way every box is shown.
#ifndef VELKOR_BASE_BOXES_H
#define VELKOR_BASE_BOXES_H

#include <windows.h>

// Captions.
extern const char CAPTION_VELKOR[];          // "VELKOR"
extern const char CAPTION_START[];           // start-up failures
extern const char CAPTION_CHOOSE_DEVICE[];   // "Device waehlen"
extern const char CAPTION_RECEIVE[];         // the reader and the receive buffer
extern const char CAPTION_SEND[];            // sending and its hex conversion
extern const char CAPTION_PROPERTIES[];      // "Device Eigenschaften auslesen"
extern const char CAPTION_REGISTRY[];        // starting the registry editor
extern const char CAPTION_SAVE_LOG[];        // "Ausgaben speicher", also its dialog's title
extern const char CAPTION_SAVE_COMMANDS[];   // write errors of a command file
extern const char CAPTION_SAVE_DIALOG[];     // the command file save dialog's title
extern const char CAPTION_OPEN_DIALOG[];     // the command file open dialog's title
extern const char CAPTION_OPEN_FAILED[];     // a command file that cannot be opened
extern const char CAPTION_READ_FAILED[];     // a command file that cannot be read
extern const char CAPTION_FILE_FORMAT[];     // a command file with a format error

// "%d": the system's error number of a failed create or write.
extern const char TEXT_WRITE_ERROR[];

// Shows a box owned by the main window; returns the button.
int ShowBox(const char *text, const char *caption, UINT style);
// Shows a box owned by a dialog or another window; returns the button.
int ShowBoxOver(HWND owner, const char *text, const char *caption, UINT style);
// An OK box of the main window whose text is format with number for its "%d".
void ShowNumberBox(const char *format, unsigned long number, const char *caption);
// The box for a device that would not open, with the system's error number and text.
void ShowOpenDeviceError(HWND owner, unsigned long error);

#endif
