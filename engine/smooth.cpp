// Vertical low-pass of the luma plane ahead of the motion search.
#include <cassert>
#include <cstring>

#include "engine/engine.h"
#include "engine/engine_dsp.h"

namespace engine {

void smooth_row_c(uint8_t* dst, const uint8_t* above, const uint8_t* mid, const uint8_t* below,
                  int32_t n) noexcept {
    assert(n >= 0);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t outer = (above[i] + below[i] + 1) >> 1;
        dst[i] = static_cast<uint8_t>((outer + mid[i] + 1) >> 1);
    }
}

void SmoothVerticallyWith(const EngineDsp& dsp, const Plane& source, Plane& target, int32_t firstRow,
                          int32_t rowCount) {
    if (source.origin == nullptr || target.origin == nullptr || source.origin == target.origin) return;
    if (source.width != target.width || source.height != target.height) return;
    const int32_t n = source.width / 8 * 8;
    const int32_t h = source.height;
    if (n == 0) return;
    const RowSpan rows = ClipRows(firstRow, rowCount, h);
    for (int32_t r = rows.begin; r < rows.end; ++r) {
        if (r == 0 || r == h - 1) {
            std::memcpy(target.Row(r), source.Row(r), static_cast<size_t>(n));
        } else {
            dsp.smooth_row(target.Row(r), source.Row(r - 1), source.Row(r), source.Row(r + 1), n);
        }
    }
}

void SmoothVerticallyWith(const EngineDsp& dsp, const Plane& source, Plane& target) {
    SmoothVerticallyWith(dsp, source, target, 0, source.height);
}

void SmoothVertically(const Plane& source, Plane& target) { SmoothVerticallyWith(ActiveDsp(), source, target); }

void SmoothVerticallyRows(const Plane& source, Plane& target, int32_t firstRow, int32_t rowCount) {
    SmoothVerticallyWith(ActiveDsp(), source, target, firstRow, rowCount);
}

}  // namespace engine
