// SSE2 form of the refinement's neighbourhood measurement: each record's
// terms made once as a vector and summed over the 3x3 neighbourhood, the
// three means divided and rounded in one vector.
#include <emmintrin.h>

#include <climits>
#include <cstddef>
#include <cstdint>

#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

namespace {

// A record's terms: dx, dy, 1 and dx^2 + dy^2 when it is accepted, zeros
// otherwise. |dx|, |dy| < kNeighbourVectorBound, so they fit 16-bit lanes.
class Terms {
public:
    explicit Terms(uint32_t acceptLimit)
        : signBit_(_mm_set1_epi32(INT32_MIN)),
          acceptBiased_(_mm_xor_si128(_mm_set1_epi32(static_cast<int32_t>(acceptLimit)), signBit_)),
          ones_(_mm_set1_epi32(1)) {}

    ORV_ENGINE_INLINE __m128i Of(const BlockMotion& r) const {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&r));  // dx, dy, cost, deviation
        const __m128i words = _mm_packs_epi32(v, v);
        const __m128i squares = _mm_madd_epi16(words, words);  // lane 0: dx^2 + dy^2
        const __m128i cost = _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 2, 2, 2));
        // Unsigned cost > acceptLimit, as a signed comparison of biased values.
        const __m128i rejected = _mm_cmpgt_epi32(_mm_xor_si128(cost, signBit_), acceptBiased_);
        const __m128i all = _mm_unpacklo_epi64(v, _mm_unpacklo_epi32(ones_, squares));
        return _mm_andnot_si128(rejected, all);
    }

private:
    __m128i signBit_;
    __m128i acceptBiased_;
    __m128i ones_;
};

// 32-bit lane kLane of v (a template: the shift must be an immediate).
template <int kLane>
inline int32_t Lane(__m128i v) {
    return _mm_cvtsi128_si32(_mm_srli_si128(v, 4 * kLane));
}

// The means from the neighbourhood's sums (sum dx, sum dy, count, sum
// dx^2 + dy^2) for the record's vector (dx, dy). The squared distances come
// from sum((n - v)^2) = sum(n^2) - 2 v sum(n) + k v^2. IEEE division is exact
// to the last bit, so the three quotients divided side by side are those of
// the scalar form.
ORV_ENGINE_INLINE inline void StoreMeans(BlockMotion& rec, __m128i sums) {
    const int32_t sumX = Lane<0>(sums), sumY = Lane<1>(sums), count = Lane<2>(sums), sumQ = Lane<3>(sums);
    if (count == 0) {
        rec.meanDx = rec.meanDy = rec.deviation = 0;
        return;
    }
    const int32_t sumSquares =
        sumQ - 2 * (rec.dx * sumX + rec.dy * sumY) + count * (rec.dx * rec.dx + rec.dy * rec.dy);
    const __m128 quotients = _mm_div_ps(_mm_cvtepi32_ps(_mm_setr_epi32(sumX, sumY, sumSquares, 0)),
                                        _mm_set1_ps(static_cast<float>(count)));
    const __m128 magic = _mm_set1_ps(kRoundingMagic);
    const __m128i rounded = _mm_cvttps_epi32(_mm_sub_ps(_mm_add_ps(quotients, magic), magic));
    // meanDx and meanDy are neighbours in the record: one 8-byte store.
    static_assert(offsetof(BlockMotion, meanDy) == offsetof(BlockMotion, meanDx) + 4, "record layout");
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&rec.meanDx), rounded);
    rec.deviation = Lane<2>(rounded);
}

// Columns handled at a time: the rows of terms have a fixed size whatever
// the width of the field.
constexpr int32_t kColumns = 128;

// The terms of columns bx0 - 1 .. bx0 + columns of block row by; row[i + 1]
// holds column bx0 + i.
ORV_ENGINE_INLINE inline void FillTerms(__m128i* row, const Terms& terms, const VectorField& motion, int32_t bx0,
                                        int32_t columns, int32_t by) {
    for (int32_t i = -1; i <= columns; ++i) row[i + 1] = terms.Of(Record(motion, bx0 + i, by));
}

}  // namespace

void neighbour_means_sse2(const VectorField& field, uint32_t acceptLimit) noexcept {
    // A local copy: the stores into the records could otherwise, as far as
    // the compiler knows, change the descriptor.
    const VectorField motion = field;
    const Terms terms(acceptLimit);
    // Each record's terms are made once and kept for the three block rows
    // that use them, in rows above, here and below that rotate as the block
    // row advances.
    __m128i rows[3][kColumns + 2];
    for (int32_t bx0 = 0; bx0 < motion.width; bx0 += kColumns) {
        const int32_t columns = motion.width - bx0 < kColumns ? motion.width - bx0 : kColumns;
        __m128i* above = rows[0];
        __m128i* here = rows[1];
        __m128i* below = rows[2];
        FillTerms(above, terms, motion, bx0, columns, -1);
        FillTerms(here, terms, motion, bx0, columns, 0);
        for (int32_t by = 0; by < motion.height; ++by) {
            FillTerms(below, terms, motion, bx0, columns, by + 1);
            // Column sums slide along the row; the record's own terms are
            // taken out of its 3x3 total.
            auto column = [&](int32_t i) ORV_ENGINE_INLINE {
                return _mm_add_epi32(_mm_add_epi32(above[i + 1], here[i + 1]), below[i + 1]);
            };
            __m128i left = column(-1), mid = column(0);
            for (int32_t i = 0; i < columns; ++i) {
                const __m128i right = column(i + 1);
                const __m128i sums = _mm_sub_epi32(_mm_add_epi32(_mm_add_epi32(left, mid), right), here[i + 1]);
                StoreMeans(Record(motion, bx0 + i, by), sums);
                left = mid;
                mid = right;
            }
            __m128i* const oldest = above;
            above = here;
            here = below;
            below = oldest;
        }
    }
}

}  // namespace engine
