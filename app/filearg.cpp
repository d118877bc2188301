// Command-line argument and handed path.
#include "app/filearg.h"

static bool Blank(char c) { return c == ' ' || c == '\t'; }

bool FirstFileArgument(const char *commandLine, char *file)
{
    const char *p = commandLine;
    // The program's name ends at the next quote when it starts with one, else
    // at the first blank; it never has escapes (Microsoft's "Parsing C
    // command-line arguments").
    if (*p == '"') {
        for (p++; *p && *p != '"'; p++) {
        }
        if (*p)
            p++;
    } else {
        while (*p && !Blank(*p))
            p++;
    }
    while (Blank(*p))
        p++;
    // A quote opens or closes a quoted part (a path with spaces) and is left
    // out; a blank outside quotes ends the argument. A path holds no quotes,
    // so the backslash escapes before quotes are not needed.
    size_t length = 0;
    bool quoted = false;
    for (; *p && (quoted || !Blank(*p)); p++) {
        if (*p == '"')
            quoted = !quoted;
        else
            file[length++] = *p;
    }
    file[length] = 0;
    // An option ("-x", "/a") is no file: Velkor has none and ignores them, as it always has.
    if (file[0] == '-' || file[0] == '/')
        file[0] = 0;
    return file[0] != 0;
}

bool IsHandedPath(const void *data, size_t size)
{
    if (!data || size < 2 || size > HANDED_PATH_ROOM)
        return false;
    const char *text = (const char *)data;
    for (size_t i = 0; i + 1 < size; i++) {
        if (text[i] == 0)
            return false;
    }
    return text[size - 1] == 0;
}
