// The key the registry editor opens at, as the running Windows names it (no windows.h).
#ifndef VELKOR_PROPERTIES_EDITORKEY_H
#define VELKOR_PROPERTIES_EDITORKEY_H

// The list of USB devices under the editor's root: "Computer" from Windows major version 6 on, "Arbeitsplatz" before.
const char *RegistryEditorUsbKey(unsigned windowsMajor);

#endif
