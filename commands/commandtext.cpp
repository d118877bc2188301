// Command text forms and hex fields (no windows.h).
#include "commands/commandtext.h"

#include <stdio.h>
#include <string.h>

int FormatCommandHeader(OptionalByte prefix, OptionalByte suffix, char *out, size_t size)
{
    snprintf(out, size, "%s%s%s", OptionalByteOn(prefix) ? "PF+" : "", "Kommando", OptionalByteOn(suffix) ? "+SF" : "");
    return 250 + (OptionalByteOn(prefix) ? 28 : 0) + (OptionalByteOn(suffix) ? 28 : 0);
}
