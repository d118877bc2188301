// Device settings: defaults, registry persistence, title.
#include "settings/settings.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "app/shell.h"

// Owned by the user-interface thread.
static DeviceSettings settings;

DeviceSettings &Settings() { return settings; }

void ReplaceConnectString(const char *text)
{
    free(settings.connectString);
    settings.connectString = text ? _strdup(text) : NULL;
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

void LoadSettings() {}

void StoreSettings() { ReplaceConnectString(NULL); }

void UpdateTitle() { SetWindowTextA(MainWindow(), WindowName()); }
