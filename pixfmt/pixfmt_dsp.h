#pragma once
// Row kernels of the pixel-format conversions, one table per CPU.
#include <cstdint>

#include "platform/cpu.h"

namespace pixfmt {

struct PixfmtDsp {
    // groups: 8-pixel groups (16 packed bytes -> 8 Y, 4 U, 4 V). No alignment
    // required; reads and writes exactly the bytes of those groups.
    void (*split_row)(const uint8_t* packed, uint8_t* y, uint8_t* u, uint8_t* v, int32_t groups);
    void (*pack_row)(uint8_t* packed, const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t groups);

    // pairs: pixel pairs (6 BGR bytes <-> 4 packed bytes Y0 U Y1 V). Full-range
    // 8-bit fixed point, every right shift a floor; results clamped to 0..255.
    // No alignment required; reads and writes exactly the bytes of those
    // pairs, so an odd last pixel is never touched. Source and destination
    // must not overlap.
    void (*rgb_to_packed_row)(const uint8_t* rgb, uint8_t* packed, int32_t pairs);
    void (*packed_to_rgb_row)(const uint8_t* packed, uint8_t* rgb, int32_t pairs);
};

void split_row_c(const uint8_t* packed, uint8_t* y, uint8_t* u, uint8_t* v, int32_t groups);
void pack_row_c(uint8_t* packed, const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t groups);
void rgb_to_packed_row_c(const uint8_t* rgb, uint8_t* packed, int32_t pairs);
void packed_to_rgb_row_c(const uint8_t* packed, uint8_t* rgb, int32_t pairs);

#if defined(ORV_SIMD)
void split_row_sse2(const uint8_t* packed, uint8_t* y, uint8_t* u, uint8_t* v, int32_t groups);
void pack_row_sse2(uint8_t* packed, const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t groups);
void rgb_to_packed_row_sse2(const uint8_t* rgb, uint8_t* packed, int32_t pairs);
void packed_to_rgb_row_sse2(const uint8_t* packed, uint8_t* rgb, int32_t pairs);
void split_row_avx2(const uint8_t* packed, uint8_t* y, uint8_t* u, uint8_t* v, int32_t groups);
#endif

// Fills every slot with the scalar reference, then upgrades what flags allow.
void pixfmt_dsp_init(PixfmtDsp& dsp, platform::CpuFlags flags);

// The table chosen once for this process.
const PixfmtDsp& ActiveDsp();

}  // namespace pixfmt
