// A comctl32.dll planted beside velkor.exe never runs: the program takes its
// libraries from the system folder. CTest runs this with Wine told to search
// the program's folder first, as Windows does.
#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"
#include "support.h"

TEST(ShellPlanted, LibraryBesideTheProgramIsNotLoaded)
{
    ClearVelkorRegistry();
    std::string folder = TestFolder("planted");
    ASSERT_TRUE(CopyFileA(VELKOR_PLANT_DIR_WIN "\\comctl32.dll", (folder + "\\comctl32.dll").c_str(), FALSE));
    VelkorProcess app;
    ASSERT_TRUE(StartVelkorCopy(app, folder));
    EXPECT_TRUE(WaitForMainWindow(app)) << "no main window";

    char name[64] = "";
    GetClassNameA(GetDlgItem(app.window, IDC_COMMAND_LIST), name, sizeof name);
    EXPECT_STREQ(WC_LISTVIEWA, name);
    EXPECT_EQ(13, SendMessageA(GetDlgItem(app.window, IDC_TOOLBAR), TB_BUTTONCOUNT, 0, 0));
    // The log's visibility flag is off while it holds its drawing between frames: its class tells it is there.
    GetClassNameA(GetDlgItem(app.window, IDC_MESSAGE_LOG), name, sizeof name);
    EXPECT_STREQ("ListBox", name);
    EXPECT_TRUE(EndVelkorProcess(app));
    EXPECT_FALSE(FolderLists(folder + "\\planted-comctl32-ran.txt")) << "the planted library ran";
}
