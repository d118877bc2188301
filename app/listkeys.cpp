// Ctrl+C and Ctrl+Insert copy the selected line of the log or entry of the
// command list; Enter in the list sends the selected entry. The keys are
// taken in the message loop, so the accelerator table stays as it is.
#include "app/listkeys.h"

#include <commctrl.h>
#include <stdio.h>

#include "app/mainwindow.h"
#include "base/appwindows.h"
#include "base/clipboard.h"
#include "commands/commandlist.h"
#include "log/logformat.h"

// The selected log line exactly as shown; nothing when no line is selected.
static void CopyLogLine()
{
    HWND log = MessageLog();
    LRESULT index = SendMessageA(log, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR)
        return;
    LRESULT length = SendMessageA(log, LB_GETTEXTLEN, (WPARAM)index, 0);
    char line[LOG_LINE_SIZE];
    if (length == LB_ERR || length >= (LRESULT)sizeof line)
        return;
    if (SendMessageA(log, LB_GETTEXT, (WPARAM)index, (LPARAM)line) == LB_ERR)
        return;
    PutTextOnClipboard(MainWindow(), line);
}

// The selected entry as the list shows it: its command text, a tab, its remark.
static void CopyCommandEntry()
{
    int selected = (int)SendMessageA(CommandList(), LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    if (selected < 0)
        return;
    char command[COMMAND_COLUMN_ROOM];
    char remark[REMARK_COLUMN_ROOM];
    GetEntryText(selected, 0, command, sizeof command);
    GetEntryText(selected, 1, remark, sizeof remark);
    char text[COMMAND_COLUMN_ROOM + 1 + REMARK_COLUMN_ROOM];
    snprintf(text, sizeof text, "%s\t%s", command, remark);
    PutTextOnClipboard(MainWindow(), text);
}

static bool KeyDown(int key) { return GetKeyState(key) < 0; }

bool HandleListKey(const MSG &msg)
{
    if (msg.message != WM_KEYDOWN || !msg.hwnd || (msg.hwnd != MessageLog() && msg.hwnd != CommandList()))
        return false;
    bool copy = KeyDown(VK_CONTROL) && !KeyDown(VK_MENU) && (msg.wParam == 'C' || msg.wParam == VK_INSERT);
    if (copy && msg.hwnd == MessageLog()) {
        CopyLogLine();
        return true;
    }
    if (copy) {
        CopyCommandEntry();
        return true;
    }
    // A held key repeats; a double-click does not, so neither does Enter.
    bool repeated = (msg.lParam & (1L << 30)) != 0;
    if (msg.hwnd == CommandList() && msg.wParam == VK_RETURN && !KeyDown(VK_CONTROL) && !KeyDown(VK_MENU)) {
        bool selected = SendMessageA(CommandList(), LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED) >= 0;
        if (selected && !repeated)
            SendSelectedWhenSendable();
        return true;
    }
    return false;
}
