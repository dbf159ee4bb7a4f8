#include "platform/platform.h"

#include <windows.h>
#include <shlobj.h>

#include <new>

namespace platform {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "Lock storage too small");

Lock::Lock() { InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
Lock::~Lock() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void Lock::Enter() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void Lock::Leave() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

bool PostToWindow(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (window == nullptr) return false;
    return PostMessageA(static_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                        static_cast<LPARAM>(lParam)) != 0;
}

void SleepMilliseconds(uint32_t ms) { Sleep(ms); }

void* ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

static std::string ModulePath(HMODULE module) {
    char buffer[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(module, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::string();
    return std::string(buffer, n);
}

std::string ModuleFilePath() { return ModulePath(static_cast<HMODULE>(ThisModule())); }

std::string HostExecutablePath() { return ModulePath(nullptr); }

std::string ProcessCommandLine() {
    const char* line = GetCommandLineA();
    return line != nullptr ? std::string(line) : std::string();
}

OsVersion QueryOsVersion() {
    OsVersion result;
    OSVERSIONINFOEXA extended{};
    extended.dwOSVersionInfoSize = sizeof extended;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
        result.ok = true;
        result.platformId = static_cast<int32_t>(extended.dwPlatformId);
        return result;
    }
    OSVERSIONINFOA basic{};
    basic.dwOSVersionInfoSize = sizeof basic;
    if (GetVersionExA(&basic)) {
        result.ok = true;
        result.platformId = static_cast<int32_t>(basic.dwPlatformId);
    }
#pragma GCC diagnostic pop
    return result;
}

uint32_t ReadStoreInUsersFolder() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantorix", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, "StoreInUsersFolder", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || size != sizeof value) return 0;
    return value;
}

std::string ApplicationDataFolder() {
    char buffer[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_APPDATA, FALSE)) return std::string();
    return std::string(buffer);
}

bool MakeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

char PathSeparator() { return '\\'; }

}  // namespace platform
