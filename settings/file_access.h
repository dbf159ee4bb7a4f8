#pragma once
// The two file operations of the settings file, one implementation per
// operating system (file_access_posix.cpp, file_access_win32.cpp).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace settings {

// Largest settings file that is read; anything longer counts as unreadable.
constexpr uint32_t kMaxFileSize = 0x7FFFFFFFu;

// Opens `path` for reading, creating it empty when missing and never
// truncating it, and reads all of it. False (data empty, size 0) when the
// file cannot be opened or read, is not a regular file, or is too large.
bool ReadWholeFile(const std::string& path, std::unique_ptr<char[]>& data, uint32_t& size);

// Writes `size` bytes to a new temporary file in the folder of `path`,
// flushes it and renames it over `path`. A `path` that exists but may not be
// written is refused. On any failure the temporary file is removed, `path`
// keeps its old content and the result is false.
bool ReplaceFileContent(const std::string& path, const char* data, size_t size);

}  // namespace settings
