#pragma once
// Pixel kernels of the denoise engine, one table per CPU. Internal to engine/.
#include <cstddef>
#include <cstdint>

#include "engine/engine.h"
#include "base/cpu.h"

namespace engine {

// Per-call constants of the temporal filter rule, both 16-bit values:
// gain = 16384 / threshold for threshold > 0, else 16384; threshold is the
// comparison limit, already clamped to 0..32767 (see MakeFilterParams).
struct FilterParams {
    int32_t gain;
    int32_t threshold;
};

struct SearchResult {
    int32_t dx;
    int32_t dy;
    uint32_t cost;
};

// Each kernel's signature, declared once: the table's slot, the scalar
// reference and every variant are declared with it.

// Sum of absolute differences of the 8x8 block at cur against the one at
// ref, both rows `stride` bytes apart: 0..16320. Reads exactly 8 bytes of 8
// rows from each; no alignment required.
using Sad8x8Fn = uint32_t(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride) noexcept;

// The costs of `blocks` (>= 1) co-located 8x8 blocks side by side:
// out[i] = sad_8x8(cur + 8 i, ref + 8 i, stride). Reads exactly 8 rows of
// 8 * blocks bytes from each.
using Sad8x8RowFn = void(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t blocks,
                         uint32_t* out) noexcept;

// The predictive descent of one 8x8 block (cur) over the reference whose
// co-located block is at ref, rows `stride` bytes apart, from the vector
// (startX, startY): step 2 against the cost gradient until the first
// failure, then step 1 until the second; a candidate with a component
// outside (-limit, limit) ends it. Writes the best vector and its cost.
// Reads the reference up to `limit` pixels (plus the block) on every side;
// the caller guarantees that margin. |start| < limit.
using SearchBlockFn = void(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t startX,
                           int32_t startY, int32_t limit, SearchResult* out) noexcept;

// The search of every block of `motion` in raster order with the descent
// above, each from the prediction of its left, above and above-right records
// (PredictVector), a prediction outside (-limit, limit) replaced by (0, 0).
// Writes dx, dy, cost and valid = 1 of each record. The caller has checked
// the planes and the field with MotionGeometryOk for `limit`.
using SearchFieldFn = void(const Plane& current, const Plane& reference, const VectorField& motion,
                           int32_t limit, uint32_t neighbourLimit) noexcept;

// The temporal filter rule on n pixels (n >= 0, any value) of cur against
// prev, in place: cur[i] = rule(cur[i], prev[i]). Touches exactly n bytes of
// each; no alignment required. prev may equal cur but must not overlap it
// otherwise.
using FilterRowFn = void(uint8_t* cur, const uint8_t* prev, int32_t n, FilterParams params) noexcept;

// dst[i] = avg(avg(above[i], below[i]), mid[i]) with avg(a, b) = (a + b + 1) >> 1,
// for n >= 0 pixels. dst must not overlap the sources. No alignment required.
using SmoothRowFn = void(uint8_t* dst, const uint8_t* above, const uint8_t* mid, const uint8_t* below,
                         int32_t n) noexcept;

// Vector components of a field the neighbourhood measurement takes lie
// strictly within +-kNeighbourVectorBound: the sums it forms then stay exact
// in single precision and its quotients within the rounding's range.
constexpr int32_t kNeighbourVectorBound = 256;

// For every record of `motion`, over the accepted records among its eight
// neighbours (cost <= acceptLimit, compared unsigned; the margin's zero
// records included): meanDx and meanDy, the means of their dx and dy, and
// deviation, the mean of their squared distances (n.dx - dx)^2 + (n.dy -
// dy)^2 to the record's own vector. Each mean is the single-precision
// quotient rounded to nearest, ties to even; all three are 0 when no
// neighbour is accepted. Reads dx, dy and cost, writes only those three
// members, so the order of the records does not matter.
using NeighbourMeansFn = void(const VectorField& motion, uint32_t acceptLimit) noexcept;

struct EngineDsp {
    Sad8x8Fn* sad_8x8;
    Sad8x8RowFn* sad_8x8_row;
    SearchBlockFn* search_block;
    SearchFieldFn* search_field;
    NeighbourMeansFn* neighbour_means;
    FilterRowFn* filter_row;
    SmoothRowFn* smooth_row;
};

// The scalar references: the rules written plainly.
Sad8x8Fn sad_8x8_c;
Sad8x8RowFn sad_8x8_row_c;
SearchBlockFn search_block_c;
SearchFieldFn search_field_c;
NeighbourMeansFn neighbour_means_c;
FilterRowFn filter_row_c;
SmoothRowFn smooth_row_c;

#if defined(ORV_SIMD)
// The x86 forms, in engine/x86/.
Sad8x8Fn sad_8x8_sse2;
Sad8x8RowFn sad_8x8_row_sse2;
SearchBlockFn search_block_sse2;
SearchFieldFn search_field_sse2;
NeighbourMeansFn neighbour_means_sse2;
FilterRowFn filter_row_sse2, filter_row_avx2;
SmoothRowFn smooth_row_sse2, smooth_row_avx2;
#endif

// Fills every slot with the scalar reference, then upgrades what flags allow.
void engine_dsp_init(EngineDsp& dsp, base::CpuFlags flags);

// The table chosen once for this process.
const EngineDsp& ActiveDsp();

// The engine's operations on an explicit kernel table; the public functions
// of engine.h call these with ActiveDsp(). Tests run the scalar and the SIMD
// table side by side through them.
class ChannelProcessor;
void SmoothVerticallyWith(const EngineDsp& dsp, const Plane& source, Plane& target);
void SmoothVerticallyWith(const EngineDsp& dsp, const Plane& source, Plane& target, int32_t firstRow,
                          int32_t rowCount);
void TemporalFilterWith(const EngineDsp& dsp, Plane& current, const Plane& previous, int32_t threshold);
void TemporalFilterWith(const EngineDsp& dsp, Plane& current, const Plane& previous, int32_t threshold,
                        int32_t firstRow, int32_t rowCount);
void CompensatedTemporalFilterWith(const EngineDsp& dsp, Plane& current, const Plane& previous,
                                   const VectorField& motion, int32_t blockWidth, int32_t blockHeight,
                                   int32_t threshold);
void CompensatedTemporalFilterWith(const EngineDsp& dsp, Plane& current, const Plane& previous,
                                   const VectorField& motion, int32_t blockWidth, int32_t blockHeight,
                                   int32_t threshold, int32_t firstBlockRow, int32_t blockRowCount);
void EstimateMotionWith(const EngineDsp& dsp, ChannelProcessor& processor, const Plane& current,
                        const Plane& reference, VectorField& motion);
void AnalyseMotionWith(const EngineDsp& dsp, ChannelProcessor& processor, const Plane& current,
                       const Plane& reference, VectorField& motion);
void RefineMotionWith(const EngineDsp& dsp, ChannelProcessor& processor, const Plane& current,
                      const Plane& reference, VectorField& motion, int32_t zeroLimit, int32_t acceptLimit);

// The filter constants for a threshold. Thresholds above 32767 behave like
// 32767 and thresholds below 0 like 0, so a 16-bit lane never wraps: every
// threshold outside 1..255 leaves the plane unchanged, as 0 does.
inline FilterParams MakeFilterParams(int32_t threshold) {
    FilterParams p;
    p.gain = threshold > 0 ? 16384 / threshold : 16384;
    p.threshold = threshold < 0 ? 0 : (threshold > 32767 ? 32767 : threshold);
    return p;
}

// Thresholds up to 2 (a difference of 1 moves by less than one step) and
// above 16384 (gain 0) give every pixel back unchanged.
inline bool LeavesUnchanged(FilterParams params) { return params.threshold <= 2 || params.gain == 0; }

// The rule for one pixel, in the 16-bit arithmetic of the vector forms.
inline uint8_t FilterPixel(int32_t c, int32_t p, FilterParams params) {
    const int32_t d = c - p;
    const int32_t a = d < 0 ? -d : d;
    // a * gain < 16384 whenever a < threshold, so k fits a signed 16-bit lane.
    const int32_t k = a < params.threshold ? a * params.gain : 16384;
    // High half of the 32-bit product: an arithmetic shift, i.e. the floor.
    const int32_t high = (4 * d * k) >> 16;
    if (high == 0) return static_cast<uint8_t>(c);
    const int32_t r = p + high;
    return static_cast<uint8_t>(r < 0 ? 0 : (r > 255 ? 255 : r));
}

}  // namespace engine
