#include "gst/component_copy.h"

#include <cstddef>

namespace orvgst {

// Plain loops: only the formats that need a copy (UYVY, NV12, YUY2 with
// padded rows) come here, and the filter itself costs far more per sample.
void GatherComponent(const ComponentView& from, uint8_t* plane, int32_t planeStride) {
    for (int32_t y = 0; y < from.height; ++y) {
        const uint8_t* src = from.data + static_cast<ptrdiff_t>(y) * from.rowStride;
        uint8_t* dst = plane + static_cast<ptrdiff_t>(y) * planeStride;
        for (int32_t x = 0; x < from.width; ++x) dst[x] = src[static_cast<ptrdiff_t>(x) * from.pixelStride];
    }
}

void ScatterComponent(const uint8_t* plane, int32_t planeStride, const ComponentView& to) {
    for (int32_t y = 0; y < to.height; ++y) {
        const uint8_t* src = plane + static_cast<ptrdiff_t>(y) * planeStride;
        uint8_t* dst = to.data + static_cast<ptrdiff_t>(y) * to.rowStride;
        for (int32_t x = 0; x < to.width; ++x) dst[static_cast<ptrdiff_t>(x) * to.pixelStride] = src[x];
    }
}

}  // namespace orvgst
