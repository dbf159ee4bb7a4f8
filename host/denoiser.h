#pragma once
// One stream's denoiser for the command line: the per-stream core with the
// settings of a fresh settings file and the options' changes in force.
#include <cstddef>
#include <cstdint>

#include "core/stream_denoiser.h"
#include "host/cli_options.h"
#include "host/stats_csv.h"
#include "host/video_io.h"
#include "settings/settings.h"

namespace host {

class Denoiser {
public:
    Denoiser() = default;
    Denoiser(const Denoiser&) = delete;
    Denoiser& operator=(const Denoiser&) = delete;

    // Puts the table's defaults with the options' changes in force (no
    // settings file is read or written) and starts a stream of `format`:
    // 4:2:0 and monochrome YUV4MPEG2 in their own planar form, everything
    // else in the packed form the reader converts it to.
    void Start(const VideoFormat& format, const Options& options);

    // Filters one frame (VideoFormat::FrameBytes() bytes) in place; false
    // when the denoiser refused it (the frame is then untouched).
    bool Process(uint8_t* frame);

    // What the last frame measured, per plane Y, U, V.
    void ReadStats(PlaneStats (&planes)[3]) const;

    // Seconds spent inside the denoiser's frame entry point so far: elapsed,
    // and processor time of this thread (which other busy processes do not inflate).
    double FilterSeconds() const { return filterSeconds_; }
    double FilterCpuSeconds() const { return filterCpuSeconds_; }

private:
    settings::SettingsRecord settings_{};
    core::StreamDenoiser core_{settings_};
    VideoFormat format_;
    size_t planeOffsets_[3] = {};  // where each plane of a planar frame starts
    int32_t planeStrides_[3] = {};
    double filterSeconds_ = 0.0;
    double filterCpuSeconds_ = 0.0;
};

}  // namespace host
