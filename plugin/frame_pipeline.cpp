#include "plugin/frame_pipeline.h"

#include <cstring>

namespace plugin {

namespace {

// The dialog shows SNRs in hundredths of a decibel.
constexpr double kSnrScale = 100.0;

// The dialog's notifications of each plane, in the order it gets them.
struct PlaneUpdates {
    int32_t snrCode;
    int32_t sliderCode;
    int32_t thresholdTextCode;
};

constexpr PlaneUpdates kPlaneUpdates[3] = {
    {ui::kUpdateSnrY, ui::kUpdateSliderY, ui::kUpdateThresholdTextY},
    {ui::kUpdateSnrU, ui::kUpdateSliderU, ui::kUpdateThresholdTextU},
    {ui::kUpdateSnrV, ui::kUpdateSliderV, ui::kUpdateThresholdTextV},
};

void OnChannelChange(State& state, const ChannelInfo& channel) {
    // The host sizes the name; copy up to its NUL and at most 255 bytes.
    size_t n = 0;
    while (n < kChannelNameCapacity - 1 && channel.name[n] != '\0') ++n;
    std::memcpy(state.currentChannelName, channel.name, n);
    state.currentChannelName[n] = '\0';
    state.denoiser.SeedNoiseHistories();
    PostUpdate(ui::kUpdateAll, 0);
}

// The dialog hears of each analysed plane's SNR and of each threshold the
// automatic threshold set.
void PostFrameUpdates(const core::StreamDenoiser& denoiser) {
    for (int p = 0; p < 3; ++p) {
        const core::PlaneReport& report = denoiser.Report(p);
        if (!report.analysed) continue;
        PostUpdate(kPlaneUpdates[p].snrCode, engine::Trunc(report.meanSnr * kSnrScale));
        if (report.thresholdSet) {
            PostUpdate(kPlaneUpdates[p].sliderCode, 0);
            PostUpdate(kPlaneUpdates[p].thresholdTextCode, 0);
        }
    }
}

}  // namespace

int32_t RunFramePipeline(State& state, const FrameRequest* request) {
    if (IsUnsupportedCpu(state.cpuClass)) return 0;
    if (request == nullptr || request->pixels == nullptr) return 0;
    // A stream whose buffers could not be had, or whose geometry the engine
    // cannot handle, is refused rather than touched.
    if (!state.denoiser.Ready()) return 0;

    platform::LockGuard guard(state.settingsLock);

    const ChannelInfo* channel = request->channel;
    uint32_t keyLow = channel != nullptr ? channel->keyLow : 0;
    int32_t keyHigh = channel != nullptr ? channel->keyHigh : 0;
    if (state.store.SelectChannel(keyLow, keyHigh) != 0) {
        static const ChannelInfo kNoChannel{};
        OnChannelChange(state, channel != nullptr ? *channel : kNoChannel);
    }

    // With processing off the core leaves the frame alone and reports no plane.
    state.denoiser.ProcessPacked(request->pixels);
    PostFrameUpdates(state.denoiser);
    return 1;
}

}  // namespace plugin
