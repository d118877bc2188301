// Command files and the remembered command file name.
#include "commands/commandfile.h"

#include <stdlib.h>
#include <string.h>

// Owned by the user-interface thread.
static char *commandFileName;

void NewCommandList() {}
void LoadCommandFile() {}
void SaveCommandFile() {}
const char *CommandFileName() { return commandFileName; }

void SetCommandFileName(const char *path)
{
    free(commandFileName);
    commandFileName = path ? strdup(path) : NULL;
}

void ApplyListSizeRule() {}
