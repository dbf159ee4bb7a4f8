// The 8x8 sum of absolute differences and the block cost built on it.
#include <cassert>
#include <cstdlib>

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

void sad_8x8_row_c(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t blocks,
                   uint32_t* out) noexcept {
    for (int32_t i = 0; i < blocks; ++i) out[i] = sad_8x8_c(cur + 8 * i, ref + 8 * i, stride);
}

uint32_t sad_8x8_c(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride) noexcept {
    uint32_t sum = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) sum += static_cast<uint32_t>(std::abs(cur[x] - ref[x]));
        cur += stride;
        ref += stride;
    }
    return sum;
}

uint32_t BlockCost(const Plane& current, const Plane& reference, int32_t bx, int32_t by, int32_t dx,
                   int32_t dy) {
    // Both blocks must lie inside their allocations; the reference is
    // addressed with the current plane's stride.
    int32_t mx = 0, my = 0;
    if (!SamePaddedGeometry(current, reference, mx, my)) return kMaxBlockCost;
    const int64_t x = 8 * static_cast<int64_t>(bx), y = 8 * static_cast<int64_t>(by);
    auto inside = [&](int64_t px, int64_t py) {
        return px >= -mx && px + 8 <= current.width + mx && py >= -my && py + 8 <= current.height + my;
    };
    if (!inside(x, y) || !inside(x + dx, y + dy)) return kMaxBlockCost;
    const uint8_t* cur = current.origin + y * current.stride + x;
    const uint8_t* ref = reference.origin + (y + dy) * current.stride + (x + dx);
    return ActiveDsp().sad_8x8(cur, ref, current.stride);
}

}  // namespace engine
