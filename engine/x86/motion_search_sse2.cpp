// SSE2 form of the block search and the field search: the batched descent
// with the current block kept in registers.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"
#include "engine/x86/motion_search_batched.h"
#include "engine/x86/sad_sse2.h"

namespace engine {

namespace {

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
    ORV_ENGINE_INLINE uint32_t At(Vector v) const { return SadTotal(Sums(Ref(v))); }
    ORV_ENGINE_INLINE SpotCosts Spot(Vector v) const {
        const uint8_t* q = Ref(v);
        __m128i at, down;
        AtAndDown(q, at, down);
        const __m128i right = Sums(q + 1);
        return {SadTotal(at), SadTotal(right), SadTotal(down)};
    }
    ORV_ENGINE_INLINE RoundCosts Round(Vector c2, Vector c1) const {
        const uint8_t* q = Ref(c2);
        __m128i at, down;
        AtAndDown(q, at, down);
        const __m128i right = Sums(q + 1);
        const __m128i shortStep = Sums(Ref(c1));
        return {{SadTotal(at), SadTotal(right), SadTotal(down)}, SadTotal(shortStep)};
    }
    ORV_ENGINE_INLINE SpotCosts Probes(Vector v, uint32_t at) const {
        const uint8_t* q = Ref(v);
        const __m128i right = Sums(q + 1);
        const __m128i down = Sums(q + stride);
        return {at, SadTotal(right), SadTotal(down)};
    }

    __m128i rows[4];
    const uint8_t* ref;
    ptrdiff_t stride;
};

}  // namespace

void search_block_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t startX, int32_t startY,
                       int32_t limit, SearchResult* out) noexcept {
    Sse2Costs costs(cur, ref, stride);
    SearchBlockBatched(costs, Vector{startX, startY}, limit, out);
}

void search_field_sse2(const Plane& currentPlane, const Plane& referencePlane, const VectorField& field,
                       int32_t limit, uint32_t neighbourLimit) noexcept {
    // Local copies: the stores into the records could otherwise, as far as
    // the compiler knows, change the descriptors, which would be read again
    // for every block.
    const VectorField motion = field;
    const Plane current = currentPlane, reference = referencePlane;
    const ptrdiff_t stride = current.stride;
    for (int32_t by = 0; by < motion.height; ++by) {
        if (by + 1 < motion.height) PrefetchRows(current, reference, 8 * (by + 1), 8);
        // The left neighbour is the block just searched: taken from
        // registers, not reloaded from the record just stored, which would
        // put a store-to-load forwarding on every block's critical path.
        BlockMotion left = Record(motion, -1, by);
        for (int32_t bx = 0; bx < motion.width; ++bx) {
            Vector start = PredictFrom(left, Record(motion, bx, by - 1), Record(motion, bx + 1, by - 1),
                                       neighbourLimit);
            // Neighbours come from this search or the zero margin; anything
            // else is not followed outside the plane's margin. Almost never
            // taken, so a predicted branch keeps the check off each block's
            // critical path.
            if (ORV_ENGINE_UNLIKELY(!InSearchRange(start.x, start.y, limit))) start = {0, 0};
            Sse2Costs costs(BlockAt(current, bx, by), BlockAt(reference, bx, by), stride);
            SearchResult found;
            SearchBlockBatched(costs, start, limit, &found);
            BlockMotion& rec = Record(motion, bx, by);
            rec.dx = found.dx;
            rec.dy = found.dy;
            rec.cost = static_cast<int32_t>(found.cost);
            rec.valid = 1;
            left.dx = found.dx;
            left.dy = found.dy;
            left.cost = rec.cost;
        }
    }
}

}  // namespace engine
