#include "files.h"

#include <windows.h>
#include <stdio.h>

void ClearVelkorRegistry()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Talmeck\\Velkor");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Talmeck");
}

std::string UniqueName(const char *stem)
{
    static int counter;
    char name[128];
    snprintf(name, sizeof name, "%s-%lu-%lu-%d", stem, GetCurrentProcessId(), GetTickCount(), ++counter);
    return name;
}

std::string TestFolder(const char *stem)
{
    char base[MAX_PATH];
    DWORD length = GetTempPathA(sizeof base, base);
    if (length == 0 || length >= sizeof base)
        lstrcpyA(base, "C:\\");
    std::string folder = std::string(base) + UniqueName(stem);
    CreateDirectoryA(folder.c_str(), NULL);
    return folder;
}

std::string ReadWholeFile(const std::string &path)
{
    std::string data;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return data;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        data.append(chunk, got);
    CloseHandle(file);
    return data;
}

bool StartUnixProgram(const std::string &commandLine)
{
    // Its path is given with the drive of the Unix root, since file dialogs
    // move the current drive.
    std::string line = (commandLine.size() && commandLine[0] == '/' ? "Z:" : "") + commandLine;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    // Wine runs a Linux executable as a process of its own and has no
    // handles for it: Wine 8 leaves hProcess and hThread holding whatever
    // its stack held, so closing them would close handles of this process
    // (once the directory of named objects, after which no named mutex could
    // be created). They are left alone.
    return CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process) != FALSE;
}
