#include "platform/platform.h"
#include "settings/settings.h"

namespace settings {

namespace {

constexpr int32_t kPlatformNt = 2;

// Windows paths may also use '/', and its file-name splitting accepts both.
bool IsSeparator(char c, char separator) { return c == separator || (separator == '\\' && c == '/'); }

size_t LastSeparator(const std::string& path, char separator) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1], separator)) return i - 1;
    }
    return std::string::npos;
}

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The character after the first occurrence of `swtch`; nothing when the
// switch is missing; empty when it ends the line.
bool InstanceAfter(const std::string& line, const char* swtch, std::string& instance) {
    const size_t at = line.find(swtch);
    if (at == std::string::npos) return false;
    const size_t next = at + std::char_traits<char>::length(swtch);
    instance = next < line.size() ? line.substr(next, 1) : std::string();
    return true;
}

}  // namespace

bool LocateFile(const LocationFacts& facts, Location& location) {
    if (!facts.versionOk) return false;
    const char sep = facts.separator;
    std::string base;
    if (facts.platformId == kPlatformNt && facts.storeInUsersFolder != 0) {
        base = facts.applicationDataFolder + sep + "Vantorix" + sep;
    } else {
        const size_t cut = LastSeparator(facts.hostExecutablePath, sep);
        if (cut != std::string::npos) base = facts.hostExecutablePath.substr(0, cut + 1);
    }

    const std::string line = LowerAscii(facts.commandLine);
    std::string instance;
    InstanceAfter(line, "-inst:", instance);
    InstanceAfter(line, "/inst:", instance);  // the later lookup wins

    std::string folder = base;
    if (!instance.empty()) folder += "Instances" + std::string(1, sep) + instance + sep;
    folder += "Plugins";
    folder += sep;

    const size_t cut = LastSeparator(facts.moduleFilePath, sep);
    std::string module = cut == std::string::npos ? facts.moduleFilePath : facts.moduleFilePath.substr(cut + 1);
    const size_t dot = module.rfind('.');
    if (dot != std::string::npos) module.resize(dot);

    location.instanceName = instance;
    location.folder = folder;
    location.moduleName = module;
    location.fileName = module + ".ini";
    location.path = folder + location.fileName;
    return true;
}

LocationFacts ReadLocationFacts() {
    LocationFacts facts;
    const platform::OsVersion version = platform::QueryOsVersion();
    facts.versionOk = version.ok;
    facts.platformId = version.platformId;
    facts.separator = platform::PathSeparator();
    facts.storeInUsersFolder = platform::ReadStoreInUsersFolder();
    facts.applicationDataFolder = platform::ApplicationDataFolder();
    facts.hostExecutablePath = platform::HostExecutablePath();
    facts.commandLine = platform::ProcessCommandLine();
    facts.moduleFilePath = platform::ModuleFilePath();
    return facts;
}

}  // namespace settings
