// libFuzzer target: arbitrary bytes as the settings file's text, loaded,
// used for a few channel switches and saved; the saved text must load and
// save again to the very same bytes, and every value type of the reader must
// cope. Everything runs in memory: the file layer has tests of its own.
#include <cstdint>
#include <string>

#include "settings/ini.h"
#include "settings/settings.h"

namespace {

int32_t OddChannelsExist(uint32_t keyLow, int32_t) { return static_cast<int32_t>(keyLow & 1u); }

// Every value type, and one beyond the last, over whatever sections exist.
void ReadEveryType(const uint8_t* data, size_t size) {
    settings::IniDocument doc;
    doc.SetText(reinterpret_cast<const char*>(data), size);
    uint8_t u8;
    int16_t s16;
    uint16_t u16;
    uint32_t u32;
    int32_t s32;
    int64_t s64;
    uint64_t u64;
    std::string text;
    const settings::SettingDescriptor table[] = {
        {0, "a", &u8, 1, 0},   {1, "b", &s16, 2, 0},  {2, "c", &u16, 3, 0},         {4, "d", &u32, 4, 0},
        {6, "e", &s32, 5, 0},  {10, "f", &s64, 6, 7}, {11, "g", &u64, 8, 9},        {12, "h", &text, 0, 0, "x"},
        {13, "i", nullptr, 0, 0},
    };
    const int count = static_cast<int>(sizeof table / sizeof table[0]);
    std::string name;
    int sections = 0;
    doc.ReadTable("", table, count);
    while (doc.NextSection(name) && ++sections < 64) {
        const uint32_t hint = doc.sectionHint;
        doc.ReadTable(name, table, count);
        doc.sectionHint = hint;
    }
    settings::IniWriter writer;
    writer.Begin();
    writer.WriteSection(name);
    writer.WriteTable(table, count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string first;
    {
        settings::SettingsStore store;
        store.channelExists = OddChannelsExist;
        store.LoadText(reinterpret_cast<const char*>(data), size);
        store.SelectChannel(27, 0);
        store.live.Y_Threshold += 1;
        store.SelectChannel(0xFFFFFFFFu, -1);
        store.SetCommon(store.Common == 0 ? 1 : 0);
        store.Snapshot();
        store.SelectChannel(3, 0);
        store.Restore();
        first = store.SavedText();
    }
    {
        // What the program wrote reads back to itself.
        settings::SettingsStore store;
        store.channelExists = OddChannelsExist;
        store.LoadText(first.data(), first.size());
        if (store.SavedText() != first) __builtin_trap();
    }
    ReadEveryType(data, size);
    return 0;
}
