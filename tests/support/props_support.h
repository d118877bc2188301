// Helpers for the device properties dialog's tests: dialog controls,
// processes of the registry editor, planted programs, velkor.exe runs.
#ifndef VELKOR_TESTS_PROPS_SUPPORT_H
#define VELKOR_TESTS_PROPS_SUPPORT_H

#include <windows.h>

#include <string>
#include <vector>

#include "boxes.h"

// Describes a message box, also where the system gives message boxes no
// instance handle (Wine), which DescribeBox relies on: the text control
// 0xFFFF marks them.
BoxInfo DescribeMessageBox(HWND box);
// Queues an answer that records the box (RecordedBoxes) and presses buttonId.
void AnswerAndRecord(int buttonId);
// The message boxes recorded by AnswerAndRecord, oldest first.
const std::vector<BoxInfo> &RecordedBoxes();
void ClearRecordedBoxes();

// What a dialog shows in its controls (works across processes).
std::string ControlText(HWND dialog, int id);
bool ControlChecked(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
// Clicks a button or check box as the mouse would (works across processes).
void ClickControl(HWND dialog, int id);
// Sets a control's text with WM_SETTEXT, which bypasses ES_NUMBER.
void SetControlText(HWND dialog, int id, const char *text);

// A process seen in the system's process list.
struct ProcessEntry {
    DWORD id;
    std::string image; // full path when it can be asked for, else the file name
};
// Every running process whose file name is name (case ignored).
std::vector<ProcessEntry> ProcessesNamed(const char *name);
// Processes in now that are not in before.
std::vector<ProcessEntry> NewProcesses(const std::vector<ProcessEntry> &before, const std::vector<ProcessEntry> &now);
// Ends a process the test started (and waits for it); false when it could not.
bool EndProcess(DWORD processId);

// The full path of the system's registry editor.
std::string SystemRegistryEditor();
// Copies the running test program as "<folder>\regedit.exe"; it then only
// leaves a marker (PlantedMarker) when started. Returns the planted path.
std::string PlantRegistryEditor(const std::string &folder);
// The marker a planted program leaves in its folder.
std::string PlantedMarker(const std::string &folder);
// Removes a planted program and its marker.
void RemovePlanted(const std::string &folder);
// Call from a static initialiser: when this program runs as a planted
// regedit.exe, leaves the marker and ends the process.
bool ExitIfPlanted();
// The folder of the running program (no trailing "\").
std::string ProgramFolder();

// The registry editor's "LastKey" value under HKEY_CURRENT_USER.
void DeleteRegistryEditorLastKey();
// Reads it: false when absent; type and raw bytes otherwise.
bool ReadRegistryEditorLastKey(DWORD *type, std::string *data);

#endif
