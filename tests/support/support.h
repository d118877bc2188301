// The support library of every test program and benchmark. Texts are Windows-1252, as the program shows them; every
// wait has a deadline and pumps the calling thread's messages meanwhile. The program in-process (testapp.cpp) needs
// the program's core linked; driver programs use the rest.
#ifndef VELKOR_TESTS_SUPPORT_H
#define VELKOR_TESTS_SUPPORT_H

#include <windows.h>

#include <gtest/gtest.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "settings/devicesettings.h"

typedef std::vector<unsigned char> Bytes;

// Generous deadline for start-up, exit and boxes on a loaded machine.
const DWORD DRIVER_TIMEOUT_MS = 20000;

// ---- waiting, files, processes (system.cpp) ---------------------------------------

// Dispatches this thread's messages until condition holds or timeoutMs passes.
bool PumpUntil(const std::function<bool()> &condition, DWORD timeoutMs);
// Dispatches this thread's messages for about ms milliseconds (a time to see nothing happen).
void PumpFor(DWORD ms);
// Dispatches whatever is queued now.
void PumpPending();
// The performance counter's reading now, and the seconds between two readings.
LARGE_INTEGER Now();
double Seconds(LARGE_INTEGER from, LARGE_INTEGER to);

// Removes "Software\Talmeck" under HKEY_LOCAL_MACHINE (a first run).
void ClearVelkorRegistry();
// Stores exactly these bytes as a value of "Software\Talmeck\Velkor" (made when missing); a failure fails the test.
void PutVelkorValue(const char *name, DWORD type, const Bytes &data);
// A value of "Software\Talmeck\Velkor": its bytes and (unless type is null) its type; false when it is missing.
bool GetVelkorValue(const char *name, Bytes *data, DWORD *type = NULL);
// The four bytes of a REG_DWORD value, little-endian.
Bytes DwordBytes(uint32_t value);
// A unique name for files and pipes of one test.
std::string UniqueName(const char *stem);
// A fresh folder for one test's files under the temporary folder (no trailing "\").
std::string TestFolder(const char *stem);
// Reads a whole file once the program has closed it; empty when it cannot be read.
std::string ReadWholeFile(const std::string &path);
// Writes bytes to a file, replacing it; false on failure.
bool WriteWholeFile(const std::string &path, const std::string &bytes);
// True when the path's folder lists it (also a link to a device, which GetFileAttributes misses under Wine).
bool FolderLists(const std::string &path);
// The Unix path Wine gives a Windows path; empty when there is none.
std::string UnixPath(const std::string &windowsPath);
// A new folder on drive R:, the small volume of the tests' fixture; "" when there is none.
std::string FullVolumeFolder(const char *stem);
// Fills the folder's volume until only about leave bytes are free; the filler's path ("" on failure).
std::string FillVolume(const std::string &folder, DWORD leave);
// The files of a folder whose names match pattern ("*" for all), sorted.
std::vector<std::string> FolderFiles(const std::string &folder, const char *pattern = "*");
// Starts a Linux program (a command line with Unix paths); nothing tells when it ends.
bool StartUnixProgram(const std::string &commandLine);
// The folder of the running program (no trailing "\").
std::string ProgramFolder();

// A process seen in the system's process list.
struct ProcessEntry {
    DWORD id;
    std::string image; // full path when it can be asked for, else the file name
};
// Every running process whose file name is name (case ignored) and that is not in except.
std::vector<ProcessEntry> ProcessesNamed(const char *name, const std::vector<ProcessEntry> &except = {});
// Ends a process the test started and waits for it; false when it could not.
bool EndProcess(DWORD processId);

// The full path of the system's registry editor.
std::string SystemRegistryEditor();
// A copy of this program planted as "<folder>\regedit.exe" only leaves a marker when run: planting it (its path or
// ""), the marker, removing both, and for a static initialiser the check that leaves the marker and ends the copy.
std::string PlantRegistryEditor(const std::string &folder);
std::string PlantedMarker(const std::string &folder);
void RemovePlanted(const std::string &folder);
bool ExitIfPlanted();

// Processor time a thread of this process has used so far, in ms (0 when unreadable).
ULONGLONG ThreadMilliseconds(DWORD threadId);

// The process's handles and memory, for leak checks.
struct ResourceUse {
    DWORD handles;       // GetProcessHandleCount (under Wine: open handle values probed)
    SIZE_T privateBytes; // PrivateUsage (under Wine: PagefileUsage)
    SIZE_T heapBytes;    // bytes in use in the process heap
};
ResourceUse MeasureResources();

// ---- the box recorder (boxes.cpp) -------------------------------------------------
// In-process, a thread timer inside every modal loop of the test's thread hands each new box to the next scripted
// answer (one without is recorded as unexpected and cancelled); AnswerBox gives a box of another thread or process
// an answer of the same kind.

// A dialog or message box as the test saw it.
struct SeenBox {
    bool seen = false;
    HWND owner = NULL;
    std::string caption;
    std::string text;          // a message box's text; empty for dialogs
    UINT style = 0;            // a message box's MB_ICON* (by its picture) | button set
    bool isMessageBox = false; // recognised by its controls, whatever its instance
    bool unexpected = false;   // no answer was scripted for it
};

// What a scripted answer does with a box: press a button, fill a dialog, ...
typedef std::function<void(HWND box, const SeenBox &seen)> BoxAction;

// A visible, enabled box (#32770) of a process, of one thread when threadId is not 0, not in skip.
HWND FindBox(DWORD processId, DWORD threadId = 0, const std::vector<HWND> &skip = std::vector<HWND>());
// Waits for a box of a process and describes it into seen (when not null); null on time-out.
HWND WaitForBox(DWORD processId, DWORD timeoutMs = DRIVER_TIMEOUT_MS, SeenBox *seen = NULL,
                const std::vector<HWND> &skip = std::vector<HWND>());
// Waits for a box of a process, answers it with action and waits until it is gone or disabled.
bool AnswerBox(DWORD processId, BoxAction action, DWORD timeoutMs = DRIVER_TIMEOUT_MS);
// Presses a button of a box or dialog by posting its command (any process).
void PressButton(HWND box, int buttonId);

// Starts answering the current thread's boxes (idempotent); stopping forgets the script and the records.
void StartBoxAnswering();
void StopBoxAnswering();
// Queues an answer for the next box that appears: an action, or pressing the button with this id (IDOK, ...).
void AnswerNextBox(BoxAction action);
void AnswerNextBoxWith(int buttonId);
// Every box seen since StartBoxAnswering (or ClearSeenBoxes), in order; the scripted answers not used yet.
const std::vector<SeenBox> &SeenBoxes();
void ClearSeenBoxes();
size_t PendingAnswers();
// Expects box to have this caption, text and style (MB_ICON* | button set).
void ExpectBox(const SeenBox &box, const std::string &caption, const std::string &text, UINT style);
// An answer that copies the box into *box (when not null) and presses button.
BoxAction RecordBox(SeenBox *box, int button);
// A question with a Yes button is answered Yes and next waits for the box after it; any other box gets next.
BoxAction YesIfAskedThen(BoxAction next);

// The clipboard's text in a format (CF_TEXT as bytes, CF_UNICODETEXT as UTF-16 code units); "(none)" without it.
std::string ClipboardText(UINT format = CF_TEXT);

// A window's text through WM_GETTEXT, which crosses processes (edit boxes too).
std::string WindowText(HWND window);
// A dialog control's text, check state and enabled state (any process).
std::string ControlText(HWND dialog, int id);
bool ControlChecked(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
// Clicks a button or check box as the mouse would (any process).
void ClickControl(HWND dialog, int id);
// Posts a key press (down and up) to a window, as the keyboard would.
void PostKey(HWND window, UINT key);

// The byte boxes of dialog 807 in the order of byte fields 0 to 7.
extern const int COMMAND_BYTE_BOXES[8];
// Fills dialog 807's byte boxes (missing ones empty) and its remark (unless null), then presses button (0: none).
BoxAction FillCommandDialog(const std::vector<std::string> &bytes, const char *remark, int button = IDOK);

// A control of a dialog template.
struct TemplateItem {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;           // -1: none
    int classAtom = -1;   // 0x80 button, 0x81 edit, 0x82 static; -1: a class by name
    std::string text;
    int textOrdinal = -1; // a resource named by its number instead of a text (an icon)
};
// A dialog template as the resource compiler stored it (DLGTEMPLATE or DLGTEMPLATEEX).
struct DialogTemplateView {
    bool found = false, extended = false, hasMenu = false, hasClass = false;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string title, font;
    WORD pointSize = 0;
    std::vector<TemplateItem> items;
};
// This program's dialog template id in language (0: the one FindResource picks).
DialogTemplateView ReadDialogTemplate(int id, WORD language = 0);

// What a common file dialog showed when it was answered.
struct FileDialogView {
    bool seen = false;
    std::string caption;
    std::string initialName;          // the name field's text
    std::vector<std::string> filters; // the file type box's entries
};
// Records the file dialog into view (may be null), runs before (unless empty), types path and presses OK (an
// empty path: Cancel).
BoxAction ChooseFile(const std::string &path, FileDialogView *view = NULL, std::function<void(HWND)> before = {});

// ---- temporary folder, journal files, saved files (savefiles.cpp) ----------------------

// Points TMP and TEMP at folder (with its trailing "\"), or with "" back to what they were (not nested).
void UseTempFolder(const std::string &folder);
// The sizes of the journal files (vlk<pid>-*.tmp) of a process in folder (with its "\"; NULL: the temporary folder).
std::vector<DWORD> JournalSizes(DWORD processId = GetCurrentProcessId(), const char *folder = NULL);
// The file a save of these log lines writes: each line that is not empty, with CR LF.
std::string SavedForm(const std::vector<std::string> &lines);
// A saved log's lines, and their texts.
std::vector<std::string> SavedLines(const std::string &file);
std::vector<std::string> SavedTexts(const std::string &file);
// A save onto a volume full but for a few KiB: save saves to name, in a new folder on R: holding previous, and
// returns its error box; then the volume is freed, the box must be the write error box with caption, the file
// must still hold previous and be the folder's only file. False (skip the test) without the small volume R:.
bool SaveOntoFullVolume(const char *name, const std::string &previous, const char *caption,
                        const std::function<SeenBox(const std::string &path)> &save);

// ---- velkor.exe and its windows from outside (driver.cpp) ------------------------------
// The readers take the program of this process (in-process tests) unless given another.

// One started copy of the program (or of velkor-echo.exe, which has no window).
struct VelkorProcess {
    HANDLE process = NULL;
    DWORD processId = 0;
    HWND window = NULL; // its main window, once WaitForMainWindow found it
};
// The program running in this process (testapp.cpp).
VelkorProcess ThisApp();

// A log line's text after its 16-character head.
std::string LogText(const std::string &line);
// Milliseconds since midnight of a log line's head "M hh:mm:ss,mmm  "; -1 when malformed.
long LineTime(const std::string &line);
// Index of the first line at or after from whose text starts with text; -1 when none.
int FindLogLine(const std::vector<std::string> &lines, const std::string &text, size_t from = 0);

// Starts build/velkor.exe in workingDir (empty: the build folder) with arguments (each after a blank); does not
// wait for its window.
bool StartVelkorProcess(VelkorProcess &app, const std::string &workingDir = std::string(),
                        const std::string &arguments = std::string());
// Copies build/velkor.exe into folder and starts the copy there; does not wait for its window.
bool StartVelkorCopy(VelkorProcess &app, const std::string &folder);
// Starts velkor-echo.exe on \\.\pipe\<name> (a status block every statusMs unless 0); false when it does not serve.
bool StartEchoDevice(VelkorProcess &device, const std::string &name, DWORD statusMs = 0);
// Runs velkor-echo.exe with arguments until it ends; its exit code (STILL_ACTIVE when it was ended after
// timeoutMs) and in output what it wrote.
DWORD RunEchoDevice(const std::string &arguments, std::string *output, DWORD timeoutMs);
// Waits until the process shows its main window with at least one log line; sets app.window.
bool WaitForMainWindow(VelkorProcess &app, DWORD timeoutMs = DRIVER_TIMEOUT_MS);
// Every top-level window of a class, of one process and thread unless 0 (the program's class is "VELKOR_WND").
std::vector<HWND> TopWindows(const char *windowClass, DWORD processId = 0, DWORD threadId = 0);
// The entries of a list box (or with combo, of a combo box) of any process.
std::vector<std::string> ListBoxEntries(HWND box, bool combo = false);
// The message log's lines, oldest first.
std::vector<std::string> LogLines(const VelkorProcess &app = ThisApp());
// The text of the log's newest line (the whole log across processes takes seconds).
std::string NewestLogText(const VelkorProcess &app = ThisApp());
// Waits until some line's text equals text.
bool WaitForLogLine(const std::string &text, DWORD timeoutMs = DRIVER_TIMEOUT_MS,
                    const VelkorProcess &app = ThisApp());
// Posts text with WMU_LOG_TEXT and waits until it is logged: whatever was posted before has been handled by then.
bool PostLogText(const VelkorProcess &app, const std::string &text);
// Number of entries in the command list (-1: no list), a cell's text (sub-item 0 or 1), all as "command|remark".
int ListItemCount(const VelkorProcess &app = ThisApp());
std::string ListText(int item, int subItem, const VelkorProcess &app = ThisApp());
std::vector<std::string> ListEntries(const VelkorProcess &app = ThisApp());
// TB_GETSTATE of a toolbar button once posted changes are in (-1 when there is no such button).
int ButtonState(int id, const VelkorProcess &app = ThisApp());
// Posts WM_COMMAND with a menu, toolbar or accelerator id.
void PostCommand(const VelkorProcess &app, int id);
// Waits for the process to end; its exit code goes to exitCode.
bool WaitForExit(const VelkorProcess &app, DWORD timeoutMs, DWORD *exitCode);
// Ends the process if it still runs (a failed test) and closes its handle; false when it runs on.
bool EndVelkorProcess(VelkorProcess &app);

// ---- the program in-process (testapp.cpp) -----------------------------------------

// Starts the program's real main window in this thread; false on failure.
bool StartTestApp();
// Ends it as "Beenden" does and runs the shutdown; returns the loop's exit code.
int StopTestApp();
// True when the log's newest line is wholly in view.
bool LastLineInView();
// Puts watcher in front of the log's own window procedure, or takes it away again (NULL).
void WatchLogWindow(WNDPROC watcher);
// The log's own window procedure, for a watcher to hand each message on to.
LRESULT CallLogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The log's list box refuses the next count lines it is given, as when out of memory.
void RefuseLogLines(int count);
// A column header of the command list (or of list) as "text|width".
std::string ColumnHeader(int column, HWND list = NULL);
// Inserts an entry with the given column texts at the end; returns its index.
int InsertListEntry(const char *command, const char *remark);
// Selects entry n and makes it the selection mark (-1: no selection mark).
void MarkEntry(int n);
// Posts a key press to target (where the focus would send it) with Ctrl held or not, and runs the program's own
// message loop until it has been handled.
void PressKeyInLoop(HWND target, UINT key, bool ctrl = false);
// Replaces the clipboard's content with a text as the program does; false when the clipboard stays busy.
bool SetClipboardText(const std::string &text);
// Logs count lines, the texts printf(format, n) for n from 0; returns the texts.
std::vector<std::string> LogNumbered(const char *format, int count);
// Saves the log to path through the file dialog, at the question runs atQuestion (unless empty) and answers it;
// returns what the file then holds.
std::string SaveLog(const std::string &path, int answer, const std::function<void()> &atQuestion = {});
// Sends a WM_COMMAND as a menu would, and lets posted messages run.
void RunCommand(int id);
// Menu item state (MF_GRAYED etc.) of a command.
UINT MenuState(int id);
// True when saving the command list is offered (menu and button enabled), or with false withdrawn (both off).
bool SaveOffered(bool offered = true);
// Remembers a command file name as a load or save would (the save controls follow); the name, "(none)" when none.
void Remember(const char *name);
std::string NameOrNone();

// A settings record as one line of every field, the connect string by its text (for comparing records).
std::string SettingsText(const DeviceSettings &settings);
// The read settings and the connect string, as the properties dialog would set them.
void UseDevice(const std::string &connectString, uint32_t blockLength = 3, uint32_t readTimeoutMs = 500,
               uint16_t endByte = 0xFF00);
// "Device oeffnen" from the toolbar (true when the log then says it was opened); "Device schliessen".
bool OpenFromToolbar();
void CloseFromToolbar();
// Waits until the log shows at least count received blocks; returns them all.
std::vector<Bytes> WaitForBlocks(size_t count, DWORD timeoutMs);

// The fixture of every in-process test that runs the program: a first run (empty registry), the test's boxes
// answered; at the end every box the test waited for must have come, and no other one.
class VelkorAppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Runs before the program starts (a peer, registry values, ...).
    virtual void BeforeStart() {}
    // Starts the program (the fixture stops it at the end).
    void Start();
    // Stops it; returns the message loop's exit code.
    int Stop();
    bool startAtSetUp = true; // false: the test calls Start itself
    bool running = false;
};

// ---- the device peer (device_peer.cpp) ------------------------------------------
// The far end of Velkor's device: a named pipe served by the test, or a socat pty pair mapped as two COM ports of
// the prefix. It records what Velkor writes and sends what the test asks for.

struct DevicePeer;
// Serves \\.\pipe\<name> to every client in turn; without record nothing is read, with bufferSize 0 no write ends.
DevicePeer *StartPipePeer(const std::string &name, bool record = true, DWORD bufferSize = 4096);
// Maps a pty pair as COM7 (Velkor's end) and COM8 and opens COM8; null on failure.
DevicePeer *StartSerialPeer();
// Ends the peer: its threads, its handles, socat and the mapped ports.
void StopPeer(DevicePeer *peer);
// The connect string Velkor uses for this peer ("\\.\pipe\..." or "COM7").
std::string PeerConnectString(const DevicePeer *peer);
// True while a client (Velkor) is connected (seen to leave only when recording), or the serial peer's end is open.
bool PeerConnected(DevicePeer *peer);
// Waits until the pipe peer has taken in this many clients, each instance replaced.
bool WaitPeerReady(DevicePeer *peer, int clients, DWORD timeoutMs);
// Writes to the connected client and waits for the write (up to 5 s).
bool PeerWrite(DevicePeer *peer, const Bytes &bytes);
// Writes the counter bytes 0, 1, ..., 255, 0, ... as fast as the device takes them, for durationMs; stopped: how many.
void PeerStartFlood(DevicePeer *peer, DWORD durationMs);
// Writes these bytes in the flood's small writes instead, all of them however long that takes.
void PeerStartSending(DevicePeer *peer, const Bytes &bytes);
// The counter flood at a steady rate; and the longest time one of its writes waited for the reader, in ms.
void PeerStartPacedFlood(DevicePeer *peer, DWORD bytesPerSecond, DWORD durationMs);
DWORD PeerLongestWriteMs(DevicePeer *peer);
uint64_t PeerStopFlood(DevicePeer *peer);
bool PeerFloodDone(DevicePeer *peer);
// What the client wrote so far; waiting until at least count bytes came.
Bytes PeerReceived(DevicePeer *peer);
bool WaitPeerReceived(DevicePeer *peer, size_t count, DWORD timeoutMs);
// The device vanishes (a pipe peer drops its client and serves no more; socat is killed), and is back.
void PeerVanish(DevicePeer *peer);
bool PeerRevive(DevicePeer *peer);

// The fixture of a test with a device peer (started by the test or by BeforeStart), which is stopped at the end
// (testapp.cpp).
class VelkorPeerTest : public VelkorAppTest {
protected:
    void TearDown() override;
    // Makes the peer the device with these read settings, opens it from the toolbar and waits until the peer sees it.
    void OpenPeer(uint32_t blockLength = 3, uint32_t readTimeoutMs = 500, uint16_t endByte = 0xFF00);
    DevicePeer *peer = NULL;
};

// Bytes from a text of hex pairs separated by blanks, "41 42 0D".
Bytes HexBytes(const char *text);
// Log lines that show received blocks, as their bytes.
std::vector<Bytes> ReceivedBlocks(const std::vector<std::string> &lines);

#endif
