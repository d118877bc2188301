// The help page shipped beside velkor.exe: well-formed, self-contained, and
// naming only menu items and dialog controls the program really has.
//
// Markup convention of the page: a menu name stands in <span class="menu">,
// a dialog control's text in <span class="ctl">; the access key of either is
// the one character in <u>...</u> (the "&" of the resource text).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "support.h"

namespace {

const std::set<std::string> VOID_ELEMENTS = {"meta", "br", "hr", "wbr", "img"};
const std::set<std::string> KNOWN_ELEMENTS = {
    "html", "head", "meta", "title", "style", "body", "nav", "h1", "h2", "h3", "p", "ul", "ol", "li",
    "table", "tr", "th", "td", "pre", "a", "b", "i", "u", "em", "strong", "small", "span", "code",
    "kbd", "samp", "br", "hr", "wbr", "img"};
const std::set<std::string> BLOCK_ELEMENTS = {"nav", "h1", "h2", "h3", "p", "ul", "ol", "li", "table",
                                              "tr", "th", "td", "pre", "hr"};
const std::set<std::string> INLINE_ELEMENTS = {"a", "b", "i", "u", "em", "strong", "small", "span",
                                               "code", "kbd", "samp", "title"};
// The attributes the page may use; anything else (style, on...) is refused.
const std::set<std::string> KNOWN_ATTRIBUTES = {"lang", "charset", "name", "content", "class", "id", "href", "src", "alt"};
// The one picture is embedded: the page stays one file.
const std::string PICTURE = "data:image/png;base64,";
const std::set<std::string> KNOWN_CLASSES = {"menu", "ctl", "hint"};
// Named entities the page may use, with their Windows-1252 byte (0 when none).
const std::map<std::string, unsigned char> ENTITIES = {
    {"amp", '&'},    {"lt", '<'},      {"gt", '>'},      {"quot", '"'},    {"apos", '\''},
    {"nbsp", 0xA0},  {"auml", 0xE4},   {"ouml", 0xF6},   {"uuml", 0xFC},   {"Auml", 0xC4},
    {"Ouml", 0xD6},  {"Uuml", 0xDC},   {"szlig", 0xDF},  {"ndash", 0x96},  {"mdash", 0x97},
    {"hellip", 0x85}, {"bdquo", 0x84}, {"ldquo", 0x93},  {"rdquo", 0x94},  {"rarr", 0},
    {"copy", 0xA9},  {"deg", 0xB0},    {"micro", 0xB5},  {"times", 0xD7},  {"middot", 0xB7}};

struct PageReport {
    std::vector<std::string> errors;
    std::vector<std::string> menuNames;    // as in the resource: access key marked with "&"
    std::vector<std::string> controlNames; // likewise
    std::string charset;
    std::string title;
};

struct OpenElement {
    std::string name;
    std::string cls;
    std::string collected; // text of a "menu" or "ctl" span
};

class PageChecker {
public:
    explicit PageChecker(const std::string &html) : html_(html) {}

    PageReport Run()
    {
        for (pos_ = 0; pos_ < html_.size(); pos_++) {
            unsigned char c = (unsigned char)html_[pos_];
            if (c >= 0x80 || (c < 0x20 && c != '\n' && c != '\r' && c != '\t'))
                Error("byte " + std::to_string(c) + " is not plain ASCII");
        }
        pos_ = 0;
        const std::string doctype = "<!DOCTYPE html>";
        if (html_.compare(0, doctype.size(), doctype) != 0)
            Error("the page does not begin with " + doctype);
        else
            pos_ = doctype.size();
        while (pos_ < html_.size()) {
            if (html_[pos_] == '<')
                Markup();
            else
                Text();
        }
        for (const OpenElement &open : stack_)
            Error("<" + open.name + "> is never closed");
        for (const std::string &link : links_)
            if (!ids_.count(link))
                Error("link to #" + link + " has no target");
        if (!seenHtml_)
            Error("no <html> element");
        return report_;
    }

private:
    void Error(const std::string &what) { report_.errors.push_back("line " + std::to_string(Line()) + ": " + what); }

    int Line() const
    {
        int line = 1;
        for (size_t i = 0; i < pos_ && i < html_.size(); i++)
            line += html_[i] == '\n';
        return line;
    }

    // Decodes an entity at pos_ ("&...;"); appends its byte to out.
    void Entity(std::string *out)
    {
        size_t end = html_.find(';', pos_);
        if (end == std::string::npos || end - pos_ > 10) {
            Error("bare \"&\"");
            pos_++;
            return;
        }
        std::string name = html_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        if (name.size() > 1 && name[0] == '#') {
            bool hex = name[1] == 'x' || name[1] == 'X';
            std::string digits = name.substr(hex ? 2 : 1);
            if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                                      std::string::npos) {
                Error("bad character reference &" + name + ";");
                return;
            }
            unsigned long code = strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
            if (out)
                out->push_back(code < 0x100 ? (char)code : '?');
            return;
        }
        auto it = ENTITIES.find(name);
        if (it == ENTITIES.end()) {
            Error("unknown entity &" + name + ";");
            return;
        }
        if (out)
            out->push_back(it->second ? (char)it->second : '?');
    }

    OpenElement *CollectingSpan()
    {
        for (size_t i = stack_.size(); i-- > 0;)
            if (stack_[i].cls == "menu" || stack_[i].cls == "ctl")
                return &stack_[i];
        return nullptr;
    }

    void Text()
    {
        OpenElement *span = CollectingSpan();
        const std::string parent = stack_.empty() ? std::string() : stack_.back().name;
        bool textAllowed = parent != "html" && parent != "head" && parent != "ul" && parent != "ol" &&
                           parent != "table" && parent != "tr" && !parent.empty();
        while (pos_ < html_.size() && html_[pos_] != '<') {
            char c = html_[pos_];
            if (!textAllowed && c != ' ' && c != '\n' && c != '\r' && c != '\t') {
                Error("text directly inside <" + (parent.empty() ? std::string("document") : parent) + ">");
                textAllowed = true; // one report is enough
            }
            std::string decoded;
            if (c == '&')
                Entity(&decoded);
            else
                decoded.push_back(html_[pos_++]);
            if (span)
                span->collected += decoded;
            if (parent == "title")
                report_.title += decoded;
        }
    }

    static bool IsNameChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

    std::string Name()
    {
        size_t start = pos_;
        while (pos_ < html_.size() && IsNameChar(html_[pos_]))
            pos_++;
        return html_.substr(start, pos_ - start);
    }

    void SkipSpace()
    {
        while (pos_ < html_.size() && (html_[pos_] == ' ' || html_[pos_] == '\n' || html_[pos_] == '\r' ||
                                       html_[pos_] == '\t'))
            pos_++;
    }

    void Markup()
    {
        if (html_.compare(pos_, 4, "<!--") == 0) {
            size_t end = html_.find("-->", pos_ + 4);
            if (end == std::string::npos) {
                Error("comment never ends");
                pos_ = html_.size();
            } else {
                pos_ = end + 3;
            }
            return;
        }
        pos_++;
        if (pos_ < html_.size() && html_[pos_] == '/') {
            pos_++;
            EndTag();
            return;
        }
        if (pos_ >= html_.size() || !(html_[pos_] >= 'a' && html_[pos_] <= 'z')) {
            Error("\"<\" that starts no tag (write &lt;)");
            return;
        }
        StartTag();
    }

    void EndTag()
    {
        std::string name = Name();
        SkipSpace();
        if (pos_ >= html_.size() || html_[pos_] != '>') {
            Error("end tag </" + name + " is not closed by \">\"");
            return;
        }
        pos_++;
        if (VOID_ELEMENTS.count(name)) {
            Error("end tag of the void element <" + name + ">");
            return;
        }
        if (stack_.empty() || stack_.back().name != name) {
            Error("</" + name + "> closes " + (stack_.empty() ? std::string("nothing") : "<" + stack_.back().name + ">"));
            return;
        }
        OpenElement closed = stack_.back();
        stack_.pop_back();
        if (closed.name == "u") {
            OpenElement *span = CollectingSpan();
            if (span) {
                // <u>x</u> marks the access key: "&x" in the resource text.
                size_t at = span->collected.rfind('\x01');
                if (at == std::string::npos || span->collected.size() - at != 2)
                    Error("<u> in a menu or control name must hold one character");
                else
                    span->collected[at] = '&';
            }
        }
        if (closed.cls == "menu")
            report_.menuNames.push_back(closed.collected);
        else if (closed.cls == "ctl")
            report_.controlNames.push_back(closed.collected);
    }

    bool CheckNesting(const std::string &name)
    {
        const std::string parent = stack_.empty() ? std::string() : stack_.back().name;
        if (parent.empty())
            return name == "html" || (Error("<" + name + "> outside <html>"), false);
        if (parent == "html" && name != "head" && name != "body")
            return Error("<" + name + "> directly inside <html>"), false;
        if (parent == "head" && name != "meta" && name != "title" && name != "style")
            return Error("<" + name + "> inside <head>"), false;
        if (name == "meta" || name == "title" || name == "style")
            if (parent != "head")
                return Error("<" + name + "> outside <head>"), false;
        if ((parent == "ul" || parent == "ol") && name != "li")
            return Error("<" + name + "> directly inside <" + parent + ">"), false;
        if (name == "li" && parent != "ul" && parent != "ol")
            return Error("<li> outside a list"), false;
        if (parent == "table" && name != "tr")
            return Error("<" + name + "> directly inside <table>"), false;
        if (name == "tr" && parent != "table")
            return Error("<tr> outside <table>"), false;
        if (parent == "tr" && name != "th" && name != "td")
            return Error("<" + name + "> directly inside <tr>"), false;
        if ((name == "th" || name == "td") && parent != "tr")
            return Error("<" + name + "> outside <tr>"), false;
        if (BLOCK_ELEMENTS.count(name))
            for (const OpenElement &open : stack_)
                if (open.name == "p" || INLINE_ELEMENTS.count(open.name) || open.name == "pre")
                    return Error("block <" + name + "> inside <" + open.name + ">"), false;
        OpenElement *span = CollectingSpan();
        if (span && name != "u")
            return Error("<" + name + "> inside a menu or control name"), false;
        return true;
    }

    void StartTag()
    {
        std::string name = Name();
        if (!KNOWN_ELEMENTS.count(name))
            Error("unknown or forbidden element <" + name + ">");
        CheckNesting(name);
        OpenElement element;
        element.name = name;
        std::set<std::string> seen;
        bool selfClosed = false;
        for (;;) {
            SkipSpace();
            if (pos_ >= html_.size()) {
                Error("tag <" + name + " never ends");
                return;
            }
            if (html_[pos_] == '>') {
                pos_++;
                break;
            }
            if (html_.compare(pos_, 2, "/>") == 0) {
                pos_ += 2;
                selfClosed = true;
                break;
            }
            std::string attribute = Name();
            if (attribute.empty()) {
                Error("bad attribute in <" + name + ">");
                pos_++;
                continue;
            }
            if (!seen.insert(attribute).second)
                Error("attribute " + attribute + " twice in <" + name + ">");
            if (!KNOWN_ATTRIBUTES.count(attribute))
                Error("attribute " + attribute + " in <" + name + ">");
            if (pos_ >= html_.size() || html_[pos_] != '=' || pos_ + 1 >= html_.size() || html_[pos_ + 1] != '"') {
                Error("attribute " + attribute + " without a double-quoted value");
                continue;
            }
            pos_ += 2;
            std::string value;
            while (pos_ < html_.size() && html_[pos_] != '"') {
                if (html_[pos_] == '&')
                    Entity(&value);
                else if (html_[pos_] == '<')
                    Error("\"<\" in an attribute value"), pos_++;
                else
                    value.push_back(html_[pos_++]);
            }
            pos_++;
            Attribute(&element, attribute, value);
        }
        if (selfClosed && !VOID_ELEMENTS.count(name))
            Error("<" + name + "/> is not a void element");
        if (name == "html")
            seenHtml_ = true;
        if (VOID_ELEMENTS.count(name))
            return;
        if (name == "style") {
            size_t end = html_.find("</style>", pos_);
            if (end == std::string::npos) {
                Error("<style> never ends");
                pos_ = html_.size();
                return;
            }
            std::string css = html_.substr(pos_, end - pos_);
            for (const char *outside : {"url(", "@import", "http", "expression("})
                if (css.find(outside) != std::string::npos)
                    Error(std::string("style sheet refers to something outside: ") + outside);
            pos_ = end + 8;
            return;
        }
        if (name == "u") {
            OpenElement *span = CollectingSpan();
            if (span)
                span->collected.push_back('\x01');
        }
        stack_.push_back(element);
    }

    void Attribute(OpenElement *element, const std::string &attribute, const std::string &value)
    {
        if (attribute == "class") {
            if (!KNOWN_CLASSES.count(value))
                Error("unknown class \"" + value + "\"");
            element->cls = value;
            if ((value == "menu" || value == "ctl") && element->name != "span")
                Error("class " + value + " on <" + element->name + ">, not on <span>");
        } else if (attribute == "id") {
            if (!ids_.insert(value).second)
                Error("id " + value + " twice");
        } else if (attribute == "href") {
            if (value.size() < 2 || value[0] != '#')
                Error("link leaves the page: " + value);
            else
                links_.push_back(value.substr(1));
        } else if (attribute == "src") {
            if (element->name != "img" || value.compare(0, PICTURE.size(), PICTURE) != 0)
                Error("src leaves the page: " + value.substr(0, 40));
        } else if (attribute == "charset") {
            report_.charset = value;
        } else if (attribute == "lang" && element->name != "html") {
            Error("lang on <" + element->name + ">");
        }
    }

    const std::string &html_;
    size_t pos_ = 0;
    std::vector<OpenElement> stack_;
    std::set<std::string> ids_;
    std::vector<std::string> links_;
    bool seenHtml_ = false;
    PageReport report_;
};

PageReport CheckPage(const std::string &html) { return PageChecker(html).Run(); }

std::string Joined(const std::vector<std::string> &lines)
{
    std::string all;
    for (const std::string &line : lines)
        all += line + "\n";
    return all;
}

// Every text of menu 109, popups included, with its "&".
void CollectMenuTexts(HMENU menu, std::vector<std::string> *popups, std::vector<std::string> *items)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        char text[256] = "";
        MENUITEMINFOA info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = MIIM_STRING | MIIM_SUBMENU | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = sizeof text;
        ASSERT_TRUE(GetMenuItemInfoA(menu, (UINT)i, TRUE, &info));
        if (info.fType & MFT_SEPARATOR)
            continue;
        if (info.hSubMenu) {
            popups->push_back(text);
            CollectMenuTexts(info.hSubMenu, popups, items);
        } else {
            items->push_back(text);
        }
    }
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

struct ControlTexts {
    std::set<std::string> all;     // every control's text
    std::set<std::string> buttons; // push buttons and check boxes
};

BOOL CALLBACK CollectControl(HWND control, LPARAM lParam)
{
    ControlTexts *texts = (ControlTexts *)lParam;
    char text[512] = "", cls[32] = "";
    GetWindowTextA(control, text, sizeof text);
    GetClassNameA(control, cls, sizeof cls);
    if (text[0]) {
        texts->all.insert(text);
        LONG kind = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
        if (lstrcmpiA(cls, "Button") == 0 && kind != BS_GROUPBOX)
            texts->buttons.insert(text);
    }
    return TRUE;
}

// Texts of the controls of the program's dialogs, from their templates.
ControlTexts DialogControlTexts(std::initializer_list<int> dialogs)
{
    ControlTexts texts;
    for (int id : dialogs) {
        HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), NULL, QuietDialogProc, 0);
        EXPECT_TRUE(dialog != NULL) << "dialog " << id;
        if (!dialog)
            continue;
        EnumChildWindows(dialog, CollectControl, (LPARAM)&texts);
        DestroyWindow(dialog);
    }
    return texts;
}

std::string HelpSource() { return ReadWholeFile(VELKOR_SOURCE_DIR_WIN "\\help\\velkor.html"); }

} // namespace

TEST(HelpPageChecker, FindsTheFaultsItLooksFor)
{
    const std::string head = "<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"windows-1252\"><title>t</title></head><body>";
    const std::string tail = "</body></html>";
    PageReport good = CheckPage(head + "<p>a &amp; b<br><span class=\"menu\">Device <u>w</u>aehlen</span></p>" + tail);
    EXPECT_EQ("", Joined(good.errors));
    ASSERT_EQ(1u, good.menuNames.size());
    EXPECT_EQ("Device &waehlen", good.menuNames[0]);
    EXPECT_EQ("windows-1252", good.charset);

    const char *faulty[] = {
        "<p>open",                                   // never closed
        "<p><b>crossed</p></b>",                     // wrong order
        "<p>x</br></p>",                             // end tag of a void element
        "<p>a &bogus; b</p>",                        // unknown entity
        "<p>a & b</p>",                              // bare ampersand
        "<p>1 < 2</p>",                              // stray "<"
        "<p><img src=\"http://x/y.png\"></p>",        // outside resource
        "<p><a href=\"http://example.org\">x</a></p>", // link leaving the page
        "<p><a href=\"#nowhere\">x</a></p>",          // link without target
        "<p><span class=\"mneu\">x</span></p>",       // misspelled class
        "<p><span class=\"menu\">a <u>bc</u></span></p>", // access key of two characters
        "<ul>text<li>x</li></ul>",                   // text inside a list
        "<p><table><tr><td>x</td></tr></table></p>",  // block inside a paragraph
        "<script>alert(1)</script>",                 // scripts
        "<p style=\"color:red\">x</p>",              // inline style attribute
        "<p>\xE4</p>",                               // a byte outside ASCII
    };
    for (const char *body : faulty)
        EXPECT_FALSE(CheckPage(head + body + tail).errors.empty()) << body;
}

TEST(HelpPage, IsWellFormedAndSelfContained)
{
    std::string html = HelpSource();
    ASSERT_GT(html.size(), 10000u) << "help/velkor.html missing or nearly empty";
    PageReport report = CheckPage(html);
    EXPECT_EQ("", Joined(report.errors));
    // Pure ASCII with entities reads the same in every Windows-1252 reader.
    EXPECT_EQ("windows-1252", report.charset);
    EXPECT_NE(std::string::npos, report.title.find("Velkor"));
}

TEST(HelpPage, ShowsTheScreenshotOfTheReadme)
{
    // help/velkor.png, base64-encoded: both come from `make screenshot`.
    std::string png = ReadWholeFile(VELKOR_SOURCE_DIR_WIN "\\help\\velkor.png"), encoded = "src=\"" + PICTURE;
    ASSERT_GT(png.size(), 1000u);
    const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < png.size(); i += 3) {
        size_t left = std::min<size_t>(3, png.size() - i);
        unsigned long group = 0;
        for (size_t k = 0; k < 3; k++)
            group = group << 8 | (k < left ? (unsigned char)png[i + k] : 0);
        for (size_t k = 0; k < 4; k++)
            encoded += k <= left ? digits[(group >> (18 - 6 * k)) & 63] : '=';
    }
    EXPECT_NE(std::string::npos, HelpSource().find(encoded + "\"")) << "run make screenshot";
}

TEST(HelpPage, ShipsBesideTheProgramUnchanged)
{
    std::string shipped = ReadWholeFile(VELKOR_BUILD_DIR_WIN "\\velkor.html");
    ASSERT_FALSE(shipped.empty());
    EXPECT_TRUE(shipped == HelpSource()) << "build copy differs from help/velkor.html";
}

TEST(HelpPage, CitesOnlyMenuItemsThatExistAndAllOfThem)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDM_VELKOR));
    ASSERT_TRUE(menu != NULL);
    std::vector<std::string> popups, items;
    CollectMenuTexts(menu, &popups, &items);
    DestroyMenu(menu);
    ASSERT_EQ(4u, popups.size());
    ASSERT_EQ(14u, items.size());

    PageReport report = CheckPage(HelpSource());
    std::set<std::string> known(popups.begin(), popups.end());
    known.insert(items.begin(), items.end());
    std::set<std::string> cited;
    for (const std::string &name : report.menuNames) {
        EXPECT_TRUE(known.count(name)) << "the page cites a menu name the menu does not have: \"" << name << "\"";
        cited.insert(name);
    }
    for (const std::string &name : known)
        EXPECT_TRUE(cited.count(name)) << "the page never explains \"" << name << "\"";
}

TEST(HelpPage, CitesOnlyDialogControlsThatExist)
{
    ControlTexts texts = DialogControlTexts({IDD_ABOUT, IDD_BITPATTERN, IDD_COMMAND, IDD_DEVICE_PROPERTIES});
    ASSERT_FALSE(texts.all.empty());
    PageReport report = CheckPage(HelpSource());
    std::set<std::string> cited;
    for (const std::string &name : report.controlNames) {
        EXPECT_TRUE(texts.all.count(name)) << "the page cites a control text no dialog has: \"" << name << "\"";
        cited.insert(name);
    }
    // Every button and check box the user meets in the working dialogs.
    for (const std::string &button : DialogControlTexts({IDD_BITPATTERN, IDD_COMMAND, IDD_DEVICE_PROPERTIES}).buttons)
        EXPECT_TRUE(cited.count(button)) << "the page never explains \"" << button << "\"";
}

TEST(HelpPage, CoversTheBenchTopics)
{
    std::string html = HelpSource();
    for (const char *topic : {
             "\\\\.\\pipe\\velkor-echo", // the demo device's connect string
             "velkor-echo.exe",
             "\\??\\",                   // the registry's symbolic name ...
             "<code>\\\\.\\</code>",     // ... and what replaces its head
             "COM1",
             "<samp>+</samp>", "<samp>&lt;</samp>", "<samp>&gt;</samp>", "<samp>?</samp>", // log markers
             "0x41 0x00 0x0D ",          // a dump with a zero byte
             "*.cmd", "*.msg"})
        EXPECT_NE(std::string::npos, html.find(topic)) << topic;
}
