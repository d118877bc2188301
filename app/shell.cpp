// Start-up, message loop and shutdown.
#include "app/shell.h"

#include <commctrl.h>

#include "base/appwindows.h"
#include "base/boxes.h"
#include "base/displayscale.h"
#include "base/systemlibrary.h"
#include "controls/controls.h"
#include "controls/toolbar.h"
#include "app/scaling.h"
#include "app/mainwindow.h"
#include "app/listkeys.h"
#include "app/outsidefile.h"
#include "log/messagelog.h"
#include "base/commandfilename.h"
#include "commands/commandlist.h"
#include "device/connection.h"
#include "device/receivebuffer.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "settings/windowplace.h"

// Owned by the user-interface thread.
static HANDLE instanceMutex; // "velkor_the_first", owned while running
static HACCEL accelerators;
static const char *commandLine; // velkor.exe's own; null when tests run the program in-process

// The common controls come from the system folder through the loader of
// system libraries: not imported, since Windows would look for a library of
// that name in the program's folder first.
typedef BOOL(WINAPI *InitControlsFunction)(const INITCOMMONCONTROLSEX *);

static void InitCommonControlClasses()
{
    InitControlsFunction init = (InitControlsFunction)(void (*)(void))SystemFunction("comctl32.dll",
                                                                                      "InitCommonControlsEx");
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    if (init)
        init(&icc);
}

static void ShowStartError(const char *text)
{
    ShowBoxOver(NULL, text, CAPTION_START, MB_ICONERROR);
}

// Lets the next copy start (at exit, or when this start-up failed).
static void ReleaseInstanceMutex()
{
    if (instanceMutex) {
        ReleaseMutex(instanceMutex);
        CloseHandle(instanceMutex);
        instanceMutex = NULL;
    }
}

// Another copy holds the mutex: tell the user and bring that copy forward.
static void RefuseSecondCopy()
{
    HWND other = FindWindowA(WindowClassName(), WindowName());
    ShowStartError("VELKOR wird bereits ausgefuehrt\r\nnur eine Instance erlaubt");
    if (other) {
        RECT r;
        SendMessageA(other, WM_SYSCOMMAND, SC_RESTORE, 0);
        if (GetWindowRect(other, &r)) {
            int x = (GetSystemMetrics(SM_CXFULLSCREEN) + r.left - r.right) / 2;
            int y = (GetSystemMetrics(SM_CYFULLSCREEN) + r.top - r.bottom) / 2;
            MoveWindow(other, x, y, r.right - r.left, r.bottom - r.top, TRUE);
        }
        SetForegroundWindow(other);
    }
}

static bool RegisterMainClass()
{
    WNDCLASSEXA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = MainWindowProc;
    HINSTANCE instance = AppInstance();
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VELKOR));
    // LoadIcon would give the 16 x 16 image at the large size; ask for the small one.
    wc.hIconSm = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(IDI_SMALL), IMAGE_ICON,
                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    wc.hCursor = NULL;
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDM_VELKOR);
    wc.lpszClassName = WindowClassName();
    if (RegisterClassExA(&wc))
        return true;
    // A class left registered by an earlier start in this process is usable.
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

static void CreateChildren()
{
    HWND mainWindow = MainWindow();
    HINSTANCE appInstance = AppInstance();
    HWND toolbarWindow = CreateMainToolbar();
    RefreshDeviceControls();

    HWND commandList = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                                  WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL |
                                      LVS_SHOWSELALWAYS | LVS_AUTOARRANGE,
                                  0, 0, 10, 10, mainWindow, (HMENU)(INT_PTR)IDC_COMMAND_LIST, appInstance, NULL);
    SetChildWindows(toolbarWindow, commandList, NULL);
    InsertCommandColumns(commandList);

    HWND messageLog = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_DISABLENOSCROLL | LBS_NOINTEGRALHEIGHT,
                                 0, 0, 10, 10, mainWindow, (HMENU)(INT_PTR)IDC_MESSAGE_LOG, appInstance, NULL);
    SetChildWindows(toolbarWindow, commandList, messageLog);
    ResetMessageLog();
    FitFontsAndIcons();
}

bool StartVelkor(HINSTANCE instance, int showCommand)
{
    RestrictLibrarySearch();
    SetAppInstance(instance);

    instanceMutex = CreateMutexA(NULL, FALSE, "velkor_the_first");
    if (!instanceMutex) {
        ShowStartError("ERROR beim Start von VELKOR\r\nMutx konnte nicht erstellt werden");
        return false;
    }
    DWORD wait = WaitForSingleObject(instanceMutex, 0);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        // A start with a file hands it to the running copy instead.
        if (!commandLine || !HandFileToRunningCopy(commandLine))
            RefuseSecondCopy();
        CloseHandle(instanceMutex);
        instanceMutex = NULL;
        return false;
    }

    InitCommonControlClasses();

    if (!RegisterMainClass()) {
        ShowStartError("ERROR beim Start von VELKOR\r\nRegisterClass failed");
        ReleaseInstanceMutex();
        return false;
    }
    int fullWidth = GetSystemMetrics(SM_CXMAXIMIZED);
    int fullHeight = GetSystemMetrics(SM_CYMAXIMIZED);
    HWND mainWindow = CreateWindowExA(0, WindowClassName(), WindowName(), WS_OVERLAPPEDWINDOW, 0, 0, fullWidth,
                                      fullHeight, NULL, NULL, instance, NULL);
    SetMainWindow(mainWindow);
    if (!mainWindow) {
        ShowStartError("ERROR beim Start von VELKOR\r\nCreateWindow failed");
        ReleaseInstanceMutex();
        return false;
    }
    // Its children are made for the DPI of the monitor it is on.
    SetAppDpi(WindowDpi(mainWindow));

    SetDefaultSettings();
    SetCommandFileName(NULL);
    AllocateCommandBuffer();
    LoadSettings();
    FitReceiveBufferToSettings();
    if (Settings().connectString)
        UpdateTitle();

    CreateChildren();
    AcceptDroppedFiles();

    // The place it was left at, else the default; each eighth is taken before multiplying.
    bool maximize = false;
    if (!RestoreWindowPlace(mainWindow, &maximize))
        MoveWindow(mainWindow, fullWidth / 8, fullHeight / 8, (fullWidth / 8) * 6, (fullHeight / 8) * 6, FALSE);
    SendMessageA(MessageLog(), WM_SETFONT, (WPARAM)SendMessageA(CommandList(), WM_GETFONT, 0, 0), TRUE);

    ShowWindow(CommandList(), SW_SHOW);
    ShowWindow(MessageLog(), SW_SHOW);
    ShowWindow(mainWindow, showCommand);
    // A second call: Windows may put the starter's show command in place of
    // the first one's (Microsoft's ShowWindow page). A minimized start stays so.
    if (maximize && !IsIconic(mainWindow) && IsWindowVisible(mainWindow))
        ShowWindow(mainWindow, SW_SHOWMAXIMIZED);
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
    UpdateWindow(mainWindow);

    accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDM_VELKOR));
    LogMessage("VelKor gestartet", LOG_EVENT);
    return true;
}

int RunMessageLoop()
{
    MSG msg;
    ZeroMemory(&msg, sizeof msg);
    // GetMessageA gives -1 on a broken call; ending then beats spinning on it.
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (HandleListKey(msg))
            continue;
        // Keys go to the focused child; the main window alone routes the
        // accelerators' commands, so it is the one they are translated for.
        if (!TranslateAcceleratorA(MainWindow(), accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return (int)msg.wParam;
}

void ShutdownVelkor()
{
    ShutdownDevice();
    SetCommandFileName(NULL);
    ReleaseCommandBuffer();
    StoreSettings();
    StoreWindowPlace();
    ReleaseReceiveBuffer();
    if (MainWindow() && IsWindow(MainWindow()))
        DestroyWindow(MainWindow());
    SetMainWindow(NULL);
    ReleaseFontsAndIcons();
    ResetMessageLog();
    if (accelerators) {
        DestroyAcceleratorTable(accelerators);
        accelerators = NULL;
    }
    // The real program ends right after; tests start the program again.
    ReleaseInstanceMutex();
}

int VelkorMain(HINSTANCE instance, int showCommand)
{
    commandLine = GetCommandLineA();
    if (!StartVelkor(instance, showCommand))
        return 0;
    LoadCommandLineFile(commandLine);
    int exitCode = RunMessageLoop();
    ShutdownVelkor();
    return exitCode;
}
