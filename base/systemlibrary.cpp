// System libraries loaded at first use. Each stays loaded until the process
// ends: a file dialog or the shell may leave threads and hooks behind that
// still run the library's code.
#include "base/systemlibrary.h"

#include <string.h>

namespace {

// One library loaded by name; the names are the callers' string literals.
struct LoadedLibrary {
    const char *name;
    HMODULE module;
};

} // namespace

// Owned by the user-interface thread: the libraries loaded so far.
static LoadedLibrary loaded[8];
static int loadedCount;

// Loads from the system folder only, never from the program's folder or the
// current directory, where a file of the same name could be planted.
static HMODULE LoadFromSystemFolder(const char *library)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    size_t nameLength = strlen(library);
    if (length == 0 || length + 1 + nameLength >= MAX_PATH) {
        SetLastError(length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
        return NULL;
    }
    path[length] = '\\';
    memcpy(path + length + 1, library, nameLength + 1);
    return LoadLibraryA(path);
}

static HMODULE LibraryModule(const char *library)
{
    for (int i = 0; i < loadedCount; i++) {
        if (strcmp(loaded[i].name, library) == 0)
            return loaded[i].module;
    }
    HMODULE module = LoadFromSystemFolder(library);
    // A library that failed to load is tried again at the next use.
    if (module && loadedCount < (int)(sizeof loaded / sizeof loaded[0])) {
        loaded[loadedCount].name = library;
        loaded[loadedCount].module = module;
        loadedCount++;
    }
    return module;
}

typedef BOOL(WINAPI *SetDefaultDirectoriesFunction)(DWORD);

void RestrictLibrarySearch()
{
    // Windows 7 has SetDefaultDllDirectories only with update KB2533623
    // (its documentation), so it is looked up rather than imported.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDirectoriesFunction setDefault =
        kernel ? (SetDefaultDirectoriesFunction)(void (*)(void))GetProcAddress(kernel, "SetDefaultDllDirectories")
               : NULL;
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    // The empty string takes the current directory out of the search (SetDllDirectory's documentation).
    SetDllDirectoryA("");
}

FARPROC SystemFunction(const char *library, const char *function)
{
    HMODULE module = LibraryModule(library);
    return module ? GetProcAddress(module, function) : NULL;
}

typedef HINSTANCE(WINAPI *ShellExecuteFunction)(HWND, const char *, const char *, const char *, const char *, INT);

bool ShellOpen(const char *path, int show)
{
    ShellExecuteFunction shellExecute = (ShellExecuteFunction)(void (*)(void))SystemFunction("shell32.dll", "ShellExecuteA");
    if (!shellExecute)
        return false;
    // Above 32 is success (ShellExecuteA's documentation).
    return (INT_PTR)shellExecute(NULL, "open", path, NULL, NULL, show) > 32;
}

typedef void(WINAPI *DragAcceptFunction)(HWND, BOOL);
typedef UINT(WINAPI *DragQueryFunction)(HDROP, UINT, char *, UINT);
typedef void(WINAPI *DragFinishFunction)(HDROP);

bool ShellAcceptDrops(HWND window)
{
    DragAcceptFunction accept = (DragAcceptFunction)(void (*)(void))SystemFunction("shell32.dll", "DragAcceptFiles");
    if (!accept)
        return false;
    accept(window, TRUE);
    return true;
}

UINT ShellDroppedFile(HDROP drop, UINT index, char *path, UINT room)
{
    DragQueryFunction query = (DragQueryFunction)(void (*)(void))SystemFunction("shell32.dll", "DragQueryFileA");
    return query ? query(drop, index, path, room) : 0;
}

void ShellDropDone(HDROP drop)
{
    DragFinishFunction finish = (DragFinishFunction)(void (*)(void))SystemFunction("shell32.dll", "DragFinish");
    if (finish)
        finish(drop);
}
