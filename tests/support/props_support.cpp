#include "props_support.h"

#include <tlhelp32.h>
#include <string.h>

static const char PLANTED_NAME[] = "regedit.exe";
static const char MARKER_NAME[] = "planted-regedit-ran.txt";
static const char REGEDIT_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";

// Filled on the test's thread by the answers of AnswerAndRecord.
static std::vector<BoxInfo> recordedBoxes;

BoxInfo DescribeMessageBox(HWND box)
{
    BoxInfo info = DescribeBox(box);
    HWND text = GetDlgItem(box, 0xFFFF);
    if (!info.isMessageBox && text) {
        info.isMessageBox = true;
        info.text = ControlText(box, 0xFFFF);
        info.style = MessageBoxIcon(box) | MessageBoxButtons(box);
    }
    return info;
}

void AnswerAndRecord(int buttonId)
{
    AnswerNextBox([buttonId](HWND box, const BoxInfo &) {
        recordedBoxes.push_back(DescribeMessageBox(box));
        PressButton(box, buttonId);
    });
}

const std::vector<BoxInfo> &RecordedBoxes() { return recordedBoxes; }
void ClearRecordedBoxes() { recordedBoxes.clear(); }

std::string ControlText(HWND dialog, int id)
{
    // WM_GETTEXT is marshalled across processes.
    char text[1024];
    text[0] = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, NULL);
    return text;
}

bool ControlChecked(HWND dialog, int id)
{
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool ControlEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

void ClickControl(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void SetControlText(HWND dialog, int id, const char *text)
{
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, (LPARAM)text);
}

static std::string ImagePath(DWORD processId, const char *fallback)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return fallback;
    char path[MAX_PATH];
    DWORD size = sizeof path;
    std::string image = QueryFullProcessImageNameA(process, 0, path, &size) ? std::string(path, size) : fallback;
    CloseHandle(process);
    return image;
}

std::vector<ProcessEntry> ProcessesNamed(const char *name)
{
    std::vector<ProcessEntry> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        const char *base = strrchr(entry.szExeFile, '\\');
        base = base ? base + 1 : entry.szExeFile;
        if (lstrcmpiA(base, name) == 0)
            found.push_back({entry.th32ProcessID, ImagePath(entry.th32ProcessID, entry.szExeFile)});
    }
    CloseHandle(snapshot);
    return found;
}

std::vector<ProcessEntry> NewProcesses(const std::vector<ProcessEntry> &before, const std::vector<ProcessEntry> &now)
{
    std::vector<ProcessEntry> fresh;
    for (const ProcessEntry &p : now) {
        bool known = false;
        for (const ProcessEntry &q : before)
            known = known || q.id == p.id;
        if (!known)
            fresh.push_back(p);
    }
    return fresh;
}

bool EndProcess(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (!process)
        return false;
    bool ended = TerminateProcess(process, 0) && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

std::string SystemRegistryEditor()
{
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder)
        return std::string();
    return std::string(folder) + "\\regedit.exe";
}

std::string ProgramFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string folder(path, length < sizeof path ? length : 0);
    size_t slash = folder.find_last_of('\\');
    return slash == std::string::npos ? folder : folder.substr(0, slash);
}

std::string PlantedMarker(const std::string &folder)
{
    return folder + "\\" + MARKER_NAME;
}

std::string PlantRegistryEditor(const std::string &folder)
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    if (length == 0 || length >= sizeof self)
        return std::string();
    std::string planted = folder + "\\" + PLANTED_NAME;
    DeleteFileA(PlantedMarker(folder).c_str());
    if (!CopyFileA(self, planted.c_str(), FALSE))
        return std::string();
    return planted;
}

void RemovePlanted(const std::string &folder)
{
    DeleteFileA((folder + "\\" + PLANTED_NAME).c_str());
    DeleteFileA(PlantedMarker(folder).c_str());
}

bool ExitIfPlanted()
{
    std::string folder = ProgramFolder();
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return false;
    const char *base = strrchr(path, '\\');
    base = base ? base + 1 : path;
    if (lstrcmpiA(base, PLANTED_NAME) != 0)
        return false;
    HANDLE marker = CreateFileA(PlantedMarker(folder).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    ExitProcess(0);
    return true;
}

void DeleteRegistryEditorLastKey()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, REGEDIT_KEY, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, "LastKey");
    RegCloseKey(key);
}

bool ReadRegistryEditorLastKey(DWORD *type, std::string *data)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, REGEDIT_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char buffer[512];
    DWORD size = sizeof buffer;
    LONG result = RegQueryValueExA(key, "LastKey", NULL, type, (BYTE *)buffer, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return false;
    data->assign(buffer, size);
    return true;
}
