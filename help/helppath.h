// Building the help file's path from the program's path (no windows.h).
#ifndef VELKOR_HELP_HELPPATH_H
#define VELKOR_HELP_HELPPATH_H

#include <stddef.h>

// Drive part ("C:") and directory part (255 characters), terminators included.
const size_t HELP_DRIVE_SIZE = 3;
const size_t HELP_DIRECTORY_SIZE = 256;
// Buffer of the help file's path and of the program's path.
const size_t HELP_PATH_SIZE = 516;

// Drive part (the first two characters when the second is ":") and directory part (up to the last "\" or "/", cut to 255) of a program path; false when the directory part was cut.
bool SplitProgramPath(const char *programPath, char drive[HELP_DRIVE_SIZE], char directory[HELP_DIRECTORY_SIZE]);
// "%s%svelkor.html" from the drive and directory parts of a program path, cut to fit pathSize; false when anything was cut.
bool BuildHelpPath(const char *programPath, char *path, size_t pathSize);
// The program's path from a command line: a quoted first token without its quotes, else the text up to the first blank; false when it was cut to fit.
bool ProgramPathFromCommandLine(const char *commandLine, char *programPath, size_t programPathSize);

#endif
