// SSE2 form of the vertical smoothing row: pavgb rounds up as required.
#include <emmintrin.h>

#include <cstdint>

#include "engine/engine_dsp.h"

namespace engine {

void smooth_row_sse2(uint8_t* dst, const uint8_t* above, const uint8_t* mid, const uint8_t* below,
                     int32_t n) noexcept {
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + i));
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mid + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_avg_epu8(_mm_avg_epu8(a, b), m));
    }
    if (i + 8 <= n) {
        const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(above + i));
        const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(below + i));
        const __m128i m = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(mid + i));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), _mm_avg_epu8(_mm_avg_epu8(a, b), m));
        i += 8;
    }
    for (; i < n; ++i) {
        const int32_t outer = (above[i] + below[i] + 1) >> 1;
        dst[i] = static_cast<uint8_t>((outer + mid[i] + 1) >> 1);
    }
}

}  // namespace engine
