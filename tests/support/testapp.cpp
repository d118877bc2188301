#include "testapp.h"

#include <commctrl.h>
#include <stdio.h>

#include "app/shell.h"
#include "wait.h"
#include "app/appwindows.h"

bool StartTestApp()
{
    // The program's first act is creating its named mutex; when that fails
    // its start-up box hides why, so the reason is printed here first.
    SetLastError(0);
    HANDLE probe = CreateMutexA(NULL, FALSE, "velkor_test_probe");
    if (!probe)
        fprintf(stderr, "StartTestApp: no named mutex can be created, error %lu\n", GetLastError());
    else
        CloseHandle(probe);
    if (!StartVelkor(GetModuleHandleA(NULL), SW_SHOWNORMAL))
        return false;
    PumpPending();
    return true;
}

int StopTestApp()
{
    if (MainWindow() && IsWindow(MainWindow()))
        DestroyWindow(MainWindow());
    MSG msg;
    int code = -1;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                code = (int)msg.wParam;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
        }
    }
    ShutdownVelkor();
    return code;
}

std::vector<std::string> LogLines()
{
    std::vector<std::string> lines;
    HWND log = MessageLog();
    LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendMessageA(log, LB_GETTEXTLEN, i, 0);
        std::string line(length > 0 ? (size_t)length : 0, '\0');
        if (length > 0)
            SendMessageA(log, LB_GETTEXT, i, (LPARAM)&line[0]);
        lines.push_back(line);
    }
    return lines;
}

std::string ListText(int item, int subItem)
{
    char text[1024];
    text[0] = 0;
    LVITEMA lv;
    ZeroMemory(&lv, sizeof lv);
    lv.iSubItem = subItem;
    lv.pszText = text;
    lv.cchTextMax = sizeof text;
    SendMessageA(CommandList(), LVM_GETITEMTEXTA, item, (LPARAM)&lv);
    return text;
}

int InsertListEntry(const char *command, const char *remark)
{
    LVITEMA lv;
    ZeroMemory(&lv, sizeof lv);
    lv.mask = LVIF_TEXT;
    lv.iItem = (int)SendMessageA(CommandList(), LVM_GETITEMCOUNT, 0, 0);
    lv.pszText = (char *)command;
    int index = (int)SendMessageA(CommandList(), LVM_INSERTITEMA, 0, (LPARAM)&lv);
    lv.iSubItem = 1;
    lv.pszText = (char *)remark;
    SendMessageA(CommandList(), LVM_SETITEMTEXTA, index, (LPARAM)&lv);
    return index;
}

void RunCommand(int id)
{
    SendMessageA(MainWindow(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
    PumpPending();
}

UINT MenuState(int id)
{
    return GetMenuState(GetMenu(MainWindow()), id, MF_BYCOMMAND);
}

int ButtonState(int id)
{
    PumpPending(); // toolbar changes are posted
    return (int)SendMessageA(ToolbarWindow(), TB_GETSTATE, id, 0);
}

bool LastLineInView()
{
    HWND log = MessageLog();
    LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    RECT item, client;
    if (count < 1 || SendMessageA(log, LB_GETITEMRECT, (WPARAM)(count - 1), (LPARAM)&item) == LB_ERR)
        return false;
    GetClientRect(log, &client);
    return item.top >= client.top && item.bottom <= client.bottom;
}
