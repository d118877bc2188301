#include "device_session.h"

#include <stdlib.h>

#include "app/messagelog.h"
#include "app/shell.h"
#include "boxes.h"
#include "device/connection.h"
#include "device/receiver.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "testapp.h"
#include "wait.h"

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
