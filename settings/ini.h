#pragma once
// The settings file's INI text: a reader that keeps the file's bytes and
// answers each lookup by scanning them line by line, and a writer that builds
// the new text and replaces the file only when the text changed.
// Internal to the settings subsystem (tests use it directly).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "settings/settings.h"

namespace settings {

// Decimal texts of the writer's formats ("%d", "%u", signed and unsigned 64-bit).
std::string FormatSigned(int64_t value);
std::string FormatUnsigned(uint64_t value);

// T, in a parameter that takes no part in deducing T.
template <typename T>
struct NotDeducedType {
    using type = T;
};
template <typename T>
using NotDeduced = typename NotDeducedType<T>::type;

// Calls f(value, fallback) with the row's value as a pointer to its C++ type
// and the row's default in that type, then returns true; returns false for
// a row of an unknown type, which the reader and the writer skip.
template <typename F>
bool WithTypedValue(const SettingDescriptor& row, F&& f) {
    const uint64_t wide = (static_cast<uint64_t>(row.defaultHigh) << 32) | row.defaultLow;
    switch (static_cast<ValueType>(row.type)) {
        case ValueType::U8: f(static_cast<uint8_t*>(row.value), static_cast<uint8_t>(row.defaultLow)); return true;
        case ValueType::S16:
            f(static_cast<int16_t*>(row.value), static_cast<int16_t>(static_cast<uint16_t>(row.defaultLow)));
            return true;
        case ValueType::U16a:
        case ValueType::U16b: f(static_cast<uint16_t*>(row.value), static_cast<uint16_t>(row.defaultLow)); return true;
        case ValueType::U32a:
        case ValueType::U32b:
        case ValueType::U32c:
        case ValueType::U32d: f(static_cast<uint32_t*>(row.value), row.defaultLow); return true;
        case ValueType::S32a:
        case ValueType::S32b: f(static_cast<int32_t*>(row.value), static_cast<int32_t>(row.defaultLow)); return true;
        case ValueType::S64: f(static_cast<int64_t*>(row.value), static_cast<int64_t>(wide)); return true;
        case ValueType::U64: f(static_cast<uint64_t*>(row.value), wide); return true;
        case ValueType::Text: f(static_cast<std::string*>(row.value), row.defaultText); return true;
    }
    return false;
}

class IniDocument {
public:
    // Replaces the document with the file's bytes. A missing file is created
    // empty (never truncated); a file that cannot be read leaves the document
    // empty. Returns whether the file was read.
    bool ReadFile(const std::string& path);
    // Replaces the document with the given bytes (no file involved).
    void SetText(const char* data, size_t size);

    // The next line from `cursor` without its line break; false at the end,
    // where an unterminated last line is dropped.
    bool ReadLine(std::string& line);
    // Positions `cursor` after the header of `name`: one circular pass that
    // starts at `sectionHint`.
    bool FindSection(const std::string& name);
    // The name of the next header after the section at `sectionHint`.
    bool NextSection(std::string& name);
    // The value text of `key` in `section`; false when missing or empty.
    bool FindValue(const std::string& section, const std::string& key, std::string& value);

    // Parsed value, or `fallback` when FindValue fails. Integers of 32 bits
    // and less are parsed as 32-bit values and keep their low bits (atoi);
    // 64-bit ones are parsed as such (atol).
    template <typename T, typename = std::enable_if_t<std::is_integral<T>::value>>
    void GetValue(const std::string& section, const std::string& key, T& dest, NotDeduced<T> fallback) {
        if (!FindValue(section, key, scratch_)) {
            dest = fallback;
        } else if constexpr (sizeof(T) == 8) {
            dest = static_cast<T>(ParseDecimal64(scratch_.c_str()));
        } else {
            dest = static_cast<T>(static_cast<std::make_unsigned_t<T>>(ParseDecimal32(scratch_.c_str())));
        }
    }
    void GetValue(const std::string& section, const std::string& key, std::string& dest, const char* fallback);

    void ReadTable(const std::string& section, const SettingDescriptor* table, int count);

    const char* Text() const { return text_.get(); }
    uint32_t Size() const { return size_; }

    uint32_t cursor = 0;
    uint32_t sectionHint = 0;

private:
    void Clear();
    // ReadLine without the copy: the line as a range of the document.
    bool NextLine(const char*& begin, const char*& end);

    std::unique_ptr<char[]> text_;
    uint32_t size_ = 0;
    std::string scratch_;
};

class IniWriter {
public:
    IniWriter() = default;
    ~IniWriter();
    IniWriter(const IniWriter&) = delete;
    IniWriter& operator=(const IniWriter&) = delete;

    static constexpr uint32_t kGrowth = 100000;

    // Starts a new, empty output of kGrowth bytes' capacity.
    void Begin();
    // Adds bytes; when the output cannot grow, the text is dropped.
    void Append(const char* text, size_t n);
    void Append(const std::string& text) { Append(text.data(), text.size()); }

    void WriteSection(const std::string& name);
    void WriteSection(int64_t channelKey);

    // Integers in decimal, with a minus sign for negative values.
    template <typename T, typename = std::enable_if_t<std::is_integral<T>::value>>
    void WriteValue(const std::string& key, T value) {
        if constexpr (std::is_signed<T>::value) {
            WriteValue(key, FormatSigned(value));
        } else {
            WriteValue(key, FormatUnsigned(value));
        }
    }
    void WriteValue(const std::string& key, const std::string& value);

    void WriteTable(const SettingDescriptor* table, int count);

    enum class CommitResult { NoOutput, Unchanged, Written, Failed };
    // Writes the output to `path` unless it equals the document's text. The
    // new text goes to a temporary file beside `path` that then replaces the
    // old file, so a failed write leaves the old file as it was.
    CommitResult Commit(const std::string& path, const IniDocument& document);

    const char* Data() const { return output_; }
    uint32_t Length() const { return length_; }
    uint32_t Capacity() const { return capacity_; }

private:
    void WriteKeyLine(const std::string& key, const char* value, size_t n);

    char* output_ = nullptr;
    uint32_t length_ = 0;
    uint32_t capacity_ = 0;
    std::string scratch_;
};

// White space as the INI reader trims it: blank, tab, vertical tab, form
// feed, carriage return and line feed.
bool IsIniBlank(char c);
std::string TrimBoth(const std::string& text);

}  // namespace settings
