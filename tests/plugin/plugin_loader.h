#pragma once
// Loads the built plug-in the way a host does (LoadLibrary / dlopen) and
// resolves its exports.
#include <string>

#include "plugin/host_records.h"

#if defined(_WIN32)
#include <direct.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace testing_support {

class PluginLibrary {
public:
    explicit PluginLibrary(std::string path) {
#if defined(_WIN32)
        // Wine maps the Unix root to drive Z:.
        if (!path.empty() && path[0] == '/') path = "Z:" + path;
        for (char& c : path) {
            if (c == '/') c = '\\';
        }
        handle_ = LoadLibraryA(path.c_str());
#else
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~PluginLibrary() { Unload(); }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }

    void Unload() {
        if (handle_ == nullptr) return;
#if defined(_WIN32)
        FreeLibrary(static_cast<HMODULE>(handle_));
#else
        dlclose(handle_);
#endif
        handle_ = nullptr;
    }

    void* Symbol(const char* name) const {
#if defined(_WIN32)
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
        return dlsym(handle_, name);
#endif
    }

#if defined(_WIN32)
    void* Ordinal(int ordinal) const {
        return reinterpret_cast<void*>(
            GetProcAddress(static_cast<HMODULE>(handle_), reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(ordinal))));
    }
#endif

    using PrFn = const PluginDescriptor* (*)();
    using VersionFn = int32_t (*)();

    const PluginDescriptor* Descriptor() const {
        auto fn = reinterpret_cast<PrFn>(Symbol("Vantorix_Plugin_PR"));
        return fn != nullptr ? fn() : nullptr;
    }
    int32_t Version() const {
        auto fn = reinterpret_cast<VersionFn>(Symbol("Vantorix_Plugin_Version"));
        return fn != nullptr ? fn() : -1;
    }

private:
    void* handle_ = nullptr;
};

// The settings file the loaded plug-in reads at Open: the test program is
// the host, so it lives in the "Plugins" folder beside the program.
inline std::string SettingsFilePath() {
#if defined(_WIN32)
    char buffer[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string exe(buffer, n);
    std::string folder = exe.substr(0, exe.rfind('\\') + 1) + "Plugins";
    _mkdir(folder.c_str());
    return folder + "\\ORV_VEDaviror.ini";
#else
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    std::string exe(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    std::string folder = exe.substr(0, exe.rfind('/') + 1) + "Plugins";
    mkdir(folder.c_str(), 0777);
    return folder + "/ORV_VEDaviror.ini";
#endif
}

// The plug-in's path, handed to the test program as its first argument.
std::string& PluginPath();

}  // namespace testing_support
