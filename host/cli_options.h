#pragma once
// The command line of orv-denoise: what the user asked for, checked, before
// any file is touched.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/video_io.h"
#include "settings/settings.h"

namespace host {

// Planes named on the command line: "yuv", "y", "uv", "all", "none", ...
struct PlaneSet {
    bool y = false;
    bool u = false;
    bool v = false;
    bool operator==(const PlaneSet& o) const { return y == o.y && u == o.u && v == o.v; }
};

struct Options {
    std::string input;
    std::string output;
    StreamKind kind = StreamKind::Y4m;
    int width = 0;   // raw input only
    int height = 0;  // raw input only

    // Settings; unset ones keep the settings table's defaults.
    std::optional<PlaneSet> motionCompensation;
    std::optional<std::array<int32_t, 3>> thresholds;
    std::optional<PlaneSet> autoThreshold;
    bool off = false;
    bool demo = false;

    std::string statsPath;      // empty: no statistics
    int64_t maxFrames = -1;     // -1: all
    bool quiet = false;
    bool bench = false;
    bool help = false;
    bool version = false;
};

// Parses argv[1..argc-1]. On failure returns false with one line in `error`.
// With --help or --version the positional arguments are not required.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error);

bool ParsePlanes(const std::string& text, PlaneSet& planes);
bool ParseThresholds(const std::string& text, std::array<int32_t, 3>& thresholds);
bool ParseSize(const std::string& text, int& width, int& height);

// Writes the chosen settings over `record` (which holds the defaults).
void ApplyToRecord(const Options& options, settings::SettingsRecord& record);

std::string HelpText();
std::string VersionText();

}  // namespace host
