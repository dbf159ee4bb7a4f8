#pragma once
// The few operating-system services the plug-in needs, behind one interface.
// platform_win32.cpp implements them with the Win32 API, platform_posix.cpp
// with POSIX and /proc; everything above this layer is portable.
#include <cstdint>
#include <string>

namespace platform {

// Mutual exclusion between the frame thread and the user-interface thread.
// A critical section on Windows, a mutex elsewhere. Not recursive.
class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void Enter();
    void Leave();

private:
    alignas(8) unsigned char storage_[64];
};

class LockGuard {
public:
    explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Enter(); }
    ~LockGuard() { lock_.Leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lock& lock_;
};

using WindowHandle = void*;

// Posts a message to a window without waiting for it to be handled.
// Returns false when the window is null or the post failed; natively,
// where the plug-in has no windows, it always returns false.
bool PostToWindow(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

void SleepMilliseconds(uint32_t ms);

// The handle of this module (HMODULE of the DLL on Windows; null elsewhere).
void* ThisModule();

// Full path of the plug-in module itself (not of the host executable).
std::string ModuleFilePath();

// Full path of the host process's executable.
std::string HostExecutablePath();

// The host process's command line as one text.
std::string ProcessCommandLine();

// The operating-system version query: whether it succeeded and the platform
// identifier it reported (2 = the NT family).
struct OsVersion {
    bool ok = false;
    int32_t platformId = 0;
};
OsVersion QueryOsVersion();

// The machine-wide "StoreInUsersFolder" number; 0 when missing or unreadable.
uint32_t ReadStoreInUsersFolder();

// The current user's roaming application-data folder, without a trailing separator.
std::string ApplicationDataFolder();

// Creates one directory level; the result is ignored by callers, as is any failure.
bool MakeDirectory(const std::string& path);

// Separator between path components on this platform.
char PathSeparator();

}  // namespace platform
