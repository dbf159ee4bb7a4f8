#pragma once
// Loads and sums shared by the SSE2 SAD and search kernels. Internal to
// engine/x86/.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace engine {

// Rows p and p + stride, 8 bytes each, side by side in one register.
inline __m128i LoadTwoRows(const uint8_t* p, ptrdiff_t stride) {
    const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(lo), reinterpret_cast<const double*>(p + stride)));
}

// The total of psadbw's two partial sums.
inline uint32_t SadTotal(__m128i sums) {
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_add_epi32(sums, _mm_unpackhi_epi64(sums, sums))));
}

}  // namespace engine
