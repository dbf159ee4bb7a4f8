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

// Costs of a spot and of its probes at + (1, 0) and + (0, 1); with the
// step-1 candidate measured in the same round.
struct SpotCosts {
    uint32_t at;
    uint32_t right;
    uint32_t down;
};
struct RoundCosts {
    SpotCosts candidate;
    uint32_t shortStep;
};

// The same descent, bit for bit, for kernels whose costs come cheaper in
// batches than one after another. Each step of 2 measures the candidate
// together with its two probes and the step-1 candidate, so a successful step
// is one round of measurements instead of two, and no branch depends on
// whether a candidate happens to land on a known probe. A later step of 1
// mostly fails (some 85% of them on noisy video), so there the candidate
// comes first and its probes only once it is taken. Costs has
//   uint32_t At(Vector v);                     // v alone
//   SpotCosts Spot(Vector v);                  // v and its probes
//   RoundCosts Round(Vector c2, Vector c1);    // Spot(c2), then c1
//   SpotCosts Probes(Vector v, uint32_t at);   // the probes of v, whose cost is known
// Every spot measured lies within `limit` of the block on each axis. The
// costs live in registers throughout: passing them through arrays would put
// a store and a reload on every step.
template <typename Costs>
ORV_ENGINE_INLINE inline void SearchBlockAhead(Costs& costs, Vector start, int32_t limit, SearchResult* out) {
    auto inRange = [limit](Vector v) ORV_ENGINE_INLINE { return InSearchRange(v.x, v.y, limit); };

    Vector best = start;
    SpotCosts known = costs.Spot(best);
    StepOffsets steps = DescentOffsets(static_cast<int32_t>(known.right - known.at),
                                       static_cast<int32_t>(known.down - known.at));
    auto moveTo = [&](Vector v, SpotCosts c) ORV_ENGINE_INLINE {
        best = v;
        known = c;
        steps = DescentOffsets(static_cast<int32_t>(c.right - c.at), static_cast<int32_t>(c.down - c.at));
    };

    // Step 2. best lies inside the range and the step-1 offset is at most 1
    // on each axis, so the step-1 candidate is within `limit`.
    Vector shortStep;
    uint32_t shortCost;
    for (;;) {
        const Vector candidate{best.x + steps.twice.x, best.y + steps.twice.y};
        if (!inRange(candidate)) {
            out->dx = best.x;
            out->dy = best.y;
            out->cost = known.at;
            return;
        }
        shortStep = {best.x + steps.once.x, best.y + steps.once.y};
        const RoundCosts round = costs.Round(candidate, shortStep);
        shortCost = round.shortStep;
        if (round.candidate.at >= known.at) break;
        moveTo(candidate, round.candidate);
    }

    // Step 1: the first candidate's cost is known from the last round. Every
    // candidate's probes are measured only when it is taken.
    Vector candidate = shortStep;
    if (inRange(candidate) && shortCost < known.at) {
        moveTo(candidate, costs.Probes(candidate, shortCost));
        for (;;) {
            candidate = {best.x + steps.once.x, best.y + steps.once.y};
            if (!inRange(candidate)) break;
            const uint32_t at = costs.At(candidate);
            if (at >= known.at) break;
            moveTo(candidate, costs.Probes(candidate, at));
        }
    }
    out->dx = best.x;
    out->dy = best.y;
    out->cost = known.at;
}

// The field search around a per-block search(cur, ref, stride, start,
// limit, &result): the kernels' search_field, with the block search inlined.
template <typename Search>
inline void SearchField(const Plane& current, const Plane& reference, const VectorField& field, int32_t limit,
                        uint32_t neighbourLimit, Search search) {
    // Local copies: the stores into the records could otherwise, as far as
    // the compiler knows, change the descriptors, which would be read again
    // for every block.
    const VectorField motion = field;
    const Plane cur = current, ref = reference;
    const ptrdiff_t stride = current.stride;
    for (int32_t by = 0; by < motion.height; ++by) {
        if (by + 1 < motion.height) PrefetchRows(cur, ref, 8 * (by + 1), 8);
        // The left neighbour is the block just searched: taken from
        // registers, not reloaded from the record just stored, which would
        // put a store-to-load forwarding on every block's critical path.
        BlockMotion left = Record(motion, -1, by);
        for (int32_t bx = 0; bx < motion.width; ++bx) {
            Vector start = PredictFrom(left, Record(motion, bx, by - 1), Record(motion, bx + 1, by - 1),
                                       neighbourLimit);
            // Neighbours come from this search or the zero margin; anything
            // else is not followed outside the plane's margin. Plain
            // comparisons on purpose: the branch is nearly always predicted,
            // and InSearchRange's arithmetic measured 1.5% slower here, on
            // each block's critical path.
            if (start.x <= -limit || start.x >= limit || start.y <= -limit || start.y >= limit) start = {0, 0};
            SearchResult found;
            search(BlockAt(cur, bx, by), BlockAt(ref, bx, by), stride, start, limit, &found);
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
