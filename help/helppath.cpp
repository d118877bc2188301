// Building the help file's path (no windows.h).
