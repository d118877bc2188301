// The message log: its lines and when it redraws.
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
// bar is the dearer part (4 to 8 ms under Wine, against 1 ms for the rows).
// So a frame paints the rows first, and the bar at most BAR_DELAY_MS later
// from a timer: the line reaches the screen at once (Wine hands a window's
// pixels on when its thread is idle), and a stream of lines, one every 15 ms
// or a flood, pays for the bar a few times a second instead of once a frame.
//
// A minimized window shows nothing: its frames only write the journal, the
// list box's drawing stays held and nothing that would draw is asked of the
// system, until the window is restored.
//
// Every line goes to the log's store (log/logstore), which keeps it in the
// journal and the list box, and each frame writes the journal's buffer out.
#include "log/messagelog.h"

#include "base/appwindows.h"
#include "log/logformat.h"
#include "log/logstore.h"

// Logged when the journal, which had failed, holds every line again.
static const char JOURNAL_BACK[] = "Aeltere Ausgaben werden wieder in eine temporaere Datei ausgelagert: "
                                   "ab hier ist die Aufzeichnung wieder vollstaendig";
// Shortest time between two frames, and the longest a line waits for its frame.
static const DWORD FRAME_MS = 4;
static const DWORD FRAME_MAX_MS = 50;
// The scroll bar follows the rows this much later at the most, so that a
// stream of lines pays for it a few times a second, not once a line.
static const UINT BAR_DELAY_MS = 100;
// A frame after this much quiet may have one more follow at once: an answer
// to a sent command comes a little after the command's own line.
static const DWORD FRAME_PAUSE_MS = 50;
// All owned by the user-interface thread.
static int batchDepth;         // BeginLogBatch calls not ended yet
static bool drawingHeld;       // the list box was told not to redraw
static DWORD heldSince;        // when the first held line came
static DWORD lastShown;        // when the last frame ended
static bool afterPause;        // the last frame came after a quiet spell
static UINT_PTR frameTimer;    // thread timer of the next frame, or 0
static UINT_PTR barTimer;      // thread timer that redraws a scroll bar left behind, or 0 ...
static DWORD barSince;         // ... set then
static LogClock clock;         // the local time read last ...
static DWORD clockTick;        // ... at this tick
static bool clockRead;

// One reading of the local time serves the lines logged within the same
// tick of the system's clock (a flood logs hundreds in a millisecond).
static LogClock Now()
{
    DWORD tick = GetTickCount();
    if (!clockRead || tick != clockTick) {
        SYSTEMTIME t;
        GetLocalTime(&t);
        LogClock now = {t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
        clock = now;
        clockTick = tick;
        clockRead = true;
    }
    return clock;
}

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

// Paints the rows and leaves the scroll bar and border to a timer (one
// already running stays). Taking its drawing back while not visible, the list
// box only records its new scroll range; DefWindowProc's WM_SETREDRAW switches
// the visibility alone. A timer's message waits while posted messages keep
// coming: a bar that is due is drawn with the rows then.
static void ShowRowsFirst(HWND log)
{
    DefWindowProcA(log, WM_SETREDRAW, FALSE, 0);
    SendMessageA(log, WM_SETREDRAW, TRUE, 0);
    DefWindowProcA(log, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(log, NULL, NULL, RDW_VALIDATE | RDW_NOFRAME | RDW_NOCHILDREN);
    RedrawWindow(log, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_NOCHILDREN);
    if (barTimer && GetTickCount() - barSince >= BAR_DELAY_MS)
        RedrawBorderAndBar();
    if (!barTimer) {
        barTimer = SetTimer(NULL, 0, BAR_DELAY_MS, ScrollBarDue);
        barSince = GetTickCount();
    }
    if (!barTimer)
        RedrawBorderAndBar();
}

// A minimized window shows nothing: its log's frames only write the journal,
// and nothing that would draw is asked of the system.
static bool WindowMinimized()
{
    return MainWindow() && IsIconic(MainWindow());
}

// The journal is written at least at every frame; one that had failed may come back then.
static void WriteJournal(HWND log)
{
    FlushStore();
    if (ResumeJournal(log))
        LogMessage(JOURNAL_BACK, LOG_EVENT);
}

// The frame: the newest line in view and painted now, not when the queue
// has run dry (under a flood of blocks it seldom does), its rows before its
// scroll bar. A hidden list box takes its drawing back in its own order.
static void ShowFrame()
{
    HWND log = MessageLog();
    StopTimer(&frameTimer);
    if (!drawingHeld || batchDepth > 0 || !log)
        return;
    if (WindowMinimized()) {
        // Nothing can be seen: the drawing stays held (ShowHeldLog ends it), the journal is written.
        heldSince = lastShown = GetTickCount();
        WriteJournal(log);
        return;
    }
    drawingHeld = false;
    afterPause = GetTickCount() - lastShown >= FRAME_PAUSE_MS;
    LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    if (count > 0)
        SendMessageA(log, LB_SETTOPINDEX, (WPARAM)(count - 1), 0);
    if (IsWindowVisible(log)) {
        ShowRowsFirst(log);
    } else {
        // The list box redraws its scroll bar as it takes its drawing back.
        StopTimer(&barTimer);
        SendMessageA(log, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(log, NULL, TRUE);
        UpdateWindow(log);
    }
    lastShown = GetTickCount();
    WriteJournal(log);
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
    if (frameTimer || WindowMinimized())
        return;
    DWORD since = now - lastShown;
    // Looking at the queue runs messages other threads send, which may log
    // lines and show or plan a frame of their own.
    if ((since >= FRAME_MS || afterPause) && !PostedMessagesWaiting()) {
        ShowFrame();
        return;
    }
    if (frameTimer || !drawingHeld)
        return;
    DWORD due = since < FRAME_MS ? FRAME_MS - since : 1;
    frameTimer = SetTimer(NULL, 0, due, FrameDue);
    if (!frameTimer)
        ShowFrame(); // without a timer nothing would show the line later
}

static void AppendLine(const char *line)
{
    HWND log = MessageLog();
    if (!log)
        return;
    HoldDrawing(log);
    StoreLine(log, line);
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
    ResetStore();
}

void ShowHeldLog()
{
    if (drawingHeld && batchDepth == 0 && !WindowMinimized())
        ShowFrame();
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

void EndLogBatchAtFrame()
{
    if (batchDepth == 0)
        return;
    batchDepth--;
    PlanFrame();
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

