// The message log: its lines, when it redraws, its journal, and the .msg file.
//
// The log alone decides when it is drawn, whoever adds its lines. A visible
// list box redraws its scroll bar for every line it gets, which costs several
// milliseconds under Wine and grows with its length; so lines are added with
// drawing held, and the newest is shown once per frame: at once when the
// frame is due and nothing else waits, else when the frame's timer fires,
// and at the latest FRAME_MAX_MS after the first held line (a timer's message
// waits while posted messages keep coming).
//
// The list box draws its scroll bar before its rows, and under a theme the
// bar is the dearer part (about 4 ms under Wine, against 1 ms for the rows).
// So the frame of a line after a quiet spell, and of an answer right after
// it, paints the rows first and the bar after a short timer: the thread goes
// idle in between, and the line reaches the screen at once (Wine hands a
// window's pixels on when its thread is idle). Frames of a stream keep the
// list box's order, which costs less than switching its visibility.
//
// A run of any length keeps the list box bounded: once it holds
// LOG_HIGH_WATER lines, all but the newest LOG_KEEP_LINES go to the journal
// (log/logjournal) in the .msg form, and saving writes the journal first.
#include "log/messagelog.h"

#include <stdio.h>
#include <string.h>

#include "base/appwindows.h"
#include "base/boxes.h"
#include "base/filedialog.h"
#include "log/logformat.h"
#include "log/logjournal.h"

// Shortest time between two frames, and the longest a line waits for its frame.
static const DWORD FRAME_MS = 4;
static const DWORD FRAME_MAX_MS = 50;
// A frame after this much quiet may have one more follow at once: an answer
// to a sent command comes a little after the command's own line.
static const DWORD FRAME_PAUSE_MS = 50;
// Lines the list box keeps for scrolling after a spill, and the count that starts one.
static const LRESULT LOG_KEEP_LINES = 100000;
static const LRESULT LOG_HIGH_WATER = 200000;
// A spill writes the journal in pieces of about this size.
static const DWORD SPILL_CHUNK = 1 << 20;

static const char JOURNAL_FAILED[] = "Aeltere Ausgaben koennen nicht in eine temporaere Datei ausgelagert werden"
                                     " (Fehler %d).\r\nSie bleiben im Nachrichtenfenster; bitte Ausgaben bald speichern.";
static const char LINE_REFUSED[] = "Das Nachrichtenfenster nimmt keine weiteren Zeilen auf.\r\n"
                                   "Bitte Ausgaben speichern und das Nachrichtenfenster loeschen.";

// All owned by the user-interface thread.
static int batchDepth;         // BeginLogBatch calls not ended yet
static bool drawingHeld;       // the list box was told not to redraw
static DWORD heldSince;        // when the first held line came
static DWORD lastShown;        // when the last frame ended
static bool afterPause;        // the last frame came after a quiet spell
static UINT_PTR frameTimer;    // thread timer of the next frame, or 0
static UINT_PTR barTimer;      // thread timer that redraws a scroll bar left behind, or 0
static bool journalBroken;     // the journal failed: lines stay in the list box
static bool refusalReported;   // a refused line was reported
// While "Nachrichtenfenster loeschen?" is open: the saved lines still at the
// top of the list box, and where the saved ones end in the journal.
static bool saveCounting;
static LRESULT savedLinesLeft;
static ULONGLONG savedJournalEnd;
// The copy of the list box's lines (see below), its size, where its last
// line starts, and its count of lines, COPY_OUT_OF_STEP when it must be read back.
static const LRESULT COPY_OUT_OF_STEP = -1;
// A log shorter than this keeps no copy.
static const LRESULT COPY_FROM_LINES = LOG_KEEP_LINES;
static char *copy;
static size_t copyCapacity, copyUsed, copyLastAt;
static LRESULT copyLines;

static LogClock Now()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    LogClock clock = {t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
    return clock;
}

// ---- Drawing ---------------------------------------------------------------

static void HoldDrawing(HWND log)
{
    if (drawingHeld)
        return;
    SendMessageA(log, WM_SETREDRAW, FALSE, 0);
    drawingHeld = true;
    heldSince = GetTickCount();
}

static void StopTimer(UINT_PTR *timer)
{
    if (*timer)
        KillTimer(NULL, *timer);
    *timer = 0;
}

// Draws what a frame that painted its rows first left behind: the scroll
// bar, and the border with it, whose drawing that frame let go.
static void RedrawBorderAndBar()
{
    StopTimer(&barTimer);
    HWND log = MessageLog();
    if (log)
        RedrawWindow(log, NULL, NULL, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_NOCHILDREN);
}

static void CALLBACK ScrollBarDue(HWND, UINT, UINT_PTR id, DWORD)
{
    if (id == barTimer)
        RedrawBorderAndBar(); // which stops the timer
    else
        KillTimer(NULL, id);
}

// Paints the rows and leaves the scroll bar and border to a short timer.
// Taking its drawing back while not visible, the list box only records its
// new scroll range; DefWindowProc's WM_SETREDRAW switches the visibility alone.
static void ShowRowsFirst(HWND log)
{
    DefWindowProcA(log, WM_SETREDRAW, FALSE, 0);
    SendMessageA(log, WM_SETREDRAW, TRUE, 0);
    DefWindowProcA(log, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(log, NULL, NULL, RDW_VALIDATE | RDW_NOFRAME | RDW_NOCHILDREN);
    RedrawWindow(log, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_NOCHILDREN);
    if (!barTimer)
        barTimer = SetTimer(NULL, 0, USER_TIMER_MINIMUM, ScrollBarDue);
    if (!barTimer)
        RedrawBorderAndBar();
}

// The frame: the newest line in view and painted now, not when the queue
// has run dry (under a stream of blocks it seldom does). A frame shown at
// once after a quiet spell, or right after such a frame, paints its rows
// before the scroll bar; under a stream that would cost more than it gains.
static void ShowFrame(bool atOnce = false)
{
    HWND log = MessageLog();
    StopTimer(&frameTimer);
    if (!drawingHeld || batchDepth > 0 || !log)
        return;
    drawingHeld = false;
    bool quiet = GetTickCount() - lastShown >= FRAME_PAUSE_MS;
    bool rowsFirst = atOnce && (quiet || afterPause) && IsWindowVisible(log);
    afterPause = quiet;
    LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    if (count > 0)
        SendMessageA(log, LB_SETTOPINDEX, (WPARAM)(count - 1), 0);
    if (rowsFirst) {
        ShowRowsFirst(log);
    } else {
        // The list box redraws its scroll bar as it takes its drawing back.
        StopTimer(&barTimer);
        SendMessageA(log, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(log, NULL, TRUE);
        UpdateWindow(log);
    }
    lastShown = GetTickCount();
}

static void CALLBACK FrameDue(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(NULL, id);
    if (id != frameTimer)
        return; // a stray timer must not end another's hold
    frameTimer = 0;
    ShowFrame();
}

// True while more of the main window's private messages (received blocks,
// posted texts, the reader's end) wait in the queue. Only those: the window
// system posts messages of its own now and then.
static bool PostedMessagesWaiting()
{
    MSG next;
    return MainWindow() && PeekMessageA(&next, MainWindow(), WMU_READER_ENDED, WMU_LOG_TEXT, PM_NOREMOVE);
}

// After a line was added with drawing held: shows it now or plans its frame.
static void PlanFrame()
{
    if (batchDepth > 0 || !drawingHeld)
        return;
    DWORD now = GetTickCount();
    if (now - heldSince >= FRAME_MAX_MS) {
        ShowFrame();
        return;
    }
    if (frameTimer)
        return;
    DWORD since = now - lastShown;
    // Looking at the queue runs messages other threads send, which may log
    // lines and show or plan a frame of their own.
    if ((since >= FRAME_MS || afterPause) && !PostedMessagesWaiting()) {
        ShowFrame(true);
        return;
    }
    if (frameTimer || !drawingHeld)
        return;
    // The frame redraws the scroll bar anyway: a bar timer firing first
    // would draw it twice and hold the rows back.
    StopTimer(&barTimer);
    DWORD due = since < FRAME_MS ? FRAME_MS - since : 1;
    frameTimer = SetTimer(NULL, 0, due, FrameDue);
    if (!frameTimer)
        ShowFrame(); // without a timer nothing would show the line later
}

// ---- Heap buffers -----------------------------------------------------------

// Grows a heap buffer to hold at least size bytes; false when it cannot.
static bool Reserve(char **buffer, size_t *capacity, size_t size)
{
    if (size <= *capacity)
        return true;
    size_t grown = *capacity * 2 > size ? *capacity * 2 : size;
    char *bigger = (char *)(*buffer ? HeapReAlloc(GetProcessHeap(), 0, *buffer, grown)
                                    : HeapAlloc(GetProcessHeap(), 0, grown));
    if (!bigger)
        return false;
    *buffer = bigger;
    *capacity = grown;
    return true;
}

// ---- The copy of the lines -------------------------------------------------
//
// Reading 100,000 lines back from the list box costs as much as adding them,
// a sixth of a second here; so a long log keeps a copy of its lines, each
// with its zero, and a spill writes and refills from that. The copy is trusted
// only while it has as many lines as the list box and the same first and
// last line; whatever else changed the list box makes it read back.

static void ForgetCopy(LRESULT lines)
{
    if (copy)
        HeapFree(GetProcessHeap(), 0, copy);
    copy = NULL;
    copyCapacity = copyUsed = copyLastAt = 0;
    copyLines = lines;
}

// Ends the line of length characters just written at the copy's end.
static void CopyEndLine(size_t length)
{
    copy[copyUsed + length] = 0;
    copyLastAt = copyUsed;
    copyUsed += length + 1;
    copyLines++;
}

static bool CopyAdd(const char *line, size_t length)
{
    if (!Reserve(&copy, &copyCapacity, copyUsed + length + 1))
        return false;
    memcpy(copy + copyUsed, line, length);
    CopyEndLine(length);
    return true;
}

static bool SameLine(HWND log, LRESULT i, const char *line)
{
    char text[LOG_LINE_SIZE];
    LRESULT length = SendMessageA(log, LB_GETTEXTLEN, (WPARAM)i, 0);
    return length >= 0 && (size_t)length == strlen(line) && (size_t)length < sizeof text &&
           SendMessageA(log, LB_GETTEXT, (WPARAM)i, (LPARAM)text) == length && memcmp(text, line, (size_t)length) == 0;
}

// Appends line i of the list box to the copy; false when memory ran out.
static bool ReadBackLine(HWND log, LRESULT i)
{
    LRESULT length = SendMessageA(log, LB_GETTEXTLEN, (WPARAM)i, 0);
    if (length < 0)
        length = 0;
    if (!Reserve(&copy, &copyCapacity, copyUsed + (size_t)length + 1))
        return false;
    length = length ? SendMessageA(log, LB_GETTEXT, (WPARAM)i, (LPARAM)(copy + copyUsed)) : 0;
    CopyEndLine(length < 0 ? 0 : (size_t)length);
    return true;
}

// Makes the copy hold the list box's count lines; false when it cannot.
static bool CopyInStep(HWND log, LRESULT count)
{
    if (copyLines == count && (count == 0 || (SameLine(log, 0, copy) && SameLine(log, count - 1, copy + copyLastAt))))
        return true;
    ForgetCopy(0);
    for (LRESULT i = 0; i < count; i++) {
        if (!ReadBackLine(log, i)) {
            ForgetCopy(COPY_OUT_OF_STEP);
            return false;
        }
    }
    return true;
}

// Keeps line newest, just added to the list box, in the copy. A short log
// needs none; a long one starts its copy by reading the list box back once.
// Out of step (something else changed the list box), the copy is dropped and
// the next spill reads the list box back.
static void CopyNewLine(HWND log, LRESULT newest, const char *line)
{
    if (newest + 1 < COPY_FROM_LINES || journalBroken) {
        if (copy)
            ForgetCopy(COPY_OUT_OF_STEP);
    } else if (copyLines == newest) {
        if (!CopyAdd(line, strlen(line)))
            ForgetCopy(COPY_OUT_OF_STEP);
    } else if (newest + 1 == COPY_FROM_LINES) {
        CopyInStep(log, newest + 1);
    } else if (copyLines != COPY_OUT_OF_STEP) {
        // Lines the copy does not know of: counting on, it would later look in
        // step with a list box it no longer matches.
        ForgetCopy(COPY_OUT_OF_STEP);
    }
}

// Where the copy's line i starts.
static size_t CopyOffsetOf(LRESULT i)
{
    size_t at = 0;
    while (i-- > 0)
        at += strlen(copy + at) + 1;
    return at;
}

// ---- The journal -----------------------------------------------------------

// Tells the user once; more lines may arrive while the box is open.
static void ReportOnce(bool *reported, const char *text)
{
    if (*reported)
        return;
    *reported = true;
    ShowBox(text, CAPTION_VELKOR, MB_ICONWARNING | MB_OK);
}

static void ReportJournalFailure(DWORD error)
{
    char text[256];
    snprintf(text, sizeof text, JOURNAL_FAILED, (int)error);
    // Without spills the copy would only double what the list box holds.
    ForgetCopy(COPY_OUT_OF_STEP);
    ReportOnce(&journalBroken, text);
}



// Writes the copy's first count lines to the journal in the .msg form;
// counted lines of a save in progress are marked. False with the error when
// the journal failed.
static bool WriteToJournal(LRESULT count, DWORD *error)
{
    char *buffer = NULL;
    size_t capacity = 0;
    size_t used = 0;
    size_t at = 0;
    bool ok = true;
    *error = 0;
    for (LRESULT i = 0; i < count && ok; i++) {
        size_t length = strlen(copy + at);
        // An empty line is skipped, as the .msg file skips it.
        if (length > 0 && !Reserve(&buffer, &capacity, used + length + 2)) {
            *error = ERROR_NOT_ENOUGH_MEMORY;
            ok = false;
            break;
        }
        if (length > 0) {
            memcpy(buffer + used, copy + at, length);
            used += length;
            buffer[used++] = '\r';
            buffer[used++] = '\n';
        }
        at += length + 1;
        bool lastSaved = saveCounting && (i + 1 == savedLinesLeft || (i + 1 == count && savedLinesLeft > count));
        if (used > 0 && (used >= SPILL_CHUNK || i + 1 == count || lastSaved)) {
            ok = JournalAppend(buffer, (DWORD)used, error);
            used = 0;
        }
        if (ok && lastSaved)
            savedJournalEnd = JournalEnd();
    }
    if (buffer)
        HeapFree(GetProcessHeap(), 0, buffer);
    return ok;
}

// The list box keeps only its lines from first on. Deleting lines from the
// top moves all the others each time; refilling the list box with the kept
// ones is far quicker. False, nothing changed, when they cannot be copied.
static bool KeepLinesFrom(HWND log, LRESULT first, LRESULT count)
{
    if (!CopyInStep(log, count))
        return false;
    size_t from = CopyOffsetOf(first);
    LRESULT selected = SendMessageA(log, LB_GETCURSEL, 0, 0);
    SendMessageA(log, LB_RESETCONTENT, 0, 0);
    SendMessageA(log, LB_INITSTORAGE, (WPARAM)(count - first), (LPARAM)(copyUsed - from));
    bool refilled = true;
    for (size_t at = from; at < copyUsed; at += strlen(copy + at) + 1) {
        LRESULT added = SendMessageA(log, LB_ADDSTRING, 0, (LPARAM)(copy + at));
        refilled = refilled && added != LB_ERR && added != LB_ERRSPACE;
    }
    if (selected >= first)
        SendMessageA(log, LB_SETCURSEL, (WPARAM)(selected - first), 0);
    memmove(copy, copy + from, copyUsed - from);
    copyUsed -= from;
    copyLastAt = copyLastAt >= from ? copyLastAt - from : 0;
    copyLines = count - first;
    if (!refilled || copyLines < COPY_FROM_LINES)
        ForgetCopy(COPY_OUT_OF_STEP);
    return true;
}

// The list box gives its oldest lines to the journal and keeps the newest LOG_KEEP_LINES.
static void Spill(HWND log, LRESULT count)
{
    LRESULT moved = count - LOG_KEEP_LINES;
    ULONGLONG mark = JournalEnd();
    ULONGLONG savedMark = savedJournalEnd;
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    if (!CopyInStep(log, count) || !WriteToJournal(moved, &error) || !KeepLinesFrom(log, moved, count)) {
        JournalRewind(mark);
        savedJournalEnd = savedMark;
        ReportJournalFailure(error ? error : ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    if (saveCounting)
        savedLinesLeft = savedLinesLeft > moved ? savedLinesLeft - moved : 0;
}

// ---- Lines -----------------------------------------------------------------

static void AppendLine(const char *line)
{
    HWND log = MessageLog();
    if (!log)
        return;
    HoldDrawing(log);
    // The list box is not sorted: a line's index is the count before it.
    LRESULT newest = SendMessageA(log, LB_ADDSTRING, 0, (LPARAM)line);
    if (newest == LB_ERR || newest == LB_ERRSPACE) {
        ReportOnce(&refusalReported, LINE_REFUSED);
    } else {
        CopyNewLine(log, newest, line);
        if (newest + 1 >= LOG_HIGH_WATER && !journalBroken)
            Spill(log, newest + 1);
    }
    // The view follows at the frame: moving it line by line scrolls the
    // list box each time, drawing held or not, and costs far more than the line.
    PlanFrame();
}

void ResetMessageLog()
{
    StopTimer(&frameTimer);
    StopTimer(&barTimer);
    batchDepth = 0;
    drawingHeld = false;
    lastShown = 0;
    afterPause = false;
    saveCounting = false;
    journalBroken = false;
    refusalReported = false;
    ForgetCopy(0);
    JournalClose();
}

void BeginLogBatch()
{
    if (MessageLog())
        HoldDrawing(MessageLog());
    batchDepth++;
}

void EndLogBatch()
{
    if (batchDepth == 0)
        return;
    batchDepth--;
    ShowFrame();
}

void LogReceivedBlock(const unsigned char *bytes, size_t count)
{
    char line[LOG_LINE_SIZE];
    LogClock clock = Now();
    // An empty block still gives its head, as a dump of nothing does.
    size_t done = 0;
    do {
        size_t shown = FormatDumpLine(line, sizeof line, clock, bytes + done, count - done);
        AppendLine(line);
        if (shown == 0)
            break;
        done += shown;
    } while (done < count);
}

void LogMessage(const char *text, unsigned kind)
{
    if (kind == LOG_RECEIVED) {
        LogReceivedBlock((const unsigned char *)text, LogTextLength(text));
        return;
    }
    char line[LOG_LINE_SIZE];
    FormatEventLine(line, sizeof line, kind, Now(), text);
    AppendLine(line);
}

// True when the whole region described by info can be read without a fault
// (a guard page would fault once and lose its guard for the thread that owns it).
static bool ReadableRegion(const MEMORY_BASIC_INFORMATION &info)
{
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return info.State == MEM_COMMIT && !(info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) && (info.Protect & readable);
}

// Copies at most limit characters of a text at an address that may not be
// readable in this process, stopping at its zero or at the first byte that
// is not readable; returns the length copied.
static size_t CopyReadableText(const char *source, char *out, size_t limit)
{
    size_t n = 0;
    while (n < limit) {
        MEMORY_BASIC_INFORMATION info;
        if (!VirtualQuery(source + n, &info, sizeof info) || !ReadableRegion(info))
            break;
        const char *regionEnd = (const char *)info.BaseAddress + info.RegionSize;
        while (n < limit && source + n < regionEnd) {
            if (!source[n]) {
                out[n] = 0;
                return n;
            }
            out[n] = source[n];
            n++;
        }
    }
    out[n] = 0;
    return n;
}

void LogPostedText(WPARAM address)
{
    // Any process may post this message, so the address is not trusted: a
    // foreign pointer or garbage yields what is readable here, often nothing,
    // and each message still gives its one line.
    char text[LOG_TEXT_LIMIT + 1];
    CopyReadableText((const char *)address, text, LOG_TEXT_LIMIT);
    LogMessage(text, LOG_POSTED);
}

// Without its dot, as the dialog documents it: given as ".msg", Wine's
// dialog makes "name..msg" of a bare name while "alle (*.*)" is chosen.
static const FileDialogKind LOG_FILE_DIALOG = {"VelkorNachrichten (*.msg)\0*.msg\0alle (*.*)\0*.*\0", CAPTION_SAVE_LOG,
                                               "msg", CAPTION_SAVE_LOG};

static void ShowWriteError(DWORD error)
{
    ShowNumberBox(TEXT_WRITE_ERROR, error, CAPTION_SAVE_LOG);
}

// Writes the first count lines, each followed by CR LF with one write, and
// skips empty ones; false after a failed write, which it has reported.
static bool WriteLogLines(HANDLE file, LRESULT count)
{
    HWND log = MessageLog();
    // Lines of this program fit the stack buffer; a longer one (another
    // process may add lines to the list box) gets a heap buffer, never a cut.
    char stackLine[LOG_LINE_SIZE + 2];
    char *line = stackLine;
    size_t capacity = sizeof stackLine;
    bool ok = true;
    for (LRESULT i = 0; i < count && ok; i++) {
        LRESULT length = SendMessageA(log, LB_GETTEXTLEN, (WPARAM)i, 0);
        if (length <= 0)
            continue;
        if ((size_t)length + 3 > capacity) {
            char *bigger = (char *)HeapAlloc(GetProcessHeap(), 0, (size_t)length + 3);
            if (!bigger) {
                ShowWriteError(ERROR_NOT_ENOUGH_MEMORY);
                ok = false;
                break;
            }
            if (line != stackLine)
                HeapFree(GetProcessHeap(), 0, line);
            line = bigger;
            capacity = (size_t)length + 3;
        }
        length = SendMessageA(log, LB_GETTEXT, (WPARAM)i, (LPARAM)line);
        if (length <= 0)
            continue;
        line[length] = '\r';
        line[length + 1] = '\n';
        DWORD written = 0;
        if (!WriteFile(file, line, (DWORD)length + 2, &written, NULL) || written != (DWORD)length + 2) {
            ShowWriteError(GetLastError());
            ok = false;
        }
    }
    if (line != stackLine)
        HeapFree(GetProcessHeap(), 0, line);
    return ok;
}

// Removes the first count lines; one redraw at the end.
static void DeleteFirstLines(LRESULT count)
{
    HWND log = MessageLog();
    BeginLogBatch();
    LRESULT total = SendMessageA(log, LB_GETCOUNT, 0, 0);
    if (total == count) {
        // Nothing arrived meanwhile: emptying the log is the same, and quick.
        SendMessageA(log, LB_RESETCONTENT, 0, 0);
        ForgetCopy(0);
    } else if (count > 0 && !KeepLinesFrom(log, count, total)) {
        for (LRESULT i = 0; i < count; i++)
            SendMessageA(log, LB_DELETESTRING, 0, 0);
    }
    EndLogBatch();
}

void SaveLog()
{
    char path[FILE_PATH_ROOM] = "velkor.msg";
    HANDLE file = CreateChosenFile(LOG_FILE_DIALOG, path);
    if (file == INVALID_HANDLE_VALUE)
        return;
    HWND log = MessageLog();
    LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    // The journal holds the oldest lines. A failed write is reported and
    // nothing more: the file does not hold the lines, so they stay in the
    // log and no "gespeichert" is claimed.
    DWORD error = 0;
    bool written = JournalCopyTo(file, &error);
    if (!written)
        ShowWriteError(error);
    if (written && WriteLogLines(file, count)) {
        // Lines arriving while the question is open may send saved ones to
        // the journal; what was saved is tracked wherever it goes.
        saveCounting = true;
        savedLinesLeft = count;
        savedJournalEnd = JournalEnd();
        int answer = ShowBox("Nachrichtenfenster loeschen?", CAPTION_SAVE_LOG, MB_ICONQUESTION | MB_YESNO);
        saveCounting = false;
        if (answer == IDYES) {
            JournalDropUpTo(savedJournalEnd);
            DeleteFirstLines(savedLinesLeft);
        }
        char text[LOG_LINE_SIZE];
        snprintf(text, sizeof text, "Nachrichtendatei %s gespeichert", path);
        LogMessage(text, LOG_EVENT);
    }
    CloseHandle(file);
}
