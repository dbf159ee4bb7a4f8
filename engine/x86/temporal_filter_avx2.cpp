// AVX2 form of the temporal filter rule: 32 pixels per step in 16-bit lanes,
// the same arithmetic as the SSE2 form. Chosen only when the CPU has AVX2.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "engine/engine_dsp.h"

namespace engine {

namespace {

struct Constants {
    __m256i gain;
    __m256i threshold;
    __m256i one;  // 16384, a weight of 1
    __m256i zero;
    explicit Constants(FilterParams p)
        : gain(_mm256_set1_epi16(static_cast<int16_t>(p.gain))),
          threshold(_mm256_set1_epi16(static_cast<int16_t>(p.threshold))),
          one(_mm256_set1_epi16(16384)),
          zero(_mm256_setzero_si256()) {}
};

inline __m256i Rule(__m256i c, __m256i p, const Constants& k) {
    const __m256i d = _mm256_sub_epi16(c, p);
    const __m256i a = _mm256_abs_epi16(d);
    const __m256i below = _mm256_cmpgt_epi16(k.threshold, a);
    const __m256i weight = _mm256_blendv_epi8(k.one, _mm256_mullo_epi16(a, k.gain), below);
    const __m256i high = _mm256_mulhi_epi16(_mm256_slli_epi16(d, 2), weight);
    // Where the correction is 0 the output is c = p + d.
    const __m256i keep = _mm256_and_si256(_mm256_cmpeq_epi16(high, k.zero), d);
    return _mm256_add_epi16(p, _mm256_add_epi16(high, keep));
}

// The rule on 32 pixels held as bytes (unpacking and packing stay within
// each 128-bit lane, so the byte order comes back unchanged).
inline __m256i Rule32(__m256i c, __m256i p, const Constants& k) {
    const __m256i lo = Rule(_mm256_unpacklo_epi8(c, k.zero), _mm256_unpacklo_epi8(p, k.zero), k);
    const __m256i hi = Rule(_mm256_unpackhi_epi8(c, k.zero), _mm256_unpackhi_epi8(p, k.zero), k);
    return _mm256_packus_epi16(lo, hi);
}

}  // namespace

void filter_row_avx2(uint8_t* cur, const uint8_t* prev, int32_t n, FilterParams params) noexcept {
    if (n < 32) {
        // Under 32 pixels: the 16-, 8- and 4-pixel steps.
        if (n > 0) filter_row_sse2(cur, prev, n, params);
        return;
    }
    const Constants k(params);
    // The last 32 pixels are filtered from their inputs as they are now,
    // before the loop rewrites any of them, and stored last: where they
    // overlap the loop's final step both store the same outputs, since each
    // output depends on its own two inputs only.
    const int32_t last = n - 32;
    const __m256i lastOut = Rule32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(cur + last)),
                                   _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prev + last)), k);
    for (int32_t i = 0; i < last; i += 32) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cur + i));
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prev + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(cur + i), Rule32(c, p, k));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(cur + last), lastOut);
}

}  // namespace engine
