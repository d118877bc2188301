// The command edit dialog (807) and the bit-pattern view (140).
#ifndef VELKOR_COMMANDS_EDITDIALOG_H
#define VELKOR_COMMANDS_EDITDIALOG_H

#include <windows.h>

// Edits the selected entry (edit true) or adds one, through dialog 807.
void EditCommand(bool edit);

#endif
