/* A stand-in for a comctl32.dll someone left in the program's folder: when
   loaded it leaves a marker file beside itself. It exports what velkor.exe
   once imported from the common controls, so that a program still importing
   them by name would load it and run its DllMain. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH + 32];
        DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
        while (length > 0 && path[length - 1] != '\\')
            length--;
        lstrcpyA(path + length, "planted-comctl32-ran.txt");
        HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (marker != INVALID_HANDLE_VALUE)
            CloseHandle(marker);
    }
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void *classes)
{
    (void)classes;
    return FALSE;
}

__declspec(dllexport) HWND WINAPI CreateToolbarEx(HWND parent, DWORD style, UINT id, int bitmaps, HINSTANCE instance,
                                                  UINT_PTR bitmap, const void *buttons, int count, int dx, int dy,
                                                  int bx, int by, UINT size)
{
    (void)parent, (void)style, (void)id, (void)bitmaps, (void)instance, (void)bitmap, (void)buttons, (void)count;
    (void)dx, (void)dy, (void)bx, (void)by, (void)size;
    return NULL;
}
