// "Registry öffnen" in the device properties dialog, against the registry
// editor of the system the tests run on.
#include <gtest/gtest.h>

#include <functional>

#include "properties/editorkey.h"
#include "resources/resource.h"

#include "support.h"

// A copy of this program planted as regedit.exe only leaves its marker.
[[maybe_unused]] static const bool plantedRun = ExitIfPlanted();

static const char USB_KEY[] = "\\HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB";
static const char INFO_TEXT[] = "Regedit wird als eigener Prozess gestartet und muss ggf. explizit beendet werden";
static const char REGEDIT_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";

// The registry editor's "LastKey" value under HKEY_CURRENT_USER, deleted.
static void DeleteRegistryEditorLastKey()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, REGEDIT_KEY, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, "LastKey");
    RegCloseKey(key);
}

// Reads it: false when absent; its type and raw bytes otherwise.
static bool ReadRegistryEditorLastKey(DWORD *type, std::string *data)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, REGEDIT_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char buffer[512];
    DWORD size = sizeof buffer;
    LONG result = RegQueryValueExA(key, "LastKey", NULL, type, (BYTE *)buffer, &size);
    RegCloseKey(key);
    if (result == ERROR_SUCCESS)
        data->assign(buffer, size);
    return result == ERROR_SUCCESS;
}

// Presses "Registry öffnen" in a dialog opened through "Device waehlen";
// answers the information box when one is expected; runs check afterwards,
// with the dialog still open.
static void PressOpenRegistry(bool expectBox, const std::function<void()> &check)
{
    AnswerNextBox([&](HWND dialog, const SeenBox &) {
        if (expectBox)
            AnswerNextBoxWith(IDOK);
        ClickControl(dialog, IDC_OPEN_REGISTRY);
        check();
        EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays open";
        ClickControl(dialog, IDCANCEL);
    });
    RunCommand(IDM_CHOOSE_DEVICE);
    EXPECT_EQ(0u, PendingAnswers());
}

class PropsRegedit : public VelkorAppTest {
protected:
    void BeforeStart() override
    {
        DeleteRegistryEditorLastKey();
        GetCurrentDirectoryA(sizeof savedFolder, savedFolder);
    }
    void TearDown() override
    {
        VelkorAppTest::TearDown();
        for (DWORD id : started)
            EXPECT_TRUE(EndProcess(id)) << "registry editor " << id << " did not end";
        SetCurrentDirectoryA(savedFolder);
        for (const std::string &folder : plantedFolders)
            RemovePlanted(folder);
        DeleteRegistryEditorLastKey();
    }
    char savedFolder[MAX_PATH] = {0};
    std::vector<DWORD> started;
    std::vector<std::string> plantedFolders;
};

TEST_F(PropsRegedit, WithoutAnEditorWindowWritesLastKeyAndStartsTheSystemsEditor)
{
    // Programs named regedit.exe beside this program and in the current
    // folder must not be the ones started.
    std::string besideProgram = ProgramFolder();
    std::string current = TestFolder("props-cwd");
    for (const std::string &folder : {besideProgram, current}) {
        plantedFolders.push_back(folder);
        ASSERT_NE("", PlantRegistryEditor(folder)) << folder;
    }
    ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
    ASSERT_EQ(NULL, FindWindowA("RegEdit_RegEdit", "Registrierungs-Editor"));

    std::vector<ProcessEntry> before = ProcessesNamed("regedit.exe");
    std::vector<ProcessEntry> fresh;
    bool lastKeyFound = false;
    DWORD lastKeyType = 0;
    std::string lastKey;
    PressOpenRegistry(true, [&] {
        // The editor is started (not waited for) before the handler returns.
        fresh = ProcessesNamed("regedit.exe", before);
        lastKeyFound = ReadRegistryEditorLastKey(&lastKeyType, &lastKey);
    });
    for (const ProcessEntry &p : fresh)
        started.push_back(p.id);

    ASSERT_EQ(2u, SeenBoxes().size());
    const SeenBox &info = SeenBoxes()[1];
    ASSERT_TRUE(info.isMessageBox && !info.unexpected) << "the information box was answered as scripted";
    ExpectBox(info, "VELKOR Registry öffnen", INFO_TEXT, MB_ICONINFORMATION | MB_OK);

    ASSERT_TRUE(lastKeyFound);
    EXPECT_EQ((DWORD)REG_SZ, lastKeyType);
    // The root as the reported Windows names it (the editor's since 6.0, XP's before), written without its
    // terminating zero; the system adds a forgotten one when the byte after the data is zero (NT and Wine do).
    EXPECT_EQ(std::string("Arbeitsplatz") + USB_KEY, RegistryEditorUsbKey(5));
    EXPECT_EQ(std::string("Computer") + USB_KEY, RegistryEditorUsbKey(6));
    std::string root = LOBYTE(LOWORD(GetVersion())) >= 6 ? "Computer" : "Arbeitsplatz";
    if (!lastKey.empty() && lastKey.back() == 0)
        lastKey.pop_back();
    EXPECT_EQ(root + USB_KEY, lastKey);

    ASSERT_EQ(1u, fresh.size()) << "one editor started";
    EXPECT_EQ(0, lstrcmpiA(SystemRegistryEditor().c_str(), fresh[0].image.c_str())) << fresh[0].image;
    for (const std::string &folder : plantedFolders)
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(PlantedMarker(folder).c_str()))
            << "the program planted in " << folder << " ran";
}

static LRESULT CALLBACK EditorStandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(PropsRegedit, WithAnEditorWindowOnlyBringsItForward)
{
    // A window of the editor's class and German title stands in for it.
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = EditorStandInProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "RegEdit_RegEdit";
    ASSERT_TRUE(RegisterClassA(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
    HWND editor = CreateWindowExA(0, "RegEdit_RegEdit", "Registrierungs-Editor", WS_OVERLAPPEDWINDOW, 10, 10, 300,
                                  200, NULL, NULL, GetModuleHandleA(NULL), NULL);
    ASSERT_NE((HWND)NULL, editor);
    ShowWindow(editor, SW_SHOWMINNOACTIVE);
    ASSERT_TRUE(IsIconic(editor));

    std::vector<ProcessEntry> before = ProcessesNamed("regedit.exe");
    std::vector<ProcessEntry> fresh;
    bool restored = false, visible = false;
    PressOpenRegistry(false, [&] {
        fresh = ProcessesNamed("regedit.exe", before);
        restored = !IsIconic(editor);
        visible = IsWindowVisible(editor) != FALSE;
    });
    for (const ProcessEntry &p : fresh)
        started.push_back(p.id);
    DestroyWindow(editor);

    EXPECT_TRUE(restored);
    EXPECT_TRUE(visible);
    EXPECT_EQ(1u, SeenBoxes().size()) << "no box besides the dialog";
    EXPECT_EQ(0u, fresh.size()) << "no editor started";
    DWORD type;
    std::string lastKey;
    EXPECT_FALSE(ReadRegistryEditorLastKey(&type, &lastKey)) << "no value written";
}
