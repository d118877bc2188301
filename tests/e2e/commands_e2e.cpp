// velkor.exe driven from outside as a user would: two commands typed into the
// command dialog, saved, a new empty list, the file loaded again.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"

#include "support.h"

class CommandsE2e : public ::testing::Test {
protected:
    VelkorProcess app;
    void SetUp() override
    {
        ClearVelkorRegistry();
        ASSERT_TRUE(StartVelkorProcess(app)) << GetLastError();
        ASSERT_TRUE(WaitForMainWindow(app));
    }
    void TearDown() override
    {
        EndVelkorProcess(app);
        ClearVelkorRegistry();
    }

    // "Komma&ndo zufuegen", the boxes filled as typed, OK.
    void AddCommand(const std::vector<std::string> &bytes, const char *remark)
    {
        int before = ListItemCount(app);
        PostCommand(app, IDM_ADD_COMMAND);
        SeenBox seen;
        HWND dialog = WaitForBox(app.processId, DRIVER_TIMEOUT_MS, &seen);
        ASSERT_TRUE(dialog);
        EXPECT_EQ("neues Kommando zufuegen", seen.caption);
        FillCommandDialog(bytes, remark)(dialog, seen);
        ASSERT_TRUE(PumpUntil([&] { return ListItemCount(app) == before + 1; }, DRIVER_TIMEOUT_MS));
    }

    bool SaveButtonEnabled()
    {
        int state = ButtonState(IDM_SAVE_COMMANDS_BUTTON, app);
        return state != -1 && (state & TBSTATE_ENABLED);
    }
};

TEST_F(CommandsE2e, TwoCommandsSavedClearedAndLoadedAgain)
{
    AddCommand({"1b", "5"}, "Reset");
    EXPECT_FALSE(SaveButtonEnabled()) << "one entry is not enough to offer saving";
    AddCommand({"ff"}, "");
    ASSERT_TRUE(PumpUntil([&] { return SaveButtonEnabled(); }, DRIVER_TIMEOUT_MS));
    std::vector<std::string> typed = {" 0x1B 0x05|Reset", " 0xFF|"};
    ASSERT_EQ(typed, ListEntries(app));

    std::string path = TestFolder("cmde2e") + "\\zwei.cmd";
    FileDialogView dialog;
    PostCommand(app, IDM_SAVE_COMMANDS);
    ASSERT_TRUE(AnswerBox(app.processId, ChooseFile(path, &dialog)));
    EXPECT_EQ("VELKOR Kommandodatei speichern", dialog.caption);
    ASSERT_TRUE(WaitForLogLine("Kommandodatei " + path + " gespeichert", DRIVER_TIMEOUT_MS, app));
    EXPECT_EQ(std::string(" 0x1B 0x05\0Reset\0 0xFF\0\0", 24), ReadWholeFile(path));

    PostCommand(app, IDM_NEW_COMMANDS);
    ASSERT_TRUE(PumpUntil([&] { return ListItemCount(app) == 0 && !SaveButtonEnabled(); }, DRIVER_TIMEOUT_MS));

    PostCommand(app, IDM_OPEN_COMMANDS);
    ASSERT_TRUE(AnswerBox(app.processId, ChooseFile(path, &dialog)));
    EXPECT_EQ("VELKOR Kommandodatei oeffnen", dialog.caption);
    ASSERT_TRUE(WaitForLogLine("Kommandodatei " + path + " geladen", DRIVER_TIMEOUT_MS, app));
    EXPECT_EQ(typed, ListEntries(app));
    EXPECT_TRUE(SaveButtonEnabled());

    PostCommand(app, IDM_EXIT);
    DWORD code = 1;
    ASSERT_TRUE(WaitForExit(app, DRIVER_TIMEOUT_MS, &code));
    EXPECT_EQ(0u, code);
    DeleteFileA(path.c_str());
}
