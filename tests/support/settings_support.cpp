#include "settings_support.h"

static std::string TextOf(HWND window)
{
    char text[2048];
    text[0] = 0;
    if (window)
        GetWindowTextA(window, text, sizeof text);
    return text;
}

BoxAction RecordAndPress(SeenMessageBox *into, int button)
{
    return [into, button](HWND box, const BoxInfo &) {
        into->seen = true;
        into->owner = GetWindow(box, GW_OWNER);
        into->caption = TextOf(box);
        into->text = TextOf(GetDlgItem(box, 0xFFFF));
        into->style = MessageBoxIcon(box) | MessageBoxButtons(box);
        PressButton(box, button);
    };
}
