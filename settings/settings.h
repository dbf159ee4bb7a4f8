#pragma once
// The plug-in's settings: the record of ten values per TV channel, the table
// that binds them to INI keys, and the store that loads, follows the channel
// and saves them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace settings {

// Ten settings behind the channel's key; twelve 32-bit words, copied whole.
struct SettingsRecord {
    uint32_t keyLow;    // ChannelKey, low word; 0 in the common record
    int32_t keyHigh;    // ChannelKey, high word
    uint32_t ProcEnable;
    uint32_t Y_MEEnable;
    uint32_t U_MEEnable;
    uint32_t V_MEEnable;
    int32_t Y_Threshold;
    int32_t U_Threshold;
    int32_t V_Threshold;
    uint32_t Y_AutoThreshold;
    uint32_t U_AutoThreshold;
    uint32_t V_AutoThreshold;

    int64_t ChannelKey() const;
    void SetChannelKey(int64_t key);
};
static_assert(sizeof(SettingsRecord) == 48, "twelve 32-bit words");

// The dialog stores the automatic-threshold switches into `live` without the
// lock, so every copy to or from `live` goes word by word with relaxed atomic
// loads and stores.
void CopyRecord(SettingsRecord& to, const SettingsRecord& from);
uint32_t LoadRelaxed(const uint32_t& word);
void StoreRelaxed(uint32_t& word, uint32_t value);

enum class ValueType : uint32_t {
    U8 = 0,
    S16 = 1,
    U16a = 2,
    U16b = 3,
    U32a = 4,
    U32b = 5,
    S32a = 6,
    U32c = 7,
    S32b = 8,
    U32d = 9,
    S64 = 10,
    U64 = 11,
    Text = 12,
};

struct SettingDescriptor {
    uint32_t type;         // ValueType code; rows above 12 are skipped
    const char* key;       // INI key
    void* value;           // the value, of the width the type gives (std::string for type 12)
    uint32_t defaultLow;   // default (low word), or const char* text for type 12 via defaultText
    uint32_t defaultHigh;  // high word of a 64-bit default
    const char* defaultText = nullptr;
};

// atoi/atol rule: leading white space, optional sign, digits up to the first
// other character; no digit gives 0. Overflow wraps modulo 2^32 / 2^64
// instead of being undefined.
int32_t ParseDecimal32(const char* text);
int64_t ParseDecimal64(const char* text);

// The ten rows, bound to the members of `record`, in file order.
constexpr int kSettingsCount = 10;
void BuildSettingsTable(SettingsRecord& record, SettingDescriptor (&table)[kSettingsCount]);

// A record holding only the table defaults (key 0).
SettingsRecord DefaultRecord();

// The facts that choose the settings file's location, read from the system.
struct LocationFacts {
    bool versionOk = false;
    int32_t platformId = 0;
    uint32_t storeInUsersFolder = 0;
    std::string applicationDataFolder;
    std::string hostExecutablePath;
    std::string commandLine;
    std::string moduleFilePath;
    char separator = '\\';
};
LocationFacts ReadLocationFacts();

struct Location {
    std::string instanceName;
    std::string folder;
    std::string moduleName;
    std::string fileName;
    std::string path;
};

// Pure: the location from the facts. Returns false when the version query
// failed (the previous location then stays in force).
bool LocateFile(const LocationFacts& facts, Location& location);

using ChannelExistsFn = int32_t (*)(uint32_t keyLow, int32_t keyHigh);

class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Reads the settings file located from the system's facts.
    void Load(int32_t hostValue, ChannelExistsFn channelExists);
    // The same with given facts (tests, and hosts that choose the file).
    void Load(const LocationFacts& facts, int32_t hostValue, ChannelExistsFn channelExists);
    // Defaults only, no file: what a missing settings file gives. No path is
    // kept, so a later Save writes nothing.
    void LoadDefaults();
    // Reads the given INI text as the settings file's; no path is kept.
    void LoadText(const char* data, size_t size);
    // Writes the file when its text changed.
    void Save();
    // The text Save writes; empty when nothing was loaded.
    std::string SavedText();

    // Returns 1 when the record in force may have changed, 0 for the channel
    // selected last.
    int32_t SelectChannel(uint32_t keyLow, int32_t keyHigh);
    void StoreLive();
    void FetchLive();
    void Snapshot();
    void Restore();
    void SetCommon(int32_t flag);
    void GetDialogPosition(int32_t& x, int32_t& y) const;
    void SetDialogPosition(int32_t x, int32_t y);

    SettingsRecord live{};
    int32_t DlgWndPosX = 0;
    int32_t DlgWndPosY = 0;
    int32_t Common = 0;
    int32_t hostValue = 0;
    SettingsRecord defaults{};
    std::vector<SettingsRecord> records;
    std::vector<SettingsRecord> backup;
    int32_t currentIndex = -1;
    ChannelExistsFn channelExists = nullptr;
    Location location;

private:
    void LoadFromDocument();
    // Builds the file's text in the writer; false when nothing was loaded.
    bool Compose();

    struct Files;
    Files* files_;  // IniDocument and IniWriter
};

}  // namespace settings
