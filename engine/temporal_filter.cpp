// The recursive temporal filter, plain and along the block motion vectors.
#include <cassert>

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

void filter_row_c(uint8_t* cur, const uint8_t* prev, int32_t n, FilterParams params) noexcept {
    assert(n >= 0 && params.threshold >= 0 && params.threshold <= 32767);
    for (int32_t i = 0; i < n; ++i) cur[i] = FilterPixel(cur[i], prev[i], params);
}

void filter_blocks_8x8_c(uint8_t* cur, const uint8_t* prev, ptrdiff_t stride, int32_t blocks,
                         FilterParams params) noexcept {
    for (int y = 0; y < 8; ++y) filter_row_c(cur + y * stride, prev + y * stride, 8 * blocks, params);
}

void TemporalFilterWith(const EngineDsp& dsp, Plane& current, const Plane& previous, int32_t threshold) {
    if (current.origin == nullptr || previous.origin == nullptr) return;
    if (current.width != previous.width || current.height != previous.height) return;
    const FilterParams params = MakeFilterParams(threshold);
    if (LeavesUnchanged(params)) return;
    // Whole groups of 4 pixels only; the columns after them stay as they are.
    const int32_t n = current.width / 4 * 4;
    for (int32_t y = 0; y < current.height; ++y) dsp.filter_row(current.Row(y), previous.Row(y), n, params);
}

void CompensatedTemporalFilterWith(const EngineDsp& dsp, Plane& currentPlane, const Plane& previousPlane,
                                   const VectorField& field, int32_t blockWidth, int32_t blockHeight,
                                   int32_t threshold) {
    // Local copies: the kernels' stores and calls could otherwise, as far as
    // the compiler knows, change the descriptors, which would be read again
    // for every block.
    const Plane current = currentPlane, previous = previousPlane;
    const VectorField motion = field;
    if (blockWidth <= 0 || blockHeight <= 0 || motion.origin == nullptr) return;
    int32_t mx = 0, my = 0, px = 0, py = 0;
    if (!PlaneMargins(current, mx, my) || !PlaneMargins(previous, px, py)) return;
    // The previous plane is addressed with the current plane's stride.
    if (current.stride != previous.stride || current.paddedHeight != previous.paddedHeight ||
        current.width != previous.width || current.height != previous.height) {
        return;
    }
    const FilterParams params = MakeFilterParams(threshold);
    if (LeavesUnchanged(params)) return;
    const ptrdiff_t stride = current.stride;
    const int32_t blocksX = motion.width < current.width / blockWidth ? motion.width : current.width / blockWidth;
    const int32_t blocksY =
        motion.height < current.height / blockHeight ? motion.height : current.height / blockHeight;
    const int32_t groupWidth = blockWidth / 4 * 4;
    const bool eight = blockWidth == 8 && blockHeight == 8;
    // A block whose vector would leave the allocation is not followed.
    auto followable = [&](const BlockMotion& m, int64_t x, int64_t y) {
        const int64_t rx = x + m.dx, ry = y + m.dy;
        return m.valid != 0 && rx >= -mx && rx + blockWidth <= current.width + mx && ry >= -my &&
               ry + blockHeight <= current.height + my;
    };
    for (int32_t by = 0; by < blocksY; ++by) {
        // Both planes have usually left the cache during the search: ask for
        // the next block row while this one is filtered.
        if (by + 1 < blocksY) PrefetchRows(current, previous, (by + 1) * blockHeight, blockHeight);
        const int64_t y = static_cast<int64_t>(by) * blockHeight;
        for (int32_t bx = 0; bx < blocksX;) {
            const BlockMotion& m = Record(motion, bx, by);
            const int64_t x = static_cast<int64_t>(bx) * blockWidth;
            if (!followable(m, x, y)) {
                ++bx;
                continue;
            }
            uint8_t* cur = current.origin + y * stride + x;
            const uint8_t* prev = previous.origin + (y + m.dy) * stride + (x + m.dx);
            if (!eight) {
                for (int32_t j = 0; j < blockHeight; ++j) {
                    dsp.filter_row(cur + j * stride, prev + j * stride, groupWidth, params);
                }
                ++bx;
                continue;
            }
            // Neighbours moving alike form one span, filtered in one call:
            // the same per-pixel rule with longer vectors.
            int32_t run = 1;
            while (bx + run < blocksX) {
                const BlockMotion& next = Record(motion, bx + run, by);
                if (next.dx != m.dx || next.dy != m.dy || !followable(next, x + 8 * run, y)) break;
                ++run;
            }
            dsp.filter_blocks_8x8(cur, prev, stride, run, params);
            bx += run;
        }
    }
}

void TemporalFilter(Plane& current, const Plane& previous, int32_t threshold) {
    TemporalFilterWith(ActiveDsp(), current, previous, threshold);
}

void CompensatedTemporalFilter(Plane& current, const Plane& previous, const VectorField& motion,
                               int32_t blockWidth, int32_t blockHeight, int32_t threshold) {
    CompensatedTemporalFilterWith(ActiveDsp(), current, previous, motion, blockWidth, blockHeight, threshold);
}

}  // namespace engine
