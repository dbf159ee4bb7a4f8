#include "core/stream_denoiser.h"

#include <cstring>

#include "demo/blend.h"
#include "engine/aligned_buffer.h"
#include "pixfmt/pixfmt.h"

namespace core {

namespace {

// Single-precision constants whose exact values the results depend on.
constexpr float kSeedFactor = 6.6666665f;      // 0x40D55555, nearest single to 20/3
constexpr float kAutoThresholdFactor = 0.15f;  // 0x3E19999A

// The split line of the demo: white, 60% opaque.
constexpr uint32_t kSplitColour = 0xFFFFFF;
constexpr int32_t kSplitOpacity = 60;

// What distinguishes the three planes.
struct PlaneSettings {
    uint32_t settings::SettingsRecord::*meEnable;
    int32_t settings::SettingsRecord::*threshold;
    uint32_t settings::SettingsRecord::*autoThreshold;
    bool smoothFirst;  // the luma search works on vertically smoothed planes
};

constexpr PlaneSettings kPlanes[3] = {
    {&settings::SettingsRecord::Y_MEEnable, &settings::SettingsRecord::Y_Threshold,
     &settings::SettingsRecord::Y_AutoThreshold, true},
    {&settings::SettingsRecord::U_MEEnable, &settings::SettingsRecord::U_Threshold,
     &settings::SettingsRecord::U_AutoThreshold, false},
    {&settings::SettingsRecord::V_MEEnable, &settings::SettingsRecord::V_Threshold,
     &settings::SettingsRecord::V_AutoThreshold, false},
};

bool IsPacked(FrameLayout layout) {
    return layout == FrameLayout::kPacked422 || layout == FrameLayout::kBgr24BottomUp;
}

}  // namespace

bool GeometrySupported(int32_t width, int32_t height) {
    return width >= kMinWidth && width <= kMaxSide && height >= 1 && height <= kMaxSide;
}

PlaneSize PlaneSizeOf(FrameLayout layout, int32_t width, int32_t height, int plane) {
    if (plane == kPlaneY) return {width, height};
    switch (layout) {
        case FrameLayout::kPacked422:
        case FrameLayout::kBgr24BottomUp: return {width / 2, height};
        case FrameLayout::kPlanar422: return {width - width / 2, height};
        case FrameLayout::kPlanar420: return {width - width / 2, height - height / 2};
        case FrameLayout::kGray: break;
    }
    return {0, 0};
}

StreamDenoiser::StreamDenoiser(settings::SettingsRecord& settings) : settings_(settings) {}

StreamDenoiser::~StreamDenoiser() { Stop(); }

bool StreamDenoiser::Start(FrameLayout layout, int32_t width, int32_t height) {
    ready_ = false;
    layout_ = layout;
    width_ = width;
    height_ = height;
    demo.store(0, std::memory_order_relaxed);
    // A caller that skipped Stop must not leak the scratch frame.
    engine::AlignedFree(scratch_);
    scratch_ = nullptr;
    surface_.SetGeometry(width, height, layout == FrameLayout::kBgr24BottomUp ? 1 : 0);
    if (!GeometrySupported(width, height)) return false;

    planeCount_ = layout == FrameLayout::kGray ? 1 : 3;
    bool ok = true;
    for (int p = 0; p < planeCount_; ++p) {
        const PlaneSize size = PlaneSizeOf(layout, width, height, p);
        ok = processors_[p].Allocate(size.width, size.height, 8, 8) && ok;
    }
    if (ok && layout == FrameLayout::kBgr24BottomUp) {
        const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 2;
        scratch_ = static_cast<uint8_t*>(engine::AlignedAlloc(bytes));
        ok = scratch_ != nullptr;
    }
    ready_ = ok;
    return ok;
}

void StreamDenoiser::Stop() {
    engine::AlignedFree(scratch_);
    scratch_ = nullptr;
    if (layout_ == FrameLayout::kBgr24BottomUp) ready_ = false;
}

void StreamDenoiser::SeedNoiseHistories() {
    for (int p = 0; p < 3; ++p) {
        const double seed = static_cast<double>(settings_.*kPlanes[p].threshold) * static_cast<double>(kSeedFactor);
        processors_[p].SeedNoiseHistory(engine::Trunc(seed));
    }
}

void StreamDenoiser::ReadSwitches(bool motionCompensated[3]) const {
    // The switches may be stored without the owner's lock: each is read once
    // per frame, so the preparation and the rest of the work agree.
    for (int p = 0; p < 3; ++p) {
        motionCompensated[p] = p < planeCount_ && settings::LoadRelaxed(settings_.*kPlanes[p].meEnable) != 0;
    }
}

// The search, the analysis and the automatic threshold of a plane; its
// compensated filter is left to the caller's band loop.
StreamDenoiser::PendingFilter StreamDenoiser::AnalysePlane(int p, bool motionCompensated) {
    const PlaneSettings& plane = kPlanes[p];
    engine::ChannelProcessor& proc = processors_[p];
    PlaneReport& report = reports_[p];
    report = PlaneReport{};
    report.threshold = settings_.*plane.threshold;
    if (!motionCompensated) return {false, 0};

    const engine::Plane* searchCurrent = &proc.current;
    const engine::Plane* searchReference = &proc.previous;
    if (plane.smoothFirst) {
        searchCurrent = &proc.smoothedCurrent;
        searchReference = &proc.smoothedPrevious;
    }
    proc.EstimateMotion(*searchCurrent, *searchReference, proc.motion);
    proc.AnalyseMotion(*searchCurrent, *searchReference, proc.motion);
    report.analysed = true;

    if (settings::LoadRelaxed(settings_.*plane.autoThreshold) != 0) {
        const int32_t automatic =
            engine::Trunc(static_cast<double>(proc.noiseLevel) * static_cast<double>(kAutoThresholdFactor));
        settings_.*plane.threshold = automatic > 100 ? 100 : automatic;
        report.thresholdSet = true;
    }
    report.threshold = settings_.*plane.threshold;
    report.meanSnr = proc.meanSnr;
    report.frameSnr = proc.frameSnr;
    report.noiseLevel = proc.noiseLevel;
    report.sceneChange = proc.sceneChange;
    return {proc.sceneChange == 0, settings_.*plane.threshold};
}

void StreamDenoiser::SwapFrames() {
    for (int p = 0; p < planeCount_; ++p) engine::SwapPlanes(processors_[p].current, processors_[p].previous);
    engine::SwapPlanes(processors_[kPlaneY].smoothedCurrent, processors_[kPlaneY].smoothedPrevious);
}

// The part of each plane's work that needs only its own rows, done band by
// band right after the split while the band is still in the cache: the whole
// temporal filter of a plane without motion compensation, and the smoothing
// that the luma search works on.
void StreamDenoiser::SplitPlanesAndPrepare(const uint8_t* packed, const bool motionCompensated[3]) {
    constexpr int32_t kBand = 16;
    const pixfmt::Geometry geometry{width_, height_};
    engine::ChannelProcessor* procs = processors_;
    int32_t smoothedRows = 0;
    for (int32_t r0 = 0; r0 < height_; r0 += kBand) {
        pixfmt::SplitPlaneRows(packed, geometry, procs[kPlaneY].current, procs[kPlaneU].current,
                               procs[kPlaneV].current, r0, kBand);
        // A smoothed row needs the split row below it.
        const int32_t smoothable = r0 + kBand >= height_ ? height_ : r0 + kBand - 1;
        for (int p = 0; p < 3; ++p) {
            engine::ChannelProcessor& proc = procs[p];
            if (!motionCompensated[p]) {
                engine::TemporalFilterRows(proc.current, proc.previous, settings_.*kPlanes[p].threshold, r0, kBand);
            } else if (kPlanes[p].smoothFirst) {
                engine::SmoothVerticallyRows(proc.current, proc.smoothedCurrent, smoothedRows,
                                             smoothable - smoothedRows);
            }
        }
        smoothedRows = smoothable;
    }
}

// The compensated filters, one block row of every plane at a time, each band
// packed into the frame as soon as it is final, while it is still in the cache.
void StreamDenoiser::FilterAndPack(uint8_t* packed, int32_t packedRows, const PendingFilter pending[3]) {
    const pixfmt::Geometry packing{width_, packedRows};
    engine::ChannelProcessor* procs = processors_;
    for (int32_t r0 = 0; r0 < height_; r0 += 8) {
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

bool StreamDenoiser::ProcessPacked(uint8_t* frame) {
    if (!ready_ || frame == nullptr || !IsPacked(layout_)) return false;
    if (settings_.ProcEnable == 0) {
        for (PlaneReport& report : reports_) report = PlaneReport{};
        return true;
    }
    const pixfmt::Geometry full{width_, height_};
    uint8_t* packed = frame;
    if (layout_ == FrameLayout::kBgr24BottomUp) {
        pixfmt::RgbToPacked(frame, scratch_, full);
        packed = scratch_;
    }
    bool motionCompensated[3];
    ReadSwitches(motionCompensated);
    SplitPlanesAndPrepare(packed, motionCompensated);

    PendingFilter pending[3];
    for (int p = 0; p < 3; ++p) pending[p] = AnalysePlane(p, motionCompensated[p]);

    // Read once, so that packing and the lines agree even if it flips meanwhile.
    const bool split = demo.load(std::memory_order_relaxed) != 0;
    FilterAndPack(packed, split ? height_ / 2 : height_, pending);
    SwapFrames();

    if (layout_ == FrameLayout::kBgr24BottomUp) pixfmt::PackedToRgb(scratch_, frame, full);
    if (split && drawSplitLine) {
        surface_.pixels = frame;
        const int32_t r = height_ / 2 - 1;
        surface_.DrawLine(0, r, width_, r, 0, kSplitColour, kSplitOpacity);
        surface_.DrawLine(0, r + 1, width_, r + 1, 0, kSplitColour, kSplitOpacity);
        surface_.pixels = nullptr;
    }
    return true;
}

// The columns of plane `plane` that the filters take: those of whole groups
// of 8 picture pixels, as the packed split takes them, so that a planar frame
// gives the packed frame's results whatever its width. The rest pass through.
int32_t StreamDenoiser::FilteredWidth(int plane) const {
    const int32_t groups = width_ / 8;
    return plane == kPlaneY ? groups * 8 : groups * 4;
}

// A planar frame's plane into the processor's current plane, followed by the
// work that needs only that plane's rows, as the packed split does it.
void StreamDenoiser::CopyIn(const PlanarFrame& frame, int p, bool motionCompensated) {
    engine::ChannelProcessor& proc = processors_[p];
    const PlaneView& view = frame.planes[p];
    const size_t rowBytes = static_cast<size_t>(FilteredWidth(p));
    for (int32_t y = 0; y < proc.current.height; ++y) {
        std::memcpy(proc.current.Row(y), view.data + static_cast<ptrdiff_t>(y) * view.stride, rowBytes);
    }
    if (!motionCompensated) {
        engine::TemporalFilter(proc.current, proc.previous, settings_.*kPlanes[p].threshold);
    } else if (kPlanes[p].smoothFirst) {
        engine::SmoothVertically(proc.current, proc.smoothedCurrent);
    }
}

// A plane's compensated filter, then its first `rows` rows back into the frame.
void StreamDenoiser::FilterAndCopyOut(const PlanarFrame& frame, int p, const PendingFilter& pending, int32_t rows) {
    engine::ChannelProcessor& proc = processors_[p];
    if (pending.due) {
        engine::CompensatedTemporalFilter(proc.current, proc.previous, proc.motion, 8, 8, pending.threshold);
    }
    const PlaneView& view = frame.planes[p];
    const size_t rowBytes = static_cast<size_t>(FilteredWidth(p));
    for (int32_t y = 0; y < rows && y < proc.current.height; ++y) {
        std::memcpy(view.data + static_cast<ptrdiff_t>(y) * view.stride, proc.current.Row(y), rowBytes);
    }
}

// The demo's split line over a planar frame: the two rows around the middle,
// blended toward white over the pixels of whole pairs, as the packed frame's
// line is (chroma at the even pixels, which carry it there).
void StreamDenoiser::MarkSplitPlanar(const PlanarFrame& frame) {
    const int32_t pairWidth = width_ & ~1;
    const int32_t strength = demo::BlendStrength(kSplitOpacity);
    const demo::Target target = demo::LumaChromaTarget(kSplitColour);
    const int32_t first = height_ / 2 - 1;
    int32_t lastChromaRow = -1;
    for (int32_t r = first; r <= first + 1; ++r) {
        if (r < 0 || r >= height_) continue;
        uint8_t* luma = frame.planes[kPlaneY].data + static_cast<ptrdiff_t>(r) * frame.planes[kPlaneY].stride;
        for (int32_t x = 0; x < pairWidth; ++x) luma[x] = demo::BlendByte(luma[x], target.first, strength);
        if (planeCount_ == 1) continue;
        const int32_t chromaRow = layout_ == FrameLayout::kPlanar420 ? r / 2 : r;
        if (chromaRow == lastChromaRow) continue;  // one blend per chroma sample
        lastChromaRow = chromaRow;
        uint8_t* u = frame.planes[kPlaneU].data + static_cast<ptrdiff_t>(chromaRow) * frame.planes[kPlaneU].stride;
        uint8_t* v = frame.planes[kPlaneV].data + static_cast<ptrdiff_t>(chromaRow) * frame.planes[kPlaneV].stride;
        for (int32_t x = 0; x < pairWidth / 2; ++x) {
            u[x] = demo::BlendByte(u[x], target.second, strength);
            v[x] = demo::BlendByte(v[x], target.third, strength);
        }
    }
}

bool StreamDenoiser::ProcessPlanar(const PlanarFrame& frame) {
    if (!ready_ || IsPacked(layout_)) return false;
    for (int p = 0; p < planeCount_; ++p) {
        const PlaneView& view = frame.planes[p];
        if (view.data == nullptr || view.stride < PlaneSizeOf(layout_, width_, height_, p).width) return false;
    }
    if (settings_.ProcEnable == 0) {
        for (PlaneReport& report : reports_) report = PlaneReport{};
        return true;
    }
    bool motionCompensated[3];
    ReadSwitches(motionCompensated);
    for (int p = 0; p < planeCount_; ++p) CopyIn(frame, p, motionCompensated[p]);

    PendingFilter pending[3] = {};
    for (int p = 0; p < 3; ++p) {
        if (p < planeCount_) {
            pending[p] = AnalysePlane(p, motionCompensated[p]);
        } else {
            reports_[p] = PlaneReport{};
        }
    }

    const bool split = demo.load(std::memory_order_relaxed) != 0;
    for (int p = 0; p < planeCount_; ++p) {
        int32_t rows = PlaneSizeOf(layout_, width_, height_, p).height;
        if (split) {
            // The rows that hold any of the upper half's picture.
            rows = layout_ == FrameLayout::kPlanar420 && p != kPlaneY ? (height_ / 2 + 1) / 2 : height_ / 2;
        }
        FilterAndCopyOut(frame, p, pending[p], rows);
    }
    SwapFrames();
    if (split && drawSplitLine) MarkSplitPlanar(frame);
    return true;
}

}  // namespace core
