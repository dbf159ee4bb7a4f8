#include <windows.h>

#include <atomic>
#include <new>

#include "settings/file_access.h"
#include "settings/temp_names.h"

namespace settings {

namespace {

std::atomic<unsigned> tempCounter{0};

// How long a save waits for another live process to finish its own save.
constexpr DWORD kLockWaitMs = 10000;

// The temporary is open for writing with only reading and deletion shared:
// a second saver's open fails with a sharing violation until this save has
// renamed the file and closed it, and sharing deletion lets the open file be
// renamed. The handle stays open until then, so no other save can write into
// the file between its flush and its rename.
constexpr DWORD kTempSharing = FILE_SHARE_READ | FILE_SHARE_DELETE;

// Every save goes through one temporary name per settings file: a save that
// is killed leaves only that file, which the next save truncates and renames.
// INVALID_HANDLE_VALUE when it cannot be had; the caller then falls back to a
// private name.
HANDLE OpenSharedTemp(const std::string& temp) {
    for (DWORD waited = 0; waited < kLockWaitMs; ++waited) {
        HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, kTempSharing, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) return file;
        Sleep(1);
    }
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenPrivateTemp(const std::string& path, std::string& temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = PrivateTempPath(path, GetCurrentProcessId(), tempCounter.fetch_add(1));
        HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, kTempSharing, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
}

bool ProcessIsGone(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
    const bool exited = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return exited;
}

// Removes the private temporaries that saves of processes no longer running
// left behind (a save killed before its rename, or earlier versions, which
// always used private names). A live process's file is never touched.
void RemoveDeadSaversTemps(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string fileName = path.substr(folder.size());
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + ".*-*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const unsigned long owner = PrivateTempOwner(found.cFileName, fileName);
        if (owner == 0 || owner == GetCurrentProcessId() || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !ProcessIsGone(owner)) {
            continue;
        }
        DeleteFileA((folder + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::unique_ptr<char[]>& data, uint32_t& size) {
    data.reset();
    size = 0;
    // OPEN_ALWAYS: a missing file is created empty, an existing one is never truncated.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER length{};
    bool ok = GetFileSizeEx(file, &length) != 0 && length.QuadPart >= 0 &&
              static_cast<uint64_t>(length.QuadPart) <= kMaxFileSize;
    if (ok && length.QuadPart > 0) {
        const uint32_t wanted = static_cast<uint32_t>(length.QuadPart);
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[wanted]);
        uint32_t got = 0;
        ok = static_cast<bool>(buffer);
        while (ok && got < wanted) {
            DWORD n = 0;
            if (!::ReadFile(file, buffer.get() + got, wanted - got, &n, nullptr)) {
                ok = false;
            } else if (n == 0) {
                break;  // the file shrank meanwhile
            } else {
                got += n;
            }
        }
        if (ok && got > 0) {
            data = std::move(buffer);
            size = got;
        }
    }
    CloseHandle(file);
    return ok;
}

bool ReplaceFileContent(const std::string& path, const char* data, size_t size) {
    // A read-only settings file stays as it is (MoveFileEx refuses it too, but
    // not every implementation of it does).
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    std::string temp = SharedTempPath(path);
    HANDLE file = OpenSharedTemp(temp);
    if (file == INVALID_HANDLE_VALUE) file = OpenPrivateTemp(path, temp);
    if (file == INVALID_HANDLE_VALUE) return false;

    bool ok = true;
    size_t done = 0;
    while (ok && done < size) {
        const DWORD chunk = size - done > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size - done);
        DWORD n = 0;
        if (!WriteFile(file, data + done, chunk, &n, nullptr) || n == 0) {
            ok = false;
        } else {
            done += n;
        }
    }
    if (ok && !FlushFileBuffers(file)) ok = false;
    // Unlike std::rename, MoveFileEx replaces an existing target.
    if (ok && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
    }
    // Deleting while the handle is open: the file goes when it is closed.
    if (!ok) DeleteFileA(temp.c_str());
    CloseHandle(file);
    if (ok) RemoveDeadSaversTemps(path);
    return ok;
}

}  // namespace settings
