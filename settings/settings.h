// The program's one DeviceSettings record: defaults, registry, title.
// Owned by the user-interface thread.
#ifndef VELKOR_SETTINGS_SETTINGS_H
#define VELKOR_SETTINGS_SETTINGS_H

#include "settings/devicesettings.h"

// The record; other modules read its fields at the moment of use.
DeviceSettings &Settings();
// Gives every field its default and releases a connect string.
void SetDefaultSettings();
// Reads "Software\Talmeck\Velkor" under HKEY_LOCAL_MACHINE into the record.
void LoadSettings();
// Writes the record back to the registry and releases the connect string.
void StoreSettings();
// Sets the main window's title from the window name and the settings.
void UpdateTitle();
// "Software\Talmeck\Velkor", the key of the settings under HKEY_LOCAL_MACHINE.
const char *SettingsKeyPath();
// Replaces the connect string with a copy of text (null: none).
void ReplaceConnectString(const char *text);

#endif
