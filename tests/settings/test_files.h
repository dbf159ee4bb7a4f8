#pragma once
// Temporary folders and whole-file reads and writes for the settings tests.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "platform/platform.h"
#include "settings/settings.h"

namespace settings_test {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = fs::temp_directory_path() /
                ("orv-settings-" + std::to_string(stamp) + "-" + std::to_string(counter.fetch_add(1)));
        fs::create_directories(path_);
    }
    ~TempFolder() {
        try {
            std::error_code ignored;
            fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
            fs::remove_all(path_, ignored);
        } catch (...) {
            // A folder left behind in the temporary directory is harmless.
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& Path() const { return path_; }
    // The folder as text with a trailing separator.
    std::string Text() const { return path_.string() + platform::PathSeparator(); }

private:
    fs::path path_;
};

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Facts that place the settings file at <folder>/Plugins/ORV_VEDaviror.ini
// (host folder, no instance).
inline settings::LocationFacts HostFolderFacts(const TempFolder& folder, const std::string& commandLine = "host") {
    settings::LocationFacts facts;
    facts.versionOk = true;
    facts.platformId = 2;
    facts.separator = platform::PathSeparator();
    facts.hostExecutablePath = folder.Text() + "host.exe";
    facts.moduleFilePath = folder.Text() + "ORV_VEDaviror.dll";
    facts.commandLine = commandLine;
    return facts;
}

// Every line of `lines` followed by CR LF.
inline std::string CrLf(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace settings_test
