#include "settings/settings.h"

namespace settings {

int64_t SettingsRecord::ChannelKey() const {
    const uint64_t high = static_cast<uint32_t>(keyHigh);
    return static_cast<int64_t>((high << 32) | keyLow);
}

void SettingsRecord::SetChannelKey(int64_t key) {
    const uint64_t bits = static_cast<uint64_t>(key);
    keyLow = static_cast<uint32_t>(bits);
    keyHigh = static_cast<int32_t>(static_cast<uint32_t>(bits >> 32));
}

uint32_t LoadRelaxed(const uint32_t& word) { return __atomic_load_n(&word, __ATOMIC_RELAXED); }

void StoreRelaxed(uint32_t& word, uint32_t value) { __atomic_store_n(&word, value, __ATOMIC_RELAXED); }

void CopyRecord(SettingsRecord& to, const SettingsRecord& from) {
    // Every member is a 32-bit integer; signed members may be accessed
    // through their unsigned counterpart.
    constexpr int kWords = sizeof(SettingsRecord) / sizeof(uint32_t);
    const uint32_t* src = reinterpret_cast<const uint32_t*>(&from);
    uint32_t* dst = reinterpret_cast<uint32_t*>(&to);
    for (int i = 0; i < kWords; ++i) {
        __atomic_store_n(dst + i, __atomic_load_n(src + i, __ATOMIC_RELAXED), __ATOMIC_RELAXED);
    }
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The common part of both parses: the magnitude accumulated modulo 2^64, so
// that a long run of digits wraps instead of overflowing.
uint64_t ParseWrapped(const char* text) {
    if (text == nullptr) return 0;
    while (IsBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    uint64_t value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10u + static_cast<uint64_t>(*text - '0');
        ++text;
    }
    return negative ? 0u - value : value;
}

}  // namespace

int32_t ParseDecimal32(const char* text) {
    return static_cast<int32_t>(static_cast<uint32_t>(ParseWrapped(text)));
}

int64_t ParseDecimal64(const char* text) { return static_cast<int64_t>(ParseWrapped(text)); }

namespace {

struct Row {
    const char* key;
    uint32_t SettingsRecord::*member;
    int32_t SettingsRecord::*signedMember;
    uint32_t defaultValue;
};

constexpr Row kRows[kSettingsCount] = {
    {"ProcEnable", &SettingsRecord::ProcEnable, nullptr, 1},
    {"Y_MEEnable", &SettingsRecord::Y_MEEnable, nullptr, 1},
    {"U_MEEnable", &SettingsRecord::U_MEEnable, nullptr, 0},
    {"V_MEEnable", &SettingsRecord::V_MEEnable, nullptr, 0},
    {"Y_Threshold", nullptr, &SettingsRecord::Y_Threshold, 10},
    {"U_Threshold", nullptr, &SettingsRecord::U_Threshold, 10},
    {"V_Threshold", nullptr, &SettingsRecord::V_Threshold, 10},
    {"Y_AutoThreshold", &SettingsRecord::Y_AutoThreshold, nullptr, 1},
    {"U_AutoThreshold", &SettingsRecord::U_AutoThreshold, nullptr, 1},
    {"V_AutoThreshold", &SettingsRecord::V_AutoThreshold, nullptr, 1},
};

}  // namespace

void BuildSettingsTable(SettingsRecord& record, SettingDescriptor (&table)[kSettingsCount]) {
    for (int i = 0; i < kSettingsCount; ++i) {
        const Row& row = kRows[i];
        SettingDescriptor& d = table[i];
        if (row.member != nullptr) {
            d.type = static_cast<uint32_t>(ValueType::U32a);
            d.value = &(record.*row.member);
        } else {
            d.type = static_cast<uint32_t>(ValueType::S32a);
            d.value = &(record.*row.signedMember);
        }
        d.key = row.key;
        d.defaultLow = row.defaultValue;
        d.defaultHigh = 0;
        d.defaultText = nullptr;
    }
}

SettingsRecord DefaultRecord() {
    SettingsRecord record{};
    for (const Row& row : kRows) {
        if (row.member != nullptr) {
            record.*row.member = row.defaultValue;
        } else {
            record.*row.signedMember = static_cast<int32_t>(row.defaultValue);
        }
    }
    return record;
}

}  // namespace settings
