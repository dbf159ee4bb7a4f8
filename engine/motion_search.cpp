// Predictive gradient-descent block motion search.
#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

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
    const ptrdiff_t stride = current.stride;
    const uint32_t neighbourLimit = 2u * static_cast<uint32_t>(processor.meanUpperBin);
    auto inRange = [limit](Vector v) { return v.x > -limit && v.x < limit && v.y > -limit && v.y < limit; };

    for (int32_t by = 0; by < motion.height; ++by) {
        for (int32_t bx = 0; bx < motion.width; ++bx) {
            Vector best = PredictVector(motion, bx, by, neighbourLimit);
            // Neighbours come from this search or the zero margin; anything
            // else is not followed outside the plane's margin.
            if (!inRange(best)) best = {0, 0};

            const uint8_t* cur = BlockAt(current, bx, by);
            const uint8_t* refBlock = BlockAt(reference, bx, by);
            auto refAt = [&](Vector v) { return refBlock + v.y * stride + v.x; };

            uint32_t bestCost = dsp.sad_8x8(cur, refAt(best), stride);
            uint32_t probes[2];
            dsp.sad_8x8_probes(cur, refAt(best), stride, probes);
            Direction dir = GradientDirection(static_cast<int32_t>(probes[0] - bestCost),
                                              static_cast<int32_t>(probes[1] - bestCost));

            // Descent against the gradient: step 2 until the first failure,
            // then step 1 until the second. Every accepted step lowers the
            // cost, so the walk ends.
            float step = -2.0f;
            int32_t allowance = 2;
            for (;;) {
                const Vector candidate = Candidate(best, step, dir);
                if (!inRange(candidate)) break;
                const uint32_t cost = dsp.sad_8x8(cur, refAt(candidate), stride);
                if (cost < bestCost) {
                    best = candidate;
                    bestCost = cost;
                    dsp.sad_8x8_probes(cur, refAt(best), stride, probes);
                    dir = GradientDirection(static_cast<int32_t>(probes[0] - bestCost),
                                            static_cast<int32_t>(probes[1] - bestCost));
                    continue;
                }
                step += 1.0f;
                if (--allowance == 0) break;
            }

            BlockMotion& rec = Record(motion, bx, by);
            rec.dx = best.x;
            rec.dy = best.y;
            rec.cost = static_cast<int32_t>(bestCost);
            rec.valid = 1;
        }
    }
}

void ChannelProcessor::EstimateMotion(const Plane& current, const Plane& reference, VectorField& motion) {
    EstimateMotionWith(ActiveDsp(), *this, current, reference, motion);
}

}  // namespace engine
