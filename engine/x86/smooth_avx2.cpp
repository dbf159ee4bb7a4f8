// AVX2 form of the vertical smoothing row: 32 pixels per step with the same
// rounding-up byte averages; the rest of the row goes to the SSE2 form.
// Chosen only when the CPU has AVX2.
#include <immintrin.h>

#include <cstdint>

#include "engine/engine_dsp.h"

namespace engine {

void smooth_row_avx2(uint8_t* dst, const uint8_t* above, const uint8_t* mid, const uint8_t* below,
                     int32_t n) noexcept {
    int32_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(above + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(below + i));
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_avg_epu8(_mm256_avg_epu8(a, b), m));
    }
    if (i < n) smooth_row_sse2(dst + i, above + i, mid + i, below + i, n - i);
}

}  // namespace engine
