// Cost of the message log in a visible window: lines a second one by one and
// in a batch, memory a line, saving a log of 100,000 lines, and a long run
// (20,000,000 lines, or the count given as the first argument).
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "base/appwindows.h"
#include "log/messagelog.h"
#include "resources/resource.h"

#include "support.h"

static const int LINES = 10000;

// Lines the log took since the start, which logstore.cpp keeps to itself.
ULONGLONG LinesLogged();

// One line at a time, each followed by what the message loop would do
// before the next event: dispatch the queued painting.
static void OneByOne()
{
    char text[64];
    SIZE_T before = MeasureResources().privateBytes;
    LARGE_INTEGER start = Now();
    for (int i = 0; i < LINES; i++) {
        snprintf(text, sizeof text, "Device COM1 geoeffnet, Zeile %d", i);
        LogMessage(text, 9);
        PumpPending();
    }
    LARGE_INTEGER end = Now();
    SIZE_T after = MeasureResources().privateBytes;
    double seconds = Seconds(start, end);
    printf("LogMessage one by one:  %d lines in %.2f s = %.0f lines/s\n", LINES, seconds, LINES / seconds);
    printf("memory per line:        %.0f bytes (private bytes %+.2f MB over %d lines of %d characters)\n",
           ((double)after - (double)before) / LINES, ((double)after - (double)before) / 1048576.0, LINES,
           (int)strlen(text) + 16);
}

// A burst of texts posted to the window, as a fast device's blocks arrive:
// from the first post until every line is in and the newest is in view.
static void Burst()
{
    std::vector<std::string> texts(LINES);
    char text[64];
    for (int i = 0; i < LINES; i++) {
        snprintf(text, sizeof text, "Block %d angekommen", i);
        texts[i] = text;
    }
    LRESULT first = SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0);
    LARGE_INTEGER start = Now();
    for (int i = 0; i < LINES; i++)
        PostMessageA(MainWindow(), WM_USER + 22, (WPARAM)texts[i].c_str(), 0);
    bool done = PumpUntil(
        [&] { return SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0) >= first + LINES && LastLineInView(); }, 600000);
    LARGE_INTEGER end = Now();
    double seconds = Seconds(start, end);
    printf("LogMessage, burst of posted texts: %d lines in %.2f s = %.0f lines/s%s\n", LINES, seconds,
           LINES / seconds, done ? "" : " (did not finish)");
}

static void Batched()
{
    char text[64];
    LARGE_INTEGER start = Now();
    BeginLogBatch();
    for (int i = 0; i < LINES; i++) {
        snprintf(text, sizeof text, "Device COM1 geoeffnet, Zeile %d", i);
        LogMessage(text, 9);
    }
    EndLogBatch();
    PumpPending();
    LARGE_INTEGER end = Now();
    double seconds = Seconds(start, end);
    printf("LogMessage in a batch:  %d lines in %.2f s = %.0f lines/s\n", LINES, seconds, LINES / seconds);
}

// Saves the log through the real dialog; answer is the reply to the question.
static void TimedSave(const std::string &path, int answer, const char *label)
{
    LARGE_INTEGER chosen = {}, asked = {}, start = Now();
    AnswerNextBox([&](HWND dialog, const SeenBox &seen) {
        chosen = Now();
        ChooseFile(path)(dialog, seen);
    });
    AnswerNextBox([&](HWND box, const SeenBox &) {
        asked = Now();
        PressButton(box, answer);
    });
    SendMessageA(MainWindow(), WM_COMMAND, MAKEWPARAM(IDM_SAVE_LOG, 0), 0);
    LARGE_INTEGER end = Now();
    if (!asked.QuadPart) {
        printf("SaveLog %s: the question did not come\n", label);
        return;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    double megabytes = GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)
                           ? (double)data.nFileSizeLow / 1048576.0
                           : 0;
    printf("SaveLog %s: whole command %.2f s; from choosing the file to the question %.2f s "
           "(%.1f MB); after the answer %.2f s\n",
           label, Seconds(start, end), Seconds(chosen, asked), megabytes, Seconds(asked, end));
}

static void SaveLarge()
{
    const int count = 100000;
    char text[64];
    // The log holds 100,000 lines (the list box only the newest of them).
    BeginLogBatch();
    while (LinesLogged() < (ULONGLONG)count) {
        snprintf(text, sizeof text, "Nachricht %d", (int)LinesLogged());
        LogMessage(text, 1);
    }
    EndLogBatch();
    PumpPending();
    std::string folder = TestFolder("shell-bench");
    TimedSave(folder + "\\gross.msg", IDNO, "of 100,000 lines, kept  ");
    TimedSave(folder + "\\gross2.msg", IDYES, "of 100,001 lines, removed");
    DeleteFileA((folder + "\\gross.msg").c_str());
    DeleteFileA((folder + "\\gross2.msg").c_str());
    RemoveDirectoryA(folder.c_str());
}

// A run far longer than the list box keeps: memory every million lines, the
// longest a single line took (a spill to the journal among them), and the
// time to save every line.
static void LongRun(long total)
{
    char text[64];
    double longest = 0;
    long longestAt = 0;
    LARGE_INTEGER start = Now();
    for (long i = 0; i < total; i++) {
        snprintf(text, sizeof text, "Zeile %ld", i);
        LARGE_INTEGER before = Now();
        LogMessage(text, 9);
        double took = Seconds(before, Now());
        if (took > longest) {
            longest = took;
            longestAt = i;
        }
        if (i % 1000 == 999)
            PumpPending();
        if ((i + 1) % 1000000 == 0)
            printf("long run: %5.1f million lines, private bytes %.1f MB, list box %ld lines, %.0f s\n",
                   (i + 1) / 1e6, MeasureResources().privateBytes / 1048576.0, (long)SendMessageA(MessageLog(), LB_GETCOUNT, 0, 0),
                   Seconds(start, Now()));
        if ((i + 1) % 1000000 == 0)
            fflush(stdout);
    }
    printf("long run: %ld lines in %.1f s = %.0f lines/s; longest single line %.0f ms (line %ld)\n", total,
           Seconds(start, Now()), total / Seconds(start, Now()), longest * 1000, longestAt);
    std::string folder = TestFolder("shell-bench");
    TimedSave(folder + "\\lang.msg", IDYES, "of the long run, removed");
    DeleteFileA((folder + "\\lang.msg").c_str());
    RemoveDirectoryA(folder.c_str());
    printf("long run: after saving and emptying, private bytes %.1f MB\n", MeasureResources().privateBytes / 1048576.0);
}

int main(int argc, char **argv)
{
    long total = argc > 1 ? atol(argv[1]) : 20000000;
    ClearVelkorRegistry();
    StartBoxAnswering();
    if (!StartTestApp()) {
        printf("shell_log_bench: the program did not start\n");
        return 0;
    }
    PumpFor(300);
    OneByOne();
    Burst();
    Batched();
    SaveLarge();
    LongRun(total);
    StopTestApp();
    StopBoxAnswering();
    return 0;
}
