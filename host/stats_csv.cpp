#include "host/stats_csv.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace host {

const char kStatsHeader[] = "frame,plane,snr_db,frame_snr_db,threshold,noise_level,scene_change\n";

std::string FormatStatsRow(int64_t frame, char plane, const PlaneStats& s) {
    char line[160];
    if (s.measured) {
        std::snprintf(line, sizeof line, "%" PRId64 ",%c,%.2f,%.2f,%d,%d,%d\n", frame, plane, s.meanSnr, s.frameSnr,
                      s.threshold, s.noiseLevel, s.sceneChange != 0 ? 1 : 0);
    } else {
        std::snprintf(line, sizeof line, "%" PRId64 ",%c,,,%d,,\n", frame, plane, s.threshold);
    }
    return line;
}

StatsWriter::~StatsWriter() {
    if (ownsFile_ && file_ != nullptr) std::fclose(file_);
}

bool StatsWriter::Open(const std::string& path, std::string& error) {
    if (path == "-") {
        file_ = stdout;
        name_ = "standard output";
    } else {
        file_ = std::fopen(path.c_str(), "w");
        if (file_ == nullptr) {
            error = "cannot create statistics file '" + path + "': " + std::strerror(errno);
            return false;
        }
        ownsFile_ = true;
        name_ = path;
    }
    if (std::fputs(kStatsHeader, file_) < 0) {
        error = name_ + ": write error: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool StatsWriter::WriteFrame(int64_t frame, const PlaneStats (&planes)[3], std::string& error) {
    static const char kNames[3] = {'Y', 'U', 'V'};
    for (int p = 0; p < 3; ++p) {
        if (std::fputs(FormatStatsRow(frame, kNames[p], planes[p]).c_str(), file_) < 0) {
            error = name_ + ": write error: " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool StatsWriter::Close(std::string& error) {
    if (file_ == nullptr) return true;
    bool ok = std::fflush(file_) == 0;
    if (ownsFile_ && std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    if (!ok) error = name_ + ": write error: " + std::strerror(errno);
    return ok;
}

}  // namespace host
