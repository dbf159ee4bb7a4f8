// The settings file's rewrite when saves are killed or run at the same time:
// what a killed save leaves is taken over or removed by the next one, and two
// live saves never mix their texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/file_access.h"
#include "settings/temp_names.h"
#include "test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>
#endif

namespace {

using namespace settings_test;

TEST(TempNames, PrivateTemporaryOwnerIsReadOnlyFromThisFilesNames) {
    struct Case {
        const char* entry;
        unsigned long owner;
    };
    const Case cases[] = {
        {"ORV_VEDaviror.ini.4711-0.tmp", 4711},
        {"ORV_VEDaviror.ini.4294967295-12.tmp", 4294967295ul},
        {"ORV_VEDaviror.ini.4294967296-0.tmp", 0},  // no process id
        {"ORV_VEDaviror.ini.99999999999-0.tmp", 0},
        {"ORV_VEDaviror.ini.tmp", 0},  // the shared temporary has no owner
        {"ORV_VEDaviror.ini.-1.tmp", 0},
        {"ORV_VEDaviror.ini.12-.tmp", 0},
        {"ORV_VEDaviror.ini.12-x.tmp", 0},
        {"ORV_VEDaviror.ini.1a-0.tmp", 0},
        {"ORV_VEDaviror.ini.12-0.tmp.bak", 0},
        {"ORV_VEDaviror.ini12-0.tmp", 0},
        {"Other.ini.12-0.tmp", 0},
        {"ORV_VEDaviror.ini.12-0-1.tmp", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(settings::PrivateTempOwner(c.entry, "ORV_VEDaviror.ini"), c.owner) << c.entry;
    const std::string made = settings::PrivateTempPath("ORV_VEDaviror.ini", 31, 7);
    EXPECT_EQ(settings::PrivateTempOwner(made, "ORV_VEDaviror.ini"), 31u);
}

class SaveLeftovers : public ::testing::Test {
protected:
    fs::path File() const { return folder.Path() / "ORV_VEDaviror.ini"; }
    std::string FileText() const { return File().string(); }

    bool Save(const std::string& text) { return settings::ReplaceFileContent(FileText(), text.data(), text.size()); }

    std::vector<std::string> Others() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.Path())) {
            if (entry.path().filename() != File().filename()) names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder folder;
};

// A process id that no running process has.
unsigned long DeadProcessId() {
#ifdef _WIN32
    return 0xFFFFFFFCul;  // process ids are multiples of 4 far below this
#else
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return static_cast<unsigned long>(child);
#endif
}

unsigned long LiveOtherProcessId() {
#ifdef _WIN32
    // The cleanup never looks at its own process's names, so this process
    // stands in for a live one.
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getppid());
#endif
}

TEST_F(SaveLeftovers, KilledSavesTemporariesAreGoneAfterTheNextSaveButLiveOnesStay) {
    WriteBytes(File(), "old\r\n");
    const std::string base = FileText();
    // What killed saves leave: the shared temporary, half written, and
    // private ones of a process that is gone.
    WriteBytes(settings::SharedTempPath(base), std::string(5000, 'x'));
    const unsigned long dead = DeadProcessId();
    WriteBytes(settings::PrivateTempPath(base, dead, 0), "half");
    WriteBytes(settings::PrivateTempPath(base, dead, 1), "");
    // A live process's private temporary and files that are not this file's.
    const std::string live = fs::path(settings::PrivateTempPath(base, LiveOtherProcessId(), 0)).filename().string();
    WriteBytes(folder.Path() / live, "writing");
    WriteBytes(folder.Path() / "ORV_VEDaviror.ini.bak.tmp", "mine");
    WriteBytes(folder.Path() / "Other.ini.1-0.tmp", "other");

    ASSERT_TRUE(Save("new\r\n"));
    EXPECT_EQ(ReadBytes(File()), "new\r\n");
    std::vector<std::string> expected = {live, "ORV_VEDaviror.ini.bak.tmp", "Other.ini.1-0.tmp"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Others(), expected);
    EXPECT_EQ(ReadBytes(folder.Path() / live), "writing");
}

TEST_F(SaveLeftovers, SharedTemporaryThatIsNoPlainFileIsLeftAloneAndTheSaveStillLands) {
    WriteBytes(File(), "old\r\n");
    fs::create_directories(settings::SharedTempPath(FileText()));
    ASSERT_TRUE(Save("new\r\n"));
    EXPECT_EQ(ReadBytes(File()), "new\r\n");
    EXPECT_TRUE(fs::is_directory(settings::SharedTempPath(FileText())));
    EXPECT_EQ(Others().size(), 1u);  // the folder; the private temporary was renamed into place
}

#ifndef _WIN32
// Text that shows whether it is one save's whole output: `size` bytes of the
// saver's letter between two lines naming it.
std::string SaveText(char letter, size_t size) {
    const std::string mark = std::string("[") + letter + "]\r\n";
    std::string text = mark;
    text.append(size, letter);
    text += "\r\n" + mark;
    return text;
}

bool IsOneWholeSave(const std::string& text, size_t size) {
    if (text.size() != size + 12) return false;
    const char letter = text[1];
    return text == SaveText(letter, size);
}

TEST_F(SaveLeftovers, ConcurrentSavesEndWithOneWholeFile) {
    constexpr size_t kSize = 256 * 1024;
    constexpr int kSaves = 150;
    ASSERT_TRUE(Save(SaveText('a', kSize)));
    std::vector<pid_t> savers;
    for (char letter : {'b', 'c'}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string text = SaveText(letter, kSize);
            for (int i = 0; i < kSaves; ++i) {
                if (!settings::ReplaceFileContent(FileText(), text.data(), text.size())) _exit(1);
            }
            _exit(0);
        }
        savers.push_back(child);
    }
    // Meanwhile every read finds one save's whole text.
    int reads = 0;
    int torn = 0;
    int status[2] = {-1, -1};
    while (status[0] == -1 || status[1] == -1) {
        std::unique_ptr<char[]> data;
        uint32_t size = 0;
        ASSERT_TRUE(settings::ReadWholeFile(FileText(), data, size));
        if (!IsOneWholeSave(std::string(data.get(), size), kSize)) ++torn;
        ++reads;
        for (int i = 0; i < 2; ++i) {
            int code = 0;
            if (status[i] == -1 && waitpid(savers[i], &code, WNOHANG) == savers[i]) status[i] = code;
        }
    }
    for (int code : status) EXPECT_TRUE(WIFEXITED(code) && WEXITSTATUS(code) == 0) << "a save failed";
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    const std::string last = ReadBytes(File());
    EXPECT_TRUE(IsOneWholeSave(last, kSize) && last[1] != 'a');
    EXPECT_TRUE(Others().empty());
}

TEST_F(SaveLeftovers, SavesKilledAtAnyMomentLeaveTheFileWholeAndOneTemporaryAtMost) {
    constexpr size_t kSize = 512 * 1024;
    ASSERT_TRUE(Save(SaveText('a', kSize)));
    std::mt19937 rng(15);
    for (int round = 0; round < 40; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string text = SaveText(static_cast<char>('b' + round % 20), kSize);
            for (;;) settings::ReplaceFileContent(FileText(), text.data(), text.size());
        }
        const timespec pause{0, static_cast<long>(rng() % 3000000)};
        nanosleep(&pause, nullptr);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        ASSERT_TRUE(IsOneWholeSave(ReadBytes(File()), kSize)) << "round " << round;
        ASSERT_LE(Others().size(), 1u) << "round " << round;
    }
    ASSERT_TRUE(Save(SaveText('z', kSize)));
    EXPECT_EQ(ReadBytes(File()), SaveText('z', kSize));
    EXPECT_TRUE(Others().empty());
}
#endif

}  // namespace
