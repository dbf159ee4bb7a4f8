#include "platform/platform.h"
#include "settings/ini.h"
#include "settings/settings.h"

namespace settings {

namespace {

const char kDialog[] = "DIALOG";
const char kSettings[] = "SETTINGS";
const char kCommon[] = "COMMON";
const char kDefault[] = "DEFAULT";

constexpr int32_t kNoPosition = -100;
// Room for this many channel records before the lists reallocate.
constexpr size_t kReservedRecords = 256;

bool AlwaysKept(int64_t key) { return key >= 1 && key <= 4; }

}  // namespace

struct SettingsStore::Files {
    IniDocument document;
    IniWriter writer;
    // Every INI read and write goes through this record; `live` itself is
    // only ever filled or read with CopyRecord.
    SettingsRecord work{};
    SettingDescriptor table[kSettingsCount];

    Files() { BuildSettingsTable(work, table); }
};

SettingsStore::SettingsStore() : files_(new Files) {}

SettingsStore::~SettingsStore() { delete files_; }

void SettingsStore::Load(int32_t hostValueArg, ChannelExistsFn channelExistsArg) {
    Load(ReadLocationFacts(), hostValueArg, channelExistsArg);
}

void SettingsStore::Load(const LocationFacts& facts, int32_t hostValueArg, ChannelExistsFn channelExistsArg) {
    channelExists = channelExistsArg;
    hostValue = hostValueArg;
    Location found;
    if (LocateFile(facts, found)) {
        location = found;
        platform::MakeDirectory(location.folder);  // this level only; the result does not matter
    }
    files_->document.ReadFile(location.path);
    LoadFromDocument();
}

void SettingsStore::LoadDefaults() { LoadText(nullptr, 0); }

void SettingsStore::LoadText(const char* data, size_t size) {
    location = Location();
    files_->document.SetText(data, size);
    LoadFromDocument();
}

void SettingsStore::LoadFromDocument() {
    IniDocument& doc = files_->document;
    SettingsRecord& work = files_->work;
    const SettingDescriptor* table = files_->table;

    // A second Load without unloading starts over instead of appending.
    records.clear();
    backup.clear();
    records.reserve(kReservedRecords);
    backup.reserve(kReservedRecords);
    currentIndex = -1;

    doc.GetValue(kDialog, "DlgWndPosX", DlgWndPosX, kNoPosition);
    doc.GetValue(kDialog, "DlgWndPosY", DlgWndPosY, kNoPosition);

    work = SettingsRecord{};
    doc.ReadTable(kDefault, table, kSettingsCount);
    defaults = work;

    doc.GetValue(kSettings, "Common", Common, 1);

    doc.ReadTable(kCommon, table, kSettingsCount);
    work.SetChannelKey(0);
    records.push_back(work);

    // The channel sections after the last of the sections read above.
    std::string name;
    while (doc.NextSection(name)) {
        const int64_t key = ParseDecimal64(name.c_str());
        if (key == 0) continue;
        const uint32_t header = doc.sectionHint;
        work.SetChannelKey(key);
        doc.ReadTable(name, table, kSettingsCount);
        // When the name does not match its own header byte for byte (blanks
        // inside the brackets), the lookup may settle on another header;
        // going on from there could revisit this section forever.
        doc.sectionHint = header;
        records.push_back(work);
    }

    CopyRecord(live, work);  // the values read last, while no record is in force
    FetchLive();
    backup = records;
}

void SettingsStore::Save() {
    if (Compose()) files_->writer.Commit(location.path, files_->document);
}

std::string SettingsStore::SavedText() {
    if (!Compose()) return std::string();
    const IniWriter& out = files_->writer;
    return out.Data() == nullptr ? std::string() : std::string(out.Data(), out.Length());
}

bool SettingsStore::Compose() {
    IniWriter& out = files_->writer;
    SettingsRecord& work = files_->work;
    const SettingDescriptor* table = files_->table;
    if (records.empty()) return false;  // never loaded

    out.Begin();
    StoreLive();
    out.WriteSection(kDialog);
    out.WriteValue("DlgWndPosX", DlgWndPosX);
    out.WriteValue("DlgWndPosY", DlgWndPosY);
    out.WriteSection(kSettings);
    out.WriteValue("Common", Common);
    out.WriteSection(kCommon);
    work = records[0];
    out.WriteTable(table, kSettingsCount);
    for (size_t i = 1; i < records.size(); ++i) {
        const SettingsRecord& r = records[i];
        // Without a callback the host's channels are unknown: keep them all.
        const bool known = channelExists == nullptr || channelExists(r.keyLow, r.keyHigh) != 0;
        if (!known && !AlwaysKept(r.ChannelKey())) continue;
        out.WriteSection(r.ChannelKey());
        work = r;
        out.WriteTable(table, kSettingsCount);
    }
    return true;
}

int32_t SettingsStore::SelectChannel(uint32_t keyLow, int32_t keyHigh) {
    if (currentIndex >= 0) {
        const SettingsRecord& current = records[static_cast<size_t>(currentIndex)];
        if (current.keyLow == keyLow && current.keyHigh == keyHigh) return 0;
    }
    StoreLive();
    currentIndex = -1;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].keyLow == keyLow && records[i].keyHigh == keyHigh) {
            currentIndex = static_cast<int32_t>(i);
            break;
        }
    }
    if (currentIndex < 0) {
        SettingsRecord fresh = defaults;
        fresh.keyLow = keyLow;
        fresh.keyHigh = keyHigh;
        records.push_back(fresh);
        backup.push_back(fresh);
        currentIndex = static_cast<int32_t>(records.size() - 1);
    }
    FetchLive();
    return 1;
}

void SettingsStore::StoreLive() {
    if (Common != 0) {
        if (!records.empty()) CopyRecord(records[0], live);
    } else if (currentIndex >= 0) {
        CopyRecord(records[static_cast<size_t>(currentIndex)], live);
    }
}

void SettingsStore::FetchLive() {
    if (Common != 0) {
        if (!records.empty()) CopyRecord(live, records[0]);
    } else if (currentIndex >= 0) {
        CopyRecord(live, records[static_cast<size_t>(currentIndex)]);
    }
}

void SettingsStore::Snapshot() {
    StoreLive();
    backup = records;
}

void SettingsStore::Restore() {
    // Both lists always have the same length (every record appended to one is
    // appended to the other), so `currentIndex` stays valid.
    if (backup.size() == records.size()) records = backup;
    FetchLive();
}

void SettingsStore::SetCommon(int32_t flag) {
    StoreLive();
    Common = flag;
    FetchLive();
}

void SettingsStore::GetDialogPosition(int32_t& x, int32_t& y) const {
    x = DlgWndPosX;
    y = DlgWndPosY;
}

void SettingsStore::SetDialogPosition(int32_t x, int32_t y) {
    DlgWndPosX = x;
    DlgWndPosY = y;
}

}  // namespace settings
