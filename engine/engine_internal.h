#pragma once
// Helpers shared by the engine's operations. Internal to engine/.
#include <cstddef>
#include <cstdint>

#include "engine/engine.h"

namespace engine {

// Round to nearest, ties to even, independent of the FPU rounding mode.
// |v| must be below 2^31.
inline int32_t RoundHalfEven(float v) {
    const int32_t i = static_cast<int32_t>(v);  // toward zero
    const float frac = v - static_cast<float>(i);  // exact
    if (frac > 0.5f) return i + 1;
    if (frac < -0.5f) return i - 1;
    if (frac == 0.5f) return i + (i & 1);
    if (frac == -0.5f) return i - (i & 1);
    return i;
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

// Top-left pixel of block (bx, by) of an 8-bit plane.
inline const uint8_t* BlockAt(const Plane& plane, int32_t bx, int32_t by) {
    return plane.origin + static_cast<ptrdiff_t>(8 * by) * plane.stride + 8 * bx;
}

}  // namespace engine
