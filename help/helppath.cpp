// Building the help file's path (no windows.h).
#include "help/helppath.h"

#include <stdio.h>
#include <string.h>

// Copies length characters and a zero into out of size bytes, cut to fit;
// false when they had to be cut.
static bool CopyCut(char *out, size_t size, const char *from, size_t length)
{
    bool whole = length < size;
    if (!whole)
        length = size - 1;
    memcpy(out, from, length);
    out[length] = 0;
    return whole;
}

bool SplitProgramPath(const char *programPath, char drive[HELP_DRIVE_SIZE], char directory[HELP_DIRECTORY_SIZE])
{
    size_t driveLength = 0;
    if (programPath[0] != 0 && programPath[1] == ':')
        driveLength = 2;
    memcpy(drive, programPath, driveLength);
    drive[driveLength] = 0;

    const char *rest = programPath + driveLength;
    size_t directoryLength = 0;
    for (size_t i = 0; rest[i] != 0; i++)
        if (rest[i] == '\\' || rest[i] == '/')
            directoryLength = i + 1;
    return CopyCut(directory, HELP_DIRECTORY_SIZE, rest, directoryLength);
}

bool BuildHelpPath(const char *programPath, char *path, size_t pathSize)
{
    char drive[HELP_DRIVE_SIZE];
    char directory[HELP_DIRECTORY_SIZE];
    bool whole = SplitProgramPath(programPath, drive, directory);
    int length = snprintf(path, pathSize, "%s%svelkor.html", drive, directory);
    return whole && length >= 0 && (size_t)length < pathSize;
}

bool ProgramPathFromCommandLine(const char *commandLine, char *programPath, size_t programPathSize)
{
    if (programPathSize == 0)
        return false;
    const char *start = commandLine;
    const char *end;
    if (*start == '"') {
        // The system takes everything up to the closing quote as the path,
        // blanks included; a missing closing quote ends it at the line's end.
        start++;
        end = strchr(start, '"');
        if (!end)
            end = start + strlen(start);
    } else {
        end = start;
        while (*end != 0 && *end != ' ' && *end != '\t')
            end++;
    }
    return CopyCut(programPath, programPathSize, start, (size_t)(end - start));
}
