// The remembered command file name.
#include "base/commandfilename.h"

#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include "base/appwindows.h"

// Owned by the user-interface thread: heap copy of the path, or null.
static char *commandFileName;

static const char DEFAULT_FILE_NAME[] = "velkor.cmd";

const char *CommandFileName() { return commandFileName; }

void SetCommandFileName(const char *path)
{
    // Copy first: path may be the remembered name itself.
    char *copy = path ? strdup(path) : NULL;
    free(commandFileName);
    commandFileName = copy;
}

void ApplyListSizeRule()
{
    LRESULT count = SendMessageA(CommandList(), LVM_GETITEMCOUNT, 0, 0);
    if (count < 2)
        SetCommandFileName(NULL);
    else if (!commandFileName)
        SetCommandFileName(DEFAULT_FILE_NAME);
}
