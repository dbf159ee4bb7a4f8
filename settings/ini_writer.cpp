#include <cstdlib>
#include <cstring>

#include "settings/file_access.h"
#include "settings/ini.h"

namespace settings {

std::string FormatUnsigned(uint64_t value) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10u);
        value /= 10u;
    } while (value != 0);
    std::string text;
    text.reserve(static_cast<size_t>(n));
    while (n > 0) text.push_back(digits[--n]);
    return text;
}

std::string FormatSigned(int64_t value) {
    if (value >= 0) return FormatUnsigned(static_cast<uint64_t>(value));
    return "-" + FormatUnsigned(0u - static_cast<uint64_t>(value));
}

IniWriter::~IniWriter() { std::free(output_); }

void IniWriter::Begin() {
    std::free(output_);
    output_ = static_cast<char*>(std::malloc(kGrowth));
    length_ = 0;
    capacity_ = output_ != nullptr ? kGrowth : 0;
}

void IniWriter::Append(const char* text, size_t n) {
    if (output_ == nullptr || n == 0) return;
    const uint64_t needed = static_cast<uint64_t>(length_) + n;
    if (needed > kMaxFileSize) return;
    if (needed > capacity_) {
        // The capacity grows in whole steps, as if one step at a time.
        const uint64_t steps = (needed - capacity_ + kGrowth - 1) / kGrowth;
        const uint64_t grown = capacity_ + steps * kGrowth;
        char* bigger = static_cast<char*>(std::realloc(output_, static_cast<size_t>(grown)));
        if (bigger == nullptr) return;  // the text is dropped, the rest stays
        output_ = bigger;
        capacity_ = static_cast<uint32_t>(grown);
    }
    std::memcpy(output_ + length_, text, n);
    length_ += static_cast<uint32_t>(n);
}

void IniWriter::WriteSection(const std::string& name) {
    scratch_ = "[";
    scratch_ += TrimBoth(name);
    scratch_ += "]\r\n";
    Append(scratch_);
}

void IniWriter::WriteSection(int64_t channelKey) { WriteSection(FormatSigned(channelKey)); }

void IniWriter::WriteKeyLine(const std::string& key, const char* value, size_t n) {
    scratch_ = TrimBoth(key);
    scratch_ += '=';
    scratch_.append(value, n);
    scratch_ += "\r\n";
    Append(scratch_);
}

void IniWriter::WriteValue(const std::string& key, const std::string& value) {
    WriteKeyLine(key, value.data(), value.size());
}

void IniWriter::WriteTable(const SettingDescriptor* table, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string key = table[i].key != nullptr ? table[i].key : "";
        WithTypedValue(table[i], [&](const auto* value, auto) { WriteValue(key, *value); });
    }
}

IniWriter::CommitResult IniWriter::Commit(const std::string& path, const IniDocument& document) {
    if (output_ == nullptr || length_ == 0) return CommitResult::NoOutput;
    // Compared with what was read, not with the file as it is now.
    if (length_ == document.Size() && std::memcmp(output_, document.Text(), length_) == 0) {
        return CommitResult::Unchanged;
    }
    if (path.empty()) return CommitResult::Failed;
    return ReplaceFileContent(path, output_, length_) ? CommitResult::Written : CommitResult::Failed;
}

}  // namespace settings
