// Command files (.cmd): a new list, loading and saving.
#ifndef VELKOR_COMMANDS_COMMANDFILE_H
#define VELKOR_COMMANDS_COMMANDFILE_H

// "Befehlsdatei neu": empties the list and forgets the file name.
void NewCommandList();
// "Befehlsdatei oeffnen".
void LoadCommandFile();
// Loads the file at path as "Befehlsdatei oeffnen" does once a file is chosen.
void LoadCommandFileFrom(const char *path);
// "Befehlsdatei speichern".
void SaveCommandFile();

#endif
