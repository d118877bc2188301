// A command file from outside velkor.exe: its command line, a second start,
// a drop onto the window; and what else comes as WM_COPYDATA is ignored.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "app/filearg.h"
#include "resources/resource.h"

#include "support.h"

// The loads logged so far (lines "Kommandodatei ... geladen").
static std::vector<std::string> Loads(const VelkorProcess &app)
{
    std::vector<std::string> loads;
    for (const std::string &line : LogLines(app))
        if (line.find(" geladen") != std::string::npos)
            loads.push_back(line);
    return loads;
}

TEST(OutsideFile, CommandLineSecondStartAndDropLoadAFileAndNothingElseComesIn)
{
    ClearVelkorRegistry();
    std::string folder = TestFolder("mit Leerzeichen"), a = folder + "\\a eins.cmd", b = folder + "\\b.cmd";
    ASSERT_TRUE(WriteWholeFile(a, std::string(" 0x41\0eins\0", 11)));
    ASSERT_TRUE(WriteWholeFile(b, std::string(" 0x42\0zwei\0", 11)));
    VelkorProcess app, second;
    ASSERT_TRUE(StartVelkorProcess(app, "", " \"" + a + "\" \"" + b + "\""));
    ASSERT_TRUE(WaitForMainWindow(app));
    ASSERT_TRUE(WaitForLogLine("Kommandodatei " + a + " geladen", DRIVER_TIMEOUT_MS, app));
    EXPECT_EQ(std::vector<std::string>{" 0x41|eins"}, ListEntries(app));

    // A relative name is the second start's: it ends at once with 0, showing no box. The file waits
    // while a dialog of the running copy is open.
    PostCommand(app, IDM_ABOUT);
    HWND about = WaitForBox(app.processId);
    ASSERT_TRUE(about);
    ASSERT_TRUE(StartVelkorProcess(second, folder, " b.cmd"));
    DWORD code = 1;
    EXPECT_TRUE(WaitForExit(second, DRIVER_TIMEOUT_MS, &code)) << "the second start waits (a box?)";
    EXPECT_EQ(0u, code);
    EndVelkorProcess(second);
    ASSERT_TRUE(PostLogText(app, "im Dialog"));
    EXPECT_EQ(1u, Loads(app).size());
    PressButton(about, IDOK);
    ASSERT_TRUE(WaitForLogLine("Kommandodatei " + b + " geladen", DRIVER_TIMEOUT_MS, app));
    EXPECT_EQ(std::vector<std::string>{" 0x42|zwei"}, ListEntries(app));
    EXPECT_EQ(app.window, GetForegroundWindow());

    // Of several files dropped as the shell drops them (a DROPFILES block in the program's memory) the last is loaded.
    DROPFILES header = {};
    header.pFiles = sizeof header;
    std::string drop = std::string((const char *)&header, sizeof header) + b + '\0' + a + '\0' + '\0';
    void *remote = VirtualAllocEx(app.process, NULL, drop.size(), MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(remote && WriteProcessMemory(app.process, remote, drop.data(), drop.size(), NULL));
    PostMessageA(app.window, WM_DROPFILES, (WPARAM)remote, 0);
    ASSERT_TRUE(PumpUntil([&] { return Loads(app).size() == 3; }, DRIVER_TIMEOUT_MS));
    EXPECT_EQ("Kommandodatei " + a + " geladen", LogText(Loads(app).back()));

    // A copy of another kind, unended or too long is refused and loads nothing.
    std::string tooLong = folder + "\\" + std::string(HANDED_PATH_ROOM, 'x');
    COPYDATASTRUCT forged[] = {{1, (DWORD)b.size() + 1, &b[0]}, {HANDED_PATH_MARK, (DWORD)b.size(), &b[0]},
                               {HANDED_PATH_MARK, (DWORD)tooLong.size() + 1, &tooLong[0]}};
    for (COPYDATASTRUCT &data : forged)
        EXPECT_EQ(FALSE, SendMessageA(app.window, WM_COPYDATA, 0, (LPARAM)&data)) << data.dwData << " " << data.cbData;
    ASSERT_TRUE(PostLogText(app, "danach"));
    EXPECT_EQ(3u, Loads(app).size());
    PostCommand(app, IDM_EXIT);
    EXPECT_TRUE(WaitForExit(app, DRIVER_TIMEOUT_MS, &code));
    EndVelkorProcess(app);
}

// Bytes placed in the program's memory, in a page of their own given protect, or ending where their page ends and
// the page after it given next (NOT_COMMITTED: left out); their address there.
static const DWORD NOT_COMMITTED = 1;
static WPARAM PlaceBlock(const VelkorProcess &app, const std::string &bytes, DWORD protect, DWORD next = 0)
{
    char *base = (char *)VirtualAllocEx(app.process, NULL, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    char *at = next ? base + 4096 - bytes.size() : base;
    DWORD old;
    EXPECT_TRUE(base && WriteProcessMemory(app.process, at, bytes.data(), bytes.size(), NULL) &&
                VirtualProtectEx(app.process, base, 4096, protect, &old) &&
                (next > NOT_COMMITTED ? VirtualProtectEx(app.process, base + 4096, 4096, next, &old)
                                      : VirtualFreeEx(app.process, base + 4096, 4096, MEM_DECOMMIT)));
    return (WPARAM)at;
}

// A DROPFILES block with its list at offset, wide or not, and then rest.
static std::string Drop(DWORD offset, bool wide, const std::string &rest)
{
    DROPFILES header = {offset, {0, 0}, FALSE, wide};
    return std::string((const char *)&header, sizeof header) + rest;
}

// Another program posts WM_DROPFILES with a value of its own making: whatever it points at, the program goes on,
// loads and logs nothing, a later save holds every line, and a real drop still loads.
TEST(OutsideFile, AForgedDropIsIgnored)
{
    ClearVelkorRegistry();
    std::string folder = TestFolder("forged-drop"), a = folder + "\\a.cmd", list = a + '\0' + '\0';
    ASSERT_TRUE(WriteWholeFile(a, std::string(" 0x41\0eins\0", 11)));
    VelkorProcess app;
    ASSERT_TRUE(StartVelkorProcess(app) && WaitForMainWindow(app));
    const DWORD header = sizeof(DROPFILES), RW = PAGE_READWRITE, NO = PAGE_NOACCESS, GUARD = RW | PAGE_GUARD;
    WPARAM freed = PlaceBlock(app, Drop(header, false, list), RW);
    VirtualFreeEx(app.process, (void *)freed, 0, MEM_RELEASE);
    const WPARAM forged[] = {
        0, 1, (WPARAM)-4096, (WPARAM)VirtualAllocEx(app.process, NULL, 4096, MEM_RESERVE, RW), freed,
        PlaceBlock(app, Drop(header, false, list), GUARD), PlaceBlock(app, Drop(header, false, list), NO),
        PlaceBlock(app, Drop(header, false, "").substr(0, 8), RW, NO),          // a header cut short
        PlaceBlock(app, Drop(header + 16 + (DWORD)list.size(), false, list), RW, NOT_COMMITTED), // a list after it
        PlaceBlock(app, Drop(0x7FFFFFF0, false, list), RW), PlaceBlock(app, Drop(4, false, list), RW),
        PlaceBlock(app, Drop(header, false, a + '\0' + std::string(3000, 'x')), RW, NO), // a name without end
        PlaceBlock(app, Drop(header, false, a + '\0'), RW, GUARD),                       // a list without end
        PlaceBlock(app, Drop(header, true, std::string(4000, 'w')), RW, NOT_COMMITTED),
        PlaceBlock(app, Drop(header, true, std::string(3001, 'w') + '\0'), RW, NO), // half a wide zero
    };
    std::vector<std::string> before = LogLines(app);
    for (WPARAM value : forged)
        PostMessageA(app.window, WM_DROPFILES, value, 0);
    ASSERT_TRUE(PostLogText(app, "danach")) << "the program answers";
    before.push_back(LogLines(app).back());
    EXPECT_EQ(before, LogLines(app)) << "nothing loaded";
    PostMessageA(app.window, WM_DROPFILES, PlaceBlock(app, Drop(header, false, list), RW), 0);
    ASSERT_TRUE(WaitForLogLine("Kommandodatei " + a + " geladen", DRIVER_TIMEOUT_MS, app));
    std::vector<std::string> lines = LogLines(app);
    PostCommand(app, IDM_SAVE_LOG);
    ASSERT_TRUE(AnswerBox(app.processId, ChooseFile(folder + "\\alles.msg")) &&
                AnswerBox(app.processId, RecordBox(NULL, IDNO)));
    EXPECT_TRUE(PumpUntil([&] { return SavedForm(lines) == ReadWholeFile(folder + "\\alles.msg"); }, 5000));
    EndVelkorProcess(app);
}
