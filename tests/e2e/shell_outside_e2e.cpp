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
