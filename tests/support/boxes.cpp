#include "boxes.h"

#include <deque>

#include "wait.h"

// State of the in-process answering, used only on the thread that started it.
static UINT_PTR answerTimer;
static std::deque<BoxAction> script;
static std::vector<BoxInfo> seen;
static std::vector<HWND> handled;

static std::string WindowText(HWND window)
{
    // WM_GETTEXT is marshalled across processes, unlike LB_GETTEXT.
    char text[4096];
    text[0] = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, NULL);
    return text;
}

static std::string ClassOf(HWND window)
{
    char name[64];
    if (!GetClassNameA(window, name, sizeof name))
        return std::string();
    return name;
}

static bool IsBoxClass(HWND window)
{
    return ClassOf(window) == "#32770";
}

struct IconSearch {
    HICON icon;
};

static BOOL CALLBACK FindIconChild(HWND child, LPARAM lParam)
{
    IconSearch *search = (IconSearch *)lParam;
    if (ClassOf(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(child)) {
        HICON icon = (HICON)SendMessageA(child, STM_GETICON, 0, 0);
        if (icon) {
            search->icon = icon;
            return FALSE;
        }
    }
    return TRUE;
}

UINT MessageBoxIcon(HWND box)
{
    IconSearch search = {NULL};
    EnumChildWindows(box, FindIconChild, (LPARAM)&search);
    if (!search.icon)
        return 0;
    if (search.icon == LoadIconA(NULL, IDI_HAND))
        return MB_ICONERROR;
    if (search.icon == LoadIconA(NULL, IDI_EXCLAMATION))
        return MB_ICONWARNING;
    if (search.icon == LoadIconA(NULL, IDI_QUESTION))
        return MB_ICONQUESTION;
    if (search.icon == LoadIconA(NULL, IDI_ASTERISK))
        return MB_ICONINFORMATION;
    return 0;
}

static bool HasButton(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

UINT MessageBoxButtons(HWND box)
{
    bool ok = HasButton(box, IDOK), cancel = HasButton(box, IDCANCEL), yes = HasButton(box, IDYES),
         no = HasButton(box, IDNO), retry = HasButton(box, IDRETRY), abort = HasButton(box, IDABORT),
         ignore = HasButton(box, IDIGNORE);
    if (yes && no && cancel)
        return MB_YESNOCANCEL;
    if (yes && no)
        return MB_YESNO;
    if (abort && retry && ignore)
        return MB_ABORTRETRYIGNORE;
    if (retry && cancel)
        return MB_RETRYCANCEL;
    if (ok && cancel)
        return MB_OKCANCEL;
    return MB_OK;
}

BoxInfo DescribeBox(HWND box)
{
    BoxInfo info;
    info.window = box;
    info.caption = WindowText(box);
    // Message boxes are dialogs of user32's own: their instance is user32's,
    // or null (64-bit Wine), never the module of the program that shows them.
    HINSTANCE owner = (HINSTANCE)GetWindowLongPtrA(box, GWLP_HINSTANCE);
    info.isMessageBox = owner == NULL || owner == GetModuleHandleA("user32.dll");
    if (info.isMessageBox) {
        HWND text = GetDlgItem(box, 0xFFFF);
        if (text)
            info.text = WindowText(text);
        info.style = MessageBoxIcon(box) | MessageBoxButtons(box);
    }
    return info;
}

void PressButton(HWND box, int buttonId)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), (LPARAM)GetDlgItem(box, buttonId));
}

BoxAction Press(int buttonId)
{
    return [buttonId](HWND box, const BoxInfo &) { PressButton(box, buttonId); };
}

static bool Handled(HWND window)
{
    for (HWND h : handled)
        if (h == window)
            return true;
    return false;
}

static BOOL CALLBACK FindNewBox(HWND window, LPARAM lParam)
{
    if (IsBoxClass(window) && IsWindowVisible(window) && IsWindowEnabled(window) && !Handled(window)) {
        *(HWND *)lParam = window;
        return FALSE;
    }
    return TRUE;
}

static void CALLBACK AnswerTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindNewBox, (LPARAM)&box);
    if (!box)
        return;
    // Forget windows that no longer exist, so a reused handle is seen anew.
    for (size_t i = handled.size(); i-- > 0;)
        if (!IsWindow(handled[i]))
            handled.erase(handled.begin() + i);
    handled.push_back(box);
    BoxInfo info = DescribeBox(box);
    if (script.empty()) {
        info.unexpected = true;
        seen.push_back(info);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
    }
    seen.push_back(info);
    BoxAction action = script.front();
    script.pop_front();
    action(box, info);
}

void StartBoxAnswering()
{
    if (!answerTimer)
        answerTimer = SetTimer(NULL, 0, 10, AnswerTimerProc);
}

void StopBoxAnswering()
{
    if (answerTimer)
        KillTimer(NULL, answerTimer);
    answerTimer = 0;
    script.clear();
    seen.clear();
    handled.clear();
}

void AnswerNextBox(BoxAction action) { script.push_back(action); }
void AnswerNextBoxWith(int buttonId) { script.push_back(Press(buttonId)); }
const std::vector<BoxInfo> &SeenBoxes() { return seen; }
void ClearSeenBoxes() { seen.clear(); }
size_t PendingAnswers() { return script.size(); }

struct ProcessBoxSearch {
    DWORD processId;
    const std::vector<HWND> *skip;
    HWND found;
};

static BOOL CALLBACK FindProcessBox(HWND window, LPARAM lParam)
{
    ProcessBoxSearch *search = (ProcessBoxSearch *)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->processId || !IsBoxClass(window) || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    for (HWND h : *search->skip)
        if (h == window)
            return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindBoxOfProcess(DWORD processId, const std::vector<HWND> &skip)
{
    ProcessBoxSearch search = {processId, &skip, NULL};
    EnumWindows(FindProcessBox, (LPARAM)&search);
    return search.found;
}

HWND WaitForBoxOfProcess(DWORD processId, DWORD timeoutMs, const std::vector<HWND> &skip)
{
    HWND box = NULL;
    PumpUntil([&] { return (box = FindBoxOfProcess(processId, skip)) != NULL; }, timeoutMs);
    return box;
}

BoxAction RecordBox(SeenBox *box, int button)
{
    return [box, button](HWND window, const BoxInfo &) {
        if (box) {
            box->seen = true;
            box->caption = WindowText(window);
            box->text = WindowText(GetDlgItem(window, 0xFFFF));
            box->style = MessageBoxIcon(window) | MessageBoxButtons(window);
            box->owner = GetWindow(window, GW_OWNER);
        }
        PressButton(window, button);
    };
}
