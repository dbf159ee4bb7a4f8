// Where the settings file lives: the pure rule as a table, then the facts as
// this process really has them (run with "-Inst:7 /INST:B" on its command line).
#include <gtest/gtest.h>

#include <string>

#include "settings/settings.h"
#include "test_files.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using settings::Location;
using settings::LocationFacts;

struct LocateCase {
    const char* label;
    int32_t platformId;
    uint32_t storeInUsersFolder;
    const char* commandLine;
    const char* instance;
    const char* path;
};

const char kHost[] = "C:\\TV\\host.exe";
const char kAppData[] = "C:\\Users\\u\\AppData\\Roaming";
const char kModule[] = "C:\\TV\\Plugins\\ORV_VEDaviror.dll";

const LocateCase kWindowsCases[] = {
    {"default", 2, 0, "\"C:\\TV\\host.exe\"", "", "C:\\TV\\Plugins\\ORV_VEDaviror.ini"},
    {"instance 2", 2, 0, "host.exe -inst:2", "2", "C:\\TV\\Instances\\2\\Plugins\\ORV_VEDaviror.ini"},
    {"capitals", 2, 0, "host.exe /INST:B", "b", "C:\\TV\\Instances\\b\\Plugins\\ORV_VEDaviror.ini"},
    {"mixed case dash", 2, 0, "host.exe -InSt:Q", "q", "C:\\TV\\Instances\\q\\Plugins\\ORV_VEDaviror.ini"},
    {"slash wins over dash", 2, 0, "host.exe -inst:3 /inst:4", "4",
     "C:\\TV\\Instances\\4\\Plugins\\ORV_VEDaviror.ini"},
    {"slash wins when first", 2, 0, "host.exe /inst:4 -inst:3", "4",
     "C:\\TV\\Instances\\4\\Plugins\\ORV_VEDaviror.ini"},
    {"first dash switch", 2, 0, "host.exe -inst:5 -inst:6", "5", "C:\\TV\\Instances\\5\\Plugins\\ORV_VEDaviror.ini"},
    {"one character only", 2, 0, "host.exe /inst:12", "1", "C:\\TV\\Instances\\1\\Plugins\\ORV_VEDaviror.ini"},
    {"switch ends the line", 2, 0, "host.exe -inst:", "", "C:\\TV\\Plugins\\ORV_VEDaviror.ini"},
    {"empty slash switch clears", 2, 0, "host.exe -inst:3 /inst:", "", "C:\\TV\\Plugins\\ORV_VEDaviror.ini"},
    {"inside a word", 2, 0, "host.exe x-inst:z", "z", "C:\\TV\\Instances\\z\\Plugins\\ORV_VEDaviror.ini"},
    {"user folder", 2, 1, "host.exe", "", "C:\\Users\\u\\AppData\\Roaming\\Vantorix\\Plugins\\ORV_VEDaviror.ini"},
    {"user folder, any nonzero", 2, 0x80000000u, "host.exe", "",
     "C:\\Users\\u\\AppData\\Roaming\\Vantorix\\Plugins\\ORV_VEDaviror.ini"},
    {"user folder and instance b", 2, 1, "host.exe /inst:b", "b",
     "C:\\Users\\u\\AppData\\Roaming\\Vantorix\\Instances\\b\\Plugins\\ORV_VEDaviror.ini"},
    {"user folder outside the NT family", 1, 1, "host.exe", "", "C:\\TV\\Plugins\\ORV_VEDaviror.ini"},
};

TEST(LocateFile, WindowsFactsToPath) {
    for (const LocateCase& c : kWindowsCases) {
        SCOPED_TRACE(c.label);
        LocationFacts facts;
        facts.versionOk = true;
        facts.platformId = c.platformId;
        facts.storeInUsersFolder = c.storeInUsersFolder;
        facts.applicationDataFolder = kAppData;
        facts.hostExecutablePath = kHost;
        facts.commandLine = c.commandLine;
        facts.moduleFilePath = kModule;
        facts.separator = '\\';
        Location location;
        ASSERT_TRUE(settings::LocateFile(facts, location));
        EXPECT_EQ(location.instanceName, c.instance);
        EXPECT_EQ(location.path, c.path);
        EXPECT_EQ(location.folder + location.fileName, location.path);
        EXPECT_EQ(location.moduleName, "ORV_VEDaviror");
    }
}

TEST(LocateFile, ModuleNameLinuxSeparatorsAndFailedVersion) {
    LocationFacts facts;
    facts.versionOk = true;
    facts.platformId = 2;
    facts.storeInUsersFolder = 1;
    facts.applicationDataFolder = "/home/u/.config";
    facts.hostExecutablePath = "/opt/tv/bin/host";
    facts.commandLine = "/opt/tv/bin/host -inst:2";
    facts.moduleFilePath = "/opt/tv/plugins/ORV_VEDaviror.so";
    facts.separator = '/';
    Location location;
    ASSERT_TRUE(settings::LocateFile(facts, location));
    EXPECT_EQ(location.path, "/home/u/.config/Vantorix/Instances/2/Plugins/ORV_VEDaviror.ini");
    EXPECT_EQ(location.folder, "/home/u/.config/Vantorix/Instances/2/Plugins/");

    facts.storeInUsersFolder = 0;
    facts.commandLine = "/opt/tv/bin/host";  // "/opt" is no switch
    ASSERT_TRUE(settings::LocateFile(facts, location));
    EXPECT_EQ(location.path, "/opt/tv/bin/Plugins/ORV_VEDaviror.ini");

    // Another module file name gives a settings file of that name.
    facts.moduleFilePath = "/opt/tv/plugins/Other.Filter.so";
    ASSERT_TRUE(settings::LocateFile(facts, location));
    EXPECT_EQ(location.moduleName, "Other.Filter");
    EXPECT_EQ(location.fileName, "Other.Filter.ini");
    facts.separator = '\\';
    facts.moduleFilePath = "C:\\TV/Plugins/NoExtension";
    facts.hostExecutablePath = "C:\\TV\\host.exe";
    ASSERT_TRUE(settings::LocateFile(facts, location));
    EXPECT_EQ(location.fileName, "NoExtension.ini");

    // A failed version query changes nothing.
    const Location before = location;
    facts.versionOk = false;
    facts.hostExecutablePath = "D:\\Elsewhere\\host.exe";
    EXPECT_FALSE(settings::LocateFile(facts, location));
    EXPECT_EQ(location.path, before.path);
    EXPECT_EQ(location.instanceName, before.instanceName);
}

#ifdef _WIN32
// Sets or removes HKLM\SOFTWARE\Vantorix StoreInUsersFolder.
void SetStoreInUsersFolder(const DWORD* value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantorix", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    if (value != nullptr) {
        EXPECT_EQ(RegSetValueExA(key, "StoreInUsersFolder", 0, REG_DWORD, reinterpret_cast<const BYTE*>(value),
                                 sizeof *value),
                  ERROR_SUCCESS);
    } else {
        RegDeleteValueA(key, "StoreInUsersFolder");
    }
    RegCloseKey(key);
}
#endif

// The module of this test is its executable, named settings_location_test.
TEST(LocateFile, ThisProcessFacts) {
    const LocationFacts facts = settings::ReadLocationFacts();
    EXPECT_TRUE(facts.versionOk);
    EXPECT_EQ(facts.platformId, 2);
    EXPECT_NE(facts.commandLine.find("/INST:B"), std::string::npos) << facts.commandLine;
    EXPECT_NE(facts.commandLine.find("-Inst:7"), std::string::npos) << facts.commandLine;

    Location location;
    ASSERT_TRUE(settings::LocateFile(facts, location));
    EXPECT_EQ(location.instanceName, "b");
    EXPECT_EQ(location.moduleName, "settings_location_test");
    const std::string exe = facts.hostExecutablePath;
    const std::string hostFolder = exe.substr(0, exe.find_last_of(facts.separator) + 1);
    if (facts.storeInUsersFolder == 0) {
        const std::string sep(1, facts.separator);
        EXPECT_EQ(location.path, hostFolder + "Instances" + sep + "b" + sep + "Plugins" + sep +
                                     "settings_location_test.ini");
    }
}

#ifdef _WIN32
TEST(LocateFile, RegistrySwitchSelectsTheUserFolder) {
    const DWORD on = 1;
    SetStoreInUsersFolder(&on);
    const LocationFacts facts = settings::ReadLocationFacts();
    EXPECT_EQ(facts.storeInUsersFolder, 1u);
    ASSERT_FALSE(facts.applicationDataFolder.empty());
    Location location;
    ASSERT_TRUE(settings::LocateFile(facts, location));
    const std::string base = facts.applicationDataFolder + "\\Vantorix\\Instances\\b\\";
    EXPECT_EQ(location.path, base + "Plugins\\settings_location_test.ini");

    // A whole open period in the user's folder: only "Plugins" is created.
    CreateDirectoryA((facts.applicationDataFolder + "\\Vantorix").c_str(), nullptr);
    CreateDirectoryA((facts.applicationDataFolder + "\\Vantorix\\Instances").c_str(), nullptr);
    CreateDirectoryA(base.c_str(), nullptr);
    DeleteFileA(location.path.c_str());
    {
        settings::SettingsStore store;
        store.Load(0, nullptr);
        EXPECT_EQ(store.location.path, location.path);
        store.SetDialogPosition(12, 34);
        store.Save();
    }
    const std::string text = settings_test::ReadBytes(location.path);
    EXPECT_EQ(text.rfind("[DIALOG]\r\nDlgWndPosX=12\r\nDlgWndPosY=34\r\n", 0), 0u) << text;
    std::error_code ignored;
    settings_test::fs::remove_all(facts.applicationDataFolder + "\\Vantorix", ignored);

    const DWORD off = 0;
    SetStoreInUsersFolder(&off);
    EXPECT_EQ(settings::ReadLocationFacts().storeInUsersFolder, 0u);
    SetStoreInUsersFolder(nullptr);
    EXPECT_EQ(settings::ReadLocationFacts().storeInUsersFolder, 0u);
}
#endif

}  // namespace
