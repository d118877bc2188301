// Loading and storing the settings against the real registry, value by
// value, in every form a value can have.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>

#include <string>
#include <vector>

#include "settings/settings.h"

#include "support.h"

static const char KEY[] = "Software\\Talmeck\\Velkor";

static void PutText(const char *name, const std::string &text, DWORD type = REG_SZ)
{
    PutVelkorValue(name, type, Bytes(text.begin(), text.end()));
}

// The bytes of a text value as the registry keeps them, in UTF-16: tells a
// stored terminator apart from none.
static DWORD StoredTextBytes(const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0xFFFFFFFF;
    std::wstring wname(name, name + strlen(name));
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, wname.c_str(), NULL, NULL, NULL, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? size : 0xFFFFFFFF;
}

// The settings module alone, against the registry: the program is not started.
class SettingsRegistry : public VelkorAppTest {
protected:
    SettingsRegistry() { startAtSetUp = false; }
    void SetUp() override
    {
        VelkorAppTest::SetUp();
        SetDefaultSettings();
    }
    void TearDown() override
    {
        SetDefaultSettings();
        for (const SeenBox &box : SeenBoxes())
            ADD_FAILURE() << "box \"" << box.caption << "\" " << (box.unexpected ? "(unexpected)" : "");
        VelkorAppTest::TearDown();
    }
    // Loads a fresh record, as start-up does.
    DeviceSettings &Load()
    {
        SetDefaultSettings();
        LoadSettings();
        return Settings();
    }
    void ExpectDefaults(const char *why)
    {
        EXPECT_EQ(SettingsText({NULL, 3, 500, 0xFF00, 500, 0xFF00, 0xFF00, true}), SettingsText(Settings())) << why;
    }
};

TEST_F(SettingsRegistry, FirstRunKeepsTheDefaults)
{
    Load();
    ExpectDefaults("no key");
    // An existing key without values changes nothing either.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegCloseKey(key);
    Load();
    ExpectDefaults("empty key");
}

TEST_F(SettingsRegistry, FourByteValuesInEveryForm)
{
    struct Form {
        const char *what;
        DWORD type;
        Bytes data;
        bool taken;
    };
    const Form forms[] = {
        {"REG_DWORD", REG_DWORD, DwordBytes(0x12340007), true},
        {"REG_BINARY of 4", REG_BINARY, DwordBytes(0x12340007), true},
        {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, DwordBytes(0x12340007), true},
        {"8 bytes", REG_BINARY, Bytes{7, 0, 0x34, 0x12, 0, 0, 0, 0}, false},
        {"REG_QWORD", REG_QWORD, Bytes{7, 0, 0x34, 0x12, 0, 0, 0, 0}, false},
        {"2 bytes", REG_BINARY, Bytes{7, 0}, false},
        {"0 bytes", REG_BINARY, Bytes{}, false},
        {"3 bytes", REG_DWORD, Bytes{7, 0, 0x34}, false},
        {"5 bytes", REG_BINARY, Bytes{7, 0, 0x34, 0x12, 0}, false},
    };
    for (const Form &f : forms) {
        ClearVelkorRegistry();
        for (const char *name : {"readblocklen", "readtimeout", "readendbyte", "writetimeout", "writepraeff",
                                 "writesuff", "openexclusiv"})
            PutVelkorValue(name, f.type, f.data);
        Load();
        if (!f.taken) {
            ExpectDefaults(f.what);
            continue;
        }
        // Full values take all 32 bits, optional bytes the low 16.
        DeviceSettings taken = {NULL, 0x12340007, 0x12340007, 0x0007, 0x12340007, 0x0007, 0x0007, true};
        EXPECT_EQ(SettingsText(taken), SettingsText(Settings())) << f.what;
    }
}

TEST_F(SettingsRegistry, EachValueReachesOnlyItsField)
{
    PutVelkorValue("readblocklen", REG_DWORD, DwordBytes(0xFFFFFFFF));
    PutVelkorValue("readtimeout", REG_DWORD, DwordBytes(0));
    PutVelkorValue("writetimeout", REG_DWORD, DwordBytes(2000));
    PutVelkorValue("readendbyte", REG_DWORD, DwordBytes(0xAABB000D)); // upper bytes set
    PutVelkorValue("writepraeff", REG_BINARY, Bytes{0x41, 0xFF, 0x00, 0x00}); // off, keeping 41
    PutVelkorValue("writesuff", REG_DWORD, DwordBytes(0x00000100)); // off, keeping 00
    PutVelkorValue("openexclusiv", REG_BINARY, Bytes{0x00, 0x01, 0x00, 0x00});
    DeviceSettings loaded = {NULL, 0xFFFFFFFF, 0, 0x000D, 2000, 0xFF41, 0x0100, true};
    EXPECT_EQ(SettingsText(loaded), SettingsText(Load()));

    PutVelkorValue("openexclusiv", REG_DWORD, DwordBytes(0));
    EXPECT_FALSE(Load().openExclusive);
}

TEST_F(SettingsRegistry, ConnectStringInEveryForm)
{
    struct Form {
        const char *what;
        DWORD type;
        std::string stored;
        bool taken;
        std::string loaded;
    };
    const std::string s255(255, 'a'), s256(256, 'b');
    const Form forms[] = {
        {"no terminator", REG_SZ, "COM1", true, "COM1"},
        {"with terminator", REG_SZ, std::string("COM1\0", 5), true, "COM1"},
        {"device path", REG_SZ, "\\\\.\\USB#Vid_04b3&Pid_4485#5&2ad2f960&0&4#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
         true, "\\\\.\\USB#Vid_04b3&Pid_4485#5&2ad2f960&0&4#{f18a0e88-c30c-11d0-8815-00a0c906bed8}"},
        {"255 bytes", REG_SZ, s255, true, s255},
        {"256 bytes", REG_SZ, s256, false, ""},
        {"255 characters and a terminator", REG_SZ, s255 + std::string(1, '\0'), false, ""},
        {"0 bytes", REG_SZ, "", true, ""},
        {"REG_BINARY", REG_BINARY, "COM7", true, "COM7"},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, "%X%", true, "%X%"},
        {"zero inside", REG_BINARY, std::string("CO\0M", 4), true, "CO"},
        {"umlaut", REG_SZ, "Ger\xE4t", true, "Ger\xE4t"},
    };
    for (const Form &f : forms) {
        ClearVelkorRegistry();
        PutText("connectstring", f.stored, f.type);
        DeviceSettings &s = Load();
        if (!f.taken) {
            EXPECT_EQ(NULL, s.connectString) << f.what;
            continue;
        }
        ASSERT_TRUE(s.connectString != NULL) << f.what;
        EXPECT_EQ(f.loaded, s.connectString) << f.what;
        // The other fields are untouched.
        EXPECT_EQ(3u, s.readBlockLength) << f.what;
    }
    ClearVelkorRegistry();
    PutVelkorValue("connectstring", REG_DWORD, DwordBytes(0x00343332));
    ASSERT_TRUE(Load().connectString != NULL);
    EXPECT_STREQ("234", Settings().connectString);
}

TEST_F(SettingsRegistry, StoreWritesTheExactBytes)
{
    DeviceSettings &s = Settings();
    ReplaceConnectString("COM1");
    s.readBlockLength = 0x01020304;
    s.readTimeoutMs = 0xFFFFFFFF;
    s.readEndByte = 0x000D;
    s.writeTimeoutMs = 2000;
    s.sendPrefix = 0xFF41; // off, keeping 0x41
    s.sendSuffix = 0x0003;
    s.openExclusive = false;
    StoreSettings();
    EXPECT_EQ(NULL, s.connectString); // released at the end

    struct Stored {
        const char *name;
        const char *bytes;
    };
    const Stored stored[] = {
        {"readblocklen", "04 03 02 01"}, {"readtimeout", "FF FF FF FF"}, {"readendbyte", "0D 00 00 00"},
        {"writetimeout", "D0 07 00 00"}, {"writepraeff", "41 FF 00 00"}, {"writesuff", "03 00 00 00"},
        {"openexclusiv", "00 00 00 00"},
    };
    DWORD type = 0;
    Bytes data;
    for (const Stored &v : stored) {
        ASSERT_TRUE(GetVelkorValue(v.name, &data, &type)) << v.name;
        EXPECT_EQ((DWORD)REG_DWORD, type) << v.name;
        EXPECT_EQ(HexBytes(v.bytes), data) << v.name;
    }
    ASSERT_TRUE(GetVelkorValue("connectstring", &data, &type));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(HexBytes("43 4F 4D 31"), data);
    EXPECT_EQ(8u, StoredTextBytes("connectstring")); // four UTF-16 characters, no terminator

    s.openExclusive = true;
    StoreSettings();
    ASSERT_TRUE(GetVelkorValue("openexclusiv", &data));
    EXPECT_EQ(DwordBytes(1), data);
}

TEST_F(SettingsRegistry, RoundTripGivesTheSameRecord)
{
    const std::string device = "\\\\.\\USB#Vid_04b3&Pid_4485#5&2ad2f960&0&4#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    DeviceSettings &s = Settings();
    for (int round = 0; round < 2; round++) {
        SetDefaultSettings();
        ReplaceConnectString(round ? std::string(254, 'x').c_str() : device.c_str());
        s.readBlockLength = round ? 0 : 64;
        s.readTimeoutMs = round ? 1 : 0x7FFFFFFF;
        s.readEndByte = round ? 0x00FF : 0xFF0D;
        s.writeTimeoutMs = round ? 0xFFFFFFFF : 10;
        s.sendPrefix = round ? 0x0000 : 0xFFFF;
        s.sendSuffix = round ? 0x0100 : 0x0003;
        s.openExclusive = round != 0;
        std::string before = SettingsText(s);
        StoreSettings();
        EXPECT_EQ(before, SettingsText(Load()));
    }
}

TEST_F(SettingsRegistry, ConnectStringsAtTheLimitsSurviveTheNextStart)
{
    // 255 bytes come back as 255 only when no terminator is stored with them.
    for (const std::string &text : {std::string(255, 'a'), std::string()}) {
        ClearVelkorRegistry();
        PutText("connectstring", text);
        ASSERT_TRUE(Load().connectString != NULL) << text.size();
        StoreSettings();
        EXPECT_EQ(text.size() * 2, StoredTextBytes("connectstring"));
        ASSERT_TRUE(Load().connectString != NULL) << text.size();
        EXPECT_EQ(text, Settings().connectString);
    }
}

TEST_F(SettingsRegistry, StoringWithoutConnectStringDeletesTheOldOne)
{
    PutText("connectstring", "COM1");
    StoreSettings();
    Bytes data;
    EXPECT_FALSE(GetVelkorValue("connectstring", &data));
    EXPECT_TRUE(GetVelkorValue("readblocklen", &data));
    StoreSettings(); // nothing left to delete: still no failure, no box
}

TEST_F(SettingsRegistry, OverlongConnectStringIsIgnoredAndDeletedAtExit)
{
    PutText("connectstring", std::string(300, 'z'));
    EXPECT_EQ(NULL, Load().connectString);
    StoreSettings();
    Bytes data;
    EXPECT_FALSE(GetVelkorValue("connectstring", &data));
}

// Gives "Software\Talmeck\Velkor" a DACL that lets everyone read it and
// change its DACL, but not write values or create keys: like HKLM for a user
// without administrator rights.
static void DenyWriting(bool deny)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, KEY, 0, NULL, 0, READ_CONTROL | WRITE_DAC, NULL,
                                             &key, NULL));
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    unsigned char aclBuffer[256];
    PACL acl = (PACL)aclBuffer;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = NULL;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    if (deny) {
        ASSERT_TRUE(InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION));
        ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC | DELETE, everyone));
        ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));
    } else {
        ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, NULL, FALSE)); // everyone, everything
    }
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd));
    FreeSid(everyone);
    RegCloseKey(key);
}

class SettingsStoreDenied : public SettingsRegistry {
protected:
    void SetUp() override
    {
        SettingsRegistry::SetUp();
        PutVelkorValue("readblocklen", REG_DWORD, DwordBytes(7));
        DenyWriting(true);
        // Only a real denial makes the test mean anything.
        HKEY key;
        LONG result =
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, KEY, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key, NULL);
        if (result == ERROR_SUCCESS)
            RegCloseKey(key);
        ASSERT_EQ(ERROR_ACCESS_DENIED, result);
    }
    void TearDown() override
    {
        DenyWriting(false);
        SettingsRegistry::TearDown();
    }
};

TEST_F(SettingsStoreDenied, LostChangesAreReportedAtExit)
{
    DeviceSettings &s = Load();
    EXPECT_EQ(7u, s.readBlockLength);
    ReplaceConnectString("COM3");
    s.readTimeoutMs = 900;

    SeenBox box;
    AnswerNextBox(RecordBox(&box, IDOK));
    StoreSettings();
    ASSERT_TRUE(box.seen);
    EXPECT_EQ("VELKOR", box.caption);
    EXPECT_EQ((UINT)(MB_ICONWARNING | MB_OK), box.style);
    EXPECT_EQ(NULL, box.owner); // the main window is gone at exit
    EXPECT_EQ(0u, box.text.find("Die Einstellungen konnten nicht gespeichert werden.\r\n"
                                "HKEY_LOCAL_MACHINE\\Software\\Talmeck\\Velkor\r\nFehler 5")) << box.text;
    EXPECT_NE(std::string::npos, box.text.find("Die Aenderungen dieser Sitzung gehen verloren.")) << box.text;
    ClearSeenBoxes();

    // Nothing was written, and the record was released all the same.
    EXPECT_EQ(NULL, s.connectString);
    Bytes data;
    EXPECT_FALSE(GetVelkorValue("connectstring", &data));
    ASSERT_TRUE(GetVelkorValue("readblocklen", &data));
    EXPECT_EQ(DwordBytes(7), data);
}

TEST_F(SettingsStoreDenied, NothingToLoseNothingToSay)
{
    Load();
    StoreSettings();
    EXPECT_TRUE(SeenBoxes().empty());
}
