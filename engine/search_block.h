#pragma once
// The descent of one block, shared by the scalar and the SIMD search
// kernels: they differ only in how block costs are measured. Internal to
// engine/.
#include <cstdint>

#include "engine/engine_internal.h"

namespace engine {

// Costs measures the 8x8 block against the reference displaced by a vector:
//   uint32_t At(Vector v);
//   void AtTwo(Vector a, Vector b, uint32_t out[2]);           // both at once
//   void Probes(Vector v, uint32_t out[2]);                    // v + (1,0), v + (0,1)
//   void Triple(Vector v, uint32_t out[3]);                    // v, then its probes
// The result equals the plain rule: start at `start`, walk against the cost
// gradient with step 2 until the first failure, then step 1 until the
// second; a candidate outside (-limit, limit) ends the walk.
template <typename Costs>
inline void SearchBlock(Costs& costs, Vector start, int32_t limit, SearchResult* out) {
    auto inRange = [limit](Vector v) ORV_ENGINE_INLINE { return v.x > -limit && v.x < limit && v.y > -limit && v.y < limit; };

    // known[0]: cost at best; known[1], known[2]: the probes at best + (1, 0)
    // and best + (0, 1), which also serve a candidate landing there.
    Vector best = start;
    uint32_t known[3];
    costs.Triple(best, known);
    StepOffsets steps = DescentOffsets(static_cast<int32_t>(known[1] - known[0]),
                                       static_cast<int32_t>(known[2] - known[0]));
    auto lookup = [&](Vector v, uint32_t& cost) ORV_ENGINE_INLINE {
        const int32_t ox = v.x - best.x, oy = v.y - best.y;
        if (ox == 0 && oy == 0) {
            cost = known[0];
        } else if (ox == 1 && oy == 0) {
            cost = known[1];
        } else if (ox == 0 && oy == 1) {
            cost = known[2];
        } else {
            return false;
        }
        return true;
    };
    auto moveTo = [&](Vector v, uint32_t cost) ORV_ENGINE_INLINE {
        best = v;
        known[0] = cost;
        costs.Probes(best, known + 1);
        steps = DescentOffsets(static_cast<int32_t>(known[1] - known[0]),
                               static_cast<int32_t>(known[2] - known[0]));
    };

    // Step 2. The step-1 candidate from the same place is measured alongside:
    // the walk needs it as soon as a step of 2 fails.
    uint32_t shortCost = 0;
    Vector shortStep{};
    for (;;) {
        const Vector candidate{best.x + steps.twice.x, best.y + steps.twice.y};
        if (!inRange(candidate)) {
            out->dx = best.x;
            out->dy = best.y;
            out->cost = known[0];
            return;
        }
        shortStep = {best.x + steps.once.x, best.y + steps.once.y};
        uint32_t cost;
        const bool candidateKnown = lookup(candidate, cost);
        const bool shortKnown = lookup(shortStep, shortCost) || !inRange(shortStep);
        if (!candidateKnown && !shortKnown) {
            uint32_t two[2];
            costs.AtTwo(candidate, shortStep, two);
            cost = two[0];
            shortCost = two[1];
        } else if (!candidateKnown) {
            cost = costs.At(candidate);
        } else if (!shortKnown) {
            shortCost = costs.At(shortStep);
        }
        if (cost < known[0]) {
            moveTo(candidate, cost);
            continue;
        }
        break;
    }

    // Step 1, starting with the candidate measured above.
    Vector candidate = shortStep;
    uint32_t cost = shortCost;
    for (;;) {
        if (!inRange(candidate)) break;
        if (cost >= known[0]) break;
        moveTo(candidate, cost);
        candidate = {best.x + steps.once.x, best.y + steps.once.y};
        if (!inRange(candidate)) break;
        if (!lookup(candidate, cost)) cost = costs.At(candidate);
    }
    out->dx = best.x;
    out->dy = best.y;
    out->cost = known[0];
}

// The same descent, bit for bit, for kernels whose costs come cheaper in
// batches than one after another. Each step measures the candidate together
// with its two probes (and, in the step-2 phase, the step-1 candidate), so a
// successful step is one round of measurements instead of two, and no branch
// depends on whether a candidate happens to land on a known probe. Costs adds
//   void Quad(Vector c2, Vector c1, uint32_t out[4]);   // Triple(c2), then c1
// Every spot measured lies within `limit` of the block on each axis.
template <typename Costs>
inline void SearchBlockAhead(Costs& costs, Vector start, int32_t limit, SearchResult* out) {
    auto inRange = [limit](Vector v) ORV_ENGINE_INLINE { return v.x > -limit && v.x < limit && v.y > -limit && v.y < limit; };

    // known[0]: cost at best; known[1], known[2]: at best + (1, 0) and best + (0, 1).
    Vector best = start;
    uint32_t known[3];
    costs.Triple(best, known);
    StepOffsets steps = DescentOffsets(static_cast<int32_t>(known[1] - known[0]),
                                       static_cast<int32_t>(known[2] - known[0]));
    auto moveTo = [&](Vector v, const uint32_t costs3[3]) ORV_ENGINE_INLINE {
        best = v;
        known[0] = costs3[0];
        known[1] = costs3[1];
        known[2] = costs3[2];
        steps = DescentOffsets(static_cast<int32_t>(known[1] - known[0]),
                               static_cast<int32_t>(known[2] - known[0]));
    };

    // Step 2. best lies inside the range and the step-1 offset is at most 1
    // on each axis, so the step-1 candidate is within `limit`.
    uint32_t measured[4];
    Vector shortStep;
    for (;;) {
        const Vector candidate{best.x + steps.twice.x, best.y + steps.twice.y};
        if (!inRange(candidate)) {
            out->dx = best.x;
            out->dy = best.y;
            out->cost = known[0];
            return;
        }
        shortStep = {best.x + steps.once.x, best.y + steps.once.y};
        costs.Quad(candidate, shortStep, measured);
        if (measured[0] < known[0]) {
            moveTo(candidate, measured);
            continue;
        }
        break;
    }

    // Step 1: the first candidate's cost is known from the last round; its
    // probes are measured only when it is taken. Later candidates come with
    // their probes.
    Vector candidate = shortStep;
    uint32_t next[3] = {measured[3], 0, 0};
    bool probesKnown = false;
    while (inRange(candidate) && next[0] < known[0]) {
        if (!probesKnown) costs.Probes(candidate, next + 1);
        moveTo(candidate, next);
        candidate = {best.x + steps.once.x, best.y + steps.once.y};
        if (!inRange(candidate)) break;
        costs.Triple(candidate, next);
        probesKnown = true;
    }
    out->dx = best.x;
    out->dy = best.y;
    out->cost = known[0];
}

}  // namespace engine
