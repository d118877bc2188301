#include "device_session.h"

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>

#include "app/mainwindow.h"
#include "app/messagelog.h"
#include "app/shell.h"
#include "boxes.h"
#include "device/connection.h"
#include "device/receiver.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "testapp.h"
#include "wait.h"
#include "app/appwindows.h"
#include "app/controls.h"
#include "device/devicehandle.h"
#include "device/receivebuffer.h"

void StartDeviceApp()
{
    ClearVelkorRegistry();
    StartBoxAnswering();
    StartTestApp();
}

void StopDeviceApp()
{
    StopTestApp();
    StopBoxAnswering();
    ClearVelkorRegistry();
}

void UseDevice(const std::string &connectString, uint32_t blockLength, uint32_t readTimeoutMs, uint16_t endByte)
{
    DeviceSettings &settings = Settings();
    ReplaceConnectString(connectString.c_str());
    settings.readBlockLength = blockLength;
    settings.readTimeoutMs = readTimeoutMs;
    settings.readEndByte = endByte;
    AllocateReceiveBuffer(blockLength);
    // As after "Device waehlen".
    UpdateTitle();
    RefreshDeviceControls();
}

bool OpenFromToolbar()
{
    RunCommand(IDM_OPEN_DEVICE_BUTTON);
    return DeviceIsOpen() && WaitForLogLine("Device " + std::string(Settings().connectString) + " geoeffnet", 2000);
}

void CloseFromToolbar()
{
    RunCommand(IDM_CLOSE_DEVICE_BUTTON);
}

int FindLogLine(const std::vector<std::string> &lines, const std::string &text, size_t from)
{
    for (size_t i = from; i < lines.size(); i++)
        if (lines[i].size() >= 16 && lines[i].compare(16, text.size(), text) == 0)
            return (int)i;
    return -1;
}

bool WaitForLogLine(const std::string &text, DWORD timeoutMs)
{
    return PumpUntil([&] { return FindLogLine(LogLines(), text) >= 0; }, timeoutMs);
}

std::vector<Bytes> WaitForBlocks(size_t count, DWORD timeoutMs)
{
    std::vector<Bytes> blocks;
    PumpUntil(
        [&] {
            blocks = ReceivedBlocks(LogLines());
            return blocks.size() >= count;
        },
        timeoutMs);
    return blocks;
}

long LineTime(const std::string &line)
{
    if (line.size() < 16)
        return -1;
    int h = atoi(line.substr(2, 2).c_str()), m = atoi(line.substr(5, 2).c_str()),
        s = atoi(line.substr(8, 2).c_str()), ms = atoi(line.substr(11, 3).c_str());
    return ((h * 60L + m) * 60L + s) * 1000L + ms;
}

HWND WaitForThreadBox(DWORD timeoutMs)
{
    return WaitForBoxOfProcess(GetCurrentProcessId(), timeoutMs);
}

void SelectEntry(int index)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(CommandList(), LVM_SETITEMSTATE, (WPARAM)index, (LPARAM)&item);
    SendMessageA(CommandList(), LVM_SETSELECTIONMARK, 0, (LPARAM)index);
}

HANDLE StartEchoDevice(const std::string &name, DWORD statusMs)
{
    char command[1024];
    snprintf(command, sizeof command, "\"%s\\velkor-echo.exe\" /pipe %s /status %lu /quiet", VELKOR_BUILD_DIR_WIN,
             name.c_str(), (unsigned long)statusMs);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi)) {
        printf("cannot start %s: error %lu\n", command, GetLastError());
        return NULL;
    }
    CloseHandle(pi.hThread);
    std::string path = "\\\\.\\pipe\\" + name;
    if (!PumpUntil([&] { return WaitNamedPipeA(path.c_str(), 0) || GetLastError() == ERROR_SEM_TIMEOUT; }, 10000)) {
        printf("velkor-echo does not serve %s\n", path.c_str());
        StopEchoDevice(pi.hProcess);
        return NULL;
    }
    return pi.hProcess;
}

void StopEchoDevice(HANDLE process)
{
    if (!process)
        return;
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

ULONGLONG ThreadMilliseconds(DWORD threadId)
{
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (!thread)
        return 0;
    FILETIME created, exited, kernel, user;
    BOOL read = GetThreadTimes(thread, &created, &exited, &kernel, &user);
    CloseHandle(thread);
    if (!read)
        return 0;
    return (((ULONGLONG)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime) +
            ((ULONGLONG)user.dwHighDateTime << 32 | user.dwLowDateTime)) /
           10000;
}
