#include "support.h"

#include <stdio.h>

static const char *const TEMP_VARIABLES[] = {"TMP", "TEMP"};
// Their values before UseTempFolder changed them (the test's thread).
static std::string savedTemp[2];

void UseTempFolder(const std::string &folder)
{
    for (int i = 0; i < 2; i++) {
        if (!folder.empty()) {
            char value[MAX_PATH] = "";
            GetEnvironmentVariableA(TEMP_VARIABLES[i], value, sizeof value);
            savedTemp[i] = value;
        }
        const std::string &to = folder.empty() ? savedTemp[i] : folder;
        SetEnvironmentVariableA(TEMP_VARIABLES[i], to.empty() ? NULL : to.c_str());
    }
}

std::vector<DWORD> JournalSizes(DWORD processId, const char *folder)
{
    char temp[MAX_PATH] = "", pattern[MAX_PATH + 32];
    if (!folder) {
        GetTempPathA(sizeof temp, temp);
        folder = temp;
    }
    snprintf(pattern, sizeof pattern, "%svlk%lX-*.tmp", folder, processId);
    std::vector<DWORD> sizes;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return sizes;
    do
        sizes.push_back(found.nFileSizeLow);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return sizes;
}

std::string SavedForm(const std::vector<std::string> &lines)
{
    std::string file;
    for (const std::string &line : lines)
        if (!line.empty())
            file += line + "\r\n";
    return file;
}

std::vector<std::string> SavedLines(const std::string &file)
{
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = file.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(file.substr(at, end - at));
    return lines;
}

std::vector<std::string> SavedTexts(const std::string &file)
{
    std::vector<std::string> texts = SavedLines(file);
    for (std::string &text : texts)
        text = LogText(text);
    return texts;
}

bool SaveOntoFullVolume(const char *name, const std::string &previous, const char *caption,
                        const std::function<SeenBox(const std::string &path)> &save)
{
    std::string folder = FullVolumeFolder("full"), filler;
    if (folder.empty())
        return false;
    std::string path = folder + "\\" + name;
    if (!WriteWholeFile(path, previous) || (filler = FillVolume(folder, 8192)).empty()) {
        ADD_FAILURE() << "the volume of " << path << " could not be filled";
        return true;
    }
    SeenBox box = save(path);
    DeleteFileA(filler.c_str());

    // ERROR_DISK_FULL, or ERROR_WRITE_FAULT where the system took part of a write (Wine does).
    static const std::string TEXT = "Fehler beim Schreiben der Daten:\r\n";
    EXPECT_TRUE(box.caption == caption && box.style == MB_OK && (box.text == TEXT + "112" || box.text == TEXT + "29"))
        << box.caption << ": " << box.text;
    EXPECT_EQ(previous, ReadWholeFile(path));
    EXPECT_EQ(std::vector<std::string>{name}, FolderFiles(folder)) << "no temporary file is left";
    return true;
}
