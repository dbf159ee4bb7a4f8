// Bottom-up 24-bit BGR <-> packed 4:2:2 with full-range BT.601 coefficients
// in 8-bit fixed point. No rounding offsets: every >> 8 is a floor.
#include <cassert>
#include <cstddef>

#include "pixfmt/pixfmt.h"
#include "pixfmt/pixfmt_dsp.h"

namespace pixfmt {

// The chroma sums are negative as often as not; the conversions rely on >>
// being an arithmetic shift (floor), which every supported compiler provides.
static_assert((-1 >> 1) == -1 && (-257 >> 8) == -2, "arithmetic right shift required");

namespace {

inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

}  // namespace

void rgb_to_packed_row_c(const uint8_t* rgb, uint8_t* packed, int32_t pairs) noexcept {
    assert(pairs >= 0);
    for (int32_t k = 0; k < pairs; ++k) {
        const uint8_t* p = rgb + 6 * static_cast<ptrdiff_t>(k);
        const int32_t ba = p[0], ga = p[1], ra = p[2];
        const int32_t bb = p[3], gb = p[4], rb = p[5];
        // The weights add up to 256, so luma needs no clamp.
        const int32_t ya = (77 * ra + 150 * ga + 29 * ba) >> 8;
        const int32_t yb = (77 * rb + 150 * gb + 29 * bb) >> 8;
        const int32_t r = (ra + rb) >> 1, g = (ga + gb) >> 1, b = (ba + bb) >> 1;
        const int32_t u = ((128 * b - 85 * g - 43 * r) >> 8) + 128;
        const int32_t v = ((128 * r - 107 * g - 21 * b) >> 8) + 128;
        uint8_t* q = packed + 4 * static_cast<ptrdiff_t>(k);
        q[0] = static_cast<uint8_t>(ya);
        q[1] = Clamp255(u);
        q[2] = static_cast<uint8_t>(yb);
        q[3] = Clamp255(v);
    }
}

void packed_to_rgb_row_c(const uint8_t* packed, uint8_t* rgb, int32_t pairs) noexcept {
    assert(pairs >= 0);
    for (int32_t k = 0; k < pairs; ++k) {
        const uint8_t* q = packed + 4 * static_cast<ptrdiff_t>(k);
        const int32_t u = q[1] - 128, v = q[3] - 128;
        // Each chroma term is floored on its own, shared by both pixels.
        const int32_t cb = (454 * u) >> 8;
        const int32_t cg = ((-86 * u) >> 8) + ((-183 * v) >> 8);
        const int32_t cr = (359 * v) >> 8;
        uint8_t* p = rgb + 6 * static_cast<ptrdiff_t>(k);
        for (int i = 0; i < 2; ++i) {
            const int32_t y = q[2 * i];
            p[3 * i + 0] = Clamp255(y + cb);
            p[3 * i + 1] = Clamp255(y + cg);
            p[3 * i + 2] = Clamp255(y + cr);
        }
    }
}

// Image row y (0 = top) of the packed frame is the RGB row stored at
// (height - 1 - y) * width * 3. An odd last pixel belongs to no pair and is
// left alone. Frames narrower than one pair or without rows are not touched.
void RgbToPacked(const uint8_t* rgb, uint8_t* packed, const Geometry& geometry) {
    if (rgb == nullptr || packed == nullptr || geometry.width < 2 || geometry.height < 1) return;
    const PixfmtDsp& dsp = ActiveDsp();
    const size_t rgbRow = static_cast<size_t>(geometry.width) * 3;
    const size_t packedRow = static_cast<size_t>(geometry.width) * 2;
    const int32_t pairs = geometry.width / 2;
    for (int32_t y = 0; y < geometry.height; ++y) {
        const size_t stored = static_cast<size_t>(geometry.height - 1 - y);
        dsp.rgb_to_packed_row(rgb + stored * rgbRow, packed + static_cast<size_t>(y) * packedRow, pairs);
    }
}

void PackedToRgb(const uint8_t* packed, uint8_t* rgb, const Geometry& geometry) {
    if (rgb == nullptr || packed == nullptr || geometry.width < 2 || geometry.height < 1) return;
    const PixfmtDsp& dsp = ActiveDsp();
    const size_t rgbRow = static_cast<size_t>(geometry.width) * 3;
    const size_t packedRow = static_cast<size_t>(geometry.width) * 2;
    const int32_t pairs = geometry.width / 2;
    for (int32_t y = 0; y < geometry.height; ++y) {
        const size_t stored = static_cast<size_t>(geometry.height - 1 - y);
        dsp.packed_to_rgb_row(packed + static_cast<size_t>(y) * packedRow, rgb + stored * rgbRow, pairs);
    }
}

}  // namespace pixfmt
