// The INI reader's line, section and key rules, and the writer's formats.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "settings/ini.h"

namespace {

using settings::IniDocument;
using settings::IniWriter;
using settings::SettingDescriptor;

IniDocument Document(const std::string& text) {
    IniDocument doc;
    doc.SetText(text.data(), text.size());
    return doc;
}

// One lookup through a one-row table: `fallback` comes back when the key is
// not found.
struct ReadCase {
    const char* label;
    std::string text;
    const char* section;
    const char* key;
    uint32_t type;
    const char* valueText;  // what FindValue yields; nullptr: not found
    int64_t value;          // the stored value, sign-extended from its width
};

constexpr int64_t kFallback = 77;

const ReadCase kReadCases[] = {
    {"plain", "[A]\r\nk=5\r\n", "A", "k", 6, "5", 5},
    {"blanks around the header", "  \t[A] \t\r\nk=5\r\n", "A", "k", 6, "5", 5},
    {"wanted name is trimmed", "[A]\r\nk=5\r\n", " A ", "k", 6, "5", 5},
    {"blanks inside the brackets", "[ A ]\r\nk=5\r\n", "A", "k", 6, nullptr, kFallback},
    {"blanks inside brackets, wanted with blanks", "[ A ]\r\nk=5\r\n", " A ", "k", 6, nullptr, kFallback},
    {"blanks around key and value", "[A]\r\n \t k \t= 5\r\n", "A", "k", 6, " 5", 5},
    {"tab before the value", "[A]\r\nk=\t7\r\n", "A", "k", 4, "\t7", 7},
    {"key in other case", "[A]\r\nK=5\r\n", "A", "k", 6, nullptr, kFallback},
    {"section in other case", "[a]\r\nk=5\r\n", "A", "k", 6, nullptr, kFallback},
    {"empty value", "[A]\r\nk=\r\n", "A", "k", 6, nullptr, kFallback},
    {"empty first of two", "[A]\r\nk=\r\nk=6\r\n", "A", "k", 6, nullptr, kFallback},
    {"duplicate key: first wins", "[A]\r\nk=1\r\nk=2\r\n", "A", "k", 6, "1", 1},
    {"duplicate section: first wins", "[A]\r\nk=1\r\n[A]\r\nk=2\r\n", "A", "k", 6, "1", 1},
    {"key of the next section", "[A]\r\nx=1\r\n[B]\r\nk=5\r\n", "A", "k", 6, nullptr, kFallback},
    {"\"[\" line ends the scan", "[A]\r\n[broken\r\nk=5\r\n", "A", "k", 6, nullptr, kFallback},
    {"indented \"[\" ends the scan", "[A]\r\n  [x=1\r\nk=5\r\n", "A", "k", 6, nullptr, kFallback},
    {"line without \"=\" passed over", "[A]\r\nnoise\r\n\r\nk=5\r\n", "A", "k", 6, "5", 5},
    {"\";\" is no comment", "[A]\r\n;k=5\r\nk=6\r\n", "A", "k", 6, "6", 6},
    {"value keeps later \"=\"", "[A]\r\nk=12=3\r\n", "A", "k", 6, "12=3", 12},
    {"unterminated last line", "[A]\r\nk=5", "A", "k", 6, nullptr, kFallback},
    {"unterminated header", "[A]", "A", "k", 6, nullptr, kFallback},
    {"LF only", "[A]\nk=5\n", "A", "k", 6, "5", 5},
    {"LF CR", "[A]\n\rk=5\n\r", "A", "k", 6, "5", 5},
    {"CR only", "[A]\rk=5\r", "A", "k", 6, "5", 5},
    {"empty file", "", "A", "k", 6, nullptr, kFallback},
    {"12abc", "[A]\r\nk=12abc\r\n", "A", "k", 6, "12abc", 12},
    {"letters only", "[A]\r\nk=abc\r\n", "A", "k", 6, "abc", 0},
    {"-5 signed", "[A]\r\nk=-5\r\n", "A", "k", 6, "-5", -5},
    {"-1 for an unsigned flag", "[A]\r\nk=-1\r\n", "A", "k", 4, "-1", 4294967295LL},
    {"250 for a threshold", "[A]\r\nk=250\r\n", "A", "k", 6, "250", 250},
    {"8-bit keeps low bits", "[A]\r\nk=257\r\n", "A", "k", 0, "257", 1},
    {"16-bit signed keeps low bits", "[A]\r\nk=65535\r\n", "A", "k", 1, "65535", -1},
    {"16-bit unsigned keeps low bits", "[A]\r\nk=70000\r\n", "A", "k", 2, "70000", 4464},
    {"64-bit signed", "[A]\r\nk=-9223372036854775808\r\n", "A", "k", 10, "-9223372036854775808",
     std::numeric_limits<int64_t>::min()},
    {"64-bit unsigned, signed parse", "[A]\r\nk=-1\r\n", "A", "k", 11, "-1", -1},
};

// Reads the row's value and widens it (unsigned types zero-extended).
int64_t ReadThroughTable(IniDocument& doc, const ReadCase& c) {
    union {
        uint8_t u8;
        int16_t s16;
        uint16_t u16;
        uint32_t u32;
        int32_t s32;
        int64_t s64;
        uint64_t u64;
    } storage;
    storage.u64 = 0xAAAAAAAAAAAAAAAAull;
    SettingDescriptor row{c.type, c.key, &storage, static_cast<uint32_t>(kFallback), 0};
    doc.ReadTable(c.section, &row, 1);
    switch (c.type) {
        case 0: return storage.u8;
        case 1: return storage.s16;
        case 2: return storage.u16;
        case 4: return storage.u32;
        case 6: return storage.s32;
        case 10: return storage.s64;
        case 11: return static_cast<int64_t>(storage.u64);
        default: return 0;
    }
}

TEST(IniReader, EdgeCases) {
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.label);
        IniDocument doc = Document(c.text);
        std::string value;
        const bool found = doc.FindValue(c.section, c.key, value);
        EXPECT_EQ(found, c.valueText != nullptr);
        if (found) {
            EXPECT_EQ(value, c.valueText);
        }
        EXPECT_EQ(ReadThroughTable(doc, c), c.value);
    }
}

TEST(IniReader, LineBreaks) {
    // Each of CR LF, LF CR, CR CR and LF LF is one break; a third byte starts
    // an empty line; the unterminated tail is dropped.
    IniDocument doc = Document("a\r\nb\n\rc\r\rd\n\ne\r\n\nf\n\r\rg");
    std::vector<std::string> lines;
    std::string line;
    while (doc.ReadLine(line)) lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d", "e", "", "f", ""}));
    EXPECT_EQ(doc.cursor, doc.Size());
    EXPECT_FALSE(doc.ReadLine(line));
    EXPECT_TRUE(line.empty());
}

TEST(IniReader, SectionSearchIsCircularFromTheHint) {
    IniDocument doc = Document("[A]\r\nk=1\r\n[B]\r\nk=2\r\n[A]\r\nk=3\r\n");
    ASSERT_TRUE(doc.FindSection("B"));
    EXPECT_EQ(doc.sectionHint, 10u);
    std::string line;
    ASSERT_TRUE(doc.ReadLine(line));
    EXPECT_EQ(line, "k=2");
    // From B the second [A] comes first; from the start the first one.
    std::string value;
    ASSERT_TRUE(doc.FindValue("A", "k", value));
    EXPECT_EQ(value, "3");
    EXPECT_FALSE(doc.FindSection("C"));  // one full pass, then false
    EXPECT_EQ(doc.sectionHint, 20u);
    ASSERT_TRUE(doc.FindSection("B"));  // found by wrapping to the start
    EXPECT_EQ(doc.sectionHint, 10u);

    // No header in the text, or a text of blank lines only, ends the pass too.
    IniDocument blanks = Document("\n\n\n\r\r\n");
    EXPECT_FALSE(blanks.FindSection("A"));
    IniDocument unterminated = Document("x");
    EXPECT_FALSE(unterminated.FindSection("A"));
}

TEST(IniReader, NextSectionWalksForwardAfterTheHint) {
    // The first line is the "current header" when nothing was found yet, so a
    // header there is skipped.
    IniDocument doc = Document("[first]\r\nk=1\r\n  [ two ]  \r\n[]\r\n[x\r\ny]\r\n[3]\r\n[tail]");
    std::vector<std::string> names;
    std::string name;
    while (doc.NextSection(name)) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{" two ", "", "3"}));
    EXPECT_FALSE(doc.NextSection(name));  // no wrap
}

struct WriteCase {
    uint32_t type;
    uint64_t bits;  // the value's bytes, low first
    const char* line;
};

const WriteCase kWriteCases[] = {
    {0, 255, "k=255\r\n"},
    {1, 0xFFFF, "k=-1\r\n"},
    {2, 65535, "k=65535\r\n"},
    {4, 0xFFFFFFFF, "k=4294967295\r\n"},
    {4, 7, "k=7\r\n"},
    {6, 0xFFFFFFFB, "k=-5\r\n"},
    {6, 0x80000000, "k=-2147483648\r\n"},
    {10, 0x8000000000000000ull, "k=-9223372036854775808\r\n"},
    {10, 27, "k=27\r\n"},
    {11, 0xFFFFFFFFFFFFFFFFull, "k=18446744073709551615\r\n"},
    {13, 5, ""},  // an unknown type is skipped
};

TEST(IniWriter, FormatsPerTypeAndReadsBack) {
    for (const WriteCase& c : kWriteCases) {
        SCOPED_TRACE(c.line);
        uint64_t value = c.bits;
        SettingDescriptor row{c.type, " k ", &value, 0, 0};
        IniWriter writer;
        writer.Begin();
        writer.WriteSection(" A ");
        writer.WriteTable(&row, 1);
        const std::string text(writer.Data(), writer.Length());
        EXPECT_EQ(text, std::string("[A]\r\n") + c.line);
        if (c.type > 12) continue;
        // What the writer wrote, the reader reads back bit for bit.
        IniDocument doc = Document(text);
        uint64_t back = ~c.bits;
        SettingDescriptor readRow{c.type, "k", &back, 0, 0};
        doc.ReadTable("A", &readRow, 1);
        const int width = c.type == 0 ? 8 : c.type <= 3 ? 16 : c.type <= 9 ? 32 : 64;
        const uint64_t mask = width == 64 ? ~0ull : (1ull << width) - 1;
        EXPECT_EQ(back & mask, c.bits & mask);
    }
}

TEST(IniWriter, TextValuesAndChannelHeaders) {
    std::string text = " a = b ";
    std::string back;
    SettingDescriptor rows[2] = {{12, "name", &text, 0, 0}, {12, "missing", &back, 0, 0, "fallback"}};
    IniWriter writer;
    writer.Begin();
    writer.WriteSection(INT64_C(-27));
    writer.WriteSection(INT64_C(4294967298));
    writer.WriteTable(rows, 1);
    EXPECT_EQ(std::string(writer.Data(), writer.Length()), "[-27]\r\n[4294967298]\r\nname= a = b \r\n");

    IniDocument doc = Document(std::string(writer.Data(), writer.Length()));
    rows[0].value = &back;
    doc.ReadTable("4294967298", rows, 1);
    EXPECT_EQ(back, " a = b ");
    doc.ReadTable("4294967298", rows + 1, 1);
    EXPECT_EQ(back, "fallback");
}

TEST(IniWriter, OutputGrowsInSteps) {
    IniWriter writer;
    writer.Begin();
    EXPECT_EQ(writer.Capacity(), IniWriter::kGrowth);
    const std::string block(60000, 'x');
    writer.Append(block);
    writer.Append(block);
    EXPECT_EQ(writer.Capacity(), 2 * IniWriter::kGrowth);
    const std::string big(250000, 'y');
    writer.Append(big);
    EXPECT_EQ(writer.Capacity(), 4 * IniWriter::kGrowth);
    ASSERT_EQ(writer.Length(), 370000u);
    EXPECT_EQ(std::string(writer.Data(), 120000), block + block);
    EXPECT_EQ(std::string(writer.Data() + 120000, 250000), big);
    writer.Begin();
    EXPECT_EQ(writer.Length(), 0u);
    EXPECT_EQ(writer.Capacity(), IniWriter::kGrowth);
}

TEST(IniWriter, CommitWritesNothingWithoutOutputOrWhenUnchanged) {
    const std::string text = "[A]\r\nk=1\r\n";
    IniDocument doc = Document(text);
    IniWriter writer;
    // An empty path is never written; neither is an output never begun or empty.
    EXPECT_EQ(writer.Commit("", doc), IniWriter::CommitResult::NoOutput);
    writer.Begin();
    EXPECT_EQ(writer.Commit("", doc), IniWriter::CommitResult::NoOutput);
    writer.Append(text);
    EXPECT_EQ(writer.Commit("", doc), IniWriter::CommitResult::Unchanged);
    writer.Append("x", 1);
    EXPECT_EQ(writer.Commit("", doc), IniWriter::CommitResult::Failed);
}

}  // namespace
