// Entry point of velkor.exe.
#include "app/shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    return VelkorMain(instance, showCommand);
}
