// Loading, per-channel records and saving, through real files in a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#endif

namespace {

using namespace settings_test;
using settings::SettingsRecord;
using settings::SettingsStore;

// The file as the program writes it: Common 0, the dialog at (312, 204), channel 27.
const std::string kExample = CrLf({
    "[DIALOG]", "DlgWndPosX=312", "DlgWndPosY=204", "[SETTINGS]", "Common=0", "[COMMON]",
    "ProcEnable=1", "Y_MEEnable=1", "U_MEEnable=0", "V_MEEnable=0", "Y_Threshold=10", "U_Threshold=10",
    "V_Threshold=10", "Y_AutoThreshold=1", "U_AutoThreshold=1", "V_AutoThreshold=1", "[27]",
    "ProcEnable=1", "Y_MEEnable=1", "U_MEEnable=1", "V_MEEnable=1", "Y_Threshold=23", "U_Threshold=15",
    "V_Threshold=15", "Y_AutoThreshold=0", "U_AutoThreshold=1", "V_AutoThreshold=1",
});

// Ten key lines with the table's defaults.
std::string DefaultKeys() {
    return CrLf({"ProcEnable=1", "Y_MEEnable=1", "U_MEEnable=0", "V_MEEnable=0", "Y_Threshold=10",
                 "U_Threshold=10", "V_Threshold=10", "Y_AutoThreshold=1", "U_AutoThreshold=1",
                 "V_AutoThreshold=1"});
}

// The host's answer for channelExists, and every question it was asked.
std::vector<int64_t> knownChannels;
std::vector<std::pair<uint32_t, int32_t>> askedChannels;

int32_t ChannelExists(uint32_t keyLow, int32_t keyHigh) {
    askedChannels.emplace_back(keyLow, keyHigh);
    const int64_t key = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(keyHigh)) << 32) | keyLow);
    return std::find(knownChannels.begin(), knownChannels.end(), key) != knownChannels.end() ? 1 : 0;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        knownChannels.clear();
        askedChannels.clear();
        fs::create_directories(PluginsFolder());
    }

    fs::path PluginsFolder() const { return folder.Path() / "Plugins"; }
    fs::path File() const { return PluginsFolder() / "ORV_VEDaviror.ini"; }

    void Load(SettingsStore& store) { store.Load(HostFolderFacts(folder), 0, ChannelExists); }

    void Select(SettingsStore& store, int64_t key) {
        SettingsRecord r{};
        r.SetChannelKey(key);
        store.SelectChannel(r.keyLow, r.keyHigh);
    }

    // Files other than the settings file left in the folder (temporary files).
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(PluginsFolder())) {
            if (entry.path().filename() != "ORV_VEDaviror.ini") names.push_back(entry.path().filename().string());
        }
        return names;
    }

    TempFolder folder;
};

TEST_F(SettingsStoreTest, ExampleFileRoundTripsAndIsNotRewrittenWhenUnchanged) {
    WriteBytes(File(), kExample);
    fs::last_write_time(File(), fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
    const auto old = fs::last_write_time(File());  // as stored: Windows keeps 100 ns steps
    knownChannels = {27};

    SettingsStore store;
    Load(store);
    EXPECT_EQ(store.location.path, File().string());
    EXPECT_EQ(store.Common, 0);
    int32_t x = 0, y = 0;
    store.GetDialogPosition(x, y);
    EXPECT_EQ(x, 312);
    EXPECT_EQ(y, 204);
    ASSERT_EQ(store.records.size(), 2u);
    EXPECT_EQ(store.records[1].ChannelKey(), 27);
    EXPECT_EQ(store.records[1].U_MEEnable, 1u);
    EXPECT_EQ(store.records[1].Y_Threshold, 23);
    EXPECT_EQ(store.records[1].Y_AutoThreshold, 0u);
    EXPECT_EQ(store.SelectChannel(27, 0), 1);
    EXPECT_EQ(store.live.Y_Threshold, 23);
    store.Save();
    EXPECT_EQ(ReadBytes(File()), kExample);
    EXPECT_EQ(fs::last_write_time(File()), old);

    // One change rewrites exactly its line.
    SettingsStore changed;
    Load(changed);
    changed.SelectChannel(27, 0);
    changed.live.U_Threshold = 16;
    changed.Save();
    std::string expected = kExample;
    expected.replace(expected.rfind("U_Threshold=15"), 14, "U_Threshold=16");
    EXPECT_EQ(ReadBytes(File()), expected);
    EXPECT_NE(fs::last_write_time(File()), old);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(SettingsStoreTest, FirstRunCreatesTheFileAndSavesDefaults) {
    knownChannels = {99};
    SettingsStore store;
    Load(store);
    ASSERT_TRUE(fs::exists(File()));
    EXPECT_EQ(fs::file_size(File()), 0u);
    EXPECT_EQ(store.Common, 1);
    EXPECT_EQ(store.DlgWndPosX, -100);
    EXPECT_EQ(store.DlgWndPosY, -100);
    ASSERT_EQ(store.records.size(), 1u);
    const SettingsRecord defaults = settings::DefaultRecord();
    EXPECT_EQ(std::memcmp(&store.records[0], &defaults, sizeof defaults), 0);
    EXPECT_EQ(std::memcmp(&store.live, &defaults, sizeof defaults), 0);

    EXPECT_EQ(store.SelectChannel(99, 0), 1);
    EXPECT_EQ(store.SelectChannel(99, 0), 0);
    ASSERT_EQ(store.records.size(), 2u);
    EXPECT_EQ(store.records[1].ChannelKey(), 99);
    EXPECT_EQ(store.live.ChannelKey(), 0);  // Common 1: the common record stays in force
    store.live.Y_Threshold = 42;
    store.Save();
    EXPECT_EQ(ReadBytes(File()), CrLf({"[DIALOG]", "DlgWndPosX=-100", "DlgWndPosY=-100", "[SETTINGS]", "Common=1",
                                       "[COMMON]"}) +
                                     std::string(DefaultKeys()).replace(DefaultKeys().find("Y_Threshold=10"), 14,
                                                                        "Y_Threshold=42") +
                                     "[99]\r\n" + DefaultKeys());
}

TEST_F(SettingsStoreTest, DefaultSectionSeedsNewChannelsAndIsDroppedOnRewrite) {
    WriteBytes(File(), CrLf({"[DEFAULT]", "ProcEnable=0", "Y_Threshold=40", "[SETTINGS]", "Common=0", "[COMMON]",
                             "Y_Threshold=60", "U_MEEnable=1"}));
    knownChannels = {5};
    SettingsStore store;
    Load(store);
    EXPECT_EQ(store.records[0].Y_Threshold, 60);
    store.SelectChannel(5, 0);
    EXPECT_EQ(store.live.ChannelKey(), 5);
    EXPECT_EQ(store.live.ProcEnable, 0u);
    EXPECT_EQ(store.live.Y_Threshold, 40);
    EXPECT_EQ(store.live.U_MEEnable, 0u);  // the table's default, not COMMON's
    store.Save();
    const std::string text = ReadBytes(File());
    EXPECT_EQ(text.find("[DEFAULT]"), std::string::npos);
    EXPECT_NE(text.find("[5]\r\nProcEnable=0\r\nY_MEEnable=1\r\nU_MEEnable=0\r\nV_MEEnable=0\r\nY_Threshold=40\r\n"),
              std::string::npos);
}

TEST_F(SettingsStoreTest, ChannelSectionAboveCommonIsNotLoaded) {
    WriteBytes(File(), CrLf({"[SETTINGS]", "Common=0", "[8]", "Y_Threshold=55", "[COMMON]", "Y_Threshold=11",
                             "[DIALOG]", "[9]", "Y_Threshold=66", "[0]", "Y_Threshold=1", "[junk]", "[12abc]",
                             "Y_Threshold=67"}));
    knownChannels = {9, 12};
    SettingsStore store;
    Load(store);
    // DIALOG is looked up before COMMON, so the channels start after COMMON;
    // names that parse to 0 are passed over.
    ASSERT_EQ(store.records.size(), 3u);
    EXPECT_EQ(store.records[1].ChannelKey(), 9);
    EXPECT_EQ(store.records[1].Y_Threshold, 66);
    EXPECT_EQ(store.records[2].ChannelKey(), 12);
    EXPECT_EQ(store.records[2].Y_Threshold, 67);
    store.SelectChannel(8, 0);
    EXPECT_EQ(store.live.Y_Threshold, 10);
    store.Save();
    const std::string text = ReadBytes(File());
    EXPECT_EQ(text.find("[8]"), std::string::npos);
    EXPECT_EQ(text.find("Y_Threshold=55"), std::string::npos);
    EXPECT_NE(text.find("[12]\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, SwitchingChannelsKeepsEachChannelsEdits) {
    WriteBytes(File(), CrLf({"[SETTINGS]", "Common=0"}));
    SettingsStore store;
    Load(store);
    EXPECT_EQ(store.SelectChannel(1, 0), 1);
    store.live.Y_Threshold = 33;
    EXPECT_EQ(store.SelectChannel(2, 0), 1);
    EXPECT_EQ(store.live.Y_Threshold, 10);
    store.live.Y_Threshold = 44;
    EXPECT_EQ(store.SelectChannel(1, 0), 1);
    EXPECT_EQ(store.live.Y_Threshold, 33);
    EXPECT_EQ(store.live.ChannelKey(), 1);
    EXPECT_EQ(store.SelectChannel(2, 0), 1);
    EXPECT_EQ(store.live.Y_Threshold, 44);

    // The same channel again copies nothing either way.
    store.live.Y_Threshold = 45;
    EXPECT_EQ(store.SelectChannel(2, 0), 0);
    EXPECT_EQ(store.live.Y_Threshold, 45);
    EXPECT_EQ(store.records[2].Y_Threshold, 44);

    // Key 0 selects the common record itself.
    EXPECT_EQ(store.SelectChannel(0, 0), 1);
    EXPECT_EQ(store.currentIndex, 0);
    EXPECT_EQ(store.records.size(), 3u);
}

TEST_F(SettingsStoreTest, SetCommonSwapsBetweenCommonAndChannelRecords) {
    WriteBytes(File(), CrLf({"[SETTINGS]", "Common=0"}));
    SettingsStore store;
    Load(store);
    store.SelectChannel(7, 0);
    store.live.Y_Threshold = 33;
    store.SetCommon(1);
    EXPECT_EQ(store.live.ChannelKey(), 0);
    EXPECT_EQ(store.live.Y_Threshold, 10);
    store.live.Y_Threshold = 50;
    store.SetCommon(0);
    EXPECT_EQ(store.live.ChannelKey(), 7);
    EXPECT_EQ(store.live.Y_Threshold, 33);
    EXPECT_EQ(store.records[0].Y_Threshold, 50);
    // With Common set every change of channel reports 1 and fetches the common record.
    store.SetCommon(1);
    EXPECT_EQ(store.SelectChannel(8, 0), 1);
    EXPECT_EQ(store.live.ChannelKey(), 0);
    EXPECT_EQ(store.live.Y_Threshold, 50);
}

TEST_F(SettingsStoreTest, RestoreUndoesDialogEditsIncludingChannelsFirstSeenMeanwhile) {
    WriteBytes(File(), CrLf({"[DEFAULT]", "Y_Threshold=20", "[SETTINGS]", "Common=0"}));
    SettingsStore store;
    Load(store);
    store.SelectChannel(1, 0);
    store.live.Y_Threshold = 33;
    store.Snapshot();
    store.live.Y_Threshold = 60;
    store.SelectChannel(3, 0);  // first seen while the dialog is open
    ASSERT_EQ(store.backup.size(), store.records.size());
    store.live.Y_Threshold = 70;
    store.SetCommon(1);
    store.live.Y_Threshold = 80;
    store.Restore();
    // Common is not restored: live comes from the restored common record.
    EXPECT_EQ(store.Common, 1);
    EXPECT_EQ(store.live.ChannelKey(), 0);
    EXPECT_EQ(store.live.Y_Threshold, 10);
    ASSERT_EQ(store.records.size(), 3u);
    EXPECT_EQ(store.records[1].Y_Threshold, 33);
    EXPECT_EQ(store.records[2].ChannelKey(), 3);
    EXPECT_EQ(store.records[2].Y_Threshold, 20);  // back to its template
    store.SetCommon(0);
    EXPECT_EQ(store.live.ChannelKey(), 3);
    EXPECT_EQ(store.live.Y_Threshold, 20);
}

TEST_F(SettingsStoreTest, SavePrunesUnknownChannelsButKeepsKeysOneToFour) {
    WriteBytes(File(), CrLf({"[SETTINGS]", "Common=0"}));
    const int64_t big = INT64_C(0x100000002);
    knownChannels = {6, big};
    SettingsStore store;
    Load(store);
    const int64_t keys[] = {5, 1, 6, 2, -7, 3, big, 4};
    for (int64_t key : keys) Select(store, key);
    store.Save();
    std::string expected = CrLf({"[DIALOG]", "DlgWndPosX=-100", "DlgWndPosY=-100", "[SETTINGS]", "Common=0",
                                 "[COMMON]"}) +
                           DefaultKeys();
    for (const char* name : {"1", "6", "2", "3", "4294967298", "4"}) {
        expected += std::string("[") + name + "]\r\n" + DefaultKeys();
    }
    EXPECT_EQ(ReadBytes(File()), expected);
    // The host is asked about every channel record, the kept keys included.
    const std::vector<std::pair<uint32_t, int32_t>> asked = {
        {5, 0}, {1, 0}, {6, 0}, {2, 0}, {0xFFFFFFF9u, -1}, {3, 0}, {2, 1}, {4, 0}};
    EXPECT_EQ(askedChannels, asked);
    EXPECT_EQ(store.records.size(), 9u);  // pruned records stay in memory
}

TEST_F(SettingsStoreTest, HandEditedValuesAreUsedAsParsedAndWrittenBackInTheirForm) {
    WriteBytes(File(), CrLf({"[SETTINGS]", "Common=1", "[COMMON]", "ProcEnable=7", "Y_MEEnable=-1",
                             "U_MEEnable=abc", "Y_Threshold=250", "U_Threshold=12abc", "V_Threshold=-5",
                             "y_autothreshold=0", "U_AutoThreshold=", "V_AutoThreshold = 0"}));
    SettingsStore store;
    Load(store);
    EXPECT_EQ(store.live.ProcEnable, 7u);
    EXPECT_EQ(store.live.Y_MEEnable, 0xFFFFFFFFu);
    EXPECT_EQ(store.live.U_MEEnable, 0u);
    EXPECT_EQ(store.live.Y_Threshold, 250);
    EXPECT_EQ(store.live.U_Threshold, 12);
    EXPECT_EQ(store.live.V_Threshold, -5);
    EXPECT_EQ(store.live.Y_AutoThreshold, 1u);  // other letter case: default
    EXPECT_EQ(store.live.U_AutoThreshold, 1u);  // empty: default
    EXPECT_EQ(store.live.V_AutoThreshold, 0u);
    store.Save();
    EXPECT_EQ(ReadBytes(File()),
              CrLf({"[DIALOG]", "DlgWndPosX=-100", "DlgWndPosY=-100", "[SETTINGS]", "Common=1", "[COMMON]",
                    "ProcEnable=7", "Y_MEEnable=4294967295", "U_MEEnable=0", "V_MEEnable=0", "Y_Threshold=250",
                    "U_Threshold=12", "V_Threshold=-5", "Y_AutoThreshold=1", "U_AutoThreshold=1",
                    "V_AutoThreshold=0"}));
}

TEST_F(SettingsStoreTest, LoadingAgainStartsFromEmptyLists) {
    WriteBytes(File(), kExample);
    SettingsStore store;
    Load(store);
    store.SelectChannel(27, 0);
    store.SelectChannel(28, 0);
    Load(store);
    EXPECT_EQ(store.records.size(), 2u);
    EXPECT_EQ(store.backup.size(), 2u);
    EXPECT_EQ(store.currentIndex, -1);
    knownChannels = {27};
    store.Save();
    EXPECT_EQ(ReadBytes(File()), kExample);
}

TEST_F(SettingsStoreTest, HeaderWithBlanksInsideItsBracketsEndsTheLoad) {
    // "[ 27]" names channel 27 but its lookup finds "[27]" above it; the walk
    // over the channel sections must still move on.
    WriteBytes(File(), CrLf({"[COMMON]", "[27]", "Y_Threshold=30", "[ 27]", "Y_Threshold=31", "[28]",
                             "Y_Threshold=32"}));
    SettingsStore store;
    Load(store);
    ASSERT_EQ(store.records.size(), 4u);
    EXPECT_EQ(store.records[1].Y_Threshold, 30);
    EXPECT_EQ(store.records[2].ChannelKey(), 27);
    EXPECT_EQ(store.records[2].Y_Threshold, 30);
    EXPECT_EQ(store.records[3].ChannelKey(), 28);
    EXPECT_EQ(store.records[3].Y_Threshold, 32);
}

TEST_F(SettingsStoreTest, MissingInstanceFolderMeansNeitherLoadNorSave) {
    SettingsStore store;
    store.Load(HostFolderFacts(folder, "host.exe -inst:7"), 0, ChannelExists);
    EXPECT_EQ(store.location.instanceName, "7");
    EXPECT_FALSE(fs::exists(folder.Path() / "Instances"));
    EXPECT_EQ(store.Common, 1);
    store.SetDialogPosition(1, 2);
    store.Save();
    EXPECT_FALSE(fs::exists(folder.Path() / "Instances"));
    EXPECT_FALSE(fs::exists(File()));  // nor is the host folder's file
}

TEST_F(SettingsStoreTest, FailedVersionQueryKeepsThePreviousLocation) {
    settings::LocationFacts noVersion = HostFolderFacts(folder);
    noVersion.versionOk = false;
    SettingsStore fresh;
    fresh.Load(noVersion, 0, ChannelExists);
    EXPECT_TRUE(fresh.location.path.empty());
    EXPECT_EQ(fresh.records.size(), 1u);
    fresh.Save();  // nowhere to write
    EXPECT_FALSE(fs::exists(File()));

    WriteBytes(File(), kExample);
    SettingsStore store;
    Load(store);
    store.Load(noVersion, 0, ChannelExists);
    EXPECT_EQ(store.location.path, File().string());
    EXPECT_EQ(store.DlgWndPosX, 312);
}

TEST_F(SettingsStoreTest, LoadDefaultsWritesNothing) {
    WriteBytes(File(), kExample);
    SettingsStore store;
    Load(store);
    store.LoadDefaults();
    EXPECT_EQ(store.Common, 1);
    EXPECT_EQ(store.DlgWndPosX, -100);
    EXPECT_EQ(store.records.size(), 1u);
    store.SetDialogPosition(5, 5);
    store.Save();
    EXPECT_EQ(ReadBytes(File()), kExample);
}

// The failure paths of the rewrite: each leaves the old file as it was and no
// temporary file behind.

TEST_F(SettingsStoreTest, ReplacingADirectoryFailsAndKeepsIt) {
    fs::create_directories(File() / "inside");
    SettingsStore store;
    Load(store);
    EXPECT_EQ(store.Common, 1);  // not a file: defaults
    store.Save();
    EXPECT_TRUE(fs::is_directory(File() / "inside"));
    EXPECT_TRUE(Leftovers().empty());
}

#ifndef _WIN32
TEST_F(SettingsStoreTest, WriteThatFailsMidwayKeepsTheOldFile) {
    // A file-size limit makes the write fail part way, as a full disk would;
    // it binds root too, unlike folder permissions.
    WriteBytes(File(), kExample);
    SettingsStore store;
    knownChannels = {27};
    Load(store);
    store.SetDialogPosition(1, 1);
    store.SelectChannel(31, 0);  // makes the new text longer than the old one

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    store.Save();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(ReadBytes(File()), kExample);
    EXPECT_TRUE(Leftovers().empty());
    store.Save();  // and with room again the new text lands
    EXPECT_NE(ReadBytes(File()).find("DlgWndPosX=1\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, ReadOnlyFolderOrFileKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    const auto writeBits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    WriteBytes(File(), kExample);
    SettingsStore store;
    Load(store);
    store.SetDialogPosition(1, 1);
    fs::permissions(PluginsFolder(), writeBits, fs::perm_options::remove);
    store.Save();
    fs::permissions(PluginsFolder(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(ReadBytes(File()), kExample);
    EXPECT_TRUE(Leftovers().empty());

    // A read-only file in a writable folder is not replaced either.
    fs::permissions(File(), writeBits, fs::perm_options::remove);
    store.Save();
    EXPECT_EQ(ReadBytes(File()), kExample);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(SettingsStoreTest, SymbolicLinkSurvivesTheRewrite) {
    const fs::path target = folder.Path() / "real.ini";
    WriteBytes(target, kExample);
    fs::create_symlink(target, File());
    SettingsStore store;
    Load(store);
    store.SetDialogPosition(1, 1);
    store.Save();
    EXPECT_TRUE(fs::is_symlink(File()));
    EXPECT_NE(ReadBytes(target).find("DlgWndPosX=1\r\n"), std::string::npos);
}
#endif

#ifdef _WIN32
TEST_F(SettingsStoreTest, ReadOnlyFileKeepsItsContent) {
    WriteBytes(File(), kExample);
    SettingsStore store;
    Load(store);
    store.SetDialogPosition(1, 1);
    const std::string path = File().string();

    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "this file system does not keep the read-only attribute";
    }
    store.Save();
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(File()), kExample);
    EXPECT_TRUE(Leftovers().empty());

    store.Save();
    EXPECT_NE(ReadBytes(File()).find("DlgWndPosX=1\r\n"), std::string::npos);
}
#endif

}  // namespace
