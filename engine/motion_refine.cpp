// Refinement of the searched field once the frame's noise statistics are
// known, in three passes: zero preference, neighbourhood measurement and
// re-check.
#include <cassert>

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

namespace {

// Blocks handled at a time by the passes that measure costs a stretch of a
// block row at a time.
constexpr int32_t kStretch = 64;

// The passes take the descriptors by value: were they references, the
// stores into the records could, as far as the compiler knows, change them,
// and they would be read again for every block.

// Zero preference: a block takes (0, 0) unless its vector is better there by
// at least zeroLimit. A vector the search cannot have produced (outside
// (-limit, limit)) is dropped the same way. The costs at (0, 0) are measured
// a stretch at a time, and the decisions are made without branches: which
// way a block goes is as random as the noise.
void PreferZero(const EngineDsp& dsp, const Plane current, const Plane reference, const VectorField motion,
                int32_t limit, int32_t zeroLimit) {
    uint32_t zeroCosts[kStretch];
    for (int32_t by = 0; by < motion.height; ++by) {
        for (int32_t bx0 = 0; bx0 < motion.width; bx0 += kStretch) {
            const int32_t count = motion.width - bx0 < kStretch ? motion.width - bx0 : kStretch;
            dsp.sad_8x8_row(BlockAt(current, bx0, by), BlockAt(reference, bx0, by), current.stride, count,
                            zeroCosts);
            for (int32_t i = 0; i < count; ++i) {
                BlockMotion& rec = Record(motion, bx0 + i, by);
                const int32_t dx = rec.dx, dy = rec.dy;
                const uint32_t cost = static_cast<uint32_t>(rec.cost);
                // The cost of a block already at (0, 0) is its cost there.
                const uint32_t z = (dx | dy) == 0 ? cost : zeroCosts[i];
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
}

// Re-check: an outlier (deviation above 7) or a poor match (cost above
// acceptLimit) tries the neighbourhood's mean vector, and is left unfiltered
// when that does not match well either. Which blocks need it is as random as
// the noise, so they are listed first, a stretch at a time, and the
// decisions are made without branches.
void Recheck(const EngineDsp& dsp, const Plane current, const Plane reference, const VectorField motion,
             int32_t limit, int32_t acceptLimit) {
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
                    // A cost at a vector already asked for is not measured again.
                    const uint8_t* ref = BlockAt(reference, bx, by) + rec.meanDy * current.stride + rec.meanDx;
                    u = rec.meanDx == rec.dx && rec.meanDy == rec.dy
                            ? static_cast<uint32_t>(rec.cost)
                            : dsp.sad_8x8(BlockAt(current, bx, by), ref, current.stride);
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

}  // namespace

void neighbour_means_c(const VectorField& motion, uint32_t acceptLimit) noexcept {
    for (int32_t by = 0; by < motion.height; ++by) {
        for (int32_t bx = 0; bx < motion.width; ++bx) {
            BlockMotion& rec = Record(motion, bx, by);
            assert(rec.dx > -kNeighbourVectorBound && rec.dx < kNeighbourVectorBound);
            assert(rec.dy > -kNeighbourVectorBound && rec.dy < kNeighbourVectorBound);
            int32_t count = 0, sumX = 0, sumY = 0, sumSquares = 0;
            for (int32_t oy = -1; oy <= 1; ++oy) {
                for (int32_t ox = -1; ox <= 1; ++ox) {
                    const BlockMotion& n = Record(motion, bx + ox, by + oy);
                    if ((ox == 0 && oy == 0) || static_cast<uint32_t>(n.cost) > acceptLimit) continue;
                    const int32_t ex = n.dx - rec.dx, ey = n.dy - rec.dy;
                    ++count;
                    sumX += n.dx;
                    sumY += n.dy;
                    sumSquares += ex * ex + ey * ey;
                }
            }
            if (count == 0) {
                rec.meanDx = rec.meanDy = rec.deviation = 0;
                continue;
            }
            const float k = static_cast<float>(count);
            rec.meanDx = RoundHalfEven(static_cast<float>(sumX) / k);
            rec.meanDy = RoundHalfEven(static_cast<float>(sumY) / k);
            rec.deviation = RoundHalfEven(static_cast<float>(sumSquares) / k);
        }
    }
}

void RefineMotionWith(const EngineDsp& dsp, ChannelProcessor& processor, const Plane& current,
                      const Plane& reference, VectorField& motion, int32_t zeroLimit, int32_t acceptLimit) {
    if (motion.width <= 0 || motion.height <= 0 || motion.origin == nullptr) return;
    const int32_t limit = processor.border;
    if (limit < 1 || !MotionGeometryOk(current, reference, motion, limit)) return;
    PreferZero(dsp, current, reference, motion, limit, zeroLimit);
    // Every vector now lies within (-limit, limit), as the neighbourhood
    // measurement requires.
    dsp.neighbour_means(motion, static_cast<uint32_t>(acceptLimit));
    Recheck(dsp, current, reference, motion, limit, acceptLimit);
}

void ChannelProcessor::RefineMotion(const Plane& current, const Plane& reference, VectorField& motion,
                                    int32_t zeroLimit, int32_t acceptLimit) {
    RefineMotionWith(ActiveDsp(), *this, current, reference, motion, zeroLimit, acceptLimit);
}

}  // namespace engine
