#pragma once
// The settings file's INI text: a reader that keeps the file's bytes and
// answers each lookup by scanning them line by line, and a writer that builds
// the new text and replaces the file only when the text changed.
// Internal to the settings subsystem (tests use it directly).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "settings/settings.h"

namespace settings {

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

    // Parsed value, or `fallback` when FindValue fails.
    void GetValue(const std::string& section, const std::string& key, uint8_t& dest, uint8_t fallback);
    void GetValue(const std::string& section, const std::string& key, int16_t& dest, int16_t fallback);
    void GetValue(const std::string& section, const std::string& key, uint16_t& dest, uint16_t fallback);
    void GetValue(const std::string& section, const std::string& key, uint32_t& dest, uint32_t fallback);
    // Signed 32-bit and `atol`-style values alike.
    void GetValue(const std::string& section, const std::string& key, int32_t& dest, int32_t fallback);
    void GetValue(const std::string& section, const std::string& key, int64_t& dest, int64_t fallback);
    void GetValue(const std::string& section, const std::string& key, uint64_t& dest, uint64_t fallback);
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

    void WriteValue(const std::string& key, uint8_t value);
    void WriteValue(const std::string& key, int16_t value);
    void WriteValue(const std::string& key, uint16_t value);
    void WriteValue(const std::string& key, uint32_t value);
    void WriteValue(const std::string& key, int32_t value);
    void WriteValue(const std::string& key, int64_t value);
    void WriteValue(const std::string& key, uint64_t value);
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

// Decimal texts of the writer's formats ("%d", "%u", signed and unsigned 64-bit).
std::string FormatSigned(int64_t value);
std::string FormatUnsigned(uint64_t value);

}  // namespace settings
