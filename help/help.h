// The help file and the About box.
#ifndef VELKOR_HELP_HELP_H
#define VELKOR_HELP_HELP_H

#include <windows.h>

// Hands velkor.html beside the program to the shell.
void ShowHelp();
// Runs the About box, dialog 103, owned by the main window.
void ShowAboutBox();

#endif
