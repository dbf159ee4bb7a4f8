#pragma once
// Helpers shared by the engine's operations. Internal to engine/.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "engine/engine.h"

// Forces a small helper (or lambda) inline where the compiler's estimate
// would keep a call in a hot loop.
#if defined(__GNUC__)
#define ORV_ENGINE_INLINE __attribute__((always_inline))
#else
#define ORV_ENGINE_INLINE
#endif

// Keeps a rarely taken path out of line, so that the registers of the hot
// loop around its call are not spent on it.
#if defined(__GNUC__)
#define ORV_ENGINE_COLD __attribute__((noinline, cold))
#define ORV_ENGINE_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define ORV_ENGINE_COLD
#define ORV_ENGINE_UNLIKELY(x) (x)
#endif

namespace engine {

// Round to nearest, ties to even, as lrintf does in the default rounding
// mode: adding and removing 1.5 * 2^23 leaves the rounded value, without a
// branch. Needs single-precision SSE arithmetic (no x87 excess precision,
// no -ffast-math). |v| must be below 2^22.
inline int32_t RoundHalfEven(float v) {
    constexpr float kMagic = 12582912.0f;  // 1.5 * 2^23
    return static_cast<int32_t>((v + kMagic) - kMagic);
}

// Margin of a plane in pixels, horizontally and vertically, as described by
// its members; false when the descriptor is not a consistent padded plane.
inline bool PlaneMargins(const Plane& p, int32_t& marginX, int32_t& marginY) {
    if (p.buffer == nullptr || p.origin == nullptr || p.width < 0 || p.height < 0) return false;
    marginX = (p.stride - p.width) / 2;
    marginY = (p.paddedHeight - p.height) / 2;
    if (marginX < 0 || marginY < 0) return false;
    return p.origin == p.buffer + static_cast<ptrdiff_t>(marginY) * p.stride + marginX;
}

// True when the search and refinement may probe `reference` up to `reach`
// pixels outside every block of `motion` without leaving the allocation:
// both planes share width, height, stride and padded height, the margins are
// at least `reach`, and the field covers only whole blocks of the plane.
inline bool MotionGeometryOk(const Plane& current, const Plane& reference, const VectorField& motion,
                             int32_t reach) {
    int32_t mx = 0, my = 0, rx = 0, ry = 0;
    if (!PlaneMargins(current, mx, my) || !PlaneMargins(reference, rx, ry)) return false;
    if (current.width != reference.width || current.height != reference.height ||
        current.stride != reference.stride || current.paddedHeight != reference.paddedHeight) {
        return false;
    }
    if (mx < reach || my < reach) return false;
    if (motion.width < 0 || motion.height < 0) return false;
    if (motion.width > 0 && motion.height > 0 && motion.origin == nullptr) return false;
    return motion.width <= current.width / 8 && motion.height <= current.height / 8;
}

// The record of block (bx, by); bx and by may reach two records into the margin.
inline BlockMotion& Record(const VectorField& field, int32_t bx, int32_t by) { return field.At(bx, by); }

struct Vector {
    int32_t x;
    int32_t y;
};

// -limit < x < limit and -limit < y < limit, as two unsigned comparisons
// without branches: -limit < d < limit exactly when d + limit - 1 < 2 limit - 1
// as unsigned. limit >= 1.
ORV_ENGINE_INLINE inline bool InSearchRange(int32_t x, int32_t y, int32_t limit) {
    const uint32_t bias = static_cast<uint32_t>(limit) - 1, span = 2 * static_cast<uint32_t>(limit) - 1;
    return (static_cast<uint32_t>(x) + bias < span) & (static_cast<uint32_t>(y) + bias < span);
}

// Search prediction from the left, above and above-right records: the mean,
// truncated toward zero, of those whose cost is at most neighbourLimit
// (unsigned); (0, 0) when none is.
ORV_ENGINE_INLINE inline Vector PredictFrom(const BlockMotion& left, const BlockMotion& above,
                                            const BlockMotion& aboveRight, uint32_t neighbourLimit) {
    const BlockMotion* neighbours[3] = {&left, &above, &aboveRight};
    int32_t sumX = 0, sumY = 0, count = 0;
    for (const BlockMotion* nb : neighbours) {
        const int32_t take = -static_cast<int32_t>(static_cast<uint32_t>(nb->cost) <= neighbourLimit);
        sumX += nb->dx & take;
        sumY += nb->dy & take;
        count -= take;
    }
    switch (count) {
        case 1: return {sumX, sumY};
        case 2: return {sumX / 2, sumY / 2};
        case 3: return {sumX / 3, sumY / 3};
        default: return {0, 0};
    }
}

// The prediction for block (bx, by) from its records.
inline Vector PredictVector(const VectorField& field, int32_t bx, int32_t by, uint32_t neighbourLimit) {
    return PredictFrom(Record(field, bx - 1, by), Record(field, bx, by - 1), Record(field, bx + 1, by - 1),
                       neighbourLimit);
}

struct Direction {
    float x;
    float y;
};

// Unit vector along the cost gradient (gx, gy) in single precision; (0, 0)
// when the cost is flat.
inline Direction GradientDirection(int32_t gx, int32_t gy) {
    int32_t n = gx * gx + gy * gy;  // at most 2 * 16320^2, within int32
    if (n == 0) n = 1;
    const float inv = 1.0f / std::sqrt(static_cast<float>(n));
    return {static_cast<float>(gx) * inv, static_cast<float>(gy) * inv};
}

// The descent candidate best + round(step * direction), ties to even.
inline Vector Candidate(Vector best, float step, Direction dir) {
    return {best.x + RoundHalfEven(step * dir.x), best.y + RoundHalfEven(step * dir.y)};
}

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

// Asks for the visible pixels of rows y0 .. y0 + count - 1 of two planes to
// be brought into the cache ahead of use, line by line in turn. Only a hint,
// which never faults; the caller keeps the rows inside the planes. Forced
// inline: as a separate function without side effects its calls would be
// dropped.
ORV_ENGINE_INLINE inline void PrefetchRows(const Plane& a, const Plane& b, int32_t y0, int32_t count) {
#if defined(__GNUC__)
    for (int32_t r = 0; r < count; ++r) {
        const uint8_t* rowA = a.Row(y0 + r);
        const uint8_t* rowB = b.Row(y0 + r);
        for (int32_t x = 0; x < a.width; x += 64) {
            __builtin_prefetch(rowA + x);
            __builtin_prefetch(rowB + x);
        }
    }
#else
    (void)a;
    (void)b;
    (void)y0;
    (void)count;
#endif
}

// Top-left pixel of block (bx, by) of an 8-bit plane.
inline const uint8_t* BlockAt(const Plane& plane, int32_t bx, int32_t by) {
    return plane.origin + static_cast<ptrdiff_t>(8 * by) * plane.stride + 8 * bx;
}

}  // namespace engine
