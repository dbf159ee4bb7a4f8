// SSE2 forms of the 8x8 block SAD: two block rows per psadbw.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace engine {

namespace {

// Rows p and p + stride, 8 bytes each, side by side in one register.
inline __m128i LoadTwoRows(const uint8_t* p, ptrdiff_t stride) {
    const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(lo), reinterpret_cast<const double*>(p + stride)));
}

inline uint32_t Total(__m128i sums) {
    return static_cast<uint32_t>(_mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

}  // namespace

uint32_t sad_8x8_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride) noexcept {
    const ptrdiff_t two = 2 * stride;
    __m128i sum = _mm_sad_epu8(LoadTwoRows(cur, stride), LoadTwoRows(ref, stride));
    sum = _mm_add_epi64(sum, _mm_sad_epu8(LoadTwoRows(cur + two, stride), LoadTwoRows(ref + two, stride)));
    sum = _mm_add_epi64(sum,
                        _mm_sad_epu8(LoadTwoRows(cur + 2 * two, stride), LoadTwoRows(ref + 2 * two, stride)));
    sum = _mm_add_epi64(sum,
                        _mm_sad_epu8(LoadTwoRows(cur + 3 * two, stride), LoadTwoRows(ref + 3 * two, stride)));
    return Total(sum);
}

void sad_8x8_probes_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, uint32_t out[2]) noexcept {
    const ptrdiff_t two = 2 * stride;
    __m128i right = _mm_setzero_si128();
    __m128i down = _mm_setzero_si128();
    for (int r = 0; r < 4; ++r) {
        const __m128i c = LoadTwoRows(cur + r * two, stride);
        right = _mm_add_epi64(right, _mm_sad_epu8(c, LoadTwoRows(ref + r * two + 1, stride)));
        down = _mm_add_epi64(down, _mm_sad_epu8(c, LoadTwoRows(ref + r * two + stride, stride)));
    }
    out[0] = Total(right);
    out[1] = Total(down);
}

}  // namespace engine
