// Refinement of the searched field once the frame's noise statistics are
// known: zero preference, neighbourhood measurement and re-check.
#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

namespace {

inline bool InRange(int32_t dx, int32_t dy, int32_t limit) {
    return dx > -limit && dx < limit && dy > -limit && dy < limit;
}

// Rounded mean of `sum` over `count` (1..8) accepted neighbours: the single
// precision quotient rounded to nearest, ties to even. Computed exactly in
// integers, which gives the same: an integer or half-integer quotient is
// exact in single precision, and any other lies at least 1/16 from a tie,
// far beyond the division's rounding error for |sum| < 2^20.
inline int32_t RoundedMean(int32_t sum, int32_t count) {
    // 840 is divisible by every count, so scaled = 840 * sum / count exactly.
    static constexpr int32_t kScale[9] = {0, 840, 420, 280, 210, 168, 140, 120, 105};
    constexpr int32_t kBias = 1 << 20;  // keeps the floor division non-negative
    // Non-negative by the bias, so the quotient is an unsigned one, which
    // compiles to a plain multiply and shift.
    const uint32_t scaled = static_cast<uint32_t>(sum * kScale[count] + 840 * kBias);
    const uint32_t q = scaled / 840, r = scaled - 840 * q;
    const uint32_t up = static_cast<uint32_t>(r > 420) | (static_cast<uint32_t>(r == 420) & q);
    return static_cast<int32_t>(q + (up & 1)) - kBias;
}

}  // namespace

void RefineMotionWith(const EngineDsp& dsp, ChannelProcessor& processor, const Plane& current,
                      const Plane& reference, VectorField& motion, int32_t zeroLimit, int32_t acceptLimit) {
    if (motion.width <= 0 || motion.height <= 0 || motion.origin == nullptr) return;
    const int32_t limit = processor.border;
    if (limit < 1 || !MotionGeometryOk(current, reference, motion, limit)) return;
    const ptrdiff_t stride = current.stride;

    // Zero preference: take (0, 0) unless the vector is clearly better. The
    // costs at (0, 0) are measured a stretch of a block row at a time.
    constexpr int32_t kStretch = 64;
    uint32_t zeroCosts[kStretch];
    for (int32_t by = 0; by < motion.height; ++by) {
        for (int32_t bx0 = 0; bx0 < motion.width; bx0 += kStretch) {
            const int32_t count = motion.width - bx0 < kStretch ? motion.width - bx0 : kStretch;
            dsp.sad_8x8_row(BlockAt(current, bx0, by), BlockAt(reference, bx0, by), stride, count, zeroCosts);
            for (int32_t i = 0; i < count; ++i) {
                BlockMotion& rec = Record(motion, bx0 + i, by);
                const uint32_t cost = static_cast<uint32_t>(rec.cost);
                // The cost of a block already at (0, 0) is its cost there.
                const uint32_t z = rec.dx == 0 && rec.dy == 0 ? cost : zeroCosts[i];
                // A vector the search cannot have produced is dropped the same way.
                if (z <= cost || z - cost < static_cast<uint32_t>(zeroLimit) || !InRange(rec.dx, rec.dy, limit)) {
                    rec.dx = 0;
                    rec.dy = 0;
                    rec.cost = static_cast<int32_t>(z);
                }
            }
        }
    }

    // Neighbourhood: mean vector and mean squared distance of the accepted
    // neighbours. Writes only deviation and the means, so order is irrelevant.
    // The 3x3 sums slide along the row one column at a time; the squared
    // distances come from sum((n - v)^2) = sum(n^2) - 2 v sum(n) + k v^2.
    struct Sums {
        int32_t k, x, y, q;  // accepted count, sum dx, sum dy, sum dx^2 + dy^2
    };
    const uint32_t accept = static_cast<uint32_t>(acceptLimit);
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
            const int32_t count = left.k + mid.k + right.k - self.k;
            const int32_t sumX = left.x + mid.x + right.x - self.x;
            const int32_t sumY = left.y + mid.y + right.y - self.y;
            const int32_t sumQ = left.q + mid.q + right.q - self.q;
            const int32_t sumSq =
                sumQ - 2 * (rec.dx * sumX + rec.dy * sumY) + count * (rec.dx * rec.dx + rec.dy * rec.dy);
            if (count == 0) {
                rec.meanDx = rec.meanDy = rec.deviation = 0;
            } else {
                rec.meanDx = RoundedMean(sumX, count);
                rec.meanDy = RoundedMean(sumY, count);
                rec.deviation = RoundedMean(sumSq, count);
            }
            left = mid;
            mid = right;
        }
    }

    // Re-check: an outlier or a poor match tries the neighbourhood's vector,
    // and is left unfiltered when that does not match well either.
    for (int32_t by = 0; by < motion.height; ++by) {
        for (int32_t bx = 0; bx < motion.width; ++bx) {
            BlockMotion& rec = Record(motion, bx, by);
            if (rec.deviation <= 7 && rec.cost <= acceptLimit) continue;
            bool taken = false;
            if (InRange(rec.meanDx, rec.meanDy, limit)) {
                const uint8_t* ref = BlockAt(reference, bx, by) + rec.meanDy * stride + rec.meanDx;
                const uint32_t u = rec.meanDx == rec.dx && rec.meanDy == rec.dy
                                       ? static_cast<uint32_t>(rec.cost)
                                       : dsp.sad_8x8(BlockAt(current, bx, by), ref, stride);
                if (static_cast<int32_t>(u) < acceptLimit) {
                    rec.dx = rec.meanDx;
                    rec.dy = rec.meanDy;
                    rec.cost = static_cast<int32_t>(u);
                    rec.valid = 1;
                    taken = true;
                }
            }
            if (!taken) {
                rec.dx = 0;
                rec.dy = 0;
                rec.valid = 0;
            }
        }
    }
}

void ChannelProcessor::RefineMotion(const Plane& current, const Plane& reference, VectorField& motion,
                                    int32_t zeroLimit, int32_t acceptLimit) {
    RefineMotionWith(ActiveDsp(), *this, current, reference, motion, zeroLimit, acceptLimit);
}

}  // namespace engine
