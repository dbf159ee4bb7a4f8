#include "settings/temp_names.h"

#include <cstdint>

namespace settings {

namespace {

const char kTempSuffix[] = ".tmp";
constexpr size_t kTempSuffixLength = sizeof kTempSuffix - 1;
// Longer digit strings are no process id of any system.
constexpr size_t kMaxPidDigits = 10;

bool AllDigits(const std::string& text, size_t from, size_t to) {
    if (from >= to) return false;
    for (size_t i = from; i < to; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

}  // namespace

std::string SharedTempPath(const std::string& path) { return path + kTempSuffix; }

std::string PrivateTempPath(const std::string& path, unsigned long pid, unsigned n) {
    return path + "." + std::to_string(pid) + "-" + std::to_string(n) + kTempSuffix;
}

unsigned long PrivateTempOwner(const std::string& entry, const std::string& fileName) {
    const size_t start = fileName.size() + 1;
    if (entry.size() < start + kTempSuffixLength || entry.compare(0, fileName.size(), fileName) != 0 ||
        entry[fileName.size()] != '.' ||
        entry.compare(entry.size() - kTempSuffixLength, kTempSuffixLength, kTempSuffix) != 0) {
        return 0;
    }
    const size_t end = entry.size() - kTempSuffixLength;
    const size_t dash = entry.find('-', start);
    if (dash == std::string::npos || dash >= end || dash - start > kMaxPidDigits || !AllDigits(entry, start, dash) ||
        !AllDigits(entry, dash + 1, end)) {
        return 0;
    }
    uint64_t pid = 0;
    for (size_t i = start; i < dash; ++i) pid = pid * 10 + static_cast<uint64_t>(entry[i] - '0');
    return pid <= 0xFFFFFFFFu ? static_cast<unsigned long>(pid) : 0;
}

}  // namespace settings
