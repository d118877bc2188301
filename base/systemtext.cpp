#include "base/systemtext.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

bool SystemErrorText(unsigned long error, char *out, size_t size, SystemTextEnd end)
{
    if (size == 0)
        return false;
    out[0] = 0;
    char *system = NULL;
    // Language 1024: the user's default, as the system's own dialogs use.
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  NULL, (DWORD)error, 1024, (LPSTR)&system, 0, NULL);
    if (length == 0 || !system) {
        if (system)
            LocalFree(system);
        return false;
    }
    snprintf(out, size, "%s", system);
    LocalFree(system);
    if (end == CUT_LINE_END) {
        // Every system text ends with a line break; a box or a log line shows it without.
        size_t n = strlen(out);
        while (n > 0 && (out[n - 1] == '\n' || out[n - 1] == '\r' || out[n - 1] == ' '))
            out[--n] = 0;
    }
    return true;
}

void ComposeSystemError(char *out, size_t size, const char *withText, const char *withoutText, unsigned long error,
                        SystemTextEnd end, size_t systemRoom)
{
    char system[512];
    if (SystemErrorText(error, system, systemRoom < sizeof system ? systemRoom : sizeof system, end))
        snprintf(out, size, withText, (int)error, system);
    else
        snprintf(out, size, withoutText, (int)error);
}
