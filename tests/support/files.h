// Files, folders and the registry key of one test; used by in-process tests
// and by driver programs alike, so nothing here needs the program's core.
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

#endif
