#include <cstring>
#include <new>

#include "settings/file_access.h"
#include "settings/ini.h"

namespace settings {

bool IsIniBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n'; }

namespace {

void TrimStart(std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsIniBlank(text[i])) ++i;
    text.erase(0, i);
}

void TrimEnd(std::string& text) {
    size_t n = text.size();
    while (n > 0 && IsIniBlank(text[n - 1])) --n;
    text.resize(n);
}

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

}  // namespace

std::string TrimBoth(const std::string& text) {
    std::string result = text;
    TrimEnd(result);
    TrimStart(result);
    return result;
}

void IniDocument::Clear() {
    text_.reset();
    size_ = 0;
    cursor = 0;
    sectionHint = 0;
}

bool IniDocument::ReadFile(const std::string& path) {
    Clear();
    if (path.empty()) return false;
    return ReadWholeFile(path, text_, size_);
}

void IniDocument::SetText(const char* data, size_t size) {
    Clear();
    if (size == 0 || size > kMaxFileSize) return;
    text_.reset(new (std::nothrow) char[size]);
    if (!text_) return;
    std::memcpy(text_.get(), data, size);
    size_ = static_cast<uint32_t>(size);
}

bool IniDocument::ReadLine(std::string& line) {
    line.clear();
    if (cursor >= size_) {
        cursor = size_;
        return false;
    }
    const char* text = text_.get();
    const uint32_t start = cursor;
    while (cursor < size_ && !IsLineBreak(text[cursor])) ++cursor;
    if (cursor == size_) return false;  // an unterminated last line is dropped
    line.assign(text + start, cursor - start);
    ++cursor;
    // A second CR or LF right after the first belongs to the same break.
    if (cursor < size_ && IsLineBreak(text[cursor])) ++cursor;
    return true;
}

bool IniDocument::FindSection(const std::string& name) {
    if (size_ == 0) return false;
    const std::string header = "[" + TrimBoth(name) + "]";
    const uint32_t start = sectionHint < size_ ? sectionHint : 0;
    cursor = start;
    bool wrapped = false;
    for (;;) {
        const uint32_t p = cursor;
        ReadLine(line_);
        TrimEnd(line_);
        TrimStart(line_);
        if (line_ == header) {
            sectionHint = p;
            return true;
        }
        if (cursor == size_) {
            cursor = 0;
            wrapped = true;
        }
        // Line starts from 0 always pass through `start`; the second test
        // only guards the pass should that ever not hold.
        if (cursor == start || (wrapped && cursor > start)) return false;
    }
}

bool IniDocument::NextSection(std::string& name) {
    if (size_ == 0) return false;
    cursor = sectionHint < size_ ? sectionHint : 0;
    ReadLine(line_);  // the current section's header
    for (;;) {
        const uint32_t p = cursor;
        if (!ReadLine(line_)) return false;
        TrimEnd(line_);
        TrimStart(line_);
        if (line_.size() >= 2 && line_.front() == '[' && line_.back() == ']') {
            sectionHint = p;
            name.assign(line_, 1, line_.size() - 2);
            return true;
        }
    }
}

bool IniDocument::FindValue(const std::string& section, const std::string& key, std::string& value) {
    const std::string wanted = TrimBoth(key);
    if (!FindSection(section)) return false;
    for (;;) {
        if (!ReadLine(line_)) return false;
        TrimStart(line_);
        if (line_.empty()) continue;
        if (line_[0] == '[') return false;
        const size_t eq = line_.find('=');
        if (eq == std::string::npos) continue;
        size_t keyEnd = eq;
        while (keyEnd > 0 && IsIniBlank(line_[keyEnd - 1])) --keyEnd;
        if (line_.compare(0, keyEnd, wanted) != 0) continue;
        value.assign(line_, eq + 1, std::string::npos);
        return !value.empty();
    }
}

void IniDocument::GetValue(const std::string& section, const std::string& key, std::string& dest,
                           const char* fallback) {
    if (FindValue(section, key, scratch_)) {
        dest = scratch_;
    } else {
        dest = fallback != nullptr ? fallback : "";
    }
}

void IniDocument::ReadTable(const std::string& section, const SettingDescriptor* table, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string key = table[i].key != nullptr ? table[i].key : "";
        WithTypedValue(table[i], [&](auto* value, auto fallback) { GetValue(section, key, *value, fallback); });
    }
}

}  // namespace settings
