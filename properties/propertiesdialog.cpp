// The device properties dialog: shows the settings, checks the hex fields,
// test-opens the device, starts the registry editor, and applies everything
// at once on OK.
#include "properties/propertiesdialog.h"

#include <stdio.h>

#include "base/appwindows.h"
#include "base/boxes.h"
#include "base/dialogframe.h"
#include "base/systemlibrary.h"
#include "base/systemtext.h"
#include "commands/commandlist.h"
#include "commands/commandtext.h"
#include "device/connection.h"
#include "device/receivebuffer.h"
#include "properties/editorkey.h"
#include "resources/resource.h"
#include "settings/settings.h"

// The connect field is read into this many bytes (at most 254 characters).
static const int CONNECT_BUFFER = 256;
static const int CONNECT_READ_LIMIT = 255;
// A hex edit is read with room for 15 characters when it is left ...
static const int HEX_CHECK_READ = 16;
// ... and with room for 2 when its byte is applied.
static const int HEX_APPLY_READ = 3;

static const char REGEDIT_CLASS[] = "RegEdit_RegEdit";
static const char REGEDIT_TITLE[] = "Registrierungs-Editor";
static const char REGEDIT_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";

// An optional byte's check box and the hex edit that holds its byte.
struct OptionalBytePair {
    int checkId;
    int editId;
};

static const OptionalBytePair END_BYTE_PAIR = {IDC_ENDBYTE_ON, IDC_ENDBYTE_BYTE};
static const OptionalBytePair PREFIX_PAIR = {IDC_PREFIX_ON, IDC_PREFIX_BYTE};
static const OptionalBytePair SUFFIX_PAIR = {IDC_SUFFIX_ON, IDC_SUFFIX_BYTE};

// The hex edit is usable exactly while its check box is checked; its text stays.
static void EnableHexEdit(HWND dialog, int editId, bool on)
{
    SendDlgItemMessageA(dialog, editId, WM_ENABLE, on ? 1 : 0, 0);
    EnableWindow(GetDlgItem(dialog, editId), on ? TRUE : FALSE);
}

static void ShowOptionalByte(HWND dialog, const OptionalBytePair &pair, OptionalByte value)
{
    bool on = OptionalByteOn(value);
    CheckDlgButton(dialog, pair.checkId, on ? BST_CHECKED : BST_UNCHECKED);
    EnableHexEdit(dialog, pair.editId, on);
    char digits[3];
    snprintf(digits, sizeof digits, "%02X", OptionalByteValue(value));
    SetDlgItemTextA(dialog, pair.editId, digits);
}

// Reads the byte from the edit even when it is disabled: that is how a
// switched-off option keeps its byte.
static OptionalByte ReadOptionalByte(HWND dialog, const OptionalBytePair &pair)
{
    char field[HEX_APPLY_READ];
    field[0] = 0;
    GetDlgItemTextA(dialog, pair.editId, field, sizeof field);
    unsigned int value = HexPairToByte(NormalizeHexField(field)) & 0xFF;
    if (IsDlgButtonChecked(dialog, pair.checkId) != BST_CHECKED)
        value |= 0xFF00;
    return (OptionalByte)value;
}

static void InitDialog(HWND dialog)
{
    const DeviceSettings &settings = Settings();
    if (settings.connectString)
        SetDlgItemTextA(dialog, IDC_CONNECT, settings.connectString);
    SetDlgItemInt(dialog, IDC_WRITE_TIMEOUT, settings.writeTimeoutMs, FALSE);
    SetDlgItemInt(dialog, IDC_READ_TIMEOUT, settings.readTimeoutMs, FALSE);
    SetDlgItemInt(dialog, IDC_BLOCK_LENGTH, settings.readBlockLength, FALSE);
    CheckDlgButton(dialog, IDC_EXCLUSIVE, settings.openExclusive ? BST_CHECKED : BST_UNCHECKED);
    ShowOptionalByte(dialog, END_BYTE_PAIR, settings.readEndByte);
    ShowOptionalByte(dialog, PREFIX_PAIR, settings.sendPrefix);
    ShowOptionalByte(dialog, SUFFIX_PAIR, settings.sendSuffix);
}

static void OnOptionClicked(HWND dialog, int checkId, int editId, UINT notification)
{
    if (notification != BN_CLICKED)
        return;
    EnableHexEdit(dialog, editId, IsDlgButtonChecked(dialog, checkId) == BST_CHECKED);
}

static void OnHexEditLeft(HWND dialog, int editId, UINT notification)
{
    if (notification != EN_KILLFOCUS)
        return;
    char text[HEX_CHECK_READ];
    text[0] = 0;
    GetDlgItemTextA(dialog, editId, text, sizeof text);
    ValidateHexField(dialog, editId, text);
}

// Opens the named device for reading and gives the handle (or
// INVALID_HANDLE_VALUE); the wait cursor shows meanwhile.
static HANDLE TestOpen(const char *name, DWORD shareMode, DWORD *error)
{
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    SetLastError(0);
    HANDLE device = OpenConnectString(name, GENERIC_READ, shareMode, FILE_ATTRIBUTE_NORMAL);
    *error = GetLastError();
    SetCursor(previous);
    return device;
}

// All settings change together; the receive buffer follows the new length.
static void ApplySettings(HWND dialog, const char *connect)
{
    DeviceSettings &settings = Settings();
    ReplaceConnectString(connect);
    settings.writeTimeoutMs = GetDlgItemInt(dialog, IDC_WRITE_TIMEOUT, NULL, FALSE);
    settings.readTimeoutMs = GetDlgItemInt(dialog, IDC_READ_TIMEOUT, NULL, FALSE);
    settings.readBlockLength = GetDlgItemInt(dialog, IDC_BLOCK_LENGTH, NULL, FALSE);
    settings.openExclusive = IsDlgButtonChecked(dialog, IDC_EXCLUSIVE) == BST_CHECKED;
    settings.readEndByte = ReadOptionalByte(dialog, END_BYTE_PAIR);
    settings.sendPrefix = ReadOptionalByte(dialog, PREFIX_PAIR);
    settings.sendSuffix = ReadOptionalByte(dialog, SUFFIX_PAIR);
    // A length whose buffer cannot be had is refused (with its box) and the
    // old buffer stays, with the setting following it.
    FitReceiveBufferToSettings();
}

// True when the dialog has ended.
static bool OnOk(HWND dialog)
{
    char connect[CONNECT_BUFFER];
    connect[0] = 0;
    GetDlgItemTextA(dialog, IDC_CONNECT, connect, CONNECT_READ_LIMIT);
    DWORD error = 0;
    // Sharing reading lets the test pass while another program reads the
    // device; the real open decides about exclusivity.
    HANDLE device = TestOpen(connect, FILE_SHARE_READ, &error);
    if (device != INVALID_HANDLE_VALUE) {
        CloseHandle(device);
    } else {
        int answer = ShowBoxOver(dialog, "Konnte Device nicht öffnen!\nTrotzdem eintragen und Dialog beenden?",
                                 CAPTION_VELKOR, MB_ICONQUESTION | MB_YESNO);
        if (answer != IDYES)
            return false;
    }
    // An empty name is never applied: once chosen, a device stays chosen.
    if (connect[0])
        ApplySettings(dialog, connect);
    EndDialog(dialog, IDOK);
    return true;
}

static void OnTestDevice(HWND dialog)
{
    char connect[CONNECT_BUFFER];
    connect[0] = 0;
    GetDlgItemTextA(dialog, IDC_CONNECT, connect, CONNECT_READ_LIMIT);
    DWORD shareMode = IsDlgButtonChecked(dialog, IDC_EXCLUSIVE) == BST_CHECKED ? 0 : FILE_SHARE_READ;
    DWORD error = 0;
    HANDLE device = TestOpen(connect, shareMode, &error);
    if (device == INVALID_HANDLE_VALUE) {
        ShowOpenDeviceError(dialog, error);
        return;
    }
    // The device stays open while the box shows, so the user can see that
    // the program really holds it.
    ShowBoxOver(dialog, "konnte Device erfolgreich testen", CAPTION_VELKOR, MB_OK | MB_ICONINFORMATION);
    CloseHandle(device);
}

// Lets the registry editor open at the list of USB devices. Without a
// manifest GetVersion gives 6.2 on Windows 8.1 and later (GetVersion's
// documentation): still 6 or more, all the root's name depends on.
static void WriteRegistryEditorLastKey()
{
    const char *lastKey = RegistryEditorUsbKey(LOBYTE(LOWORD(GetVersion())));
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, REGEDIT_KEY, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "LastKey", 0, REG_SZ, (const BYTE *)lastKey, (DWORD)lstrlenA(lastKey));
    RegCloseKey(key);
}

// Starts the system's own editor by its full path: a bare "regedit" would be
// looked for in the program's folder and the current folder first, where
// anybody could have put a program of that name. The editor asks for the
// highest rights the user has: CreateProcess then fails with
// ERROR_ELEVATION_REQUIRED, the shell asks the user to allow it (Microsoft's
// "Elevation and process creation APIs"). A refused start stays silent.
static void StartRegistryEditor()
{
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder)
        return;
    const char *separator = folder[length - 1] == '\\' ? "" : "\\";
    char path[MAX_PATH + 16];
    int written = snprintf(path, sizeof path, "%s%sregedit.exe", folder, separator);
    if (written < 0 || written >= (int)sizeof path)
        return;
    ShellOpen(path, SW_SHOWNORMAL);
}

static void OnOpenRegistry(HWND dialog)
{
    HWND editor = FindWindowA(REGEDIT_CLASS, REGEDIT_TITLE);
    if (editor) {
        ShowWindow(editor, SW_SHOWNORMAL);
        SetForegroundWindow(editor);
        return;
    }
    WriteRegistryEditorLastKey();
    ShowBoxOver(dialog, "Regedit wird als eigener Prozess gestartet und muss ggf. explizit beendet werden",
                CAPTION_REGISTRY, MB_OK | MB_ICONINFORMATION);
    StartRegistryEditor();
}

// "Abbrechen" and Escape: nothing is applied.
static void OnCancel(HWND dialog)
{
    EndDialog(dialog, IDCANCEL);
}

static INT_PTR OnCommand(HWND dialog, WPARAM wParam)
{
    UINT notification = HIWORD(wParam);
    switch (LOWORD(wParam)) {
    case IDOK: return OnOk(dialog) ? TRUE : FALSE;
    case IDCANCEL: OnCancel(dialog); return TRUE;
    case IDC_PREFIX_ON: OnOptionClicked(dialog, IDC_PREFIX_ON, IDC_PREFIX_BYTE, notification); return FALSE;
    case IDC_SUFFIX_ON: OnOptionClicked(dialog, IDC_SUFFIX_ON, IDC_SUFFIX_BYTE, notification); return FALSE;
    case IDC_ENDBYTE_ON: OnOptionClicked(dialog, IDC_ENDBYTE_ON, IDC_ENDBYTE_BYTE, notification); return FALSE;
    case IDC_PREFIX_BYTE: OnHexEditLeft(dialog, IDC_PREFIX_BYTE, notification); return FALSE;
    case IDC_SUFFIX_BYTE: OnHexEditLeft(dialog, IDC_SUFFIX_BYTE, notification); return FALSE;
    case IDC_ENDBYTE_BYTE: OnHexEditLeft(dialog, IDC_ENDBYTE_BYTE, notification); return FALSE;
    case IDC_TEST_DEVICE: OnTestDevice(dialog); return FALSE;
    case IDC_OPEN_REGISTRY: OnOpenRegistry(dialog); return FALSE;
    }
    return FALSE;
}

static INT_PTR CALLBACK DevicePropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    return RouteDialogMessage(dialog, message, wParam, InitDialog, OnCommand);
}

void EditDeviceProperties()
{
    OptionalByte oldPrefix = Settings().sendPrefix;
    OptionalByte oldSuffix = Settings().sendSuffix;
    DialogBoxParamA(AppInstance(), MAKEINTRESOURCEA(IDD_DEVICE_PROPERTIES), MainWindow(), DevicePropertiesDialogProc,
                    0);
    RerenderCommandList(oldPrefix, oldSuffix);
}
