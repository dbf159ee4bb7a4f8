#pragma once
// The descent of one block for kernels whose block costs come cheaper in
// batches than one after another, and the integer step maths it runs on.
// It gives search_block_c's results bit for bit. Internal to engine/.
#include <cstdint>

#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

// The two descent candidates' offsets from the best vector: a step of 2 and
// a step of 1 against the cost gradient (gx, gy).
struct StepOffsets {
    Vector twice;
    Vector once;
};

// One component of both descent offsets, against the gradient component g:
// a = |g| against the other's b = |g'| (a2 = a^2, b2 = b^2). round(a /
// sqrt(a^2 + b^2)) changes where 3a^2 = b^2, and round(2a / sqrt(a^2 +
// b^2)) where 15a^2 = b^2 and 7a^2 = 9b^2; the offset's sign is the
// opposite of g's.
ORV_ENGINE_INLINE inline void AxisOffsets(int32_t g, uint32_t a2, uint32_t b2, int32_t& twice, int32_t& once) {
    const int32_t flip = -static_cast<int32_t>(g >= 0);  // all ones unless g < 0
    const int32_t twiceMagnitude = static_cast<int32_t>(15 * a2 > b2) + static_cast<int32_t>(7 * a2 > 9 * b2);
    const int32_t onceMagnitude = static_cast<int32_t>(3 * a2 > b2);
    twice = (twiceMagnitude ^ flip) - flip;
    once = (onceMagnitude ^ flip) - flip;
}

// Whether the single-precision formula may round a step differently from the
// exact quotient: it is off by a few ulps (relative 2^-21 at most), so
// wherever the two sides of a boundary comparison differ by more than
// 9 (a^2 + b^2) / 2^16 both give the same integer; closer than that (rare,
// and never equal for a != 0, the ratios being irrational) the float
// formula must decide. Everything fits in 32-bit unsigned arithmetic for
// |g| <= 16320, which keeps it cheap on 32-bit targets too. n = a^2 + b^2 > 0.
ORV_ENGINE_COLD inline bool NearRoundingBoundary(uint32_t ax2, uint32_t ay2) {
    const uint32_t n = ax2 + ay2;
    // At least 9 n / 2^16 + 1, without the product overflowing.
    const uint32_t guard = 9 * (n >> 16) + 9;
    // |d| < guard for the true difference d, from its value modulo 2^32: every
    // difference lies in (-2^28.1, 2^31.9), a span narrower than 2^32 - 2 guard.
    auto near = [guard](uint32_t d) ORV_ENGINE_INLINE { return d + guard - 1 < 2 * guard - 1; };
    auto nearBoundary = [near](uint32_t a2, uint32_t b2) ORV_ENGINE_INLINE {
        return near(3 * a2 - b2) | near(15 * a2 - b2) | near(7 * a2 - 9 * b2);
    };
    return nearBoundary(ax2, ay2) | nearBoundary(ay2, ax2);
}

// The float formula's offsets, for the rare steep gradient near a rounding
// boundary. Out of line, so that the search loop keeps its registers for the
// common case.
ORV_ENGINE_COLD inline StepOffsets FloatDescentOffsets(int32_t gx, int32_t gy) {
    const Direction dir = GradientDirection(gx, gy);
    return {Candidate({0, 0}, -2.0f, dir), Candidate({0, 0}, -1.0f, dir)};
}

// The offsets of Candidate(best, -2, dir) and Candidate(best, -1, dir) for
// dir = GradientDirection(gx, gy), bit for bit, without the float square
// root and division on the search's critical path: plain integer
// comparisons against the boundary ratios. Checked against the float formula
// for every gradient with |gx|, |gy| <= 16320: they agree for all with
// gx^2 + gy^2 below 18164642, and only 128 gradients above it differ, all
// hugging a boundary. So only gradients of 2^24 and more (an edge of some
// 4000 grey levels across the block, seldom met) are checked for closeness
// to a boundary, where the float formula decides.
ORV_ENGINE_INLINE inline StepOffsets DescentOffsets(int32_t gx, int32_t gy) {
    const uint32_t ax2 = static_cast<uint32_t>(gx * gx);
    const uint32_t ay2 = static_cast<uint32_t>(gy * gy);
    if (ORV_ENGINE_UNLIKELY(ax2 + ay2 >= (1u << 24)) && NearRoundingBoundary(ax2, ay2)) {
        return FloatDescentOffsets(gx, gy);
    }
    StepOffsets steps;
    AxisOffsets(gx, ax2, ay2, steps.twice.x, steps.once.x);
    AxisOffsets(gy, ay2, ax2, steps.twice.y, steps.once.y);
    return steps;
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

// The descent: step 2 against the cost gradient until the first failure,
// then step 1 until the second; a candidate outside (-limit, limit) ends it.
// Each step of 2 measures the candidate together with its two probes and the
// step-1 candidate, so a successful step is one round of measurements
// instead of two, and no branch depends on whether a candidate happens to
// land on a known probe. Once steps of 1 begin, the cost is near its
// minimum and most candidates fail, so there the candidate comes first and
// its probes only once it is taken. Costs has
//   uint32_t At(Vector v);                     // v alone
//   SpotCosts Spot(Vector v);                  // v and its probes
//   RoundCosts Round(Vector c2, Vector c1);    // Spot(c2), then c1
//   SpotCosts Probes(Vector v, uint32_t at);   // the probes of v, whose cost is known
// Every spot measured lies within `limit` of the block on each axis. The
// costs live in registers throughout: passing them through arrays would put
// a store and a reload on every step.
template <typename Costs>
ORV_ENGINE_INLINE inline void SearchBlockBatched(Costs& costs, Vector start, int32_t limit, SearchResult* out) {
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

}  // namespace engine
