// Refinement of the searched field once the frame's noise statistics are
// known: zero preference, neighbourhood measurement and re-check.
#if defined(ORV_SIMD)
#include <emmintrin.h>
#endif

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

namespace {

// The rounded means of three sums over the same count (1..8) of accepted
// neighbours: each single-precision quotient rounded to nearest, ties to
// even. The three divisions share one vector instruction where SSE2 is
// there; IEEE division is exact to the last bit either way, so both forms
// give the same results. |sum| < 2^22.
struct Means {
    int32_t x, y, squares;
};
inline Means RoundedMeans(int32_t sumX, int32_t sumY, int32_t sumSquares, int32_t count) {
#if defined(ORV_SIMD)
    const __m128 quotients = _mm_div_ps(_mm_cvtepi32_ps(_mm_setr_epi32(sumX, sumY, sumSquares, 0)),
                                        _mm_set1_ps(static_cast<float>(count)));
    // Adding and removing 1.5 * 2^23 leaves the value rounded half to even.
    const __m128 magic = _mm_set1_ps(12582912.0f);
    const __m128i rounded = _mm_cvttps_epi32(_mm_sub_ps(_mm_add_ps(quotients, magic), magic));
    return {_mm_cvtsi128_si32(rounded), _mm_cvtsi128_si32(_mm_srli_si128(rounded, 4)),
            _mm_cvtsi128_si32(_mm_srli_si128(rounded, 8))};
#else
    const float k = static_cast<float>(count);
    return {RoundHalfEven(static_cast<float>(sumX) / k), RoundHalfEven(static_cast<float>(sumY) / k),
            RoundHalfEven(static_cast<float>(sumSquares) / k)};
#endif
}

}  // namespace

void RefineMotionWith(const EngineDsp& dsp, ChannelProcessor& processor, const Plane& currentPlane,
                      const Plane& referencePlane, VectorField& field, int32_t zeroLimit, int32_t acceptLimit) {
    if (field.width <= 0 || field.height <= 0 || field.origin == nullptr) return;
    const int32_t limit = processor.border;
    if (limit < 1 || !MotionGeometryOk(currentPlane, referencePlane, field, limit)) return;
    // Local copies: the stores into the records could otherwise, as far as
    // the compiler knows, change the descriptors, which would be read again
    // for every block.
    const VectorField motion = field;
    const Plane current = currentPlane, reference = referencePlane;
    const ptrdiff_t stride = current.stride;

    // Zero preference: take (0, 0) unless the vector is clearly better. The
    // costs at (0, 0) are measured a stretch of a block row at a time.
    constexpr int32_t kStretch = 64;
    uint32_t zeroCosts[kStretch];
    for (int32_t by = 0; by < motion.height; ++by) {
        for (int32_t bx0 = 0; bx0 < motion.width; bx0 += kStretch) {
            const int32_t count = motion.width - bx0 < kStretch ? motion.width - bx0 : kStretch;
            dsp.sad_8x8_row(BlockAt(current, bx0, by), BlockAt(reference, bx0, by), stride, count, zeroCosts);
            // Branch-free: which way a block goes is as random as the noise.
            for (int32_t i = 0; i < count; ++i) {
                BlockMotion& rec = Record(motion, bx0 + i, by);
                const int32_t dx = rec.dx, dy = rec.dy;
                const uint32_t cost = static_cast<uint32_t>(rec.cost);
                // The cost of a block already at (0, 0) is its cost there.
                const uint32_t z = (dx | dy) == 0 ? cost : zeroCosts[i];
                // A vector the search cannot have produced is dropped the same way.
                const uint32_t toZero = static_cast<uint32_t>(z <= cost) |
                                        static_cast<uint32_t>(z - cost < static_cast<uint32_t>(zeroLimit)) |
                                        static_cast<uint32_t>(!InSearchRange(dx, dy, limit));
                const uint32_t keep = toZero - 1;  // all ones: keep the vector
                rec.dx = dx & static_cast<int32_t>(keep);
                rec.dy = dy & static_cast<int32_t>(keep);
                rec.cost = static_cast<int32_t>((cost & keep) | (z & ~keep));
            }
        }
    }

    // Neighbourhood: mean vector and mean squared distance of the accepted
    // neighbours. Writes only deviation and the means, so order is irrelevant.
    // The 3x3 sums slide along the row one column at a time; the squared
    // distances come from sum((n - v)^2) = sum(n^2) - 2 v sum(n) + k v^2.
    const uint32_t accept = static_cast<uint32_t>(acceptLimit);
    auto store = [](BlockMotion& rec, int32_t count, int32_t sumX, int32_t sumY, int32_t sumQ) ORV_ENGINE_INLINE {
        const int32_t sumSq =
            sumQ - 2 * (rec.dx * sumX + rec.dy * sumY) + count * (rec.dx * rec.dx + rec.dy * rec.dy);
        if (count == 0) {
            rec.meanDx = rec.meanDy = rec.deviation = 0;
        } else {
            const Means means = RoundedMeans(sumX, sumY, sumSq, count);
            rec.meanDx = means.x;
            rec.meanDy = means.y;
            rec.deviation = means.squares;
        }
    };
#if defined(ORV_SIMD)
    // A record's terms as one vector: dx, dy, 1 and dx^2 + dy^2 when it is
    // accepted, zeros otherwise. Vectors are within (-limit, limit) after the
    // zero pass (margin records are zero), so dx and dy fit 16-bit lanes.
    const __m128i signBit = _mm_set1_epi32(INT32_MIN);
    const __m128i acceptBiased = _mm_xor_si128(_mm_set1_epi32(static_cast<int32_t>(accept)), signBit);
    const __m128i ones = _mm_set1_epi32(1);
    auto terms = [&](const BlockMotion& r) ORV_ENGINE_INLINE {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&r));  // dx, dy, cost, deviation
        const __m128i words = _mm_packs_epi32(v, v);
        const __m128i squares = _mm_madd_epi16(words, words);  // lane 0: dx^2 + dy^2
        const __m128i cost = _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 2, 2, 2));
        const __m128i rejected = _mm_cmpgt_epi32(_mm_xor_si128(cost, signBit), acceptBiased);
        const __m128i all = _mm_unpacklo_epi64(v, _mm_unpacklo_epi32(ones, squares));
        return _mm_andnot_si128(rejected, all);
    };
    // Each record's terms are made once and kept for the three rows that
    // use them: a ring of rows above, here and below, over a stretch of
    // columns at a time (plus one on each side), so the buffer has a fixed
    // size whatever the width.
    constexpr int32_t kColumns = 128;
    __m128i ring[3][kColumns + 2];
    for (int32_t bx0 = 0; bx0 < motion.width; bx0 += kColumns) {
        const int32_t columns = motion.width - bx0 < kColumns ? motion.width - bx0 : kColumns;
        auto fill = [&](__m128i* row, int32_t by) ORV_ENGINE_INLINE {
            for (int32_t i = -1; i <= columns; ++i) row[i + 1] = terms(Record(motion, bx0 + i, by));
        };
        fill(ring[0], -1);
        fill(ring[1], 0);
        for (int32_t by = 0; by < motion.height; ++by) {
            const __m128i* above = ring[by % 3];
            const __m128i* here = ring[(by + 1) % 3];
            __m128i* below = ring[(by + 2) % 3];
            fill(below, by + 1);
            auto column = [&](int32_t i) ORV_ENGINE_INLINE {
                return _mm_add_epi32(_mm_add_epi32(above[i + 1], here[i + 1]), below[i + 1]);
            };
            __m128i left = column(-1), mid = column(0);
            for (int32_t i = 0; i < columns; ++i) {
                const __m128i right = column(i + 1);
                const __m128i sums = _mm_sub_epi32(_mm_add_epi32(_mm_add_epi32(left, mid), right), here[i + 1]);
                const int32_t sumX = _mm_cvtsi128_si32(sums);
                const int32_t sumY = _mm_cvtsi128_si32(_mm_shuffle_epi32(sums, _MM_SHUFFLE(1, 1, 1, 1)));
                const int32_t count = _mm_cvtsi128_si32(_mm_shuffle_epi32(sums, _MM_SHUFFLE(2, 2, 2, 2)));
                const int32_t sumQ = _mm_cvtsi128_si32(_mm_shuffle_epi32(sums, _MM_SHUFFLE(3, 3, 3, 3)));
                store(Record(motion, bx0 + i, by), count, sumX, sumY, sumQ);
                left = mid;
                mid = right;
            }
        }
    }
#else
    struct Sums {
        int32_t k, x, y, q;  // accepted count, sum dx, sum dy, sum dx^2 + dy^2
    };
    auto of = [accept](const BlockMotion& r) ORV_ENGINE_INLINE {
        const int32_t take = -static_cast<int32_t>(static_cast<uint32_t>(r.cost) <= accept);
        return Sums{take & 1, r.dx & take, r.dy & take, (r.dx * r.dx + r.dy * r.dy) & take};
    };
    auto column = [&](int32_t bx, int32_t by) ORV_ENGINE_INLINE {
        const Sums a = of(Record(motion, bx, by - 1)), b = of(Record(motion, bx, by)),
                   c = of(Record(motion, bx, by + 1));
        return Sums{a.k + b.k + c.k, a.x + b.x + c.x, a.y + b.y + c.y, a.q + b.q + c.q};
    };
    for (int32_t by = 0; by < motion.height; ++by) {
        Sums left = column(-1, by), mid = column(0, by);
        for (int32_t bx = 0; bx < motion.width; ++bx) {
            const Sums right = column(bx + 1, by);
            BlockMotion& rec = Record(motion, bx, by);
            const Sums self = of(rec);
            store(rec, left.k + mid.k + right.k - self.k, left.x + mid.x + right.x - self.x,
                  left.y + mid.y + right.y - self.y, left.q + mid.q + right.q - self.q);
            left = mid;
            mid = right;
        }
    }
#endif

    // Re-check: an outlier or a poor match tries the neighbourhood's vector,
    // and is left unfiltered when that does not match well either. Which
    // blocks need it is as random as the noise, so they are listed first,
    // a stretch at a time, and the decisions are made without branches.
    int32_t pending[kStretch];
    for (int32_t by = 0; by < motion.height; ++by) {
        for (int32_t bx0 = 0; bx0 < motion.width; bx0 += kStretch) {
            const int32_t count = motion.width - bx0 < kStretch ? motion.width - bx0 : kStretch;
            int32_t listed = 0;
            for (int32_t i = 0; i < count; ++i) {
                const BlockMotion& rec = Record(motion, bx0 + i, by);
                pending[listed] = bx0 + i;
                listed += static_cast<int32_t>((rec.deviation > 7) | (rec.cost > acceptLimit));
            }
            for (int32_t j = 0; j < listed; ++j) {
                const int32_t bx = pending[j];
                BlockMotion& rec = Record(motion, bx, by);
                uint32_t taken = 0, u = 0;
                if (InSearchRange(rec.meanDx, rec.meanDy, limit)) {
                    const uint8_t* ref = BlockAt(reference, bx, by) + rec.meanDy * stride + rec.meanDx;
                    u = rec.meanDx == rec.dx && rec.meanDy == rec.dy
                            ? static_cast<uint32_t>(rec.cost)
                            : dsp.sad_8x8(BlockAt(current, bx, by), ref, stride);
                    taken = static_cast<uint32_t>(static_cast<int32_t>(u) < acceptLimit);
                }
                const int32_t take = -static_cast<int32_t>(taken);  // all ones when taken
                rec.dx = rec.meanDx & take;
                rec.dy = rec.meanDy & take;
                rec.cost = (static_cast<int32_t>(u) & take) | (rec.cost & ~take);
                rec.valid = static_cast<int32_t>(taken);
            }
        }
    }
}

void ChannelProcessor::RefineMotion(const Plane& current, const Plane& reference, VectorField& motion,
                                    int32_t zeroLimit, int32_t acceptLimit) {
    RefineMotionWith(ActiveDsp(), *this, current, reference, motion, zeroLimit, acceptLimit);
}

}  // namespace engine
