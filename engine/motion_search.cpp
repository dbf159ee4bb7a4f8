// Predictive gradient-descent block motion search.
#include <cassert>

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

// The descent as the rule states it: the cost gradient from the probes at
// + (1, 0) and + (0, 1), the candidate the rounded step along it.
void search_block_c(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t startX, int32_t startY,
                    int32_t limit, SearchResult* out) noexcept {
    assert(limit >= 1 && InSearchRange(startX, startY, limit));
    auto cost = [&](Vector v) { return sad_8x8_c(cur, ref + v.y * stride + v.x, stride); };
    auto downhill = [&](Vector v, uint32_t at) {
        return GradientDirection(static_cast<int32_t>(cost({v.x + 1, v.y}) - at),
                                 static_cast<int32_t>(cost({v.x, v.y + 1}) - at));
    };
    Vector best{startX, startY};
    uint32_t bestCost = cost(best);
    Direction gradient = downhill(best, bestCost);
    // Step 2 until the first failure, then step 1 until the second.
    for (int32_t step = 2; step >= 1;) {
        const Vector candidate = Candidate(best, -static_cast<float>(step), gradient);
        if (!InSearchRange(candidate.x, candidate.y, limit)) break;
        const uint32_t candidateCost = cost(candidate);
        if (candidateCost < bestCost) {
            best = candidate;
            bestCost = candidateCost;
            gradient = downhill(best, bestCost);
        } else {
            --step;
        }
    }
    out->dx = best.x;
    out->dy = best.y;
    out->cost = bestCost;
}

void search_field_c(const Plane& current, const Plane& reference, const VectorField& motion, int32_t limit,
                    uint32_t neighbourLimit) noexcept {
    for (int32_t by = 0; by < motion.height; ++by) {
        for (int32_t bx = 0; bx < motion.width; ++bx) {
            Vector start = PredictVector(motion, bx, by, neighbourLimit);
            if (!InSearchRange(start.x, start.y, limit)) start = {0, 0};
            SearchResult found;
            search_block_c(BlockAt(current, bx, by), BlockAt(reference, bx, by), current.stride, start.x, start.y,
                           limit, &found);
            BlockMotion& rec = Record(motion, bx, by);
            rec.dx = found.dx;
            rec.dy = found.dy;
            rec.cost = static_cast<int32_t>(found.cost);
            rec.valid = 1;
        }
    }
}

void EstimateMotionWith(const EngineDsp& dsp, ChannelProcessor& processor, const Plane& current,
                        const Plane& reference, VectorField& motion) {
    if (motion.width <= 0 || motion.height <= 0 || motion.origin == nullptr) return;
    const int32_t limit = processor.border;  // candidates lie strictly inside (-limit, limit)
    if (limit < 1 || !MotionGeometryOk(current, reference, motion, limit)) {
        // Planes the search cannot probe safely: no block is filtered.
        for (int32_t by = 0; by < motion.height; ++by) {
            for (int32_t bx = 0; bx < motion.width; ++bx) Record(motion, bx, by) = BlockMotion{};
        }
        return;
    }
    dsp.search_field(current, reference, motion, limit, 2u * static_cast<uint32_t>(processor.meanUpperBin));
}

void ChannelProcessor::EstimateMotion(const Plane& current, const Plane& reference, VectorField& motion) {
    EstimateMotionWith(ActiveDsp(), *this, current, reference, motion);
}

}  // namespace engine
