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

// The current block as four row pairs r and r + 4, measured against any
// reference spot. Pairing rows four apart lets the spot one row down reuse
// three of the four reference pairs of the spot itself. The partial sums are
// added as a tree to keep the dependency chain short.
struct Sse2Costs {
    Sse2Costs(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride) : ref(ref), stride(stride) {
        for (int r = 0; r < 4; ++r) rows[r] = LoadTwoRows(cur + r * stride, 4 * stride);
    }
    const uint8_t* Ref(Vector v) const { return ref + v.y * stride + v.x; }
    ORV_ENGINE_INLINE __m128i Pair(const uint8_t* q, int r) const { return LoadTwoRows(q + r * stride, 4 * stride); }
    ORV_ENGINE_INLINE __m128i Sums(const __m128i p0, const __m128i p1, const __m128i p2, const __m128i p3) const {
        const __m128i s0 = _mm_sad_epu8(rows[0], p0);
        const __m128i s1 = _mm_sad_epu8(rows[1], p1);
        const __m128i s2 = _mm_sad_epu8(rows[2], p2);
        const __m128i s3 = _mm_sad_epu8(rows[3], p3);
        return _mm_add_epi32(_mm_add_epi32(s0, s1), _mm_add_epi32(s2, s3));
    }
    ORV_ENGINE_INLINE __m128i Sums(const uint8_t* q) const {
        return Sums(Pair(q, 0), Pair(q, 1), Pair(q, 2), Pair(q, 3));
    }
    // The spot at q and the one a row down, sharing three reference pairs.
    ORV_ENGINE_INLINE void AtAndDown(const uint8_t* q, __m128i& at, __m128i& down) const {
        const __m128i p0 = Pair(q, 0), p1 = Pair(q, 1), p2 = Pair(q, 2), p3 = Pair(q, 3), p4 = Pair(q, 4);
        at = Sums(p0, p1, p2, p3);
        down = Sums(p1, p2, p3, p4);
    }
    ORV_ENGINE_INLINE uint32_t At(Vector v) const { return Total(Sums(Ref(v))); }
    ORV_ENGINE_INLINE SpotCosts Spot(Vector v) const {
        const uint8_t* q = Ref(v);
        __m128i at, down;
        AtAndDown(q, at, down);
        const __m128i right = Sums(q + 1);
        return {Total(at), Total(right), Total(down)};
    }
    ORV_ENGINE_INLINE RoundCosts Round(Vector c2, Vector c1) const {
        const uint8_t* q = Ref(c2);
        __m128i at, down;
        AtAndDown(q, at, down);
        const __m128i right = Sums(q + 1);
        const __m128i shortStep = Sums(Ref(c1));
        return {{Total(at), Total(right), Total(down)}, Total(shortStep)};
    }
    ORV_ENGINE_INLINE SpotCosts Probes(Vector v, uint32_t at) const {
        const uint8_t* q = Ref(v);
        const __m128i right = Sums(q + 1);
        const __m128i down = Sums(q + stride);
        return {at, Total(right), Total(down)};
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

void search_block_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t startX, int32_t startY,
                       int32_t limit, SearchResult* out) noexcept {
    Sse2Costs costs(cur, ref, stride);
    SearchBlockAhead(costs, Vector{startX, startY}, limit, out);
}

void search_field_sse2(const Plane& current, const Plane& reference, const VectorField& motion, int32_t limit,
                       uint32_t neighbourLimit) noexcept {
    SearchField(current, reference, motion, limit, neighbourLimit,
                [](const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, Vector start, int32_t lim,
                   SearchResult* out) ORV_ENGINE_INLINE {
                    Sse2Costs costs(cur, ref, stride);
                    SearchBlockAhead(costs, start, lim, out);
                });
}

}  // namespace engine
