#include "host/denoiser.h"

#include <time.h>

#include <chrono>
#include <cstddef>

namespace host {

namespace {

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

core::FrameLayout LayoutOf(const VideoFormat& format) {
    if (format.kind == StreamKind::Bgr24) return core::FrameLayout::kBgr24BottomUp;
    if (format.Planar()) {
        return format.y4m.chroma == Chroma::kMono ? core::FrameLayout::kGray : core::FrameLayout::kPlanar420;
    }
    return core::FrameLayout::kPacked422;
}

}  // namespace

void Denoiser::Start(const VideoFormat& format, const Options& options) {
    // The defaults stand for a fresh settings file; no file is touched here.
    settings::SettingsStore store;
    store.LoadDefaults();
    settings_ = store.live;
    ApplyToRecord(options, settings_);
    format_ = format;
    core_.Start(LayoutOf(format), format.width, format.height);
    // A YUV4MPEG2 frame holds its planes one after the other, rows unpadded.
    size_t offset = 0;
    for (int p = 0; p < 3; ++p) {
        const core::PlaneSize size = core::PlaneSizeOf(core_.Layout(), format.width, format.height, p);
        planeOffsets_[p] = offset;
        planeStrides_[p] = size.width;
        offset += static_cast<size_t>(size.width) * static_cast<size_t>(size.height);
    }
    core_.demo.store(options.demo ? 1 : 0, std::memory_order_relaxed);
    // The stream starts as a host's first channel does.
    core_.SeedNoiseHistories();
    filterSeconds_ = 0.0;
    filterCpuSeconds_ = 0.0;
}

bool Denoiser::Process(uint8_t* frame) {
    const double cpuStart = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    bool taken;
    if (format_.Planar()) {
        core::PlanarFrame planar;
        for (int p = 0; p < 3; ++p) planar.planes[p] = core::PlaneView{frame + planeOffsets_[p], planeStrides_[p]};
        taken = core_.ProcessPlanar(planar);
    } else {
        taken = core_.ProcessPacked(frame);
    }
    filterSeconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    filterCpuSeconds_ += ThreadCpuSeconds() - cpuStart;
    return taken;
}

void Denoiser::ReadStats(PlaneStats (&planes)[3]) const {
    const bool on = settings_.ProcEnable != 0;
    const uint32_t mc[3] = {settings_.Y_MEEnable, settings_.U_MEEnable, settings_.V_MEEnable};
    const int32_t threshold[3] = {settings_.Y_Threshold, settings_.U_Threshold, settings_.V_Threshold};
    const bool hasChroma = core_.Layout() != core::FrameLayout::kGray;
    for (int p = 0; p < 3; ++p) {
        const engine::ChannelProcessor& proc = core_.Processor(p);
        PlaneStats s;
        s.measured = on && mc[p] != 0 && (p == 0 || hasChroma);
        s.meanSnr = proc.meanSnr;
        s.frameSnr = proc.frameSnr;
        s.threshold = threshold[p];
        s.noiseLevel = proc.noiseLevel;
        s.sceneChange = proc.sceneChange;
        planes[p] = s;
    }
}

}  // namespace host
