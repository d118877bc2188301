// The remembered command file name (owned by the user-interface thread).
#ifndef VELKOR_BASE_COMMANDFILENAME_H
#define VELKOR_BASE_COMMANDFILENAME_H

// The remembered file name, or null when none is remembered.
const char *CommandFileName();
// Replaces the remembered name with a copy of path (null: absent).
void SetCommandFileName(const char *path);
// After an OK in the edit dialog: fewer than 2 entries forget the name, 2 or more propose "velkor.cmd".
void ApplyListSizeRule();

#endif
