// The system's own text for an error number, as boxes and log lines quote it.
#ifndef VELKOR_BASE_SYSTEMTEXT_H
#define VELKOR_BASE_SYSTEMTEXT_H

#include <stddef.h>

// Whether the text keeps the line break the system ends it with.
enum SystemTextEnd { KEEP_LINE_END, CUT_LINE_END };

// Copies the system's text for error into out (cut to size); false, out empty, when it has none.
bool SystemErrorText(unsigned long error, char *out, size_t size, SystemTextEnd end);
// withText ("%d" the number, then "%s" the system's text, first cut to systemRoom - 1 bytes), or withoutText
// ("%d") when it has none; cut to size.
void ComposeSystemError(char *out, size_t size, const char *withText, const char *withoutText, unsigned long error,
                        SystemTextEnd end, size_t systemRoom = 512);

#endif
