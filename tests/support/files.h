// Files, folders, the registry key and Linux helper programs of one test;
// used by in-process tests and by driver programs alike, so nothing here
// needs the program's core.
#ifndef VELKOR_TESTS_FILES_H
#define VELKOR_TESTS_FILES_H

#include <string>

// Removes "Software\Talmeck" under HKEY_LOCAL_MACHINE (a first run).
void ClearVelkorRegistry();
// A unique name for files and pipes of one test.
std::string UniqueName(const char *stem);
// A fresh folder for one test's files under the temporary folder (Windows path, ends without "\").
std::string TestFolder(const char *stem);
// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string &path);
// Starts a Linux program (a command line with Unix paths); false when it
// could not be started. Nothing tells when it ends: wait for what it does.
bool StartUnixProgram(const std::string &commandLine);

#endif
