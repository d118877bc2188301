#include "driver.h"

#include <commctrl.h>
#include <functional>
#include <limits.h>
#include <stdlib.h>

#include "app/appwindows.h"
#include "wait.h"

// Child ids of the main window.
static const int TOOLBAR_ID = 801;
static const int COMMAND_LIST_ID = 25;
static const int MESSAGE_LOG_ID = 26;
static const int FILE_NAME_CONTROL_ID = 0x47C;
// A sent message that takes longer than this means the program hangs.
static const UINT SEND_TIMEOUT_MS = 10000;

static LRESULT SendA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result))
        return -1;
    return (LRESULT)result;
}

static LRESULT SendW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result))
        return -1;
    return (LRESULT)result;
}

static bool StillRunning(const VelkorProcess &app)
{
    return app.process && WaitForSingleObject(app.process, 0) == WAIT_TIMEOUT;
}

bool StartVelkorProcess(VelkorProcess &app, const std::string &workingDir)
{
    std::string exe = VELKOR_BUILD_DIR_WIN "\\velkor.exe";
    std::string commandLine = "\"" + exe + "\"";
    std::string folder = workingDir.empty() ? std::string(VELKOR_BUILD_DIR_WIN) : workingDir;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    if (!CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, folder.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    app.process = info.hProcess;
    app.processId = info.dwProcessId;
    app.window = NULL;
    return true;
}

struct WindowSearch {
    DWORD processId; // 0: any process
    std::vector<HWND> found;
};

static BOOL CALLBACK CollectVelkorWindow(HWND window, LPARAM lParam)
{
    WindowSearch *search = (WindowSearch *)lParam;
    char name[64];
    if (!GetClassNameA(window, name, sizeof name) || lstrcmpA(name, "VELKOR_WND") != 0)
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (search->processId == 0 || pid == search->processId)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> VelkorWindows()
{
    WindowSearch search = {0, std::vector<HWND>()};
    EnumWindows(CollectVelkorWindow, (LPARAM)&search);
    return search.found;
}

static HWND MainWindowOf(DWORD processId)
{
    WindowSearch search = {processId, std::vector<HWND>()};
    EnumWindows(CollectVelkorWindow, (LPARAM)&search);
    return search.found.empty() ? NULL : search.found[0];
}

bool WaitForMainWindow(VelkorProcess &app, DWORD timeoutMs)
{
    return PumpUntil(
        [&] {
            if (!StillRunning(app))
                return true; // ended before showing its window: no point waiting
            HWND window = MainWindowOf(app.processId);
            if (!window || !IsWindowVisible(window))
                return false;
            HWND log = GetDlgItem(window, MESSAGE_LOG_ID);
            if (!log || SendA(log, LB_GETCOUNT, 0, 0) < 1)
                return false;
            app.window = window;
            return true;
        },
        timeoutMs) &&
           app.window != NULL;
}

std::vector<std::string> ReadLogLines(const VelkorProcess &app)
{
    // LB_GETTEXT crosses processes only as UTF-16 (see the Wine notes), so
    // read wide and convert back to the program's code page.
    std::vector<std::string> lines;
    HWND log = GetDlgItem(app.window, MESSAGE_LOG_ID);
    LRESULT count = log ? SendW(log, LB_GETCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendW(log, LB_GETTEXTLEN, (WPARAM)i, 0);
        if (length < 0) {
            lines.push_back(std::string());
            continue;
        }
        std::vector<wchar_t> wide((size_t)length + 16, L'\0');
        LRESULT got = SendW(log, LB_GETTEXT, (WPARAM)i, (LPARAM)&wide[0]);
        if (got < 0 || got > length)
            got = 0;
        std::string line;
        if (got > 0) {
            int bytes = WideCharToMultiByte(1252, 0, &wide[0], (int)got, NULL, 0, NULL, NULL);
            line.assign((size_t)bytes, '\0');
            WideCharToMultiByte(1252, 0, &wide[0], (int)got, &line[0], bytes, NULL, NULL);
        }
        lines.push_back(line);
    }
    return lines;
}

bool WaitForLogLines(const VelkorProcess &app, size_t count, DWORD timeoutMs)
{
    HWND log = GetDlgItem(app.window, MESSAGE_LOG_ID);
    return PumpUntil([&] { return log && SendA(log, LB_GETCOUNT, 0, 0) >= (LRESULT)count; }, timeoutMs);
}

bool WaitForLogText(const VelkorProcess &app, const std::string &text, DWORD timeoutMs)
{
    return PumpUntil(
        [&] {
            for (const std::string &line : ReadLogLines(app))
                if (line.size() >= 16 && line.compare(16, std::string::npos, text) == 0)
                    return true;
            return false;
        },
        timeoutMs);
}

bool PostLogText(const VelkorProcess &app, const std::string &text)
{
    // The program reads the text in its own address space, so put it there.
    void *remote = VirtualAllocEx(app.process, NULL, text.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return false;
    bool ok = WriteProcessMemory(app.process, remote, text.c_str(), text.size() + 1, NULL) &&
              SendA(app.window, WMU_LOG_TEXT, (WPARAM)remote, 0) != -1;
    VirtualFreeEx(app.process, remote, 0, MEM_RELEASE);
    return ok;
}

int ListItemCount(const VelkorProcess &app)
{
    HWND list = GetDlgItem(app.window, COMMAND_LIST_ID);
    return list ? (int)SendA(list, LVM_GETITEMCOUNT, 0, 0) : -1;
}

std::string ReadListText(const VelkorProcess &app, int item, int subItem)
{
    // A list view does not carry its item structure across processes: place
    // it, with the text buffer behind it, in the program's memory.
    const size_t textSize = 1024;
    HWND list = GetDlgItem(app.window, COMMAND_LIST_ID);
    if (!list)
        return std::string();
    char *remote = (char *)VirtualAllocEx(app.process, NULL, sizeof(LVITEMA) + textSize, MEM_COMMIT | MEM_RESERVE,
                                          PAGE_READWRITE);
    if (!remote)
        return std::string();
    std::string text;
    LVITEMA lv;
    ZeroMemory(&lv, sizeof lv);
    lv.iSubItem = subItem;
    lv.pszText = remote + sizeof(LVITEMA);
    lv.cchTextMax = (int)textSize;
    char buffer[textSize];
    buffer[0] = 0;
    if (WriteProcessMemory(app.process, remote, &lv, sizeof lv, NULL) &&
        WriteProcessMemory(app.process, remote + sizeof(LVITEMA), buffer, 1, NULL)) {
        LRESULT length = SendA(list, LVM_GETITEMTEXTA, (WPARAM)item, (LPARAM)remote);
        if (length > 0 && (size_t)length < textSize &&
            ReadProcessMemory(app.process, remote + sizeof(LVITEMA), buffer, (size_t)length, NULL))
            text.assign(buffer, (size_t)length);
    }
    VirtualFreeEx(app.process, remote, 0, MEM_RELEASE);
    return text;
}

void PostCommand(const VelkorProcess &app, int id)
{
    PostMessageA(app.window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

int ToolbarButtonState(const VelkorProcess &app, int id)
{
    HWND toolbar = GetDlgItem(app.window, TOOLBAR_ID);
    return toolbar ? (int)SendA(toolbar, TB_GETSTATE, (WPARAM)id, 0) : -1;
}

HWND WaitForBox(const VelkorProcess &app, DWORD timeoutMs, const std::vector<HWND> &skip)
{
    return WaitForBoxOfProcess(app.processId, timeoutMs, skip);
}

// Waits until a pressed box has gone, so the next wait does not find it again.
static void WaitUntilGone(HWND box)
{
    PumpUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, DRIVER_TIMEOUT_MS);
}

struct ControlCensus {
    int textStatics;   // statics with id 0xFFFF (a message box has its text there)
    int others;        // controls a message box does not have
    HWND iconStatic;   // a visible SS_ICON static
    HWND textStatic;
};

static BOOL CALLBACK CountControl(HWND child, LPARAM lParam)
{
    ControlCensus *census = (ControlCensus *)lParam;
    char name[32];
    if (!GetClassNameA(child, name, sizeof name))
        return TRUE;
    int id = GetDlgCtrlID(child);
    if (lstrcmpiA(name, "Static") == 0) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            if (IsWindowVisible(child))
                census->iconStatic = child;
        } else if (id == 0xFFFF) {
            census->textStatics++;
            census->textStatic = child;
        } else {
            census->others++;
        }
    } else if (lstrcmpiA(name, "Button") != 0 || id < IDOK || id > IDCONTINUE) {
        census->others++;
    }
    return TRUE;
}

// Draws into a bitmap of the screen's kind and returns its colours row by
// row; empty when the bitmap cannot be had or draw fails.
static std::vector<COLORREF> DrawnPixels(int width, int height, const std::function<bool(HDC screen, HDC memory)> &draw)
{
    std::vector<COLORREF> pixels;
    HDC screen = GetDC(NULL);
    if (!screen)
        return pixels;
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(screen, width, height) : NULL;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (draw(screen, memory)) {
            pixels.resize((size_t)width * height);
            for (int row = 0; row < height; row++)
                for (int column = 0; column < width; column++)
                    pixels[(size_t)row * width + column] = GetPixel(memory, column, row);
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    if (memory)
        DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return pixels;
}

// The colours of a rectangle of the screen, row by row.
static std::vector<COLORREF> ScreenPixels(int x, int y, int width, int height)
{
    return DrawnPixels(width, height, [&](HDC screen, HDC memory) {
        return BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY) != FALSE;
    });
}

// A system icon drawn here on the given background, as a box draws it.
static std::vector<COLORREF> RenderedIcon(LPCSTR icon, COLORREF background, int width, int height)
{
    return DrawnPixels(width, height, [&](HDC, HDC memory) {
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, width, height};
        FillRect(memory, &all, brush);
        DeleteObject(brush);
        DrawIconEx(memory, 0, 0, LoadIconA(NULL, icon), 0, 0, 0, NULL, DI_NORMAL);
        return true;
    });
}

static long PictureDistance(const std::vector<COLORREF> &a, const std::vector<COLORREF> &b)
{
    if (a.size() != b.size() || a.empty())
        return LONG_MAX;
    long sum = 0;
    for (size_t i = 0; i < a.size(); i++)
        sum += labs((long)GetRValue(a[i]) - GetRValue(b[i])) + labs((long)GetGValue(a[i]) - GetGValue(b[i])) +
               labs((long)GetBValue(a[i]) - GetBValue(b[i]));
    return sum;
}

// Which system icon the static shows, by comparing its picture with each
// icon drawn here; 0 when none matches (for example, not painted yet).
static UINT IconByPicture(HWND iconStatic)
{
    static const LPCSTR icons[] = {IDI_HAND, IDI_EXCLAMATION, IDI_QUESTION, IDI_ASTERISK};
    static const UINT flags[] = {MB_ICONERROR, MB_ICONWARNING, MB_ICONQUESTION, MB_ICONINFORMATION};
    RECT client;
    POINT origin = {0, 0};
    if (!GetClientRect(iconStatic, &client) || !ClientToScreen(iconStatic, &origin) || client.right <= 0 ||
        client.bottom <= 0 || client.right > 256 || client.bottom > 256)
        return 0;
    std::vector<COLORREF> shown = ScreenPixels(origin.x, origin.y, client.right, client.bottom);
    if (shown.empty())
        return 0;
    // Icons leave their corners transparent: the corner shows the background.
    long best = LONG_MAX;
    UINT bestFlag = 0;
    for (size_t i = 0; i < 4; i++) {
        long distance = PictureDistance(shown, RenderedIcon(icons[i], shown[0], client.right, client.bottom));
        if (distance < best) {
            best = distance;
            bestFlag = flags[i];
        }
    }
    // Accept only a near-exact picture: on average under 2 levels a channel.
    long limit = 2L * 3 * client.right * client.bottom;
    return best <= limit ? bestFlag : 0;
}

BoxInfo DescribeBoxOfProcess(HWND box)
{
    // Only the caption of DescribeBox is used: its test by instance handle
    // and its icon handles do not hold across processes under Wine.
    BoxInfo info = DescribeBox(box);
    info.text.clear();
    info.style = 0;
    ControlCensus census = {0, 0, NULL, NULL};
    EnumChildWindows(box, CountControl, (LPARAM)&census);
    info.isMessageBox = census.textStatics == 1 && census.others == 0;
    if (!info.isMessageBox)
        return info;
    char text[4096];
    text[0] = 0;
    SendMessageTimeoutA(census.textStatic, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, NULL);
    info.text = text;
    UINT icon = 0;
    if (census.iconStatic) {
        // The box may not be painted yet: look again for a while.
        PumpUntil([&] { return (icon = IconByPicture(census.iconStatic)) != 0; }, 3000);
    }
    info.style = icon | MessageBoxButtons(box);
    return info;
}

bool AnswerBox(const VelkorProcess &app, int buttonId, BoxInfo *seen, DWORD timeoutMs)
{
    HWND box = WaitForBox(app, timeoutMs);
    if (!box)
        return false;
    if (seen)
        *seen = DescribeBoxOfProcess(box);
    PressButton(box, buttonId);
    WaitUntilGone(box);
    return true;
}

bool IsFileDialog(HWND window)
{
    return GetDlgItem(window, FILE_NAME_CONTROL_ID) != NULL;
}

struct EditSearch {
    HWND edit;
};

static BOOL CALLBACK FindEditChild(HWND child, LPARAM lParam)
{
    char name[32];
    if (GetClassNameA(child, name, sizeof name) && lstrcmpiA(name, "Edit") == 0) {
        ((EditSearch *)lParam)->edit = child;
        return FALSE;
    }
    return TRUE;
}

bool ChooseFileInDialog(HWND dialog, const std::string &path)
{
    // The name control is a ComboBoxEx32 (or a combo box, or an edit) whose
    // edit field takes the text.
    HWND control = GetDlgItem(dialog, FILE_NAME_CONTROL_ID);
    if (!control)
        return false;
    EditSearch search = {NULL};
    EnumChildWindows(control, FindEditChild, (LPARAM)&search);
    HWND edit = search.edit ? search.edit : control;
    if (SendA(edit, WM_SETTEXT, 0, (LPARAM)path.c_str()) == -1)
        return false;
    // Posted, so that an in-process caller does not run the dialog's OK
    // handling (and the boxes it may raise) inside its own call.
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK)) != 0;
}

bool AnswerFileDialog(const VelkorProcess &app, const std::string &path, std::string *caption, DWORD timeoutMs)
{
    HWND dialog = WaitForBox(app, timeoutMs);
    if (!dialog || !IsFileDialog(dialog))
        return false;
    if (caption)
        *caption = DescribeBoxOfProcess(dialog).caption;
    if (!ChooseFileInDialog(dialog, path))
        return false;
    // The dialog either closes or raises its overwrite question (and is
    // disabled meanwhile); either way it is no longer the box to answer.
    PumpUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog) || !IsWindowEnabled(dialog); },
              DRIVER_TIMEOUT_MS);
    return true;
}

bool WaitForExit(const VelkorProcess &app, DWORD timeoutMs, DWORD *exitCode)
{
    if (!app.process)
        return false;
    if (!PumpUntil([&] { return !StillRunning(app); }, timeoutMs))
        return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(app.process, &code))
        return false;
    if (exitCode)
        *exitCode = code;
    return true;
}

void EndVelkorProcess(VelkorProcess &app)
{
    if (!app.process)
        return;
    if (StillRunning(app)) {
        TerminateProcess(app.process, 99);
        WaitForSingleObject(app.process, 5000);
    }
    CloseHandle(app.process);
    app.process = NULL;
    app.processId = 0;
    app.window = NULL;
}

