// The program's message boxes.
#include "base/boxes.h"

#include <stdio.h>

#include "base/appwindows.h"
#include "base/systemtext.h"

const char CAPTION_VELKOR[] = "VELKOR";
const char CAPTION_START[] = "sorry";
const char CAPTION_CHOOSE_DEVICE[] = "VELKOR - Device waehlen";
const char CAPTION_RECEIVE[] = "VELKOR empfangen";
const char CAPTION_SEND[] = "VELKOR senden";
const char CAPTION_PROPERTIES[] = "VELKOR Device Eigenschaften";
const char CAPTION_REGISTRY[] = "VELKOR Registry öffnen";
const char CAPTION_SAVE_LOG[] = "VELKOR Nachrichten speichern";
const char CAPTION_SAVE_COMMANDS[] = "VELKOR Daten speichern";
const char CAPTION_SAVE_DIALOG[] = "VELKOR Kommandodatei speichern";
const char CAPTION_OPEN_DIALOG[] = "VELKOR Kommandodatei oeffnen";
const char CAPTION_OPEN_FAILED[] = "VELKOR Datei öffnen";
const char CAPTION_READ_FAILED[] = "VELKOR Datei oeffnen";
const char CAPTION_FILE_FORMAT[] = "VELKOR Kommandodatei einlesen";

const char TEXT_WRITE_ERROR[] = "Fehler beim Schreiben der Daten:\r\n%d";

int ShowBox(const char *text, const char *caption, UINT style)
{
    return ShowBoxOver(MainWindow(), text, caption, style);
}

int ShowBoxOver(HWND owner, const char *text, const char *caption, UINT style)
{
    return MessageBoxA(owner, text, caption, style);
}

void ShowNumberBox(const char *format, unsigned long number, const char *caption)
{
    char text[96];
    snprintf(text, sizeof text, format, (int)number);
    ShowBox(text, caption, MB_OK);
}

void ShowOpenDeviceError(HWND owner, unsigned long error)
{
    char text[256];
    ComposeSystemError(text, sizeof text, "Systemfehler %d beim Versuch das Device zu öffnen\n\n%s",
                       "Systemfehler %d beim Versuch das Device zu öffnen", error, KEEP_LINE_END);
    ShowBoxOver(owner, text, CAPTION_VELKOR, MB_OK | MB_ICONWARNING);
}
