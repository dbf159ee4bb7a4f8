// Predictive gradient-descent block motion search.
#include <cmath>

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

namespace {

struct Direction {
    float x;
    float y;
};

// Unit vector along the cost gradient (gx, gy); (0, 0) when flat.
inline Direction GradientDirection(int32_t gx, int32_t gy) {
    int32_t n = gx * gx + gy * gy;  // at most 2 * 16320^2, within int32
    if (n == 0) n = 1;
    const float inv = 1.0f / std::sqrt(static_cast<float>(n));
    return {static_cast<float>(gx) * inv, static_cast<float>(gy) * inv};
}

}  // namespace

void ChannelProcessor::EstimateMotion(const Plane& current, const Plane& reference, VectorField& motion) {
    if (motion.width <= 0 || motion.height <= 0 || motion.origin == nullptr) return;
    if (border < 1 || !MotionGeometryOk(current, reference, motion, border)) {
        // Planes the search cannot probe safely: no block is filtered.
        for (int32_t by = 0; by < motion.height; ++by) {
            for (int32_t bx = 0; bx < motion.width; ++bx) Record(motion, bx, by) = BlockMotion{};
        }
        return;
    }
    const EngineDsp& dsp = ActiveDsp();
    const ptrdiff_t stride = current.stride;
    const int32_t limit = border;  // candidates lie strictly inside (-limit, limit)
    const uint32_t neighbourLimit = 2u * static_cast<uint32_t>(meanUpperBin);

    for (int32_t by = 0; by < motion.height; ++by) {
        for (int32_t bx = 0; bx < motion.width; ++bx) {
            // Prediction: mean of the accepted causal neighbours, truncated.
            const BlockMotion* neighbours[3] = {&Record(motion, bx - 1, by), &Record(motion, bx, by - 1),
                                                &Record(motion, bx + 1, by - 1)};
            int32_t sumX = 0, sumY = 0, count = 0;
            for (const BlockMotion* nb : neighbours) {
                if (static_cast<uint32_t>(nb->cost) <= neighbourLimit) {
                    sumX += nb->dx;
                    sumY += nb->dy;
                    ++count;
                }
            }
            int32_t bestX = count != 0 ? sumX / count : 0;
            int32_t bestY = count != 0 ? sumY / count : 0;
            // Neighbours come from this search or the zero margin; anything
            // else is not followed outside the plane's margin.
            if (bestX <= -limit || bestX >= limit || bestY <= -limit || bestY >= limit) bestX = bestY = 0;

            const uint8_t* cur = BlockAt(current, bx, by);
            const uint8_t* refBlock = BlockAt(reference, bx, by);
            auto refAt = [&](int32_t dx, int32_t dy) { return refBlock + dy * stride + dx; };

            uint32_t bestCost = dsp.sad_8x8(cur, refAt(bestX, bestY), stride);
            uint32_t probes[2];
            dsp.sad_8x8_probes(cur, refAt(bestX, bestY), stride, probes);
            Direction dir = GradientDirection(static_cast<int32_t>(probes[0] - bestCost),
                                              static_cast<int32_t>(probes[1] - bestCost));

            // Descent against the gradient: step 2 until the first failure,
            // then step 1 until the second.
            float step = -2.0f;
            int32_t allowance = 2;
            for (;;) {
                const int32_t cx = bestX + RoundHalfEven(step * dir.x);
                const int32_t cy = bestY + RoundHalfEven(step * dir.y);
                if (cx <= -limit || cx >= limit || cy <= -limit || cy >= limit) break;
                const uint32_t cost = dsp.sad_8x8(cur, refAt(cx, cy), stride);
                if (cost < bestCost) {
                    bestX = cx;
                    bestY = cy;
                    bestCost = cost;
                    dsp.sad_8x8_probes(cur, refAt(bestX, bestY), stride, probes);
                    dir = GradientDirection(static_cast<int32_t>(probes[0] - bestCost),
                                            static_cast<int32_t>(probes[1] - bestCost));
                    continue;
                }
                step += 1.0f;
                if (--allowance == 0) break;
            }

            BlockMotion& rec = Record(motion, bx, by);
            rec.dx = bestX;
            rec.dy = bestY;
            rec.cost = static_cast<int32_t>(bestCost);
            rec.valid = 1;
        }
    }
}

}  // namespace engine
