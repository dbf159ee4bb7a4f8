#pragma once
// Moves one colour component between an interleaved image (YUY2, UYVY, the
// UV plane of NV12) and a plane of its own, so that the planar denoiser can
// work on it.
#include <cstdint>

namespace orvgst {

// One component of an image: `width` x `height` samples, `pixelStride` bytes
// apart in a row, rows `rowStride` bytes apart, the first sample at `data`.
struct ComponentView {
    uint8_t* data;
    int32_t pixelStride;
    int32_t rowStride;
    int32_t width;
    int32_t height;
};

// Copies the component into a plane whose rows are `planeStride` bytes
// apart (at least the width). Reads exactly the samples the view names.
void GatherComponent(const ComponentView& from, uint8_t* plane, int32_t planeStride);

// The inverse: writes exactly the samples the view names, nothing between
// them, so the other components of the image keep their bytes.
void ScatterComponent(const uint8_t* plane, int32_t planeStride, const ComponentView& to);

}  // namespace orvgst
