// AVX2 form of the temporal filter rule: 32 pixels per step in 16-bit lanes,
// the same arithmetic as the SSE2 form. Chosen only when the CPU has AVX2.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "engine/engine_dsp.h"

namespace engine {

void filter_row_sse2(uint8_t* cur, const uint8_t* prev, int32_t n, FilterParams params) noexcept;

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

inline __m128i Load64(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void Store64(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

// Four 8-byte rows in one register: rows 0 and 1 in the low lane, 2 and 3 in the high.
inline __m256i LoadFourRows(const uint8_t* p, ptrdiff_t stride) {
    const __m128i lo = _mm_unpacklo_epi64(Load64(p), Load64(p + stride));
    const __m128i hi = _mm_unpacklo_epi64(Load64(p + 2 * stride), Load64(p + 3 * stride));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

// Two 16-byte rows in one register: row 0 in the low lane, row 1 in the high.
inline __m256i LoadTwoRows16(const uint8_t* p, ptrdiff_t stride) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + stride));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

inline void StoreFourRows(uint8_t* p, ptrdiff_t stride, __m256i v) {
    const __m128i lo = _mm256_castsi256_si128(v);
    const __m128i hi = _mm256_extracti128_si256(v, 1);
    Store64(p, lo);
    Store64(p + stride, _mm_unpackhi_epi64(lo, lo));
    Store64(p + 2 * stride, hi);
    Store64(p + 3 * stride, _mm_unpackhi_epi64(hi, hi));
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

void filter_blocks_8x8_avx2(uint8_t* cur, const uint8_t* prev, ptrdiff_t stride, int32_t blocks,
                            FilterParams params) noexcept {
    const Constants k(params);
    const int32_t width = 8 * blocks;
    int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        for (int r = 0; r < 8; ++r) {
            uint8_t* c0 = cur + r * stride + x;
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c0));
            const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prev + r * stride + x));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(c0), Rule32(c, p, k));
        }
    }
    if (x + 16 <= width) {
        // 16 columns left over: two rows per register.
        for (int r = 0; r < 8; r += 2) {
            uint8_t* c0 = cur + r * stride + x;
            const uint8_t* p0 = prev + r * stride + x;
            const __m256i out = Rule32(LoadTwoRows16(c0, stride), LoadTwoRows16(p0, stride), k);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(c0), _mm256_castsi256_si128(out));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(c0 + stride), _mm256_extracti128_si256(out, 1));
        }
        x += 16;
    }
    if (x < width) {
        // 8 columns left over: four rows per register.
        for (int r = 0; r < 8; r += 4) {
            const __m256i c = LoadFourRows(cur + r * stride + x, stride);
            const __m256i p = LoadFourRows(prev + r * stride + x, stride);
            StoreFourRows(cur + r * stride + x, stride, Rule32(c, p, k));
        }
    }
}

}  // namespace engine
