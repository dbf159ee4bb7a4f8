#pragma once
// Row kernels of the pixel-format conversions, one table per CPU.
#include <cstdint>

#include "base/cpu.h"

namespace pixfmt {

// Each kernel's signature, declared once: the table's slot, the scalar
// reference and every variant are declared with it.

// groups: 8-pixel groups (16 packed bytes -> 8 Y, 4 U, 4 V). No alignment
// required; reads and writes exactly the bytes of those groups.
using SplitRowFn = void(const uint8_t* packed, uint8_t* y, uint8_t* u, uint8_t* v, int32_t groups) noexcept;
using PackRowFn = void(uint8_t* packed, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                       int32_t groups) noexcept;

// pairs: pixel pairs (6 BGR bytes <-> 4 packed bytes Y0 U Y1 V). Full-range
// 8-bit fixed point, every right shift a floor; results clamped to 0..255.
// No alignment required; reads and writes exactly the bytes of those pairs,
// so an odd last pixel is never touched. Source and destination must not
// overlap.
using RgbToPackedRowFn = void(const uint8_t* rgb, uint8_t* packed, int32_t pairs) noexcept;
using PackedToRgbRowFn = void(const uint8_t* packed, uint8_t* rgb, int32_t pairs) noexcept;

struct PixfmtDsp {
    SplitRowFn* split_row;
    PackRowFn* pack_row;
    RgbToPackedRowFn* rgb_to_packed_row;
    PackedToRgbRowFn* packed_to_rgb_row;
};

// The scalar references.
SplitRowFn split_row_c;
PackRowFn pack_row_c;
RgbToPackedRowFn rgb_to_packed_row_c;
PackedToRgbRowFn packed_to_rgb_row_c;

#if defined(ORV_SIMD)
// The x86 forms, in pixfmt/x86/.
SplitRowFn split_row_sse2, split_row_avx2;
PackRowFn pack_row_sse2;
RgbToPackedRowFn rgb_to_packed_row_sse2;
PackedToRgbRowFn packed_to_rgb_row_sse2;
#endif

// Fills every slot with the scalar reference, then upgrades what flags allow.
void pixfmt_dsp_init(PixfmtDsp& dsp, base::CpuFlags flags);

// The table chosen once for this process.
const PixfmtDsp& ActiveDsp();

}  // namespace pixfmt
