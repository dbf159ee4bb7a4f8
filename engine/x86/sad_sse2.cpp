// SSE2 forms of the 8x8 block SAD and of the per-block search: two block
// rows per psadbw; the search keeps the current block in registers.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "engine/engine_dsp.h"
#include "engine/search_block.h"

namespace engine {

namespace {

// Rows p and p + stride, 8 bytes each, side by side in one register.
inline __m128i LoadTwoRows(const uint8_t* p, ptrdiff_t stride) {
    const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(lo), reinterpret_cast<const double*>(p + stride)));
}

inline uint32_t Total(__m128i sums) {
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_add_epi32(sums, _mm_unpackhi_epi64(sums, sums))));
}

// The current block as four row pairs, measured against any reference spot;
// the partial sums are added as a tree to keep the dependency chain short.
struct Sse2Costs {
    Sse2Costs(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride) : ref(ref), stride(stride) {
        for (int r = 0; r < 4; ++r) rows[r] = LoadTwoRows(cur + 2 * r * stride, stride);
    }
    const uint8_t* Ref(Vector v) const { return ref + v.y * stride + v.x; }
    __m128i Sums(const uint8_t* q) const {
        const ptrdiff_t two = 2 * stride;
        const __m128i s0 = _mm_sad_epu8(rows[0], LoadTwoRows(q, stride));
        const __m128i s1 = _mm_sad_epu8(rows[1], LoadTwoRows(q + two, stride));
        const __m128i s2 = _mm_sad_epu8(rows[2], LoadTwoRows(q + 2 * two, stride));
        const __m128i s3 = _mm_sad_epu8(rows[3], LoadTwoRows(q + 3 * two, stride));
        return _mm_add_epi32(_mm_add_epi32(s0, s1), _mm_add_epi32(s2, s3));
    }
    uint32_t At(Vector v) const { return Total(Sums(Ref(v))); }
    void AtTwo(Vector a, Vector b, uint32_t out[2]) const {
        const __m128i sa = Sums(Ref(a));
        const __m128i sb = Sums(Ref(b));
        out[0] = Total(sa);
        out[1] = Total(sb);
    }
    void Probes(Vector v, uint32_t out[2]) const {
        const uint8_t* q = Ref(v);
        const __m128i right = Sums(q + 1);
        const __m128i down = Sums(q + stride);
        out[0] = Total(right);
        out[1] = Total(down);
    }
    void Triple(Vector v, uint32_t out[3]) const {
        const uint8_t* q = Ref(v);
        const __m128i centre = Sums(q);
        const __m128i right = Sums(q + 1);
        const __m128i down = Sums(q + stride);
        out[0] = Total(centre);
        out[1] = Total(right);
        out[2] = Total(down);
    }
    void Quad(Vector c2, Vector c1, uint32_t out[4]) const {
        const uint8_t* q = Ref(c2);
        const __m128i centre = Sums(q);
        const __m128i right = Sums(q + 1);
        const __m128i down = Sums(q + stride);
        const __m128i shortStep = Sums(Ref(c1));
        out[0] = Total(centre);
        out[1] = Total(right);
        out[2] = Total(down);
        out[3] = Total(shortStep);
    }

    __m128i rows[4];
    const uint8_t* ref;
    ptrdiff_t stride;
};

}  // namespace

uint32_t sad_8x8_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride) noexcept {
    const ptrdiff_t two = 2 * stride;
    const __m128i s0 = _mm_sad_epu8(LoadTwoRows(cur, stride), LoadTwoRows(ref, stride));
    const __m128i s1 = _mm_sad_epu8(LoadTwoRows(cur + two, stride), LoadTwoRows(ref + two, stride));
    const __m128i s2 = _mm_sad_epu8(LoadTwoRows(cur + 2 * two, stride), LoadTwoRows(ref + 2 * two, stride));
    const __m128i s3 = _mm_sad_epu8(LoadTwoRows(cur + 3 * two, stride), LoadTwoRows(ref + 3 * two, stride));
    return Total(_mm_add_epi32(_mm_add_epi32(s0, s1), _mm_add_epi32(s2, s3)));
}

void search_block_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t startX, int32_t startY,
                       int32_t limit, SearchResult* out) noexcept {
    Sse2Costs costs(cur, ref, stride);
    SearchBlockAhead(costs, Vector{startX, startY}, limit, out);
}

}  // namespace engine
