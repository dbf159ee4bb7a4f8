// AVX2 form of the 4:2:2 split: four 8-pixel groups per step, one in-lane
// byte shuffle and one cross-lane permute for each output. Fewer groups at
// the end of a row go to the SSE2 form. Chosen only when the CPU has AVX2.
// (Packing gains nothing from AVX2: its SSE2 form is already bound by the
// stores.)
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "pixfmt/pixfmt_dsp.h"

namespace pixfmt {

void split_row_avx2(const uint8_t* packed, uint8_t* y, uint8_t* u, uint8_t* v,
                    int32_t groups) noexcept {
    // Per 16-byte group Y0 U0 Y1 V0 ...: the eight Y, then the four U, then the four V.
    const __m256i gather = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 5, 9, 13, 3, 7, 11, 15));
    // After the 64-bit unpack the chroma dwords are U0 V0 U2 V2 | U1 V1 U3 V3 (by group).
    const __m256i chromaOrder = _mm256_setr_epi32(0, 4, 2, 6, 1, 5, 3, 7);
    int32_t g = 0;
    for (; g + 4 <= groups; g += 4) {
        const __m256i a = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(packed + 16 * static_cast<ptrdiff_t>(g))), gather);
        const __m256i b = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(packed + 16 * static_cast<ptrdiff_t>(g) + 32)),
            gather);
        // Luma of groups 0 2 | 1 3, put in order across the lanes.
        const __m256i luma = _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(a, b), _MM_SHUFFLE(3, 1, 2, 0));
        const __m256i chroma = _mm256_permutevar8x32_epi32(_mm256_unpackhi_epi64(a, b), chromaOrder);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y + 8 * g), luma);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + 4 * g), _mm256_castsi256_si128(chroma));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + 4 * g), _mm256_extracti128_si256(chroma, 1));
    }
    if (g < groups) split_row_sse2(packed + 16 * static_cast<ptrdiff_t>(g), y + 8 * g, u + 4 * g, v + 4 * g, groups - g);
}

}  // namespace pixfmt
