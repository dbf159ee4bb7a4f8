// The decimal parse, the table's rows and defaults, and the record's key words.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "settings/settings.h"

namespace {

using settings::ParseDecimal32;
using settings::ParseDecimal64;

struct ParseCase {
    const char* text;
    int32_t as32;
    int64_t as64;
};

const ParseCase kParseCases[] = {
    {"", 0, 0},
    {"abc", 0, 0},
    {"12abc", 12, 12},
    {"  \t\n\v\f\r42", 42, 42},
    {"+7", 7, 7},
    {"-5", -5, -5},
    {"- 5", 0, 0},  // the sign must touch the digits
    {"--5", 0, 0},
    {"5 6", 5, 5},
    {"007", 7, 7},
    {"2147483647", 2147483647, 2147483647},
    {"-2147483648", std::numeric_limits<int32_t>::min(), -2147483648LL},
    // Past 32 bits the 32-bit parse wraps modulo 2^32 instead of overflowing.
    {"4294967295", -1, 4294967295LL},
    {"4294967296", 0, 4294967296LL},
    {"4294967301", 5, 4294967301LL},
    {"-9223372036854775808", 0, std::numeric_limits<int64_t>::min()},
    {"9223372036854775807", -1, std::numeric_limits<int64_t>::max()},
    // Past 64 bits both wrap modulo 2^64.
    {"18446744073709551615", -1, -1},
    {"18446744073709551616", 0, 0},
    {"99999999999999999999999999999", static_cast<int32_t>(0x9FFFFFFFu),
     static_cast<int64_t>(UINT64_C(0x6D7217CA9FFFFFFF))},
};

TEST(SettingsParse, AtoiRuleWithWrappingOverflow) {
    for (const ParseCase& c : kParseCases) {
        EXPECT_EQ(ParseDecimal32(c.text), c.as32) << '"' << c.text << '"';
        EXPECT_EQ(ParseDecimal64(c.text), c.as64) << '"' << c.text << '"';
    }
    EXPECT_EQ(ParseDecimal32(nullptr), 0);
}

TEST(SettingsTable, RowsBindTheRecordInFileOrderWithTheirDefaults) {
    struct Row {
        const char* key;
        uint32_t type;
        uint32_t defaultValue;
        size_t offset;
    };
    const Row expected[settings::kSettingsCount] = {
        {"ProcEnable", 4, 1, offsetof(settings::SettingsRecord, ProcEnable)},
        {"Y_MEEnable", 4, 1, offsetof(settings::SettingsRecord, Y_MEEnable)},
        {"U_MEEnable", 4, 0, offsetof(settings::SettingsRecord, U_MEEnable)},
        {"V_MEEnable", 4, 0, offsetof(settings::SettingsRecord, V_MEEnable)},
        {"Y_Threshold", 6, 10, offsetof(settings::SettingsRecord, Y_Threshold)},
        {"U_Threshold", 6, 10, offsetof(settings::SettingsRecord, U_Threshold)},
        {"V_Threshold", 6, 10, offsetof(settings::SettingsRecord, V_Threshold)},
        {"Y_AutoThreshold", 4, 1, offsetof(settings::SettingsRecord, Y_AutoThreshold)},
        {"U_AutoThreshold", 4, 1, offsetof(settings::SettingsRecord, U_AutoThreshold)},
        {"V_AutoThreshold", 4, 1, offsetof(settings::SettingsRecord, V_AutoThreshold)},
    };
    settings::SettingsRecord record{};
    settings::SettingDescriptor table[settings::kSettingsCount];
    settings::BuildSettingsTable(record, table);
    const settings::SettingsRecord defaults = settings::DefaultRecord();
    const char* base = reinterpret_cast<const char*>(&record);
    for (int i = 0; i < settings::kSettingsCount; ++i) {
        SCOPED_TRACE(expected[i].key);
        EXPECT_STREQ(table[i].key, expected[i].key);
        EXPECT_EQ(table[i].type, expected[i].type);
        EXPECT_EQ(table[i].defaultLow, expected[i].defaultValue);
        EXPECT_EQ(static_cast<const char*>(table[i].value) - base, static_cast<ptrdiff_t>(expected[i].offset));
        uint32_t fromDefaults = 0;
        std::memcpy(&fromDefaults, reinterpret_cast<const char*>(&defaults) + expected[i].offset, 4);
        EXPECT_EQ(fromDefaults, expected[i].defaultValue);
    }
    EXPECT_EQ(defaults.ChannelKey(), 0);
}

TEST(SettingsRecord, KeyWordsAndWholeCopy) {
    settings::SettingsRecord a{};
    a.SetChannelKey(-7);
    EXPECT_EQ(a.keyLow, 0xFFFFFFF9u);
    EXPECT_EQ(a.keyHigh, -1);
    a.SetChannelKey(INT64_C(0x123456789));
    EXPECT_EQ(a.keyLow, 0x23456789u);
    EXPECT_EQ(a.keyHigh, 1);
    EXPECT_EQ(a.ChannelKey(), INT64_C(0x123456789));

    a = settings::DefaultRecord();
    a.SetChannelKey(std::numeric_limits<int64_t>::min());
    a.Y_Threshold = -5;
    a.V_AutoThreshold = 0xFFFFFFFFu;
    settings::SettingsRecord b{};
    settings::CopyRecord(b, a);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

}  // namespace
