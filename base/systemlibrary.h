// System libraries that only some commands need, loaded at their first use
// so that start-up does not pay for them.
#ifndef VELKOR_BASE_SYSTEMLIBRARY_H
#define VELKOR_BASE_SYSTEMLIBRARY_H

#include <windows.h>

// Makes the system folder the only place libraries are loaded from by name;
// the first thing the program does.
void RestrictLibrarySearch();
// A function of a library in the system folder (loaded once, kept for the
// process); null, with the error set, when the library or the function is missing.
FARPROC SystemFunction(const char *library, const char *function);
// Hands a file or program to the shell's "open" verb; false when the shell cannot be had or refuses.
bool ShellOpen(const char *path, int show);
// Lets files be dropped onto window (WM_DROPFILES); false when the shell cannot be had.
bool ShellAcceptDrops(HWND window);
// DragQueryFileA: the count (index 0xFFFFFFFF), a name's length (path null) or the name; 0 without the shell.
UINT ShellDroppedFile(HDROP drop, UINT index, char *path, UINT room);
// Releases a drop's memory (DragFinish).
void ShellDropDone(HDROP drop);

#endif
