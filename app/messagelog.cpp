// The message log and the .msg file.
#include "app/messagelog.h"

#include <stdio.h>

#include "app/appwindows.h"
#include "app/boxes.h"
#include "app/filedialog.h"
#include "app/logformat.h"

// Owned by the user-interface thread.
static int batchDepth;        // BeginLogBatch calls not ended yet
static UINT_PTR catchUpTimer; // while set, drawing is held until its thread timer fires

// A visible list box redraws its scroll bar and scrolls for every line; in a
// burst of queued messages (received blocks) that is nearly all the cost of
// logging. While such messages wait, lines are added with drawing held, and
// the view follows once the queue has run dry: a timer's message comes only
// when no posted message is left.
static const UINT CATCH_UP_DELAY_MS = 15;

static LogClock Now()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    LogClock clock = {t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
    return clock;
}

static void ScrollToEnd()
{
    HWND log = MessageLog();
    LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    if (count > 0)
        SendMessageA(log, LB_SETTOPINDEX, (WPARAM)(count - 1), 0);
}

static bool DrawingHeld()
{
    return batchDepth > 0 || catchUpTimer != 0;
}

static void HoldDrawing()
{
    if (MessageLog())
        SendMessageA(MessageLog(), WM_SETREDRAW, FALSE, 0);
}

// After the last holder lets go: the newest line in view, one redraw.
static void ReleaseDrawingIfDone()
{
    HWND log = MessageLog();
    if (DrawingHeld() || !log)
        return;
    ScrollToEnd();
    SendMessageA(log, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(log, NULL, TRUE);
}

static void CALLBACK CatchUpDone(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(NULL, id);
    if (id != catchUpTimer)
        return; // a stray timer must not end another's hold
    catchUpTimer = 0;
    ReleaseDrawingIfDone();
}

// True while more of the main window's private messages (received blocks,
// posted texts, the reader's end) wait in the queue. Only those: the window
// system posts messages of its own now and then.
static bool PostedMessagesWaiting()
{
    MSG next;
    return MainWindow() && PeekMessageA(&next, MainWindow(), WMU_READER_ENDED, WMU_LOG_TEXT, PM_NOREMOVE);
}

static void AppendLine(const char *line)
{
    HWND log = MessageLog();
    if (!log)
        return;
    // Added first: looking at the queue runs messages other threads send,
    // which may log lines of their own, and this line came before them.
    SendMessageA(log, LB_ADDSTRING, 0, (LPARAM)line);
    if (!DrawingHeld() && PostedMessagesWaiting() && !DrawingHeld()) {
        // Without a timer nothing would end the hold: draw line by line then.
        catchUpTimer = SetTimer(NULL, 0, CATCH_UP_DELAY_MS, CatchUpDone);
        if (catchUpTimer)
            HoldDrawing();
    }
    if (!DrawingHeld())
        ScrollToEnd();
}

void ResetMessageLog()
{
    if (catchUpTimer)
        KillTimer(NULL, catchUpTimer);
    catchUpTimer = 0;
    batchDepth = 0;
}

void BeginLogBatch()
{
    if (!DrawingHeld())
        HoldDrawing();
    batchDepth++;
}

void EndLogBatch()
{
    if (batchDepth == 0)
        return;
    batchDepth--;
    ReleaseDrawingIfDone();
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

// Removes the first count lines, as many deletions of line 0; one redraw at the end.
static void DeleteFirstLines(LRESULT count)
{
    HWND log = MessageLog();
    BeginLogBatch();
    if (SendMessageA(log, LB_GETCOUNT, 0, 0) == count) {
        // Nothing arrived meanwhile: emptying the log is the same, and quick.
        SendMessageA(log, LB_RESETCONTENT, 0, 0);
    } else {
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
    // A failed write is reported and nothing more: the file does not hold the
    // lines, so they stay in the log and no "gespeichert" is claimed.
    if (WriteLogLines(file, count)) {
        if (ShowBox("Nachrichtenfenster loeschen?", CAPTION_SAVE_LOG, MB_ICONQUESTION | MB_YESNO) == IDYES)
            DeleteFirstLines(count);
        char text[LOG_LINE_SIZE];
        snprintf(text, sizeof text, "Nachrichtendatei %s gespeichert", path);
        LogMessage(text, LOG_EVENT);
    }
    CloseHandle(file);
}
