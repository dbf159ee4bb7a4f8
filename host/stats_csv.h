#pragma once
// Per-frame statistics of the three planes as CSV, one row per frame and plane.
#include <cstdint>
#include <cstdio>
#include <string>

namespace host {

struct PlaneStats {
    bool measured = false;    // the analysis ran (processing and motion compensation on)
    double meanSnr = 0.0;     // dB, the smoothed value the settings dialog shows
    double frameSnr = 0.0;    // dB, this frame alone
    int32_t threshold = 0;    // in force for this frame's filter
    int32_t noiseLevel = 0;
    int32_t sceneChange = 0;
};

// Column names, the first line of the file.
extern const char kStatsHeader[];

// One CSV line (with its newline) for a frame's plane; the measured columns
// stay empty for a plane that was not analysed.
std::string FormatStatsRow(int64_t frame, char plane, const PlaneStats& stats);

class StatsWriter {
public:
    StatsWriter() = default;
    ~StatsWriter();
    StatsWriter(const StatsWriter&) = delete;
    StatsWriter& operator=(const StatsWriter&) = delete;

    bool Open(const std::string& path, std::string& error);
    bool WriteFrame(int64_t frame, const PlaneStats (&planes)[3], std::string& error);
    bool Close(std::string& error);

private:
    FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::string name_;
};

}  // namespace host
