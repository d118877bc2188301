#include "commands_support.h"

#include <commctrl.h>

#include <map>

#include "app/shell.h"
#include "testapp.h"
#include "app/appwindows.h"

const int COMMAND_BYTE_BOXES[8] = {1003, 1006, 1007, 1008, 1009, 1010, 1011, 1016};

static const int REMARK_BOX = 1005;
static const int FILE_NAME_ID = 0x47C;
static const int FILE_TYPE_ID = 0x470;

static std::string TextOf(HWND window)
{
    char text[1024];
    text[0] = 0;
    if (window)
        GetWindowTextA(window, text, sizeof text);
    return text;
}

CommandDialogView ReadCommandDialog(HWND dialog)
{
    CommandDialogView view;
    view.seen = true;
    view.title = TextOf(dialog);
    for (int k = 0; k < 8; k++)
        view.bytes[k] = TextOf(GetDlgItem(dialog, COMMAND_BYTE_BOXES[k]));
    view.remark = TextOf(GetDlgItem(dialog, REMARK_BOX));
    GetWindowRect(dialog, &view.rect);
    HWND focus = GetFocus();
    view.focusId = focus && GetParent(focus) == dialog ? GetDlgCtrlID(focus) : 0;
    return view;
}

BoxAction FillCommandDialog(const std::vector<std::string> &bytes, const char *remark, int button,
                            CommandDialogView *view)
{
    std::string remarkText = remark ? remark : "";
    bool setRemark = remark != NULL;
    return [bytes, remarkText, setRemark, button, view](HWND dialog, const BoxInfo &) {
        if (view)
            *view = ReadCommandDialog(dialog);
        for (int k = 0; k < 8; k++)
            SetDlgItemTextA(dialog, COMMAND_BYTE_BOXES[k], k < (int)bytes.size() ? bytes[k].c_str() : "");
        if (setRemark)
            SetDlgItemTextA(dialog, REMARK_BOX, remarkText.c_str());
        if (button)
            PressButton(dialog, button);
    };
}

struct FieldSearch {
    HWND found;
};

static BOOL CALLBACK FindNameEdit(HWND child, LPARAM lParam)
{
    char name[32];
    if (GetDlgCtrlID(child) == FILE_NAME_ID && GetClassNameA(child, name, sizeof name) && lstrcmpiA(name, "Edit") == 0) {
        ((FieldSearch *)lParam)->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND FileNameField(HWND dialog)
{
    FieldSearch search = {NULL};
    EnumChildWindows(dialog, FindNameEdit, (LPARAM)&search);
    return search.found;
}

static FileDialogView ReadFileDialog(HWND dialog)
{
    FileDialogView view;
    view.seen = true;
    view.caption = TextOf(dialog);
    view.initialName = TextOf(FileNameField(dialog));
    HWND types = GetDlgItem(dialog, FILE_TYPE_ID);
    LRESULT count = types ? SendMessageA(types, CB_GETCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; i++) {
        char text[256];
        text[0] = 0;
        LRESULT length = SendMessageA(types, CB_GETLBTEXTLEN, (WPARAM)i, 0);
        if (length >= 0 && length < (LRESULT)sizeof text)
            SendMessageA(types, CB_GETLBTEXT, (WPARAM)i, (LPARAM)text);
        view.filters.push_back(text);
    }
    return view;
}

BoxAction ChooseFile(const std::string &path, FileDialogView *view)
{
    return [path, view](HWND dialog, const BoxInfo &) {
        if (view)
            *view = ReadFileDialog(dialog);
        HWND field = FileNameField(dialog);
        if (field)
            SendMessageA(field, WM_SETTEXT, 0, (LPARAM)path.c_str());
        PressButton(dialog, IDOK);
    };
}

BoxAction CancelFileDialog(FileDialogView *view)
{
    return [view](HWND dialog, const BoxInfo &) {
        if (view)
            *view = ReadFileDialog(dialog);
        PressButton(dialog, IDCANCEL);
    };
}

BoxAction YesIfAskedThen(BoxAction next)
{
    return [next](HWND window, const BoxInfo &info) {
        HWND yes = GetDlgItem(window, IDYES);
        if (yes && IsWindowVisible(yes)) {
            PressButton(window, IDYES);
            AnswerNextBox(next);
            return;
        }
        next(window, info);
    };
}

SharedFolder MakeSharedFolder(const char *stem)
{
    std::string name = UniqueName(stem);
    SharedFolder folder;
    folder.windows = std::string(VELKOR_BUILD_DIR_WIN) + "\\tests\\" + name;
    folder.unix = std::string(VELKOR_BUILD_DIR_UNIX) + "/tests/" + name;
    CreateDirectoryA(folder.windows.c_str(), NULL);
    return folder;
}

bool FolderLists(const std::string &folder, const char *name)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + name).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

void RemoveSharedFolder(const SharedFolder &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder.windows + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((folder.windows + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    // Links to devices are not removed through Wine; the Linux tool does it.
    if (!RemoveDirectoryA(folder.windows.c_str()))
        StartUnixProgram("/bin/rm -rf " + folder.unix);
}

// Delayed work of this thread, by timer id.
static std::map<UINT_PTR, std::function<void()>> delayed;

static void CALLBACK DelayedTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(NULL, id);
    auto found = delayed.find(id);
    if (found == delayed.end())
        return;
    std::function<void()> f = found->second;
    delayed.erase(found);
    f();
}

void AfterDelay(DWORD ms, std::function<void()> f)
{
    UINT_PTR id = SetTimer(NULL, 0, ms, DelayedTimerProc);
    if (id)
        delayed[id] = f;
}

void PostKey(HWND window, UINT key)
{
    UINT scan = MapVirtualKeyA(key, 0);
    PostMessageA(window, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageA(window, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
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

std::vector<std::string> ListEntries()
{
    std::vector<std::string> entries;
    int count = (int)SendMessageA(CommandList(), LVM_GETITEMCOUNT, 0, 0);
    for (int n = 0; n < count; n++)
        entries.push_back(ListText(n, 0) + "|" + ListText(n, 1));
    return entries;
}

void MarkEntry(int n)
{
    HWND list = CommandList();
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = n >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    SendMessageA(list, LVM_SETITEMSTATE, n >= 0 ? (WPARAM)n : (WPARAM)-1, (LPARAM)&item);
    SendMessageA(list, LVM_SETSELECTIONMARK, 0, n);
}

std::vector<std::string> LogTexts()
{
    std::vector<std::string> texts;
    for (const std::string &line : LogLines())
        texts.push_back(line.size() > 16 ? line.substr(16) : std::string());
    return texts;
}
