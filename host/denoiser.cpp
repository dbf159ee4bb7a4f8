#include "host/denoiser.h"

#include <time.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <new>

#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"

namespace host {

namespace {

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

constexpr char kChannelName[] = "orv-denoise";
static_assert(offsetof(ChannelInfo, name) + sizeof kChannelName <= 64, "channel record storage");

}  // namespace

Denoiser::Denoiser() {
    std::memset(channel_, 0, sizeof channel_);
    // Key 0: the common record is the one in force.
    new (channel_) ChannelInfo{};
    std::memcpy(channel_ + offsetof(ChannelInfo, name), kChannelName, sizeof kChannelName);
}

Denoiser::~Denoiser() { Stop(); }

void Denoiser::Start(const VideoFormat& format, const Options& options) {
    plugin::State& g = plugin::Globals();
    {
        // The defaults stand for a fresh settings file; the store never touches a file here.
        platform::LockGuard lock(g.settingsLock);
        g.store.LoadDefaults();
        ApplyToRecord(options, g.store.live);
        g.store.StoreLive();
    }
    StreamFormat stream{};
    stream.width = format.width;
    stream.height = format.height;
    stream.formatCode = format.FormatCode();
    stream.cpuClass = 0;
    plugin::StartStream(&stream);
    // StartStream clears the split view; a host's dialog would set it afterwards.
    g.demoMode.store(options.demo ? 1 : 0, std::memory_order_relaxed);
    running_ = true;
    filterSeconds_ = 0.0;
    filterCpuSeconds_ = 0.0;
}

bool Denoiser::Process(uint8_t* frame) {
    FrameRequest request{};
    request.pixels = frame;
    request.channel = reinterpret_cast<ChannelInfo*>(channel_);
    const double cpuStart = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = plugin::ProcessFrame(&request);
    filterSeconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    filterCpuSeconds_ += ThreadCpuSeconds() - cpuStart;
    return result != 0;
}

void Denoiser::ReadStats(PlaneStats (&planes)[3]) const {
    plugin::State& g = plugin::Globals();
    platform::LockGuard lock(g.settingsLock);
    const settings::SettingsRecord& live = g.store.live;
    const bool on = live.ProcEnable != 0;
    const uint32_t mc[3] = {live.Y_MEEnable, live.U_MEEnable, live.V_MEEnable};
    const int32_t threshold[3] = {live.Y_Threshold, live.U_Threshold, live.V_Threshold};
    for (int p = 0; p < 3; ++p) {
        const engine::ChannelProcessor& proc = g.processors[p];
        PlaneStats s;
        s.measured = on && mc[p] != 0;
        s.meanSnr = proc.meanSnr;
        s.frameSnr = proc.frameSnr;
        s.threshold = threshold[p];
        s.noiseLevel = proc.noiseLevel;
        s.sceneChange = proc.sceneChange;
        planes[p] = s;
    }
}

void Denoiser::Stop() {
    if (!running_) return;
    plugin::StopStream();
    running_ = false;
}

}  // namespace host
