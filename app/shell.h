// Start-up, message loop and shutdown of Velkor (user-interface thread).
#ifndef VELKOR_APP_SHELL_H
#define VELKOR_APP_SHELL_H

#include <windows.h>

// Runs the program: start-up, message loop, shutdown; returns the exit code.
int VelkorMain(HINSTANCE instance, int showCommand);
// Start-up up to the first log line; false when the program must end at once.
bool StartVelkor(HINSTANCE instance, int showCommand);
// Runs the message loop with accelerators until WM_QUIT; returns its wParam.
int RunMessageLoop();
// Shutdown after the loop: device closed, buffers released, settings stored.
void ShutdownVelkor();

#endif
