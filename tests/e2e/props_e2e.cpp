// The device properties dialog of velkor.exe, driven from outside: what it
// applies is stored at exit and shown again after the next start.
#include <gtest/gtest.h>

#include <windows.h>

#include "resources/resource.h"

#include "support.h"

// A copy of this program planted as regedit.exe only leaves its marker.
[[maybe_unused]] static const bool plantedRun = ExitIfPlanted();

// Raw bytes of a stored value; empty when absent.
static Bytes StoredValue(const char *name)
{
    Bytes data;
    GetVelkorValue(name, &data);
    return data;
}

class PropsE2e : public ::testing::Test {
protected:
    void SetUp() override { ClearVelkorRegistry(); }
    void TearDown() override
    {
        EndVelkorProcess(app);
        for (DWORD id : editors)
            EndProcess(id);
        for (const std::string &folder : plantedFolders)
            RemovePlanted(folder);
        ClearVelkorRegistry();
    }

    // Starts velkor.exe (in folder, when given) and waits for its window.
    void Start(const std::string &folder = std::string())
    {
        ASSERT_TRUE(StartVelkorProcess(app, folder)) << GetLastError();
        ASSERT_TRUE(WaitForMainWindow(app));
        ASSERT_TRUE(app.window);
    }

    // Ends it through "Beenden", which stores the settings.
    void Exit()
    {
        PostCommand(app, IDM_EXIT);
        DWORD code = 1;
        ASSERT_TRUE(WaitForExit(app, DRIVER_TIMEOUT_MS, &code));
        EXPECT_EQ(0u, code);
        EndVelkorProcess(app);
    }

    HWND OpenDeviceDialog()
    {
        PostCommand(app, IDM_CHOOSE_DEVICE);
        SeenBox seen;
        HWND dialog = WaitForBox(app.processId, DRIVER_TIMEOUT_MS, &seen);
        if (dialog) {
            EXPECT_EQ("Device Eigenschaften", seen.caption);
        }
        return dialog;
    }

    bool WaitUntilGone(HWND window)
    {
        return PumpUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, DRIVER_TIMEOUT_MS);
    }

    VelkorProcess app;
    std::vector<DWORD> editors;
    std::vector<std::string> plantedFolders;
};

TEST_F(PropsE2e, AppliedSettingsAreStoredAtExitAndLoadedAtTheNextStart)
{
    std::string device = TestFolder("props-e2e") + "\\device.bin";
    HANDLE file = CreateFileA(device.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);

    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ("Velkor", WindowText(app.window));
    HWND dialog = OpenDeviceDialog();
    ASSERT_TRUE(dialog);
    SetDlgItemTextA(dialog, IDC_CONNECT, device.c_str());
    SetDlgItemTextA(dialog, IDC_WRITE_TIMEOUT, "321");
    SetDlgItemTextA(dialog, IDC_READ_TIMEOUT, "654");
    SetDlgItemTextA(dialog, IDC_BLOCK_LENGTH, "16");
    ClickControl(dialog, IDC_EXCLUSIVE);
    ClickControl(dialog, IDC_ENDBYTE_ON);
    SetDlgItemTextA(dialog, IDC_ENDBYTE_BYTE, "0D");
    ClickControl(dialog, IDC_PREFIX_ON);
    SetDlgItemTextA(dialog, IDC_PREFIX_BYTE, "02");
    ClickControl(dialog, IDC_PREFIX_ON); // off again: the byte stays
    ClickControl(dialog, IDC_SUFFIX_ON);
    SetDlgItemTextA(dialog, IDC_SUFFIX_BYTE, "3");
    PressButton(dialog, IDOK);
    ASSERT_TRUE(WaitUntilGone(dialog));
    std::string title = "Velkor  " + device + "   R:16/654 S:321";
    EXPECT_TRUE(PumpUntil([&] { return WindowText(app.window) == title; }, 5000)) << WindowText(app.window);
    ASSERT_NO_FATAL_FAILURE(Exit());

    // Stored without a terminator, which the system may add on its own.
    Bytes stored = StoredValue("connectstring");
    if (!stored.empty() && stored.back() == 0)
        stored.pop_back();
    EXPECT_EQ(device, std::string(stored.begin(), stored.end()));
    const struct { const char *name; uint32_t value; } values[] = {
        {"readblocklen", 16}, {"readtimeout", 654}, {"writetimeout", 321}, {"readendbyte", 0x0D},
        {"writepraeff", 0xFF02}, {"writesuff", 0x03}, {"openexclusiv", 0}};
    for (const auto &v : values)
        EXPECT_EQ(DwordBytes(v.value), StoredValue(v.name)) << v.name;

    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(title, WindowText(app.window));
    dialog = OpenDeviceDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(device, ControlText(dialog, IDC_CONNECT));
    EXPECT_EQ("321", ControlText(dialog, IDC_WRITE_TIMEOUT));
    EXPECT_EQ("654", ControlText(dialog, IDC_READ_TIMEOUT));
    EXPECT_EQ("16", ControlText(dialog, IDC_BLOCK_LENGTH));
    EXPECT_FALSE(ControlChecked(dialog, IDC_EXCLUSIVE));
    EXPECT_TRUE(ControlChecked(dialog, IDC_ENDBYTE_ON));
    EXPECT_EQ("0D", ControlText(dialog, IDC_ENDBYTE_BYTE));
    EXPECT_FALSE(ControlChecked(dialog, IDC_PREFIX_ON));
    EXPECT_FALSE(ControlEnabled(dialog, IDC_PREFIX_BYTE));
    EXPECT_EQ("02", ControlText(dialog, IDC_PREFIX_BYTE));
    EXPECT_TRUE(ControlChecked(dialog, IDC_SUFFIX_ON));
    EXPECT_EQ("03", ControlText(dialog, IDC_SUFFIX_BYTE));
    PressButton(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntilGone(dialog));
    ASSERT_NO_FATAL_FAILURE(Exit());
    DeleteFileA(device.c_str());
}

TEST_F(PropsE2e, RegistryEditorsPlantedBesideVelkorAndInItsFolderAreNotStarted)
{
    std::string current = TestFolder("props-e2e-cwd");
    for (const std::string &folder : {std::string(VELKOR_BUILD_DIR_WIN), current}) {
        plantedFolders.push_back(folder);
        ASSERT_NE("", PlantRegistryEditor(folder)) << folder;
    }
    ASSERT_NO_FATAL_FAILURE(Start(current));
    HWND dialog = OpenDeviceDialog();
    ASSERT_TRUE(dialog);

    std::vector<ProcessEntry> before = ProcessesNamed("regedit.exe");
    PressButton(dialog, IDC_OPEN_REGISTRY);
    SeenBox info;
    HWND box = WaitForBox(app.processId, DRIVER_TIMEOUT_MS, &info, {dialog});
    ASSERT_TRUE(box);
    EXPECT_EQ("Regedit wird als eigener Prozess gestartet und muss ggf. explizit beendet werden", info.text);
    PressButton(box, IDOK);
    std::vector<ProcessEntry> fresh;
    EXPECT_TRUE(PumpUntil(
        [&] {
            fresh = ProcessesNamed("regedit.exe", before);
            return !fresh.empty();
        },
        DRIVER_TIMEOUT_MS));
    for (const ProcessEntry &p : fresh)
        editors.push_back(p.id);
    ASSERT_EQ(1u, fresh.size());
    EXPECT_EQ(0, lstrcmpiA(SystemRegistryEditor().c_str(), fresh[0].image.c_str())) << fresh[0].image;
    for (const std::string &folder : plantedFolders)
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(PlantedMarker(folder).c_str()))
            << "the program planted in " << folder << " ran";

    PressButton(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntilGone(dialog));
    ASSERT_NO_FATAL_FAILURE(Exit());
}
