#include "support.h"

#include <dlgs.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <deque>

#include "resources/resource.h"

const int COMMAND_BYTE_BOXES[8] = {IDC_BYTE0, IDC_BYTE1, IDC_BYTE2, IDC_BYTE3,
                                   IDC_BYTE4, IDC_BYTE5, IDC_BYTE6, IDC_BYTE7};

// The in-process answering, used only on the thread that started it.
static UINT_PTR answerTimer;
static std::deque<BoxAction> script;
static std::vector<SeenBox> seenBoxes;
static std::vector<HWND> handled;

static std::string ClassOf(HWND window)
{
    char name[64];
    return GetClassNameA(window, name, sizeof name) ? name : "";
}

std::string WindowText(HWND window)
{
    char text[4096] = "";
    if (window)
        SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, NULL);
    return text;
}

static bool HasButton(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

static UINT MessageBoxButtons(HWND box)
{
    bool ok = HasButton(box, IDOK), cancel = HasButton(box, IDCANCEL), yes = HasButton(box, IDYES),
         no = HasButton(box, IDNO), retry = HasButton(box, IDRETRY), abort = HasButton(box, IDABORT),
         ignore = HasButton(box, IDIGNORE);
    if (yes && no)
        return cancel ? MB_YESNOCANCEL : MB_YESNO;
    if (abort && retry && ignore)
        return MB_ABORTRETRYIGNORE;
    if (retry && cancel)
        return MB_RETRYCANCEL;
    return ok && cancel ? MB_OKCANCEL : MB_OK;
}

static const LPCSTR SYSTEM_ICONS[4] = {IDI_HAND, IDI_EXCLAMATION, IDI_QUESTION, IDI_ASTERISK};
static const UINT ICON_FLAGS[4] = {MB_ICONERROR, MB_ICONWARNING, MB_ICONQUESTION, MB_ICONINFORMATION};

// A rectangle of the screen (icon null) or a system icon drawn on the given
// background, as colours row by row; empty when no bitmap can be had.
static std::vector<COLORREF> Pixels(int x, int y, int width, int height, LPCSTR icon, COLORREF background)
{
    std::vector<COLORREF> pixels;
    HDC screen = GetDC(NULL);
    HDC memory = screen ? CreateCompatibleDC(screen) : NULL;
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(screen, width, height) : NULL;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        bool drawn = !icon && BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY);
        if (icon) {
            HBRUSH brush = CreateSolidBrush(background);
            RECT all = {0, 0, width, height};
            FillRect(memory, &all, brush);
            DeleteObject(brush);
            drawn = DrawIconEx(memory, 0, 0, LoadIconA(NULL, icon), 0, 0, 0, NULL, DI_NORMAL) != FALSE;
        }
        for (int row = 0; drawn && row < height; row++)
            for (int column = 0; column < width; column++)
                pixels.push_back(GetPixel(memory, column, row));
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    if (memory)
        DeleteDC(memory);
    if (screen)
        ReleaseDC(NULL, screen);
    return pixels;
}

// Which system icon an icon static shows: its handle means nothing in another
// process, so its picture is compared with each icon drawn here (on the
// background its corner shows); 0 when none matches nearly exactly.
static UINT IconByPicture(HWND iconStatic)
{
    RECT client;
    POINT origin = {0, 0};
    if (!GetClientRect(iconStatic, &client) || !ClientToScreen(iconStatic, &origin) || client.right <= 0 ||
        client.bottom <= 0 || client.right > 256 || client.bottom > 256)
        return 0;
    std::vector<COLORREF> shown = Pixels(origin.x, origin.y, client.right, client.bottom, NULL, 0);
    long best = LONG_MAX, limit = 2L * 3 * client.right * client.bottom; // under 2 levels a channel
    UINT flag = 0;
    for (int i = 0; i < 4 && !shown.empty(); i++) {
        std::vector<COLORREF> drawn = Pixels(0, 0, client.right, client.bottom, SYSTEM_ICONS[i], shown[0]);
        long distance = drawn.size() == shown.size() ? 0 : LONG_MAX;
        for (size_t p = 0; distance != LONG_MAX && p < shown.size(); p++)
            distance += labs((long)GetRValue(shown[p]) - GetRValue(drawn[p])) +
                        labs((long)GetGValue(shown[p]) - GetGValue(drawn[p])) +
                        labs((long)GetBValue(shown[p]) - GetBValue(drawn[p]));
        if (distance < best) {
            best = distance;
            flag = ICON_FLAGS[i];
        }
    }
    return best <= limit ? flag : 0;
}

// Describes a box of any process (its icon by its picture).
static SeenBox DescribeBox(HWND box)
{
    SeenBox seen;
    seen.seen = true;
    seen.owner = GetWindow(box, GW_OWNER);
    seen.caption = WindowText(box);
    // A message box has one text static (id 0xFFFF), an icon static perhaps, and buttons IDOK to IDCONTINUE.
    HWND iconStatic = NULL, textStatic = NULL;
    int textStatics = 0, others = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        bool isStatic = lstrcmpiA(ClassOf(child).c_str(), "Static") == 0;
        int id = GetDlgCtrlID(child);
        if (isStatic && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            iconStatic = IsWindowVisible(child) ? child : iconStatic;
        } else if (isStatic && id == 0xFFFF) {
            textStatics++;
            textStatic = child;
        } else if (isStatic || lstrcmpiA(ClassOf(child).c_str(), "Button") != 0 || id < IDOK || id > IDCONTINUE) {
            others++;
        }
    }
    seen.isMessageBox = textStatics == 1 && others == 0;
    if (seen.isMessageBox) {
        seen.text = WindowText(textStatic);
        // The box may not be painted yet: an icon it has is looked at again for a while.
        UINT icon = 0;
        if (iconStatic && SendMessageA(iconStatic, STM_GETICON, 0, 0))
            PumpUntil([&] { return (icon = IconByPicture(iconStatic)) != 0; }, 3000);
        seen.style = icon | MessageBoxButtons(box);
    }
    return seen;
}

HWND FindBox(DWORD processId, DWORD threadId, const std::vector<HWND> &skip)
{
    for (HWND box : TopWindows("#32770", processId, threadId))
        if (IsWindowVisible(box) && IsWindowEnabled(box) && std::find(skip.begin(), skip.end(), box) == skip.end())
            return box;
    return NULL;
}

HWND WaitForBox(DWORD processId, DWORD timeoutMs, SeenBox *seen, const std::vector<HWND> &skip)
{
    HWND box = NULL;
    PumpUntil([&] { return (box = FindBox(processId, 0, skip)) != NULL; }, timeoutMs);
    if (box && seen)
        *seen = DescribeBox(box);
    return box;
}

bool AnswerBox(DWORD processId, BoxAction action, DWORD timeoutMs)
{
    SeenBox seen;
    HWND box = WaitForBox(processId, timeoutMs, &seen);
    if (!box)
        return false;
    action(box, seen);
    // Gone (a file dialog may instead be disabled by its overwrite question), so the next wait does not find it.
    PumpUntil([&] { return !IsWindow(box) || !IsWindowVisible(box) || !IsWindowEnabled(box); }, DRIVER_TIMEOUT_MS);
    return true;
}

void PressButton(HWND box, int buttonId)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), (LPARAM)GetDlgItem(box, buttonId));
}

static void CALLBACK AnswerTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    // Windows that no longer exist are forgotten, so a reused handle is seen anew.
    handled.erase(std::remove_if(handled.begin(), handled.end(), [](HWND h) { return !IsWindow(h); }), handled.end());
    HWND box = FindBox(GetCurrentProcessId(), GetCurrentThreadId(), handled);
    if (!box)
        return;
    handled.push_back(box);
    SeenBox seen = DescribeBox(box);
    seen.unexpected = script.empty();
    seenBoxes.push_back(seen);
    if (seen.unexpected) {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
    }
    BoxAction action = script.front();
    script.pop_front();
    if (action)
        action(box, seen);
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
    seenBoxes.clear();
    handled.clear();
}

void AnswerNextBox(BoxAction action) { script.push_back(action); }
void AnswerNextBoxWith(int buttonId) { script.push_back(RecordBox(NULL, buttonId)); }
const std::vector<SeenBox> &SeenBoxes() { return seenBoxes; }
void ClearSeenBoxes() { seenBoxes.clear(); }
size_t PendingAnswers() { return script.size(); }

void ExpectBox(const SeenBox &box, const std::string &caption, const std::string &text, UINT style)
{
    EXPECT_EQ(caption, box.caption) << box.text;
    EXPECT_EQ(text, box.text) << box.caption;
    EXPECT_EQ(style, box.style) << box.caption << ": " << box.text;
}

BoxAction RecordBox(SeenBox *box, int button)
{
    return [box, button](HWND window, const SeenBox &seen) {
        if (box)
            *box = seen;
        PressButton(window, button);
    };
}

BoxAction YesIfAskedThen(BoxAction next)
{
    return [next](HWND window, const SeenBox &seen) {
        if (!HasButton(window, IDYES))
            return next(window, seen);
        PressButton(window, IDYES);
        AnswerNextBox(next);
    };
}

std::string ControlText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }
bool ControlChecked(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool ControlEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
void ClickControl(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void PostKey(HWND window, UINT key)
{
    UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    PostMessageA(window, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageA(window, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}

BoxAction FillCommandDialog(const std::vector<std::string> &bytes, const char *remark, int button)
{
    std::string remarkText = remark ? remark : "";
    bool setRemark = remark != NULL;
    return [bytes, remarkText, setRemark, button](HWND dialog, const SeenBox &) {
        for (int k = 0; k < 8; k++)
            SetDlgItemTextA(dialog, COMMAND_BYTE_BOXES[k], k < (int)bytes.size() ? bytes[k].c_str() : "");
        if (setRemark)
            SetDlgItemTextA(dialog, IDC_REMARK, remarkText.c_str());
        if (button)
            PressButton(dialog, button);
    };
}

static BOOL CALLBACK FindEditChild(HWND child, LPARAM lParam)
{
    if (lstrcmpiA(ClassOf(child).c_str(), "Edit") != 0)
        return TRUE;
    *(HWND *)lParam = child;
    return FALSE;
}

// The edit field of a file dialog's name control (a ComboBoxEx32, a combo box or an edit), or null.
static HWND FileNameField(HWND dialog)
{
    HWND control = GetDlgItem(dialog, cmb13), edit = NULL;
    if (control)
        EnumChildWindows(control, FindEditChild, (LPARAM)&edit);
    return edit ? edit : control;
}

static FileDialogView ReadFileDialog(HWND dialog)
{
    FileDialogView view;
    view.seen = true;
    view.caption = WindowText(dialog);
    view.initialName = WindowText(FileNameField(dialog));
    view.filters = ListBoxEntries(GetDlgItem(dialog, cmb1), true);
    return view;
}

BoxAction ChooseFile(const std::string &path, FileDialogView *view, std::function<void(HWND)> before)
{
    return [path, view, before](HWND dialog, const SeenBox &) {
        if (view)
            *view = ReadFileDialog(dialog);
        if (before)
            before(dialog);
        if (path.empty()) {
            PressButton(dialog, IDCANCEL);
            return;
        }
        HWND field = FileNameField(dialog);
        DWORD_PTR result;
        ASSERT_TRUE(field && SendMessageTimeoutA(field, WM_SETTEXT, 0, (LPARAM)path.c_str(), SMTO_ABORTIFHUNG,
                                                 10000, &result))
            << "no file name field";
        // Posted, so that an in-process caller does not run the dialog's OK
        // handling (and the boxes it may raise) inside its own call.
        PressButton(dialog, IDOK);
    };
}

// A string-or-ordinal field of a dialog template: its text, or its number into *ordinal; returns what follows.
static const WORD *ReadField(const WORD *p, std::string *text, int *ordinal)
{
    if (*p == 0xFFFF) {
        *ordinal = p[1];
        return p + 2;
    }
    const WORD *start = p;
    while (*p)
        p++;
    char buffer[1024] = "";
    WideCharToMultiByte(1252, 0, (const wchar_t *)start, (int)(p - start), buffer, sizeof buffer - 1, NULL, NULL);
    *text = buffer;
    return p + 1;
}

static DWORD DwordAt(const WORD *p) { return p[0] | (DWORD)p[1] << 16; }

DialogTemplateView ReadDialogTemplate(int id, WORD language)
{
    DialogTemplateView view;
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC resource = FindResourceExA(module, (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(id), language);
    const WORD *base = resource ? (const WORD *)LockResource(LoadResource(module, resource)) : NULL;
    if (!base)
        return view;
    view.found = true;
    view.extended = base[0] == 1 && base[1] == 0xFFFF;
    // DLGTEMPLATEEX: version, signature, help id, extended style, style, count; DLGTEMPLATE: style, extended style, count.
    const WORD *p = view.extended ? base + 4 : base;
    view.exStyle = DwordAt(view.extended ? p : p + 2);
    view.style = DwordAt(view.extended ? p + 2 : p);
    WORD count = p[4];
    view.x = (short)p[5], view.y = (short)p[6], view.cx = (short)p[7], view.cy = (short)p[8];
    std::string menu, windowClass;
    int menuOrdinal = -1, classOrdinal = -1, unused = -1;
    p = ReadField(p + 9, &menu, &menuOrdinal);
    view.hasMenu = !menu.empty() || menuOrdinal >= 0;
    p = ReadField(p, &windowClass, &classOrdinal);
    view.hasClass = !windowClass.empty() || classOrdinal >= 0;
    p = ReadField(p, &view.title, &unused);
    if (view.style & DS_SETFONT) {
        view.pointSize = *p++;
        if (view.extended)
            p += 2; // weight, italic and character set
        p = ReadField(p, &view.font, &unused);
    }
    for (WORD i = 0; i < count; i++) {
        TemplateItem item;
        p = base + (((p - base) + 1) & ~(ptrdiff_t)1); // items start on a DWORD
        if (view.extended)
            p += 2; // help id
        item.exStyle = DwordAt(view.extended ? p : p + 2);
        item.style = DwordAt(view.extended ? p + 2 : p);
        item.x = (short)p[4], item.y = (short)p[5], item.cx = (short)p[6], item.cy = (short)p[7];
        item.id = view.extended ? (int)DwordAt(p + 8) : (short)p[8];
        std::string className;
        p = ReadField(p + (view.extended ? 10 : 9), &className, &item.classAtom);
        p = ReadField(p, &item.text, &item.textOrdinal);
        p = (const WORD *)((const BYTE *)(p + 1) + *p); // creation data
        view.items.push_back(item);
    }
    return view;
}
