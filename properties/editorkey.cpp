// The registry editor's root was "Arbeitsplatz" in the German editor of
// Windows XP; since Windows Vista (6.0) it is "Computer", and the editor finds
// no key given under another root.
#include "properties/editorkey.h"

const char *RegistryEditorUsbKey(unsigned windowsMajor)
{
    if (windowsMajor >= 6)
        return "Computer\\HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB";
    return "Arbeitsplatz\\HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB";
}
