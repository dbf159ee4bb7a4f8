// SSE2 forms of the 8x8 block SAD: two block rows per psadbw, or a row of
// two neighbouring blocks.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "engine/engine_dsp.h"
#include "engine/x86/sad_sse2.h"

namespace engine {

uint32_t sad_8x8_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride) noexcept {
    const ptrdiff_t two = 2 * stride;
    const __m128i s0 = _mm_sad_epu8(LoadTwoRows(cur, stride), LoadTwoRows(ref, stride));
    const __m128i s1 = _mm_sad_epu8(LoadTwoRows(cur + two, stride), LoadTwoRows(ref + two, stride));
    const __m128i s2 = _mm_sad_epu8(LoadTwoRows(cur + 2 * two, stride), LoadTwoRows(ref + 2 * two, stride));
    const __m128i s3 = _mm_sad_epu8(LoadTwoRows(cur + 3 * two, stride), LoadTwoRows(ref + 3 * two, stride));
    return SadTotal(_mm_add_epi32(_mm_add_epi32(s0, s1), _mm_add_epi32(s2, s3)));
}

void sad_8x8_row_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t blocks,
                      uint32_t* out) noexcept {
    // Two blocks per register: one 16-byte row holds a row of each.
    int32_t i = 0;
    for (; i + 2 <= blocks; i += 2) {
        __m128i sums = _mm_setzero_si128();
        for (int r = 0; r < 8; ++r) {
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + r * stride + 8 * i));
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ref + r * stride + 8 * i));
            sums = _mm_add_epi32(sums, _mm_sad_epu8(c, p));
        }
        out[i] = static_cast<uint32_t>(_mm_cvtsi128_si32(sums));
        out[i + 1] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
    }
    if (i < blocks) out[i] = sad_8x8_sse2(cur + 8 * i, ref + 8 * i, stride);
}

}  // namespace engine
