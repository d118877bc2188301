// A comctl32.dll planted beside velkor.exe never runs: the program takes its
// libraries from the system folder. CTest runs this with Wine told to search
// the program's folder first, as Windows does.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"

#include "support.h"

TEST(ShellPlanted, LibraryBesideTheProgramIsNotLoaded)
{
    ClearVelkorRegistry();
    std::string folder = TestFolder("planted");
    std::string marker = folder + "\\planted-comctl32-ran.txt";
    ASSERT_TRUE(CopyFileA(VELKOR_PLANT_DIR_WIN "\\comctl32.dll", (folder + "\\comctl32.dll").c_str(), FALSE));
    VelkorProcess app;
    ASSERT_TRUE(StartVelkorCopy(app, folder));
    EXPECT_TRUE(WaitForMainWindow(app)) << "no main window";

    HWND toolbar = GetDlgItem(app.window, IDC_TOOLBAR);
    HWND list = GetDlgItem(app.window, IDC_COMMAND_LIST);
    HWND log = GetDlgItem(app.window, IDC_MESSAGE_LOG);
    char name[64] = "";
    GetClassNameA(list, name, sizeof name);
    EXPECT_STREQ(WC_LISTVIEWA, name);
    EXPECT_EQ(13, SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
    EXPECT_TRUE(IsWindowVisible(log));
    EXPECT_TRUE(EndVelkorProcess(app));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(marker.c_str())) << "the planted library ran";
}
