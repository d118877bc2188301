// Another program posts WMU_BLOCK_RECEIVED to Velkor's window with addresses
// and lengths of its own choosing: Velkor logs none of it, stays up, and still
// logs the blocks its own reader hands over.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "device_peer.h"
#include "wait.h"

static const UINT WMU_BLOCK_RECEIVED_MESSAGE = WM_USER + 21;
static const int OPEN_DEVICE = 1043;
static const int EXIT_PROGRAM = 105;
static const int MESSAGE_LOG_ID = 26;

static void ClearRegistry()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Talmeck\\Velkor");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Talmeck");
}

static void PresetDevice(const std::string &connectString, DWORD blockLength)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Talmeck\\Velkor", 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExA(key, "connectstring", 0, REG_SZ, (const BYTE *)connectString.c_str(),
                   (DWORD)connectString.size());
    RegSetValueExA(key, "readblocklen", 0, REG_DWORD, (const BYTE *)&blockLength, 4);
    RegCloseKey(key);
}

// The log's lines, read across processes as UTF-16 (see the Wine notes).
static std::vector<std::string> RemoteLogLines(HWND log)
{
    std::vector<std::string> lines;
    LRESULT count = SendMessageW(log, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendMessageW(log, LB_GETTEXTLEN, (WPARAM)i, 0);
        if (length < 0 || length > 4000)
            continue;
        std::vector<wchar_t> wide((size_t)length + 16);
        SendMessageW(log, LB_GETTEXT, (WPARAM)i, (LPARAM)wide.data());
        char text[8192];
        int n = WideCharToMultiByte(1252, 0, wide.data(), -1, text, sizeof text, NULL, NULL);
        lines.push_back(n > 0 ? std::string(text) : std::string());
    }
    return lines;
}

static std::string PipeName()
{
    char name[96];
    snprintf(name, sizeof name, "velkor-forged-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    return name;
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
    ClearRegistry();
    DevicePeer *peer = StartPipePeer(PipeName());
    PresetDevice(PeerConnectString(peer), 3);

    char command[MAX_PATH + 8];
    snprintf(command, sizeof command, "\"%s\\velkor.exe\"", VELKOR_BUILD_DIR_WIN);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, VELKOR_BUILD_DIR_WIN, &si, &pi));
    HWND window = NULL, log = NULL;
    ASSERT_TRUE(PumpUntil(
        [&] {
            window = FindWindowA("VELKOR_WND", NULL);
            log = window ? GetDlgItem(window, MESSAGE_LOG_ID) : NULL;
            return log != NULL && IsWindowVisible(window) && SendMessageW(log, LB_GETCOUNT, 0, 0) >= 1;
        },
        20000));

    HMODULE image = FirstModule(pi.hProcess);
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
        PostMessageA(window, WMU_BLOCK_RECEIVED_MESSAGE, f.first, f.second);
    PumpFor(200);

    // ... and while the reader runs.
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(OPEN_DEVICE, 0), 0);
    ASSERT_TRUE(PumpUntil([&] { return PeerConnected(peer); }, 10000));
    for (int round = 0; round < 50; round++)
        for (const auto &f : forged)
            PostMessageA(window, WMU_BLOCK_RECEIVED_MESSAGE, f.first, f.second);
    ASSERT_TRUE(PeerWrite(peer, HexBytes("01 02 03 04 05 06")));
    std::vector<Bytes> blocks;
    PumpUntil(
        [&] {
            blocks = ReceivedBlocks(RemoteLogLines(log));
            return blocks.size() >= 2;
        },
        10000);
    for (const auto &f : forged)
        PostMessageA(window, WMU_BLOCK_RECEIVED_MESSAGE, f.first, f.second);
    PumpFor(500);

    blocks = ReceivedBlocks(RemoteLogLines(log));
    ASSERT_EQ(2u, blocks.size());
    EXPECT_EQ(HexBytes("01 02 03"), blocks[0]);
    EXPECT_EQ(HexBytes("04 05 06"), blocks[1]);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code) && code == STILL_ACTIVE) << "Velkor is still running";

    PostMessageA(window, WM_COMMAND, MAKEWPARAM(EXIT_PROGRAM, 0), 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 10000));
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    StopPeer(peer);
    ClearRegistry();
}
