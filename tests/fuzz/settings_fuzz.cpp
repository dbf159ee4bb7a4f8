// libFuzzer target: arbitrary bytes as the settings file, loaded, used for a
// few channel switches and saved; the saved text must load and save again to
// the very same bytes, and every value type of the reader must cope.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/ini.h"
#include "settings/settings.h"

namespace {

std::string folder;

int32_t OddChannelsExist(uint32_t keyLow, int32_t) { return static_cast<int32_t>(keyLow & 1u); }

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

std::string ReadFile(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
}

settings::LocationFacts Facts() {
    settings::LocationFacts facts;
    facts.versionOk = true;
    facts.platformId = 2;
    facts.separator = '/';
    facts.hostExecutablePath = folder + "host";
    facts.moduleFilePath = folder + "ORV_VEDaviror.so";
    facts.commandLine = "host";
    return facts;
}

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

void RemoveFolder() {
    std::remove((folder + "Plugins/ORV_VEDaviror.ini").c_str());
    rmdir((folder + "Plugins").c_str());
    rmdir(folder.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Each save syncs the file to disk: on tmpfs that costs nothing.
    struct stat st{};
    std::string pattern = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    pattern += "/orv-settings-fuzz-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) std::abort();
    folder = std::string(pattern) + "/";
    mkdir((folder + "Plugins").c_str(), 0777);
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const settings::LocationFacts facts = Facts();
    settings::Location location;
    if (!settings::LocateFile(facts, location)) std::abort();
    WriteFile(location.path, data, size);

    std::string first;
    {
        settings::SettingsStore store;
        store.Load(facts, 0, OddChannelsExist);
        store.SelectChannel(27, 0);
        store.live.Y_Threshold += 1;
        store.SelectChannel(0xFFFFFFFFu, -1);
        store.SetCommon(store.Common == 0 ? 1 : 0);
        store.Snapshot();
        store.SelectChannel(3, 0);
        store.Restore();
        store.Save();
        first = ReadFile(location.path);
    }
    {
        // What the program wrote reads back to itself.
        settings::SettingsStore store;
        store.Load(facts, 0, OddChannelsExist);
        store.Save();
        if (ReadFile(location.path) != first) __builtin_trap();
    }
    ReadEveryType(data, size);
    return 0;
}
