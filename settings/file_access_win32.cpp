#include <windows.h>

#include <atomic>
#include <new>

#include "settings/file_access.h"

namespace settings {

namespace {

std::atomic<unsigned> tempCounter{0};

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
    std::string temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = path + "." + std::to_string(static_cast<unsigned long>(GetCurrentProcessId())) + "-" +
               std::to_string(tempCounter.fetch_add(1)) + ".tmp";
        file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
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
    if (!CloseHandle(file)) ok = false;
    // Unlike std::rename, MoveFileEx replaces an existing target.
    if (ok && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
    }
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
}

}  // namespace settings
