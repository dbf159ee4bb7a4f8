#pragma once
// The motion-compensated denoise engine: one ChannelProcessor per colour
// plane, its padded planes and motion field, the predictive motion search,
// the noise analysis and the two temporal filters.
#include <cstddef>
#include <cstdint>

#include "base/plane.h"

namespace engine {

// The plane types and row clipping shared with the pixel-format conversions.
using base::ClipRows;
using base::Grid;
using base::Plane;
using base::RowSpan;

// Motion of one 8x8 block, from the block in the current plane to its match
// in the reference plane.
struct BlockMotion {
    int32_t dx;
    int32_t dy;
    int32_t cost;       // SAD at (dx, dy), 0..16320, compared unsigned
    int32_t deviation;  // rounded mean squared distance to accepted neighbours
    int32_t meanDx;     // rounded mean dx of accepted neighbours
    int32_t meanDy;     // rounded mean dy of accepted neighbours
    int32_t valid;      // nonzero: the compensated filter processes this block
};

// One BlockMotion per whole 8x8 block, with two zero records of margin on
// every side so that neighbour lookups at the picture edge need no test.
using VectorField = Grid<BlockMotion>;

constexpr int32_t kBorder = 64;          // plane margin in pixels
constexpr int32_t kFieldMargin = 2;      // motion-field margin in records
constexpr int32_t kHistogramBins = 16320;
constexpr uint32_t kMaxBlockCost = 16320;  // 64 x 255: every pixel differs fully
constexpr int32_t kRingLength = 50;
// Largest plane width and height: the planes' sizes then fit their 32-bit
// members comfortably.
constexpr int32_t kMaxPlaneSide = 1 << 14;

class ChannelProcessor {
public:
    ChannelProcessor();
    ~ChannelProcessor();
    ChannelProcessor(const ChannelProcessor&) = delete;
    ChannelProcessor& operator=(const ChannelProcessor&) = delete;

    // Frees and replaces every buffer for a plane of width x height with
    // blocks of blockWidth x blockHeight. The statistics and histories carry
    // over. Returns false when a buffer could not be obtained; the processor
    // then holds no buffer at all and must not be used until the next
    // successful Allocate.
    bool Allocate(int32_t width, int32_t height, int32_t blockWidth, int32_t blockHeight);
    bool IsAllocated() const { return costHistogram != nullptr; }

    // Fills modeBinHistory with value; the write index and noiseLevel stay.
    void SeedNoiseHistory(int32_t value);

    // Gives every block of `motion` a vector by the predictive gradient search.
    // Planes the search cannot probe safely (unequal geometry, a margin
    // narrower than `border`, a field larger than the plane's whole blocks)
    // leave every block at (0, 0), cost 0, valid 0.
    void EstimateMotion(const Plane& current, const Plane& reference, VectorField& motion);

    // Histogram, SNR, noise level and scene change from the search's costs;
    // ends with RefineMotion unless a scene change was detected. A cost of
    // 16320 or more has no bin and is not counted. A ring holding a negative
    // factor (a negative SNR, or a negative seeded entry below -1) has no real
    // geometric mean: its mean is 0, as is one whose product overflows.
    void AnalyseMotion(const Plane& current, const Plane& reference, VectorField& motion);

    // Zero preference, neighbourhood measurement and re-check of the field.
    // Each record's cost must be the block cost at its vector, as the search
    // leaves it: a cost at a vector already asked for is not measured again.
    void RefineMotion(const Plane& current, const Plane& reference, VectorField& motion,
                      int32_t zeroLimit, int32_t acceptLimit);

    int32_t blockWidth = 0;
    int32_t blockHeight = 0;
    Plane current;
    Plane previous;
    Plane smoothedCurrent;
    Plane smoothedPrevious;
    VectorField motion;
    int32_t border = kBorder;
    int32_t* costHistogram = nullptr;  // kHistogramBins bins, 16-byte aligned
    int32_t histogramExtent = kHistogramBins;  // bins from here on are known to be zero
    int32_t lowerBin = 0;
    int32_t peakCount = 0;
    int32_t upperBin = 0;
    int32_t meanUpperBin = 0;
    int32_t upperBinHistory[kRingLength] = {};
    int32_t upperBinIndex = 0;
    int32_t modeBin = 0;
    int32_t noiseLevel = 0;
    int32_t modeBinHistory[kRingLength] = {};
    int32_t modeBinIndex = 0;
    double frameSnr = 0.0;
    double meanSnr = 0.0;
    double snrHistory[kRingLength] = {};
    int32_t snrIndex = 0;
    int32_t sceneChange = 0;

private:
    void Release();
};

// Exchanges two plane descriptors whole (buffers change owner with them).
void SwapPlanes(Plane& a, Plane& b);

// Sum of absolute differences of block (bx, by) of `current` against the
// block of `reference` displaced by (dx, dy); both use current's stride.
// A block that would leave either allocation (or planes of unequal geometry)
// gives kMaxBlockCost without reading anything.
uint32_t BlockCost(const Plane& current, const Plane& reference, int32_t bx, int32_t by,
                   int32_t dx, int32_t dy);

// Vertical low-pass (rounding-up byte averages) over 8-pixel groups;
// the first and last rows are copied.
void SmoothVertically(const Plane& source, Plane& target);

// Rows firstRow .. firstRow + rowCount - 1 of the same (clipped to the
// plane); each reads the source rows next to it.
void SmoothVerticallyRows(const Plane& source, Plane& target, int32_t firstRow, int32_t rowCount);

// Recursive temporal filter against the co-located previous output, over
// whole groups of 4 pixels per row. The threshold is compared as a 16-bit
// value saturated to 0..32767; thresholds up to 2 or above 16384 leave the
// plane unchanged.
void TemporalFilter(Plane& current, const Plane& previous, int32_t threshold);

// Rows firstRow .. firstRow + rowCount - 1 of the same (clipped to the plane).
void TemporalFilterRows(Plane& current, const Plane& previous, int32_t threshold, int32_t firstRow,
                        int32_t rowCount);

// The same per-pixel rule block by block along the motion vectors; blocks
// with valid == 0, and blocks whose displaced reference would leave the
// previous plane's allocation, are left untouched. Both planes must share
// the current plane's geometry (otherwise nothing is done).
void CompensatedTemporalFilter(Plane& current, const Plane& previous, const VectorField& motion,
                               int32_t blockWidth, int32_t blockHeight, int32_t threshold);

// Block rows firstBlockRow .. firstBlockRow + blockRowCount - 1 of the same
// (clipped to the block rows it would filter).
void CompensatedTemporalFilterRows(Plane& current, const Plane& previous, const VectorField& motion,
                                   int32_t blockWidth, int32_t blockHeight, int32_t threshold,
                                   int32_t firstBlockRow, int32_t blockRowCount);

// trunc: a floating-point value to int32, rounding toward zero. Values that
// are NaN or outside the int32 range give 0, so no conversion is undefined.
int32_t Trunc(double value);

}  // namespace engine
