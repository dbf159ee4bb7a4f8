// A minimal Windows host: loads Plugins\ORV_VEDaviror.dll from beside itself,
// as a TV host does, and prints the plug-in's interface version and short
// name. The package check runs it on the DLL taken from the release zip.
#include <windows.h>

#include <cstdio>
#include <string>

#include "plugin/host_records.h"

int main() {
    char exe[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return 2;
    std::string path(exe, n);
    path = path.substr(0, path.rfind('\\') + 1) + "Plugins\\ORV_VEDaviror.dll";
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        std::printf("cannot load %s (error %lu)\n", path.c_str(), GetLastError());
        return 1;
    }
    using VersionFn = int32_t (*)();
    using DescriptorFn = const PluginDescriptor* (*)();
    auto version = reinterpret_cast<VersionFn>(reinterpret_cast<void*>(GetProcAddress(module, "Vantorix_Plugin_Version")));
    auto descriptor = reinterpret_cast<DescriptorFn>(reinterpret_cast<void*>(GetProcAddress(module, "Vantorix_Plugin_PR")));
    if (version == nullptr || descriptor == nullptr || descriptor() == nullptr) {
        std::printf("%s lacks the plug-in exports\n", path.c_str());
        return 1;
    }
    std::printf("version %d\n", static_cast<int>(version()));
    FreeLibrary(module);
    return 0;
}
