// SSE2 forms of the 4:2:2 split and pack: two 8-pixel groups per step, then
// single groups with narrower loads, so nothing beyond the groups is touched.
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "pixfmt/pixfmt_dsp.h"

namespace pixfmt {

namespace {

inline __m128i Load64(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Load32(const uint8_t* p) {
    int32_t w;
    std::memcpy(&w, p, 4);
    return _mm_cvtsi32_si128(w);
}
inline void Store64(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
inline void Store32(uint8_t* p, __m128i v) {
    int32_t w = _mm_cvtsi128_si32(v);
    std::memcpy(p, &w, 4);
}

}  // namespace

void split_row_sse2(const uint8_t* packed, uint8_t* y, uint8_t* u, uint8_t* v,
                    int32_t groups) noexcept {
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    const __m128i zero = _mm_setzero_si128();
    int32_t g = 0;
    for (; g + 2 <= groups; g += 2) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(packed + 16 * g));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(packed + 16 * g + 16));
        __m128i luma = _mm_packus_epi16(_mm_and_si128(a, lowBytes), _mm_and_si128(b, lowBytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y + 8 * g), luma);
        // The odd bytes are U V U V ...; separate them the same way once more.
        __m128i chroma = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
        Store64(u + 4 * g, _mm_packus_epi16(_mm_and_si128(chroma, lowBytes), zero));
        Store64(v + 4 * g, _mm_packus_epi16(_mm_srli_epi16(chroma, 8), zero));
    }
    for (; g < groups; ++g) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(packed + 16 * g));
        Store64(y + 8 * g, _mm_packus_epi16(_mm_and_si128(a, lowBytes), zero));
        __m128i chroma = _mm_packus_epi16(_mm_srli_epi16(a, 8), zero);
        Store32(u + 4 * g, _mm_packus_epi16(_mm_and_si128(chroma, lowBytes), zero));
        Store32(v + 4 * g, _mm_packus_epi16(_mm_srli_epi16(chroma, 8), zero));
    }
}

void pack_row_sse2(uint8_t* packed, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                   int32_t groups) noexcept {
    int32_t g = 0;
    for (; g + 2 <= groups; g += 2) {
        __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 8 * g));
        __m128i chroma = _mm_unpacklo_epi8(Load64(u + 4 * g), Load64(v + 4 * g));  // U V U V ...
        _mm_storeu_si128(reinterpret_cast<__m128i*>(packed + 16 * g), _mm_unpacklo_epi8(luma, chroma));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(packed + 16 * g + 16), _mm_unpackhi_epi8(luma, chroma));
    }
    for (; g < groups; ++g) {
        __m128i chroma = _mm_unpacklo_epi8(Load32(u + 4 * g), Load32(v + 4 * g));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(packed + 16 * g), _mm_unpacklo_epi8(Load64(y + 8 * g), chroma));
    }
}

}  // namespace pixfmt
