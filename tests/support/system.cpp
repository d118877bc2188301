#include "support.h"

#include <psapi.h>
#include <algorithm>
#include <stdio.h>
#include <string.h>
#include <tlhelp32.h>

static const char PLANTED_NAME[] = "regedit.exe";

void PumpPending()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool PumpUntil(const std::function<bool()> &condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        PumpPending();
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjectsEx(0, NULL, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }

void ClearVelkorRegistry()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Talmeck\\Velkor");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Talmeck");
}

void PutVelkorValue(const char *name, DWORD type, const Bytes &data)
{
    // RegSetValueExA adds a terminator to a text whose counted bytes are followed
    // by a zero in memory (Windows NT does so, and Wine with it): a non-zero byte follows them here.
    Bytes copy(data);
    copy.push_back(0xEE);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Talmeck\\Velkor", 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &key, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, &copy[0], (DWORD)data.size())) << name;
    RegCloseKey(key);
}

bool GetVelkorValue(const char *name, Bytes *data, DWORD *type)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Talmeck\\Velkor", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    unsigned char buffer[1024];
    DWORD size = sizeof buffer;
    LONG result = RegQueryValueExA(key, name, NULL, type, buffer, &size);
    RegCloseKey(key);
    if (result == ERROR_SUCCESS)
        data->assign(buffer, buffer + size);
    return result == ERROR_SUCCESS;
}

Bytes DwordBytes(uint32_t v)
{
    return Bytes{(unsigned char)v, (unsigned char)(v >> 8), (unsigned char)(v >> 16), (unsigned char)(v >> 24)};
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

std::string FullVolumeFolder(const char *stem)
{
    std::string folder = "R:\\" + UniqueName(stem);
    return CreateDirectoryA(folder.c_str(), NULL) ? folder : std::string();
}

std::string FillVolume(const std::string &folder, DWORD leave)
{
    std::string path = folder + "\\filler.bin";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    static const char chunk[4096] = {0};
    DWORD written = sizeof chunk;
    LONGLONG size = 0;
    while (WriteFile(file, chunk, sizeof chunk, &written, NULL) && written == sizeof chunk)
        size += written;
    size += written;
    LARGE_INTEGER end;
    end.QuadPart = size > (LONGLONG)leave ? size - leave : 0;
    bool done = SetFilePointerEx(file, end, NULL, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return done ? path : std::string();
}

std::vector<std::string> FolderFiles(const std::string &folder, const char *pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadWholeFile(const std::string &path)
{
    std::string data;
    // The program logs that it saved a file before it closes it, and holds it
    // unshared until then: wait for the close.
    DWORD start = GetTickCount();
    HANDLE file;
    while ((file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL)) == INVALID_HANDLE_VALUE &&
           GetLastError() == ERROR_SHARING_VIOLATION && GetTickCount() - start < 5000)
        Sleep(1);
    if (file == INVALID_HANDLE_VALUE)
        return data;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        data.append(chunk, got);
    CloseHandle(file);
    return data;
}

bool WriteWholeFile(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool FolderLists(const std::string &path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

std::string UnixPath(const std::string &windowsPath)
{
    // Wine's own path converter; the caller frees what it returns.
    typedef char *(CDECL * UnixNameFn)(const WCHAR *);
    UnixNameFn unixName =
        (UnixNameFn)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    WCHAR wide[MAX_PATH];
    if (!unixName || !MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH))
        return std::string();
    char *path = unixName(wide);
    std::string result = path ? path : "";
    if (path)
        HeapFree(GetProcessHeap(), 0, path);
    return result;
}

bool StartUnixProgram(const std::string &commandLine)
{
    // Its path is given with the drive of the Unix root, since file dialogs
    // move the current drive.
    std::string line = (commandLine.size() && commandLine[0] == '/' ? "Z:" : "") + commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    // Wine has no handles for a Linux process: hProcess and hThread hold stale
    // values, and closing them once closed a handle of this process. They are left alone.
    return CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process) != FALSE;
}

// The running program's full path; empty when it does not fit.
static std::string ProgramPath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

std::string ProgramFolder()
{
    std::string path = ProgramPath();
    return path.substr(0, path.find_last_of('\\'));
}

std::vector<ProcessEntry> ProcessesNamed(const char *name, const std::vector<ProcessEntry> &except)
{
    std::vector<ProcessEntry> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        const char *base = strrchr(entry.szExeFile, '\\');
        bool known = false;
        for (const ProcessEntry &p : except)
            known = known || p.id == entry.th32ProcessID;
        if (known || lstrcmpiA(base ? base + 1 : entry.szExeFile, name) != 0)
            continue;
        std::string image = entry.szExeFile;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        char path[MAX_PATH];
        DWORD size = sizeof path;
        if (process && QueryFullProcessImageNameA(process, 0, path, &size))
            image.assign(path, size);
        if (process)
            CloseHandle(process);
        found.push_back({entry.th32ProcessID, image});
    }
    CloseHandle(snapshot);
    return found;
}

bool EndProcess(DWORD processId)
{
    VelkorProcess process = {OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId), processId, NULL};
    return process.process && EndVelkorProcess(process);
}

std::string SystemRegistryEditor()
{
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    return length == 0 || length >= sizeof folder ? std::string() : std::string(folder) + "\\regedit.exe";
}

std::string PlantedMarker(const std::string &folder) { return folder + "\\planted-regedit-ran.txt"; }

std::string PlantRegistryEditor(const std::string &folder)
{
    std::string planted = folder + "\\" + PLANTED_NAME;
    DeleteFileA(PlantedMarker(folder).c_str());
    return CopyFileA(ProgramPath().c_str(), planted.c_str(), FALSE) ? planted : std::string();
}

void RemovePlanted(const std::string &folder)
{
    DeleteFileA((folder + "\\" + PLANTED_NAME).c_str());
    DeleteFileA(PlantedMarker(folder).c_str());
}

bool ExitIfPlanted()
{
    std::string path = ProgramPath();
    if (lstrcmpiA(path.substr(path.find_last_of('\\') + 1).c_str(), PLANTED_NAME) != 0)
        return false;
    WriteWholeFile(PlantedMarker(ProgramFolder()), "");
    ExitProcess(0);
}

ULONGLONG ThreadMilliseconds(DWORD threadId)
{
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    FILETIME created, exited, kernel, user;
    BOOL read = thread && GetThreadTimes(thread, &created, &exited, &kernel, &user);
    if (thread)
        CloseHandle(thread);
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}}, u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return read ? (k.QuadPart + u.QuadPart) / 10000 : 0;
}

ResourceUse MeasureResources()
{
    ResourceUse use = {0, 0, 0};
    // Wine answers GetProcessHandleCount with 0: then the open handle values are probed.
    DWORD flags;
    if (!GetProcessHandleCount(GetCurrentProcess(), &use.handles) || use.handles == 0)
        for (ULONG_PTR value = 4; value < 0x10000; value += 4)
            use.handles += GetHandleInformation((HANDLE)value, &flags) ? 1 : 0;
    // Wine fills only PagefileUsage, which Windows keeps equal to PrivateUsage.
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        use.privateBytes = counters.PagefileUsage;
    HANDLE heap = GetProcessHeap();
    if (HeapLock(heap)) {
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                use.heapBytes += entry.cbData;
        HeapUnlock(heap);
    }
    return use;
}

std::string ClipboardText(UINT format)
{
    // Another program (or the program under test) may hold the clipboard for a moment.
    if (!PumpUntil([] { return OpenClipboard(NULL) != 0; }, 5000))
        return "(busy)";
    std::string text = "(none)";
    HANDLE data = GetClipboardData(format);
    const char *bytes = data ? (const char *)GlobalLock(data) : NULL;
    if (bytes) {
        text.assign(bytes, format == CF_UNICODETEXT ? wcslen((const wchar_t *)bytes) * 2 : strlen(bytes));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}
