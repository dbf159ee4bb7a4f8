#pragma once
// The denoiser of one video stream: the three channel processors, the
// settings record in force, the scratch frame and the demo split, with no
// state shared with any other stream. Several instances may run in one
// process, each on its own thread; one instance is used by one thread at a
// time (its owner serialises the calls).
#include <atomic>
#include <cstdint>

#include "demo/demo.h"
#include "engine/engine.h"
#include "settings/settings.h"

namespace core {

enum PlaneIndex { kPlaneY = 0, kPlaneU = 1, kPlaneV = 2 };

// How a stream's frames lie in memory.
enum class FrameLayout {
    kPacked422,       // Y0 U Y1 V, rows top-down, width * 2 bytes a row; chroma width / 2
    kBgr24BottomUp,   // 24-bit B G R, last row first, width * 3 bytes a row
    kPlanar422,       // Y, then U and V of (width + 1) / 2 x height
    kPlanar420,       // Y, then U and V of (width + 1) / 2 x (height + 1) / 2
    kGray,            // Y only
};

// Frames the engine is built for: at least one 8-pixel group per row, and
// planes whose sizes fit the 32-bit plane members comfortably.
constexpr int32_t kMinWidth = 8;
constexpr int32_t kMaxSide = engine::kMaxPlaneSide;

bool GeometrySupported(int32_t width, int32_t height);

struct PlaneSize {
    int32_t width;
    int32_t height;
};

// The size of plane `plane` of a frame of `layout`; {0, 0} for a plane the
// layout does not have (chroma of kGray). Packed layouts give the sizes of
// the planes they are split into.
PlaneSize PlaneSizeOf(FrameLayout layout, int32_t width, int32_t height, int plane);

// One plane of a planar frame: rows `stride` bytes apart (at least the
// plane's width), top row first. As in the packed layouts, the columns right
// of the last whole group of 8 picture pixels pass through unfiltered.
struct PlaneView {
    uint8_t* data = nullptr;
    int32_t stride = 0;
};

// A planar frame; u and v are ignored for kGray.
struct PlanarFrame {
    PlaneView planes[3];
};

// What the last frame measured in one plane.
struct PlaneReport {
    bool analysed = false;        // motion-compensated: the search and the analysis ran
    bool thresholdSet = false;    // the automatic threshold wrote the record's threshold
    double meanSnr = 0.0;         // smoothed SNR in dB
    double frameSnr = 0.0;        // this frame's own SNR in dB
    int32_t threshold = 0;        // threshold in force for this frame
    int32_t noiseLevel = 0;
    int32_t sceneChange = 0;
};

class StreamDenoiser {
public:
    // `settings` is the record in force: read at every frame, and its
    // thresholds rewritten by the automatic threshold. It must outlive the
    // denoiser; its owner keeps it still while a frame runs (the motion
    // compensation switches and the automatic threshold switches may be
    // stored with relaxed atomics meanwhile: each is read once per frame).
    explicit StreamDenoiser(settings::SettingsRecord& settings);
    ~StreamDenoiser();
    StreamDenoiser(const StreamDenoiser&) = delete;
    StreamDenoiser& operator=(const StreamDenoiser&) = delete;

    // Allocates every buffer for frames of `layout` at width x height, and
    // ends the demo split. Histories and statistics carry over from the
    // previous stream, as a host's do. False when the geometry is not
    // supported or memory is short: frames are then refused until the next
    // successful Start.
    bool Start(FrameLayout layout, int32_t width, int32_t height);
    // Frees the scratch frame; the planes stay for a later Start. A layout
    // that works through the scratch frame refuses frames until then.
    void Stop();
    // Refuses frames until the next successful Start.
    void Refuse() { ready_ = false; }
    bool Ready() const { return ready_; }
    FrameLayout Layout() const { return layout_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

    // Seeds each plane's noise history from the record's threshold, as at a
    // change of TV channel or the start of a fresh sequence.
    void SeedNoiseHistories();

    // Denoises one frame of a packed layout in place. False (frame untouched)
    // when not Ready or the layout is planar.
    bool ProcessPacked(uint8_t* frame);
    // Denoises one frame of a planar layout in place. False (frame untouched)
    // when not Ready, the layout is packed, or a plane is missing or its
    // stride is shorter than its width.
    bool ProcessPlanar(const PlanarFrame& frame);

    // The measurements of the last frame processed.
    const PlaneReport& Report(int plane) const { return reports_[plane]; }

    // Nonzero: only the upper half of each frame is written back, and the
    // boundary is marked with a line. May be stored from any thread.
    std::atomic<int32_t> demo{0};
    // Whether the demo boundary gets its line (a host whose frame format is
    // not one the line knows gets the split without it).
    bool drawSplitLine = true;

    // The channel processors, for inspection by tests and statistics.
    const engine::ChannelProcessor& Processor(int plane) const { return processors_[plane]; }
    engine::ChannelProcessor& Processor(int plane) { return processors_[plane]; }
    const uint8_t* Scratch() const { return scratch_; }

private:
    struct PendingFilter {
        bool due;
        int32_t threshold;
    };

    void ReadSwitches(bool motionCompensated[3]) const;
    int32_t FilteredWidth(int plane) const;
    PendingFilter AnalysePlane(int plane, bool motionCompensated);
    void SplitPlanesAndPrepare(const uint8_t* packed, const bool motionCompensated[3]);
    void FilterAndPack(uint8_t* packed, int32_t packedRows, const PendingFilter pending[3]);
    void CopyIn(const PlanarFrame& frame, int plane, bool motionCompensated);
    void FilterAndCopyOut(const PlanarFrame& frame, int plane, const PendingFilter& pending, int32_t rows);
    void SwapFrames();
    void MarkSplitPlanar(const PlanarFrame& frame);

    settings::SettingsRecord& settings_;
    engine::ChannelProcessor processors_[3];
    int planeCount_ = 3;
    FrameLayout layout_ = FrameLayout::kPacked422;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool ready_ = false;
    uint8_t* scratch_ = nullptr;  // the packed form of a BGR frame
    demo::DrawingSurface surface_;
    PlaneReport reports_[3];
};

}  // namespace core
