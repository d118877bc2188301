// "Ausgaben speicher": writes every line of the log to a .msg file, asks
// whether to empty the log, and removes exactly the lines saved on Yes.
#include "log/savelog.h"

#include <windows.h>
#include <stdio.h>

#include "base/appwindows.h"
#include "base/atomicsave.h"
#include "base/boxes.h"
#include "base/filedialog.h"
#include "log/logformat.h"
#include "log/logstore.h"
#include "log/messagelog.h"

// Without its dot, as the dialog documents it: given as ".msg", Wine's
// dialog makes "name..msg" of a bare name while "alle (*.*)" is chosen.
static const FileDialogKind LOG_FILE_DIALOG = {"VelkorNachrichten (*.msg)\0*.msg\0alle (*.*)\0*.*\0", CAPTION_SAVE_LOG,
                                               "msg", CAPTION_SAVE_LOG};

void SaveLog()
{
    char path[FILE_PATH_ROOM] = "velkor.msg";
    AtomicSave save;
    if (!BeginChosenSave(LOG_FILE_DIALOG, path, save))
        return;
    HWND log = MessageLog();
    // Lines that came while the dialog was open are saved: they are in the
    // store by now. A failed save is reported and nothing more: the old file
    // is as it was, the lines stay in the log and no "gespeichert" is claimed.
    StoreMark saved;
    DWORD error = 0;
    bool written = WriteStoreTo(log, save.file, &saved, &error);
    if (!EndChosenSave(save, written, error, LOG_FILE_DIALOG))
        return;
    // Lines arriving while the question is open are neither saved nor removed.
    int answer = ShowBox("Nachrichtenfenster loeschen?", CAPTION_SAVE_LOG, MB_ICONQUESTION | MB_YESNO);
    if (answer == IDYES) {
        BeginLogBatch();
        ForgetStoredUpTo(log, saved);
        EndLogBatch();
    }
    char text[LOG_LINE_SIZE];
    snprintf(text, sizeof text, "Nachrichtendatei %s gespeichert", path);
    LogMessage(text, LOG_EVENT);
}
