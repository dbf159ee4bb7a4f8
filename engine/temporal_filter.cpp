// The recursive temporal filter, plain and along the block motion vectors.
#include <cassert>
#include <cstring>

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

void filter_row_c(uint8_t* cur, const uint8_t* prev, int32_t n, FilterParams params) noexcept {
    assert(n >= 0 && params.threshold >= 0 && params.threshold <= 32767);
    for (int32_t i = 0; i < n; ++i) cur[i] = FilterPixel(cur[i], prev[i], params);
}

void TemporalFilterWith(const EngineDsp& dsp, Plane& current, const Plane& previous, int32_t threshold,
                        int32_t firstRow, int32_t rowCount) {
    if (current.origin == nullptr || previous.origin == nullptr) return;
    if (current.width != previous.width || current.height != previous.height) return;
    const FilterParams params = MakeFilterParams(threshold);
    if (LeavesUnchanged(params)) return;
    const RowSpan rows = ClipRows(firstRow, rowCount, current.height);
    // Whole groups of 4 pixels only; the columns after them stay as they are.
    const int32_t n = current.width / 4 * 4;
    for (int32_t y = rows.begin; y < rows.end; ++y) dsp.filter_row(current.Row(y), previous.Row(y), n, params);
}

void TemporalFilterWith(const EngineDsp& dsp, Plane& current, const Plane& previous, int32_t threshold) {
    TemporalFilterWith(dsp, current, previous, threshold, 0, current.height);
}

void CompensatedTemporalFilterWith(const EngineDsp& dsp, Plane& currentPlane, const Plane& previousPlane,
                                   const VectorField& field, int32_t blockWidth, int32_t blockHeight,
                                   int32_t threshold, int32_t firstBlockRow, int32_t blockRowCount) {
    // Local copies: the kernels' stores and calls could otherwise, as far as
    // the compiler knows, change the descriptors, which would be read again
    // for every block.
    const Plane current = currentPlane, previous = previousPlane;
    const VectorField motion = field;
    if (blockWidth <= 0 || blockHeight <= 0 || motion.origin == nullptr) return;
    // The previous plane is addressed with the current plane's stride.
    int32_t mx = 0, my = 0;
    if (!SamePaddedGeometry(current, previous, mx, my)) return;
    const FilterParams params = MakeFilterParams(threshold);
    if (LeavesUnchanged(params)) return;
    const ptrdiff_t stride = current.stride;
    const int32_t blocksX = motion.width < current.width / blockWidth ? motion.width : current.width / blockWidth;
    const int32_t blocksY =
        motion.height < current.height / blockHeight ? motion.height : current.height / blockHeight;
    const RowSpan blockRows = ClipRows(firstBlockRow, blockRowCount, blocksY);
    const int32_t groupWidth = blockWidth / 4 * 4;
    const bool eight = blockWidth == 8 && blockHeight == 8;
    // A block whose vector would leave the allocation is not followed.
    // Evaluated without branches: which blocks are followed is as random as
    // the noise.
    auto followable = [&](const BlockMotion& m, int64_t x, int64_t y) ORV_ENGINE_INLINE {
        const int64_t rx = x + m.dx, ry = y + m.dy;
        return static_cast<uint32_t>(m.valid != 0) & static_cast<uint32_t>(rx >= -mx) &
               static_cast<uint32_t>(rx + blockWidth <= current.width + mx) & static_cast<uint32_t>(ry >= -my) &
               static_cast<uint32_t>(ry + blockHeight <= current.height + my);
    };
    for (int32_t by = blockRows.begin; by < blockRows.end; ++by) {
        // Both planes have usually left the cache during the search: ask for
        // the next block row while this one is filtered.
        if (by + 1 < blocksY) PrefetchRows(current, previous, (by + 1) * blockHeight, blockHeight);
        const int64_t y = static_cast<int64_t>(by) * blockHeight;
        uint8_t* const curRow = current.origin + y * stride;
        if (!eight) {
            for (int32_t bx = 0; bx < blocksX; ++bx) {
                const BlockMotion& m = Record(motion, bx, by);
                const int64_t x = static_cast<int64_t>(bx) * blockWidth;
                if (!followable(m, x, y)) continue;
                const uint8_t* prev = previous.origin + (y + m.dy) * stride + (x + m.dx);
                for (int32_t j = 0; j < blockHeight; ++j) {
                    dsp.filter_row(curRow + x + j * stride, prev + j * stride, groupWidth, params);
                }
            }
            continue;
        }
        // Each block row is filtered a row at a time at the kernels' full
        // width, against a scratch row gathered block by block along the
        // vectors. A block that is not followed gathers its own pixels,
        // which the rule gives back unchanged, so no branch depends on which
        // blocks are followed: that is as random as the noise.
        constexpr int32_t kStretch = 64;
        alignas(32) uint8_t gathered[8][kStretch * 8];
        uint8_t* const prevRow = previous.origin + y * stride;
        for (int32_t bx0 = 0; bx0 < blocksX; bx0 += kStretch) {
            const int32_t count = blocksX - bx0 < kStretch ? blocksX - bx0 : kStretch;
            for (int32_t i = 0; i < count; ++i) {
                const BlockMotion& m = Record(motion, bx0 + i, by);
                const int64_t x = static_cast<int64_t>(bx0 + i) * 8;
                const bool followed = followable(m, x, y) != 0;
                const int64_t offset = static_cast<int64_t>(m.dy) * stride + m.dx;
                const uint8_t* const source = (followed ? prevRow + offset : curRow) + x;
                for (int j = 0; j < 8; ++j) std::memcpy(&gathered[j][8 * i], source + j * stride, 8);
            }
            for (int j = 0; j < 8; ++j) {
                dsp.filter_row(curRow + j * stride + 8 * static_cast<ptrdiff_t>(bx0), gathered[j], 8 * count, params);
            }
        }
    }
}

void TemporalFilter(Plane& current, const Plane& previous, int32_t threshold) {
    TemporalFilterWith(ActiveDsp(), current, previous, threshold);
}

void TemporalFilterRows(Plane& current, const Plane& previous, int32_t threshold, int32_t firstRow,
                        int32_t rowCount) {
    TemporalFilterWith(ActiveDsp(), current, previous, threshold, firstRow, rowCount);
}

void CompensatedTemporalFilterWith(const EngineDsp& dsp, Plane& current, const Plane& previous,
                                   const VectorField& motion, int32_t blockWidth, int32_t blockHeight,
                                   int32_t threshold) {
    CompensatedTemporalFilterWith(dsp, current, previous, motion, blockWidth, blockHeight, threshold, 0,
                                  motion.height);
}

void CompensatedTemporalFilter(Plane& current, const Plane& previous, const VectorField& motion,
                               int32_t blockWidth, int32_t blockHeight, int32_t threshold) {
    CompensatedTemporalFilterWith(ActiveDsp(), current, previous, motion, blockWidth, blockHeight, threshold);
}

void CompensatedTemporalFilterRows(Plane& current, const Plane& previous, const VectorField& motion,
                                   int32_t blockWidth, int32_t blockHeight, int32_t threshold,
                                   int32_t firstBlockRow, int32_t blockRowCount) {
    CompensatedTemporalFilterWith(ActiveDsp(), current, previous, motion, blockWidth, blockHeight, threshold,
                                  firstBlockRow, blockRowCount);
}

}  // namespace engine
