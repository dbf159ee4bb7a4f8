#include "platform/platform.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <new>
#include <sstream>
#include <thread>

namespace platform {

static_assert(sizeof(std::mutex) <= 64, "Lock storage too small");

Lock::Lock() { new (storage_) std::mutex(); }
Lock::~Lock() { reinterpret_cast<std::mutex*>(storage_)->~mutex(); }
void Lock::Enter() { reinterpret_cast<std::mutex*>(storage_)->lock(); }
void Lock::Leave() { reinterpret_cast<std::mutex*>(storage_)->unlock(); }

bool PostToWindow(WindowHandle, uint32_t, uintptr_t, intptr_t) { return false; }

void SleepMilliseconds(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void* ThisModule() { return nullptr; }

std::string ModuleFilePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleFilePath), &info) != 0 && info.dli_fname != nullptr) {
        return info.dli_fname;
    }
    return HostExecutablePath();
}

std::string HostExecutablePath() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    return std::string(buffer, static_cast<size_t>(n));
}

std::string ProcessCommandLine() {
    // /proc/self/cmdline holds the arguments separated by NULs; join them with blanks.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!raw.empty() && raw.back() == '\0') raw.pop_back();
    for (char& c : raw) {
        if (c == '\0') c = ' ';
    }
    return raw;
}

OsVersion QueryOsVersion() {
    // Linux has no version record to fail; it counts as the NT family so that
    // the user-folder switch is honoured.
    return OsVersion{true, 2};
}

uint32_t ReadStoreInUsersFolder() {
    // Machine-wide switch: the first decimal number in /etc/orv-vedaviror/store-in-users-folder.
    std::FILE* f = std::fopen("/etc/orv-vedaviror/store-in-users-folder", "r");
    if (f == nullptr) return 0;
    unsigned long value = 0;
    if (std::fscanf(f, "%lu", &value) != 1) value = 0;
    std::fclose(f);
    return static_cast<uint32_t>(value);
}

std::string ApplicationDataFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config";
    return std::string();
}

bool MakeDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

char PathSeparator() { return '/'; }

}  // namespace platform
