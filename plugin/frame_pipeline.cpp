#include "plugin/frame_pipeline.h"

#include <cstring>

#include "pixfmt/pixfmt.h"

namespace plugin {

namespace {

// Single-precision constants whose exact values the results depend on.
constexpr float kSeedFactor = 6.6666665f;      // 0x40D55555, nearest single to 20/3
constexpr float kAutoThresholdFactor = 0.15f;  // 0x3E19999A

// What distinguishes the three planes in the per-plane routine.
struct PlaneSettings {
    uint32_t settings::SettingsRecord::*meEnable;
    int32_t settings::SettingsRecord::*threshold;
    uint32_t settings::SettingsRecord::*autoThreshold;
    bool smoothFirst;
    int32_t snrCode;
    int32_t sliderCode;
    int32_t thresholdTextCode;
};

constexpr PlaneSettings kPlanes[3] = {
    {&settings::SettingsRecord::Y_MEEnable, &settings::SettingsRecord::Y_Threshold,
     &settings::SettingsRecord::Y_AutoThreshold, true, UpdateSnrY, UpdateSliderY, UpdateThresholdTextY},
    {&settings::SettingsRecord::U_MEEnable, &settings::SettingsRecord::U_Threshold,
     &settings::SettingsRecord::U_AutoThreshold, false, UpdateSnrU, UpdateSliderU, UpdateThresholdTextU},
    {&settings::SettingsRecord::V_MEEnable, &settings::SettingsRecord::V_Threshold,
     &settings::SettingsRecord::V_AutoThreshold, false, UpdateSnrV, UpdateSliderV, UpdateThresholdTextV},
};

void OnChannelChange(State& state, const ChannelInfo& channel) {
    // The host sizes the name; copy up to its NUL and at most 255 bytes.
    size_t n = 0;
    while (n < kChannelNameCapacity - 1 && channel.name[n] != '\0') ++n;
    std::memcpy(state.currentChannelName, channel.name, n);
    state.currentChannelName[n] = '\0';

    const settings::SettingsRecord& live = state.store.live;
    for (int p = 0; p < 3; ++p) {
        double seed = static_cast<double>(live.*kPlanes[p].threshold) * static_cast<double>(kSeedFactor);
        state.processors[p].SeedNoiseHistory(engine::Trunc(seed));
    }
    PostUpdate(UpdateAll, 0);
}

// The part of a plane's work that needs only its own rows, done band by band
// right after the split while the band is still in the cache: the whole
// temporal filter of a plane without motion compensation, and the smoothing
// that the luma search works on.
void SplitPlanesAndPrepare(State& state, const uint8_t* packed, const pixfmt::Geometry& geometry,
                           const bool motionCompensated[3]) {
    constexpr int32_t kBand = 16;
    const settings::SettingsRecord& live = state.store.live;
    engine::ChannelProcessor* procs = state.processors;
    const int32_t height = procs[kPlaneY].current.height;
    int32_t smoothedRows = 0;
    for (int32_t r0 = 0; r0 < height; r0 += kBand) {
        pixfmt::SplitPlaneRows(packed, geometry, procs[kPlaneY].current, procs[kPlaneU].current,
                               procs[kPlaneV].current, r0, kBand);
        // A smoothed row needs the split row below it.
        const int32_t smoothable = r0 + kBand >= height ? height : r0 + kBand - 1;
        for (int p = 0; p < 3; ++p) {
            engine::ChannelProcessor& proc = procs[p];
            if (!motionCompensated[p]) {
                engine::TemporalFilterRows(proc.current, proc.previous, live.*kPlanes[p].threshold, r0, kBand);
            } else if (kPlanes[p].smoothFirst) {
                engine::SmoothVerticallyRows(proc.current, proc.smoothedCurrent, smoothedRows,
                                             smoothable - smoothedRows);
            }
        }
        smoothedRows = smoothable;
    }
}

// A plane's compensated filter, left for the band loop that packs the frame.
struct PendingFilter {
    bool due;
    int32_t threshold;
};

// The rest of a plane's work up to its compensated filter, after
// SplitPlanesAndPrepare with the same motionCompensated decision.
PendingFilter ProcessPlane(State& state, int p, bool motionCompensated) {
    const PlaneSettings& plane = kPlanes[p];
    settings::SettingsRecord& live = state.store.live;
    engine::ChannelProcessor& proc = state.processors[p];

    if (!motionCompensated) return {false, 0};
    const engine::Plane* searchCurrent = &proc.current;
    const engine::Plane* searchReference = &proc.previous;
    if (plane.smoothFirst) {
        searchCurrent = &proc.smoothedCurrent;
        searchReference = &proc.smoothedPrevious;
    }
    proc.EstimateMotion(*searchCurrent, *searchReference, proc.motion);
    proc.AnalyseMotion(*searchCurrent, *searchReference, proc.motion);
    PostUpdate(plane.snrCode, engine::Trunc(proc.meanSnr * 100.0));

    // The dialog stores the switch without the lock.
    if (settings::LoadRelaxed(live.*plane.autoThreshold) != 0) {
        int32_t automatic =
            engine::Trunc(static_cast<double>(proc.noiseLevel) * static_cast<double>(kAutoThresholdFactor));
        live.*plane.threshold = automatic > 100 ? 100 : automatic;
        PostUpdate(plane.sliderCode, 0);
        PostUpdate(plane.thresholdTextCode, 0);
    }
    return {proc.sceneChange == 0, live.*plane.threshold};
}

// The compensated filters, one block row of every plane at a time, each
// band packed into the frame as soon as it is final, while it is still in
// the cache.
void FilterAndPack(State& state, uint8_t* packed, const pixfmt::Geometry& packing, const PendingFilter pending[3]) {
    engine::ChannelProcessor* procs = state.processors;
    const int32_t height = procs[kPlaneY].current.height;
    for (int32_t r0 = 0; r0 < height; r0 += 8) {
        for (int p = 0; p < 3; ++p) {
            if (!pending[p].due) continue;
            engine::ChannelProcessor& proc = procs[p];
            engine::CompensatedTemporalFilterRows(proc.current, proc.previous, proc.motion, 8, 8, pending[p].threshold,
                                                  r0 / 8, 1);
        }
        pixfmt::PackPlaneRows(packed, packing, procs[kPlaneY].current, procs[kPlaneU].current,
                              procs[kPlaneV].current, r0, 8);
    }
}

void ProcessPlanes(State& state, const FrameRequest& request) {
    const pixfmt::Geometry full{state.frameWidth, state.frameHeight};
    uint8_t* packed = request.pixels;
    if (state.formatCode == 1) {
        pixfmt::RgbToPacked(request.pixels, state.rgbScratch, full);
        packed = state.rgbScratch;
    }
    engine::ChannelProcessor* procs = state.processors;
    // The dialog stores the switches without the lock: each is read once per
    // frame, so the preparation and the rest of the work agree.
    bool motionCompensated[3];
    for (int p = 0; p < 3; ++p) {
        motionCompensated[p] = settings::LoadRelaxed(state.store.live.*kPlanes[p].meEnable) != 0;
    }
    SplitPlanesAndPrepare(state, packed, full, motionCompensated);

    PendingFilter pending[3];
    for (int p = 0; p < 3; ++p) pending[p] = ProcessPlane(state, p, motionCompensated[p]);

    // Read once, so that packing and the lines agree even if the dialog flips it meanwhile.
    const bool demo = state.demoMode.load(std::memory_order_relaxed) != 0;
    const pixfmt::Geometry packing{state.frameWidth, demo ? state.frameHeight / 2 : state.frameHeight};
    FilterAndPack(state, packed, packing, pending);

    engine::SwapPlanes(procs[kPlaneY].current, procs[kPlaneY].previous);
    engine::SwapPlanes(procs[kPlaneY].smoothedCurrent, procs[kPlaneY].smoothedPrevious);
    engine::SwapPlanes(procs[kPlaneV].current, procs[kPlaneV].previous);
    engine::SwapPlanes(procs[kPlaneU].current, procs[kPlaneU].previous);

    if (state.formatCode == 1) pixfmt::PackedToRgb(state.rgbScratch, request.pixels, full);

    if (demo) {
        const int32_t r = state.frameHeight / 2 - 1;
        state.surface.DrawLine(0, r, state.frameWidth, r, 0, 0xFFFFFF, 60);
        state.surface.DrawLine(0, r + 1, state.frameWidth, r + 1, 0, 0xFFFFFF, 60);
    }
}

}  // namespace

int32_t RunFramePipeline(State& state, const FrameRequest* request) {
    if (IsUnsupportedCpu(state.cpuClass)) return 0;
    if (request == nullptr || request->pixels == nullptr) return 0;
    // A stream whose buffers could not be had, or whose geometry the engine
    // cannot handle, is refused rather than touched.
    if (!state.streamReady) return 0;

    state.surface.pixels = request->pixels;
    platform::LockGuard guard(state.settingsLock);

    const ChannelInfo* channel = request->channel;
    uint32_t keyLow = channel != nullptr ? channel->keyLow : 0;
    int32_t keyHigh = channel != nullptr ? channel->keyHigh : 0;
    if (state.store.SelectChannel(keyLow, keyHigh) != 0) {
        static const ChannelInfo kNoChannel{};
        OnChannelChange(state, channel != nullptr ? *channel : kNoChannel);
    }

    if (state.store.live.ProcEnable != 0) ProcessPlanes(state, *request);
    return 1;
}

}  // namespace plugin
