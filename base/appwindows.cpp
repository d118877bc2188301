// The program-wide window handles and names.
#include "base/appwindows.h"

#include "resources/resource.h"

// All owned by the user-interface thread.
static HINSTANCE appInstance;
static HWND mainWindow;
static HWND toolbarWindow;
static HWND commandList;
static HWND messageLog;
static char windowName[100];
static char windowClassName[100];

HINSTANCE AppInstance() { return appInstance; }
HWND MainWindow() { return mainWindow; }
HWND ToolbarWindow() { return toolbarWindow; }
HWND CommandList() { return commandList; }
HWND MessageLog() { return messageLog; }
const char *WindowName() { return windowName; }
const char *WindowClassName() { return windowClassName; }
HWND BoxOwner() { return mainWindow && IsWindow(mainWindow) ? mainWindow : NULL; }

void SetAppInstance(HINSTANCE instance)
{
    appInstance = instance;
    // A missing entry leaves the name empty; the class then fails to register.
    if (LoadStringA(instance, IDS_APP_TITLE, windowName, sizeof windowName) <= 0)
        windowName[0] = 0;
    if (LoadStringA(instance, IDS_WINDOW_CLASS, windowClassName, sizeof windowClassName) <= 0)
        windowClassName[0] = 0;
}

void SetMainWindow(HWND window)
{
    mainWindow = window;
    if (!window)
        SetChildWindows(NULL, NULL, NULL);
}

void SetChildWindows(HWND toolbar, HWND list, HWND log)
{
    toolbarWindow = toolbar;
    commandList = list;
    messageLog = log;
}
