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

// Bytes in the program's memory: in a page of their own given protect, or with next set ending where their page
// ends and the page after it given next (0: not committed); their address there.
static WPARAM PlaceBlock(const VelkorProcess &app, const std::string &bytes, DWORD protect, DWORD next = 0)
{
    const SIZE_T page = 4096;
    char *base = (char *)VirtualAllocEx(app.process, NULL, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    char *at = next ? base + page - bytes.size() : base;
    DWORD old;
    bool placed = base && WriteProcessMemory(app.process, at, bytes.data(), bytes.size(), NULL) &&
                  VirtualProtectEx(app.process, base, page, protect, &old) &&
                  (next > 1 ? VirtualProtectEx(app.process, base + page, page, next, &old)
                            : VirtualFreeEx(app.process, base + page, page, MEM_DECOMMIT));
    EXPECT_TRUE(placed);
    return (WPARAM)at;
}

// The page after the bytes is left out.
static const DWORD NOT_COMMITTED = 1;

// A DROPFILES header with the list at offset, wide or not, and what follows it.
static std::string Drop(DWORD offset, bool wide, const std::string &rest)
{
    DROPFILES header = {};
    header.pFiles = offset;
    header.fWide = wide;
    return std::string((const char *)&header, sizeof header) + rest;
}

// Another program posts WM_DROPFILES with a value of its own making: whatever it points at, the program goes on,
// loads nothing and logs nothing, a later save holds every line, and a real drop still loads.
TEST(OutsideFile, AForgedDropIsIgnored)
{
    ClearVelkorRegistry();
    std::string folder = TestFolder("forged-drop"), a = folder + "\\a.cmd";
    ASSERT_TRUE(WriteWholeFile(a, std::string(" 0x41\0eins\0", 11)));
    VelkorProcess app;
    ASSERT_TRUE(StartVelkorProcess(app) && WaitForMainWindow(app));
    const DWORD header = sizeof(DROPFILES);
    const std::string sound = Drop(header, false, a + '\0' + '\0');
    std::wstring wide(2000, L'w');
    WPARAM reserved = (WPARAM)VirtualAllocEx(app.process, NULL, 4096, MEM_RESERVE, PAGE_READWRITE);
    WPARAM freed = PlaceBlock(app, sound, PAGE_READWRITE);
    VirtualFreeEx(app.process, (void *)freed, 0, MEM_RELEASE);
    const DWORD beyond = header + (DWORD)a.size() + 2 + 16;
    const WPARAM forged[] = {
        0, 1, (WPARAM)-4096, reserved, freed,
        PlaceBlock(app, sound, PAGE_READWRITE | PAGE_GUARD),
        PlaceBlock(app, sound, PAGE_NOACCESS),
        PlaceBlock(app, sound.substr(0, 8), PAGE_READWRITE, PAGE_NOACCESS), // a header cut short
        PlaceBlock(app, Drop(beyond, false, a + '\0' + '\0'), PAGE_READWRITE, NOT_COMMITTED),
        PlaceBlock(app, Drop(0x7FFFFFF0, false, a + '\0' + '\0'), PAGE_READWRITE),
        PlaceBlock(app, Drop(4, false, a + '\0' + '\0'), PAGE_READWRITE), // the list inside the header
        PlaceBlock(app, Drop(header, false, a + '\0' + std::string(3000, 'x')), PAGE_READWRITE, PAGE_NOACCESS),
        PlaceBlock(app, Drop(header, false, a + '\0'), PAGE_READWRITE, PAGE_READWRITE | PAGE_GUARD), // no list end
        PlaceBlock(app, Drop(header, true, std::string((const char *)wide.data(), 2 * wide.size())), PAGE_READWRITE,
                   NOT_COMMITTED),
        PlaceBlock(app, Drop(header, true, std::string(3001, 'x') + '\0'), PAGE_READWRITE, PAGE_NOACCESS), // half a zero
    };
    std::vector<std::string> before = LogLines(app);
    for (WPARAM value : forged)
        PostMessageA(app.window, WM_DROPFILES, value, 0);
    ASSERT_TRUE(PostLogText(app, "danach")) << "the program answers";
    before.push_back(LogLines(app).back());
    EXPECT_EQ(before, LogLines(app));
    EXPECT_EQ(0, ListItemCount(app));

    PostMessageA(app.window, WM_DROPFILES, PlaceBlock(app, sound, PAGE_READWRITE), 0);
    ASSERT_TRUE(WaitForLogLine("Kommandodatei " + a + " geladen", DRIVER_TIMEOUT_MS, app));
    EXPECT_EQ(std::vector<std::string>{" 0x41|eins"}, ListEntries(app));
    std::vector<std::string> lines = LogLines(app);
    std::string path = folder + "\\alles.msg";
    PostCommand(app, IDM_SAVE_LOG);
    ASSERT_TRUE(AnswerBox(app.processId, ChooseFile(path)));
    ASSERT_TRUE(AnswerBox(app.processId, RecordBox(NULL, IDNO)));
    ASSERT_TRUE(WaitForLogLine("Nachrichtendatei " + path + " gespeichert", DRIVER_TIMEOUT_MS, app));
    EXPECT_EQ(SavedForm(lines), ReadWholeFile(path));
    PostCommand(app, IDM_EXIT);
    DWORD code = 1;
    EXPECT_TRUE(WaitForExit(app, DRIVER_TIMEOUT_MS, &code));
    EXPECT_EQ(0u, code);
    EndVelkorProcess(app);
}
