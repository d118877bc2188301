// velkor.exe as its own process, driven from outside as a user would.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"

#include "support.h"

class ShellE2E : public ::testing::Test {
protected:
    VelkorProcess app;
    VelkorProcess second;

    void SetUp() override
    {
        ClearVelkorRegistry();
        folder = TestFolder("shell-e2e");
        ASSERT_TRUE(StartVelkorProcess(app, folder));
        ASSERT_TRUE(WaitForMainWindow(app)) << "no main window";
    }
    void TearDown() override
    {
        EndVelkorProcess(second);
        EndVelkorProcess(app);
    }
    std::string folder;
};

static RECT WindowRect(HWND window)
{
    RECT r = {0, 0, 0, 0};
    GetWindowRect(window, &r);
    return r;
}

// The refused copy's box, answered; returns the copy's exit code.
static DWORD RefuseSecondStart(VelkorProcess &second)
{
    EXPECT_TRUE(StartVelkorProcess(second));
    SeenBox box;
    EXPECT_TRUE(AnswerBox(second.processId, RecordBox(&box, IDOK))) << "the second copy showed no box";
    ExpectBox(box, "sorry", "VELKOR wird bereits ausgefuehrt\r\nnur eine Instance erlaubt", MB_ICONERROR | MB_OK);
    EXPECT_EQ(NULL, box.owner) << "the box has no owner";
    DWORD code = 12345;
    EXPECT_TRUE(WaitForExit(second, DRIVER_TIMEOUT_MS, &code));
    return code;
}

TEST_F(ShellE2E, StartsWithItsStartLineAndEndsWithExitCodeZero)
{
    std::vector<std::string> lines = LogLines(app);
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ('+', lines[0][0]);
    EXPECT_EQ("VelKor gestartet", lines[0].substr(16));
    EXPECT_EQ(0, ListItemCount(app));
    // The toolbar is in the no-device state.
    EXPECT_FALSE(ButtonState(IDM_OPEN_DEVICE_BUTTON, app) & TBSTATE_ENABLED);
    EXPECT_TRUE(ButtonState(IDM_CHOOSE_DEVICE, app) & TBSTATE_ENABLED);

    PostCommand(app, IDM_EXIT);
    DWORD code = 12345;
    ASSERT_TRUE(WaitForExit(app, DRIVER_TIMEOUT_MS, &code));
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(TopWindows("VELKOR_WND").empty());
}

TEST_F(ShellE2E, SecondStartIsRefusedAndBringsTheFirstWindowBack)
{
    // Minimised first, so that restoring and centring can be seen.
    ShowWindow(app.window, SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(app.window) != 0; }, DRIVER_TIMEOUT_MS));

    EXPECT_EQ(0u, RefuseSecondStart(second));
    EXPECT_EQ(1u, TopWindows("VELKOR_WND").size());
    EXPECT_TRUE(PumpUntil([&] { return !IsIconic(app.window); }, DRIVER_TIMEOUT_MS)) << "not restored";
    RECT r = WindowRect(app.window);
    EXPECT_EQ((GetSystemMetrics(SM_CXFULLSCREEN) - (r.right - r.left)) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYFULLSCREEN) - (r.bottom - r.top)) / 2, r.top);
    // The first copy runs on as before.
    EXPECT_EQ(1u, LogLines(app).size());
}

TEST_F(ShellE2E, SecondStartFindsNoWindowWhoseTitleCarriesADevice)
{
    // The lookup is by the plain window name; a title with a device hides it.
    SendMessageTimeoutA(app.window, WM_SETTEXT, 0, (LPARAM) "Velkor - COM7", SMTO_ABORTIFHUNG, 5000, NULL);
    ShowWindow(app.window, SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(app.window) != 0; }, DRIVER_TIMEOUT_MS));

    EXPECT_EQ(0u, RefuseSecondStart(second));
    PumpFor(300);
    EXPECT_TRUE(IsIconic(app.window)) << "the first window was touched";
    EXPECT_EQ(1u, TopWindows("VELKOR_WND").size());
}

TEST_F(ShellE2E, SavesTheLogByteForByte)
{
    ASSERT_TRUE(PostLogText(app, "Pr\xFC" "fling 1"));
    ASSERT_TRUE(PostLogText(app, std::string(300, 'x')));
    std::vector<std::string> before = LogLines(app);
    ASSERT_EQ(3u, before.size());
    EXPECT_EQ("> ", before[1].substr(0, 2));
    EXPECT_EQ("Pr\xFC" "fling 1", before[1].substr(16));
    EXPECT_EQ(16u + 257u, before[2].size());

    std::string path = folder + "\\e2e.msg";
    PostCommand(app, IDM_SAVE_LOG);
    FileDialogView dialog;
    ASSERT_TRUE(AnswerBox(app.processId, ChooseFile(path, &dialog)));
    EXPECT_EQ("VELKOR Nachrichten speichern", dialog.caption);
    SeenBox question;
    ASSERT_TRUE(AnswerBox(app.processId, RecordBox(&question, IDNO)));
    EXPECT_EQ("Nachrichtenfenster loeschen?", question.text);
    ASSERT_TRUE(WaitForLogLine("Nachrichtendatei " + path + " gespeichert", DRIVER_TIMEOUT_MS, app));

    std::string expected;
    for (const std::string &line : before)
        expected += line + "\r\n";
    EXPECT_EQ(expected, ReadWholeFile(path));
}

TEST_F(ShellE2E, ForeignPointerInLogMessageDoesNotEndTheProgram)
{
    // A peer that posts its own pointer: not readable in Velkor, or garbage.
    PostMessageA(app.window, WM_USER + 22, (WPARAM)(ULONG_PTR)0x10, 0);
    PostMessageA(app.window, WM_USER + 22, (WPARAM)(ULONG_PTR)0xDEAD0000u, 0);
    PostMessageA(app.window, WM_USER + 22, (WPARAM) ~(ULONG_PTR)0xFFF, 0);
    ASSERT_TRUE(PumpUntil([&] { return LogLines(app).size() >= 4; }, DRIVER_TIMEOUT_MS));
    std::vector<std::string> lines = LogLines(app);
    for (size_t i = 1; i < lines.size(); i++)
        EXPECT_EQ("> ", lines[i].substr(0, 2)) << lines[i];
    EXPECT_TRUE(PostLogText(app, "weiter"));
    EXPECT_TRUE(WaitForLogLine("weiter", DRIVER_TIMEOUT_MS, app));
    DWORD code = 0;
    EXPECT_FALSE(WaitForExit(app, 0, &code));
}
