// Recognising the spellings of a named pipe that CreateFileA opens.
#include "device/pipename.h"

#include <ctype.h>
#include <stddef.h>

static bool Separator(char c)
{
    return c == '\\' || c == '/';
}

// After word and its separator (word case ignored), or null when text does not start so.
static const char *AfterWord(const char *text, const char *word, bool endAllowed)
{
    for (; *word; text++, word++) {
        if (tolower((unsigned char)*text) != tolower((unsigned char)*word))
            return NULL;
    }
    if (Separator(*text))
        return text + 1;
    return endAllowed && *text == 0 ? text : NULL;
}

// After one non-empty path component and its separator, or null.
static const char *AfterComponent(const char *text)
{
    const char *at = text;
    while (*at && !Separator(*at))
        at++;
    return at > text && Separator(*at) ? at + 1 : NULL;
}

static bool PipeFolder(const char *text)
{
    return text && AfterWord(text, "pipe", true) != NULL;
}

bool NamesPipe(const char *connectString)
{
    const char *p = connectString;
    if (!p || !Separator(p[0]))
        return false;
    // "\\.\", "\\?\" and "\??\" all lead into the namespace of the devices.
    bool devices = (Separator(p[1]) && (p[2] == '.' || p[2] == '?') && Separator(p[3])) ||
                   (p[1] == '?' && p[2] == '?' && Separator(p[3]));
    if (!devices)
        return Separator(p[1]) && PipeFolder(AfterComponent(p + 2)); // \\server\pipe\ .
    p += 4;
    if (PipeFolder(p))
        return true;
    const char *unc = AfterWord(p, "UNC", false);
    if (unc)
        return PipeFolder(AfterComponent(unc));
    const char *root = AfterWord(p, "GLOBALROOT", false);
    const char *device = root ? AfterWord(root, "Device", false) : NULL;
    return device && AfterWord(device, "NamedPipe", true) != NULL;
}
