// SSE2 form of the temporal filter rule: 16 pixels per step in 16-bit lanes,
// with pmulhw giving the floor of the high half of the product.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/engine_dsp.h"

namespace engine {

namespace {

struct Constants {
    __m128i gain;
    __m128i threshold;
    __m128i one;  // 16384, a weight of 1
    __m128i zero;
    explicit Constants(FilterParams p)
        : gain(_mm_set1_epi16(static_cast<int16_t>(p.gain))),
          threshold(_mm_set1_epi16(static_cast<int16_t>(p.threshold))),
          one(_mm_set1_epi16(16384)),
          zero(_mm_setzero_si128()) {}
};

// The rule on 8 pixels held as words.
inline __m128i Rule(__m128i c, __m128i p, const Constants& k) {
    const __m128i d = _mm_sub_epi16(c, p);
    const __m128i a = _mm_max_epi16(d, _mm_sub_epi16(k.zero, d));
    const __m128i below = _mm_cmpgt_epi16(k.threshold, a);
    const __m128i weight = _mm_or_si128(_mm_and_si128(below, _mm_mullo_epi16(a, k.gain)),
                                        _mm_andnot_si128(below, k.one));
    const __m128i high = _mm_mulhi_epi16(_mm_slli_epi16(d, 2), weight);
    // Where the correction is 0 the output is c = p + d.
    const __m128i keep = _mm_and_si128(_mm_cmpeq_epi16(high, k.zero), d);
    return _mm_add_epi16(p, _mm_add_epi16(high, keep));
}

// The rule on 16 pixels held as bytes.
inline __m128i Rule16(__m128i c, __m128i p, const Constants& k) {
    const __m128i lo = Rule(_mm_unpacklo_epi8(c, k.zero), _mm_unpacklo_epi8(p, k.zero), k);
    const __m128i hi = Rule(_mm_unpackhi_epi8(c, k.zero), _mm_unpackhi_epi8(p, k.zero), k);
    return _mm_packus_epi16(lo, hi);
}

// The rule on 8 pixels held as the low bytes.
inline __m128i Rule8(__m128i c, __m128i p, const Constants& k) {
    const __m128i r = Rule(_mm_unpacklo_epi8(c, k.zero), _mm_unpacklo_epi8(p, k.zero), k);
    return _mm_packus_epi16(r, r);
}

inline __m128i Load64(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void Store64(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

}  // namespace

void filter_row_sse2(uint8_t* cur, const uint8_t* prev, int32_t n, FilterParams params) noexcept {
    const Constants k(params);
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + i));
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cur + i), Rule16(c, p, k));
    }
    if (i + 8 <= n) {
        Store64(cur + i, Rule8(Load64(cur + i), Load64(prev + i), k));
        i += 8;
    }
    if (i + 4 <= n) {
        int32_t cw, pw;
        std::memcpy(&cw, cur + i, 4);
        std::memcpy(&pw, prev + i, 4);
        const int32_t out = _mm_cvtsi128_si32(Rule8(_mm_cvtsi32_si128(cw), _mm_cvtsi32_si128(pw), k));
        std::memcpy(cur + i, &out, 4);
        i += 4;
    }
    for (; i < n; ++i) cur[i] = FilterPixel(cur[i], prev[i], params);
}

}  // namespace engine
