// The one store of the log's lines.
//
// Every line the log shows goes to the journal (log/logjournal) in the .msg
// form as it is added, and the list box is a window onto the newest of them:
// once it holds LOG_HIGH_WATER lines, it is emptied and refilled with the
// newest LOG_KEEP_LINES from the journal's tail (deleting lines from the top
// would move all the others each time). A save copies the journal.
//
// The list box is trusted to show the journal's newest lines while it has as
// many lines as the log gave it, with the same first and last line. Another
// program may change it with list box messages; then its lines are written to
// the journal again before the journal is read or saved.
//
// A text with a CR LF of its own (another program may post one) stays one
// line: the journal marks such a CR LF (log/logjournal), and a saved file
// holds the text as it was logged.
//
// The warnings are held back until the store's work is done, and while the
// caller holds them (the hand-over of received blocks does): a box's message
// loop then finds the store, and the caller, in order.
//
// When the journal cannot be written the user is told once, and from then on
// the list box alone holds the lines after those the journal kept, as a log
// without journal: no trims, and a save writes the journal, then the list box.
// Once the journal's volume has room again (a frame tries it, once a second),
// the list box's lines are written after those the journal kept, and the
// journal goes on as before; the log says so in a line of its own.
#include "log/logstore.h"

#include <stdio.h>
#include <string.h>

#include "base/boxes.h"
#include "log/logformat.h"
#include "log/logbox.h"
#include "log/logjournal.h"

// Lines the list box keeps after a trim, and the count that starts one. A
// refill costs about a microsecond a line under Wine: the window stays
// with its blocks, and a trim every 50,000 lines costs less in all than one
// of 100,000 lines every 100,000.
static const LRESULT LOG_KEEP_LINES = 10000;
static const LRESULT LOG_HIGH_WATER = 60000;
// The journal is read back through this much memory at a time.
static const DWORD READ_CHUNK = 1 << 20;

// While the journal is broken it is tried again at most this often, and only
// once its volume has room for the list box's lines and this much more.
static const DWORD RESUME_INTERVAL_MS = 1000;
static const ULONGLONG RESUME_MARGIN = 64 * 1024;
// The list box's bytes are not known (counted when needed).
static const ULONGLONG BYTES_UNKNOWN = ~0ull;

static const char JOURNAL_FAILED[] = "Aeltere Ausgaben koennen nicht in eine temporaere Datei ausgelagert werden"
                                     " (Fehler %d).\r\nSie bleiben im Nachrichtenfenster; bitte Ausgaben bald speichern.";
static const char LINE_REFUSED[] = "Das Nachrichtenfenster nimmt keine weiteren Zeilen auf.\r\n"
                                   "Bitte Ausgaben speichern und das Nachrichtenfenster loeschen.";

// All owned by the user-interface thread.
static int warningsHeld;        // Hold calls not released yet
static bool journalWarningDue;  // a warning waits for the release
static bool refusalWarningDue;
static char journalWarning[256];
static StoreMark handedOut;     // what the last save was told it wrote
static ULONGLONG handedOutEnd;  // where its lines end now in the journal
static bool broken;             // the journal failed: the list box holds what it did not keep
static bool journalWarned;      // the journal's failure was told: once is enough
static ULONGLONG unjournaled;   // while broken: bytes the list box's lines need in the journal
static DWORD lastResumeTry;     // while broken: when the journal was last tried again
static bool refusalReported;    // a line the list box refused was reported
static ULONGLONG linesTaken;    // lines added since the start: tells a save's lines from later ones
static ULONGLONG boxStart;      // where the list box's first line starts in the journal
static LRESULT boxLines;        // lines the log gave the list box since its first line
static char firstLine[LOG_LINE_SIZE]; // the list box's first and last line as the log gave them
static char lastLine[LOG_LINE_SIZE];

static void Keep(char *kept, const char *line, size_t length)
{
    if (length >= LOG_LINE_SIZE)
        length = LOG_LINE_SIZE - 1;
    memcpy(kept, line, length);
    kept[length] = 0;
}

void HoldStoreWarnings()
{
    warningsHeld++;
}

// More lines may arrive while a box is open.
void ReleaseStoreWarnings()
{
    if (warningsHeld > 0 && --warningsHeld > 0)
        return;
    if (journalWarningDue) {
        journalWarningDue = false;
        ShowBox(journalWarning, CAPTION_VELKOR, MB_ICONWARNING | MB_OK);
    }
    if (refusalWarningDue) {
        refusalWarningDue = false;
        ShowBox(LINE_REFUSED, CAPTION_VELKOR, MB_ICONWARNING | MB_OK);
    }
}

// The journal failed: it keeps what precedes the list box's lines, and the
// file's space after them goes back to the system.
static void Break(DWORD error)
{
    if (broken)
        return;
    broken = true;
    JournalCut(boxStart);
    unjournaled = BYTES_UNKNOWN;
    lastResumeTry = GetTickCount();
    if (journalWarned)
        return;
    journalWarned = true;
    snprintf(journalWarning, sizeof journalWarning, JOURNAL_FAILED, (int)error);
    journalWarningDue = true;
}

static void Journal(const char *line, size_t length)
{
    DWORD error = 0;
    // An empty line is left out, as the .msg file leaves it out.
    if (!broken && length > 0 && !JournalAppendLine(line, (DWORD)length, &error))
        Break(error);
}

static bool InStep(HWND log, LRESULT count)
{
    return count == boxLines && (count == 0 || (SameBoxLine(log, 0, firstLine) && SameBoxLine(log, count - 1, lastLine)));
}

// Writes the list box's lines to the journal again, in place of those it had
// for them; false when the journal failed. A save's lines among them end,
// from then on, before the list box's lines that came after the save.
static bool Resync(HWND log, LRESULT count)
{
    JournalRewind(boxStart);
    bool moveMark = handedOutEnd > boxStart;
    ULONGLONG newer = linesTaken - handedOut.lines;
    LRESULT savedInBox = newer >= (ULONGLONG)count ? 0 : count - (LRESULT)newer;
    char *line = NULL;
    size_t capacity = 0;
    firstLine[0] = lastLine[0] = 0;
    for (LRESULT i = 0; i < count && !broken; i++) {
        if (moveMark && i == savedInBox)
            handedOutEnd = JournalEnd();
        LRESULT length = ReadBoxLine(log, i, &line, &capacity);
        if (length < 0) {
            Break(ERROR_NOT_ENOUGH_MEMORY);
            break;
        }
        Journal(line, (size_t)length);
        if (i == 0)
            Keep(firstLine, line, (size_t)length);
        Keep(lastLine, line, (size_t)length);
    }
    if (moveMark && savedInBox == count)
        handedOutEnd = JournalEnd();
    if (line)
        HeapFree(GetProcessHeap(), 0, line);
    boxLines = count;
    return !broken;
}

// Empties the list box for a refill whose first line starts at offset at.
static void EmptyBox(HWND log, ULONGLONG at, LRESULT lines)
{
    SendMessageA(log, LB_RESETCONTENT, 0, 0);
    SendMessageA(log, LB_INITSTORAGE, (WPARAM)lines, (LPARAM)(JournalEnd() - at));
    boxStart = at;
    boxLines = 0;
    firstLine[0] = 0;
}

// The offset *at after skip lines from it on; false when the journal cannot be read that far.
static bool SkipLines(ULONGLONG *at, LRESULT skip)
{
    char *chunk = (char *)HeapAlloc(GetProcessHeap(), 0, READ_CHUNK);
    char before = '\n';
    LRESULT seen = 0;
    DWORD got = 0;
    for (ULONGLONG base = *at; chunk && seen < skip; base += got) {
        if (!JournalRead(base, chunk, READ_CHUNK, &got) || got == 0)
            break;
        for (DWORD k = 0; k < got && seen < skip; before = chunk[k++])
            if (chunk[k] == '\n' && before == '\r' && ++seen == skip)
                *at = base + k + 1;
    }
    if (chunk)
        HeapFree(GetProcessHeap(), 0, chunk);
    return seen == skip;
}

// The journal from offset at to its end in one block (free with HeapFree),
// its size in *size; null when it cannot be read or held.
static char *ReadTail(ULONGLONG at, size_t *size, DWORD *error)
{
    ULONGLONG total = JournalEnd() - at;
    char *bytes = total < (ULONGLONG)(SIZE_MAX / 2) ? (char *)HeapAlloc(GetProcessHeap(), 0, (size_t)total + 1) : NULL;
    *error = ERROR_NOT_ENOUGH_MEMORY;
    for (size_t used = 0; bytes && used < total;) {
        DWORD got = 0;
        DWORD want = total - used < READ_CHUNK ? (DWORD)(total - used) : READ_CHUNK;
        if (!JournalRead(at + used, bytes + used, want, &got) || got == 0) {
            HeapFree(GetProcessHeap(), 0, bytes);
            *error = ERROR_READ_FAULT;
            return NULL;
        }
        used += got;
    }
    *size = (size_t)total;
    return bytes;
}

// Refills the list box with the journal's lines from offset from on (about
// keep of them), after skipping skip of them; the list box's lines before are
// dropped. Everything is read before the list box is emptied: false, nothing
// changed, when the journal could not be read.
static bool Refill(HWND log, ULONGLONG from, LRESULT skip, LRESULT keep)
{
    DWORD error = 0;
    if (!JournalFlush(&error)) {
        Break(error);
        return false;
    }
    size_t size = 0;
    char *bytes = SkipLines(&from, skip) ? ReadTail(from, &size, &error) : NULL;
    if (!bytes) {
        if (error != ERROR_NOT_ENOUGH_MEMORY)
            Break(ERROR_READ_FAULT); // the journal keeps the lines before the list box's
        return false;
    }
    LRESULT selected = SendMessageA(log, LB_GETCURSEL, 0, 0);
    LRESULT before = SendMessageA(log, LB_GETCOUNT, 0, 0);
    EmptyBox(log, from, keep);
    // A line ends with CR LF; a zero byte marks a CR LF inside it and goes.
    for (size_t k = 0, start = 0; k < size; k++) {
        if (bytes[k] != '\n' || k == start || bytes[k - 1] != '\r')
            continue;
        size_t length = 0;
        for (size_t j = start; j + 1 < k; j++)
            if (bytes[j] != 0)
                bytes[start + length++] = bytes[j];
        bytes[start + length] = 0;
        SendMessageA(log, LB_ADDSTRING, 0, (LPARAM)(bytes + start));
        if (boxLines++ == 0)
            Keep(firstLine, bytes + start, length);
        start = k + 1;
    }
    HeapFree(GetProcessHeap(), 0, bytes);
    LRESULT dropped = before - boxLines;
    if (selected != LB_ERR && selected >= dropped)
        SendMessageA(log, LB_SETCURSEL, (WPARAM)(selected - dropped), 0);
    return true;
}

void StoreLine(HWND log, const char *line)
{
    // The list box is not sorted: a line's index is the count before it.
    LRESULT newest = SendMessageA(log, LB_ADDSTRING, 0, (LPARAM)line);
    HoldStoreWarnings();
    if (newest == LB_ERR || newest == LB_ERRSPACE) {
        refusalWarningDue |= !refusalReported;
        refusalReported = true;
        ReleaseStoreWarnings();
        return;
    }
    size_t length = strlen(line);
    linesTaken++;
    if (broken && unjournaled != BYTES_UNKNOWN && length > 0)
        unjournaled += length + 2;
    if (boxLines++ == 0)
        Keep(firstLine, line, length);
    Keep(lastLine, line, length);
    Journal(line, length);
    if (newest + 1 >= LOG_HIGH_WATER && !broken && (InStep(log, newest + 1) || Resync(log, newest + 1)))
        Refill(log, boxStart, newest + 1 - LOG_KEEP_LINES, LOG_KEEP_LINES);
    ReleaseStoreWarnings();
}

bool ResumeJournal(HWND log)
{
    if (!broken || GetTickCount() - lastResumeTry < RESUME_INTERVAL_MS)
        return false;
    lastResumeTry = GetTickCount();
    LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    if (unjournaled == BYTES_UNKNOWN)
        unjournaled = BoxLineBytes(log, count);
    // A volume that still has no room would only fail again, after a rewrite of every line.
    ULONGLONG room = 0;
    if (JournalRoom(&room) && room < unjournaled + RESUME_MARGIN)
        return false;
    HoldStoreWarnings();
    broken = false;
    DWORD error = 0;
    bool back = Resync(log, count) && JournalFlush(&error);
    if (!back)
        Break(error);
    ReleaseStoreWarnings();
    return back;
}

void FlushStore()
{
    DWORD error = 0;
    HoldStoreWarnings();
    if (!broken && !JournalFlush(&error))
        Break(error);
    ReleaseStoreWarnings();
}

// A failure of the journal here is told after the copy: lines that come
// while its box is open are not the save's.
bool WriteStoreTo(HWND log, HANDLE file, StoreMark *mark, DWORD *error)
{
    *error = 0;
    HoldStoreWarnings();
    LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    if (!broken && !InStep(log, count))
        Resync(log, count);
    FlushStore();
    count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    mark->lines = linesTaken;
    bool ok = JournalCopyTo(file, error) && (!broken || WriteBoxLines(log, file, count, error));
    mark->journalEnd = JournalEnd();
    handedOut = *mark;
    handedOutEnd = mark->journalEnd;
    ReleaseStoreWarnings();
    return ok;
}

// The last save's lines may have been written to the journal again since
// (Resync): its mark then ends where they end now.
static void ForgetSaved(HWND log, StoreMark mark)
{
    if (mark.lines == handedOut.lines && mark.journalEnd == handedOut.journalEnd)
        mark.journalEnd = handedOutEnd;
    refusalReported = false; // the log was emptied: a refusal is news again
    FlushStore();
    JournalDropUpTo(mark.journalEnd);
    // The list box's first lines may be among those dropped.
    if (boxStart < JournalStart())
        boxStart = JournalStart();
    if (boxStart > JournalEnd())
        boxStart = JournalEnd();
    LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    ULONGLONG newer = linesTaken - mark.lines;
    if (newer >= (ULONGLONG)count)
        return; // a trim meanwhile left only lines that came after the save
    if (newer == 0) {
        SendMessageA(log, LB_RESETCONTENT, 0, 0);
        boxStart = JournalEnd();
        boxLines = 0;
        return;
    }
    // Many lines may have come meanwhile: the list box keeps the newest of them, as after a trim.
    LRESULT skip = newer > (ULONGLONG)LOG_KEEP_LINES ? (LRESULT)newer - LOG_KEEP_LINES : 0;
    if (!broken && InStep(log, count) && Refill(log, mark.journalEnd, skip, (LRESULT)newer - skip))
        return;
    if (!KeepNewestBoxLines(log, count, (LRESULT)newer))
        for (LRESULT i = 0; i < count - (LRESULT)newer; i++)
            SendMessageA(log, LB_DELETESTRING, 0, 0);
    boxStart = broken ? JournalEnd() : mark.journalEnd;
    boxLines = (LRESULT)newer;
    unjournaled = BYTES_UNKNOWN;
    char *line = NULL;
    size_t capacity = 0;
    LRESULT length = ReadBoxLine(log, 0, &line, &capacity);
    Keep(firstLine, length > 0 ? line : "", length > 0 ? (size_t)length : 0);
    if (line)
        HeapFree(GetProcessHeap(), 0, line);
}

void ForgetStoredUpTo(HWND log, const StoreMark &mark)
{
    HoldStoreWarnings();
    ForgetSaved(log, mark);
    ReleaseStoreWarnings();
}

// Looked at by the tests and benchmarks only: lines the log took since the start.
ULONGLONG LinesLogged()
{
    return linesTaken;
}

void ResetStore()
{
    JournalClose();
    warningsHeld = 0;
    journalWarningDue = refusalWarningDue = false;
    handedOut.lines = handedOut.journalEnd = handedOutEnd = 0;
    broken = journalWarned = false;
    unjournaled = 0;
    lastResumeTry = 0;
    refusalReported = false;
    linesTaken = 0;
    boxStart = 0;
    boxLines = 0;
    firstLine[0] = lastLine[0] = 0;
}
