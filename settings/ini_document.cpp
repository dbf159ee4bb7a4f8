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

void TrimRange(const char*& begin, const char*& end) {
    while (end > begin && IsIniBlank(end[-1])) --end;
    while (begin < end && IsIniBlank(*begin)) ++begin;
}

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
    const char* begin = nullptr;
    const char* end = nullptr;
    const bool whole = NextLine(begin, end);
    line.assign(begin, end);
    return whole;
}

bool IniDocument::NextLine(const char*& begin, const char*& end) {
    const char* text = text_.get();
    begin = end = text;
    if (cursor >= size_) {
        cursor = size_;
        return false;
    }
    const uint32_t start = cursor;
    // The line ends at the first CR or LF: the first LF, then a CR before it.
    const char* lineEnd = static_cast<const char*>(std::memchr(text + start, '\n', size_ - start));
    const size_t scanned = lineEnd != nullptr ? static_cast<size_t>(lineEnd - (text + start)) : size_ - start;
    const char* carriageReturn = static_cast<const char*>(std::memchr(text + start, '\r', scanned));
    if (carriageReturn != nullptr) lineEnd = carriageReturn;
    if (lineEnd == nullptr) {
        cursor = size_;
        return false;  // an unterminated last line is dropped
    }
    begin = text + start;
    end = lineEnd;
    cursor = static_cast<uint32_t>(lineEnd - text) + 1;
    // A second CR or LF right after the first belongs to the same break.
    if (cursor < size_ && IsLineBreak(text[cursor])) ++cursor;
    return true;
}

// The lookups below read the document in place: a lookup passes over many
// lines, and copying each would cost more than the comparison.

bool IniDocument::FindSection(const std::string& name) {
    if (size_ == 0) return false;
    const std::string header = "[" + TrimBoth(name) + "]";
    const uint32_t start = sectionHint < size_ ? sectionHint : 0;
    cursor = start;
    bool wrapped = false;
    for (;;) {
        const uint32_t p = cursor;
        const char* begin;
        const char* end;
        NextLine(begin, end);
        TrimRange(begin, end);
        if (static_cast<size_t>(end - begin) == header.size() && std::memcmp(begin, header.data(), header.size()) == 0) {
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
    const char* begin;
    const char* end;
    NextLine(begin, end);  // the current section's header
    for (;;) {
        const uint32_t p = cursor;
        if (!NextLine(begin, end)) return false;
        TrimRange(begin, end);
        if (end - begin >= 2 && begin[0] == '[' && end[-1] == ']') {
            sectionHint = p;
            name.assign(begin + 1, end - 1);
            return true;
        }
    }
}

bool IniDocument::FindValue(const std::string& section, const std::string& key, std::string& value) {
    const std::string wanted = TrimBoth(key);
    if (!FindSection(section)) return false;
    for (;;) {
        const char* begin;
        const char* end;
        if (!NextLine(begin, end)) return false;
        while (begin < end && IsIniBlank(*begin)) ++begin;
        if (begin == end) continue;
        if (*begin == '[') return false;
        const char* eq = static_cast<const char*>(std::memchr(begin, '=', static_cast<size_t>(end - begin)));
        if (eq == nullptr) continue;
        const char* keyEnd = eq;
        while (keyEnd > begin && IsIniBlank(keyEnd[-1])) --keyEnd;
        if (static_cast<size_t>(keyEnd - begin) != wanted.size() ||
            std::memcmp(begin, wanted.data(), wanted.size()) != 0) {
            continue;
        }
        value.assign(eq + 1, end);
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
