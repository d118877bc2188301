// Another program posts WMU_BLOCK_RECEIVED to Velkor's window with addresses
// and lengths of its own choosing: Velkor logs none of it, stays up, and still
// logs the blocks its own reader hands over.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include "base/appwindows.h"
#include "resources/resource.h"
#include "support.h"

static void PresetDevice(const std::string &connectString, DWORD blockLength)
{
    PutVelkorValue("connectstring", REG_SZ, Bytes(connectString.begin(), connectString.end()));
    PutVelkorValue("readblocklen", REG_DWORD, DwordBytes(blockLength));
}

static HMODULE FirstModule(HANDLE process)
{
    HMODULE modules[1];
    DWORD needed = 0;
    if (!EnumProcessModules(process, modules, sizeof modules, &needed) || needed == 0)
        return NULL;
    return modules[0];
}

TEST(DeviceForged, ForgedHandOversFromAnotherProgramAreIgnored)
{
    ClearVelkorRegistry();
    DevicePeer *peer = StartPipePeer(UniqueName("velkor-forged"));
    PresetDevice(PeerConnectString(peer), 3);
    VelkorProcess app;
    ASSERT_TRUE(StartVelkorProcess(app));
    ASSERT_TRUE(WaitForMainWindow(app));
    HWND window = app.window;

    HMODULE image = FirstModule(app.process);
    ASSERT_TRUE(image != NULL);
    std::vector<std::pair<WPARAM, LPARAM>> forged = {
        {(WPARAM)image, 16},          // readable: the program's own image ("MZ...")
        {(WPARAM)image + 0x1000, 64}, // its code
        {(WPARAM)image, 3},
        {0, 3},
        {1, 1},
        {(WPARAM)-4096, 3},           // never mapped
        {(WPARAM)image, -1},
        {(WPARAM)image, 0x7FFFFFFF},
    };
    // Before the device is open (no reader yet) ...
    for (const auto &f : forged)
        PostMessageA(window, WMU_BLOCK_RECEIVED, f.first, f.second);
    ASSERT_TRUE(PostLogText(app, "vor dem Oeffnen")) << "the forged messages were handled";

    // ... and while the reader runs.
    PostCommand(app, IDM_OPEN_DEVICE_BUTTON);
    ASSERT_TRUE(PumpUntil([&] { return PeerConnected(peer); }, 10000));
    for (int round = 0; round < 50; round++)
        for (const auto &f : forged)
            PostMessageA(window, WMU_BLOCK_RECEIVED, f.first, f.second);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03 04 05 06")));
    std::vector<Bytes> blocks;
    PumpUntil(
        [&] {
            blocks = ReceivedBlocks(LogLines(app));
            return blocks.size() >= 2;
        },
        10000);
    for (const auto &f : forged)
        PostMessageA(window, WMU_BLOCK_RECEIVED, f.first, f.second);
    ASSERT_TRUE(PostLogText(app, "zuletzt")) << "the forged messages were handled";

    blocks = ReceivedBlocks(LogLines(app));
    ASSERT_EQ(2u, blocks.size());
    EXPECT_EQ(HexBytes("01 02 03"), blocks[0]);
    EXPECT_EQ(HexBytes("04 05 06"), blocks[1]);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(app.process, &code) && code == STILL_ACTIVE) << "Velkor is still running";

    PostCommand(app, IDM_EXIT);
    EXPECT_TRUE(WaitForExit(app, 10000, &code));
    EXPECT_EQ(0u, code);
    EndVelkorProcess(app);
    StopPeer(peer);
    ClearVelkorRegistry();
}
