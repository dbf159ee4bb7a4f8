#pragma once
// Drives the plug-in's own entry points the way a host does, so that the
// frames come out exactly as a host would get them.
#include <cstdint>

#include "host/cli_options.h"
#include "host/stats_csv.h"
#include "host/video_io.h"

namespace host {

class Denoiser {
public:
    Denoiser();
    ~Denoiser();
    Denoiser(const Denoiser&) = delete;
    Denoiser& operator=(const Denoiser&) = delete;

    // Puts the table's defaults with the options' changes in force (no
    // settings file is read or written) and starts a stream of `format`.
    void Start(const VideoFormat& format, const Options& options);

    // Filters one frame in place; false when the plug-in refused it (the
    // frame is then untouched).
    bool Process(uint8_t* frame);

    // What the last frame measured, per plane Y, U, V.
    void ReadStats(PlaneStats (&planes)[3]) const;

    void Stop();

    // Seconds spent inside the plug-in's frame entry point so far: elapsed,
    // and processor time of this thread (which other busy processes do not inflate).
    double FilterSeconds() const { return filterSeconds_; }
    double FilterCpuSeconds() const { return filterCpuSeconds_; }

private:
    alignas(8) unsigned char channel_[64];  // the host's ChannelInfo, its name stored behind it
    bool running_ = false;
    double filterSeconds_ = 0.0;
    double filterCpuSeconds_ = 0.0;
};

}  // namespace host
