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

// Adding and removing 1.5 * 2^23 leaves a single-precision value of
// magnitude below 2^22 rounded to an integer, ties to even: the sum's unit in
// the last place is 1. Needs SSE arithmetic (no x87 excess precision, no
// -ffast-math).
constexpr float kRoundingMagic = 12582912.0f;

// Round to nearest, ties to even, as lrintf does in the default rounding
// mode, without a branch. |v| must be below 2^22.
inline int32_t RoundHalfEven(float v) { return static_cast<int32_t>((v + kRoundingMagic) - kRoundingMagic); }

// Margin of a plane in pixels, horizontally and vertically, as described by
// its members; false when the descriptor is not a consistent padded plane.
inline bool PlaneMargins(const Plane& p, int32_t& marginX, int32_t& marginY) {
    if (p.buffer == nullptr || p.origin == nullptr || p.width < 0 || p.height < 0) return false;
    marginX = (p.stride - p.width) / 2;
    marginY = (p.paddedHeight - p.height) / 2;
    if (marginX < 0 || marginY < 0) return false;
    return p.origin == p.buffer + static_cast<ptrdiff_t>(marginY) * p.stride + marginX;
}

// True when a and b are consistent padded planes of the same width, height,
// stride and padded height, so that one stride and one margin (given back)
// serve both.
inline bool SamePaddedGeometry(const Plane& a, const Plane& b, int32_t& marginX, int32_t& marginY) {
    int32_t otherX = 0, otherY = 0;
    if (!PlaneMargins(a, marginX, marginY) || !PlaneMargins(b, otherX, otherY)) return false;
    return a.width == b.width && a.height == b.height && a.stride == b.stride && a.paddedHeight == b.paddedHeight;
}

// True when the search and refinement may probe `reference` up to `reach`
// pixels outside every block of `motion` without leaving the allocation:
// both planes share width, height, stride and padded height, the margins are
// at least `reach`, and the field covers only whole blocks of the plane.
inline bool MotionGeometryOk(const Plane& current, const Plane& reference, const VectorField& motion,
                             int32_t reach) {
    int32_t mx = 0, my = 0;
    if (!SamePaddedGeometry(current, reference, mx, my)) return false;
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
