// Cost of command files in a visible window: loading and saving 10,000
// entries through the real commands, timed from the moment the file dialog's
// OK is pressed; for scale, filling the list without suspending its redraw.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>

#include <string>

#include "base/appwindows.h"
#include "resources/resource.h"

#include "support.h"

static const int ENTRIES = 10000;
static const int RUNS = 3;

static std::string MakeFile(int entries)
{
    std::string bytes;
    char text[64];
    for (int i = 0; i < entries; i++) {
        snprintf(text, sizeof text, " 0x%02X 0x%02X 0x%02X", i & 0xFF, (i >> 8) & 0xFF, (i * 7) & 0xFF);
        bytes.append(text).push_back('\0');
        snprintf(text, sizeof text, "Kommando %d mit Bemerkung", i);
        bytes.append(text).push_back('\0');
    }
    return bytes;
}

// Runs a file command whose dialog chooses path; seconds from OK to the end.
static double TimeFileCommand(int command, const std::string &path)
{
    LARGE_INTEGER pressed = {};
    AnswerNextBox([&pressed, path](HWND dialog, const SeenBox &info) {
        pressed = Now();
        ChooseFile(path)(dialog, info);
    });
    AnswerNextBox(YesIfAskedThen([](HWND box, const SeenBox &) { PressButton(box, IDOK); }));
    SendMessageA(MainWindow(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
    LARGE_INTEGER done = Now();
    // An overwrite question not asked leaves its answer unused.
    StopBoxAnswering();
    StartBoxAnswering();
    return Seconds(pressed, done);
}

static double TimePaint()
{
    LARGE_INTEGER start = Now();
    InvalidateRect(CommandList(), NULL, TRUE);
    UpdateWindow(CommandList());
    return Seconds(start, Now());
}

int main()
{
    ClearVelkorRegistry();
    StartBoxAnswering();
    if (!StartTestApp()) {
        printf("the program did not start\n");
        return 1;
    }
    std::string folder = TestFolder("cmdbench");
    std::string source = folder + "\\bench.cmd";
    std::string bytes = MakeFile(ENTRIES);
    if (!WriteWholeFile(source, bytes)) {
        printf("cannot write %s\n", source.c_str());
        return 1;
    }
    printf("file: %d entries, %u bytes\n", ENTRIES, (unsigned)bytes.size());

    for (int run = 1; run <= RUNS; run++) {
        double load = TimeFileCommand(IDM_OPEN_COMMANDS, source);
        int count = ListItemCount();
        double paint = TimePaint();
        std::string copy = folder + "\\copy.cmd";
        double save = TimeFileCommand(IDM_SAVE_COMMANDS, copy);
        bool same = ReadWholeFile(copy) == bytes;
        printf("run %d: load %.3f s (%d entries, %.0f entries/s), first paint %.3f s, save %.3f s (%.0f entries/s)%s\n",
               run, load, count, count / load, paint, save, ENTRIES / save, same ? "" : "  SAVED FILE DIFFERS");
    }

    LARGE_INTEGER start = Now();
    SendMessageA(MainWindow(), WM_COMMAND, MAKEWPARAM(IDM_NEW_COMMANDS, 0), 0);
    printf("new list (10,000 entries removed): %.3f s\n", Seconds(start, Now()));

    // For scale: entries inserted into the visible list one by one, as a
    // load would without suspending the list's redraw.
    const int SAMPLE = 300;
    start = Now();
    for (int i = 0; i < SAMPLE; i++) {
        InsertListEntry(" 0x01 0x02 0x03", "Kommando mit Bemerkung");
        PumpPending();
    }
    double slow = Seconds(start, Now());
    printf("without suspended redraw: %d entries in %.3f s (%.1f ms each; 10,000 would take about %.0f s)\n", SAMPLE,
           slow, slow * 1000 / SAMPLE, slow / SAMPLE * ENTRIES);

    StopTestApp();
    StopBoxAnswering();
    return 0;
}
