// Device settings: defaults, registry persistence, title.
#include "settings/settings.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/appwindows.h"
#include "base/boxes.h"
#include "base/systemtext.h"
#include "settings/settingscodec.h"

static const char SETTINGS_PARENT_KEY[] = "Software\\Talmeck";
static const char SETTINGS_KEY[] = "Software\\Talmeck\\Velkor";
static const char CONNECT_STRING_VALUE[] = "connectstring";

// Owned by the user-interface thread.
static DeviceSettings settings;
// What the registry held after LoadSettings (own connect string copy), so
// that a failed store is reported only when it loses something.
// Owned by the user-interface thread.
static DeviceSettings loadedSettings;

DeviceSettings &Settings() { return settings; }

const char *SettingsKeyPath() { return SETTINGS_KEY; }

static char *CopyText(const char *text)
{
    return text ? _strdup(text) : NULL;
}

void ReplaceConnectString(const char *text)
{
    // Copy first: text may be the current connect string itself.
    char *copy = CopyText(text);
    free(settings.connectString);
    settings.connectString = copy;
}

void SetDefaultSettings()
{
    ReplaceConnectString(NULL);
    settings.readBlockLength = 3;
    settings.readTimeoutMs = 500;
    settings.readEndByte = OPTIONAL_BYTE_OFF;
    settings.writeTimeoutMs = 500;
    settings.sendPrefix = OPTIONAL_BYTE_OFF;
    settings.sendSuffix = OPTIONAL_BYTE_OFF;
    settings.openExclusive = true;
}

static void RememberLoadedSettings()
{
    free(loadedSettings.connectString);
    loadedSettings = settings;
    loadedSettings.connectString = CopyText(settings.connectString);
}

// The connect string as stored: up to 255 bytes of any type, no terminator needed.
static void LoadConnectString(HKEY key)
{
    char *text = (char *)malloc(CONNECT_STRING_LIMIT + 1);
    if (!text)
        return;
    DWORD size = CONNECT_STRING_LIMIT;
    if (RegQueryValueExA(key, CONNECT_STRING_VALUE, NULL, NULL, (BYTE *)text, &size) != ERROR_SUCCESS) {
        free(text);
        return;
    }
    TerminateConnectString(text, size);
    free(settings.connectString);
    settings.connectString = text;
}

void LoadSettings()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        LoadConnectString(key);
        for (int v = 0; v < SETTINGS_VALUE_COUNT; v++) {
            unsigned char data[4];
            DWORD size = sizeof data;
            // Any type is taken; only the size must be exactly four bytes.
            if (RegQueryValueExA(key, SettingsValueName((SettingsValue)v), NULL, NULL, data, &size) == ERROR_SUCCESS)
                DecodeSettingsValue(settings, (SettingsValue)v, data, size);
        }
        RegCloseKey(key);
    }
    RememberLoadedSettings();
}

static void KeepFirstFailure(LONG *first, LONG result)
{
    if (*first == ERROR_SUCCESS && result != ERROR_SUCCESS)
        *first = result;
}

// The connect string is stored without its terminating zero. RegSetValueExA
// adds one to a text whose counted bytes are followed by a zero in memory,
// so the characters are handed over from a copy followed by a non-zero byte:
// a 255-byte string would otherwise come back 256 bytes long and be ignored
// at the next start.
static LONG WriteConnectString(HKEY key, const char *text)
{
    size_t length = strlen(text);
    char *copy = (char *)malloc(length + 1);
    if (!copy)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(copy, text, length);
    copy[length] = '\x01';
    LONG result = RegSetValueExA(key, CONNECT_STRING_VALUE, 0, REG_SZ, (const BYTE *)copy, (DWORD)length);
    free(copy);
    return result;
}

// Writes every value; a failed write does not stop the ones after it.
// Returns the first failure, ERROR_SUCCESS when all was stored.
static LONG WriteSettings()
{
    HKEY key;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_PARENT_KEY, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, NULL, &key, NULL);
    if (result != ERROR_SUCCESS)
        return result;
    RegCloseKey(key);
    result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                             &key, NULL);
    if (result != ERROR_SUCCESS)
        return result;

    LONG first = ERROR_SUCCESS;
    if (settings.connectString) {
        KeepFirstFailure(&first, WriteConnectString(key, settings.connectString));
    } else {
        // Removes a connect string of an earlier run.
        result = RegDeleteValueA(key, CONNECT_STRING_VALUE);
        if (result != ERROR_FILE_NOT_FOUND)
            KeepFirstFailure(&first, result);
    }
    for (int v = 0; v < SETTINGS_VALUE_COUNT; v++) {
        unsigned char data[4];
        EncodeSettingsValue(settings, (SettingsValue)v, data);
        KeepFirstFailure(&first, RegSetValueExA(key, SettingsValueName((SettingsValue)v), 0, REG_DWORD, data, 4));
    }
    RegCloseKey(key);
    return first;
}

// At exit the main window is gone, so the box has no owner; it is shown only
// when the record differs from what the registry gave at start, so a user
// without the rights to write under HKEY_LOCAL_MACHINE is not warned at every
// exit, only when a change of this run is lost.
static void ReportStoreFailure(LONG error)
{
    char reason[200];
    ComposeSystemError(reason, sizeof reason, "Fehler %d: %s", "Fehler %d", (unsigned long)error, CUT_LINE_END,
                       sizeof reason);
    char text[512];
    snprintf(text, sizeof text,
             "Die Einstellungen konnten nicht gespeichert werden.\r\n"
             "HKEY_LOCAL_MACHINE\\%s\r\n%s\r\n"
             "Die Aenderungen dieser Sitzung gehen verloren.",
             SETTINGS_KEY, reason);
    ShowBoxOver(BoxOwner(), text, CAPTION_VELKOR, MB_ICONWARNING | MB_OK | MB_SETFOREGROUND);
}

void StoreSettings()
{
    LONG result = WriteSettings();
    if (result != ERROR_SUCCESS && !SameStoredSettings(settings, loadedSettings))
        ReportStoreFailure(result);
    ReplaceConnectString(NULL);
    free(loadedSettings.connectString);
    loadedSettings.connectString = NULL;
}

void UpdateTitle()
{
    if (!settings.connectString) {
        SetWindowTextA(MainWindow(), WindowName());
        return;
    }
    size_t size = TitleBufferSize(WindowName(), settings.connectString);
    char *title = (char *)malloc(size);
    if (!title) {
        SetWindowTextA(MainWindow(), WindowName());
        return;
    }
    FormatTitle(title, size, WindowName(), settings);
    SetWindowTextA(MainWindow(), title);
    free(title);
}
