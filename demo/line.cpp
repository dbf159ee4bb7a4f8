// Outcodes, the Bresenham set-up and the clipping of a line's start and end.
//
// Coordinates are int32, so axis lengths reach 2^32 - 1 and a skip distance
// 2^31; the products d * 2M and d * 2L then exceed int64 but never uint64
// (below 2^64 - 2^32). The skip and end steps therefore work on unsigned
// 64-bit values, where every quantity involved is known to be non-negative.
//
// Every skip and end step yields exactly the state the pixel-by-pixel
// stepping would reach, so a clipped line covers the same pixels as the
// unclipped line inside the picture.
#include "demo/line.h"

#include <cstdint>

namespace demo {

namespace {

constexpr int kLeft = 8, kRight = 4, kAbove = 2, kBelow = 1;

class Clipper {
public:
    Clipper(int32_t width, int32_t height) : width_(width), height_(height) {}

    int Outcode(int64_t x, int64_t y) const {
        return (x < 0 ? kLeft : 0) | (x >= width_ ? kRight : 0) | (y < 0 ? kAbove : 0) | (y >= height_ ? kBelow : 0);
    }

    bool Apart(int64_t x1, int64_t y1, int64_t x2, int64_t y2) const {
        return (Outcode(x1, y1) & Outcode(x2, y2)) != 0;
    }

private:
    int64_t width_;
    int64_t height_;
};

// The decision state while clipping. Each step returns false when its
// arithmetic precondition fails, which a line reaching the picture never
// does (the callers then reject the line instead of computing garbage).
class Stepper {
public:
    explicit Stepper(LineRun& run) : run_(run) {}

    // Skips d pixels along the major axis; r is the minor-axis movement.
    bool SkipAlongMajor(int64_t d, int64_t& r) {
        uint64_t product;
        if (!Product(d, run_.twoM, product)) return false;
        const uint64_t err = static_cast<uint64_t>(run_.err);
        if (product <= err) {
            r = 0;
            run_.err = static_cast<int64_t>(err - product);
        } else {
            // e = err - d * 2M < 0: the stepping loop has made r = ceil(-e / 2L)
            // minor moves by now and left err = e + r * 2L in [0, 2L).
            const uint64_t minusE = product - err;
            const uint64_t twoL = static_cast<uint64_t>(run_.twoL);
            if (twoL == 0) return false;
            r = static_cast<int64_t>(1 + (minusE - 1) / twoL);
            run_.err = static_cast<int64_t>(twoL - 1 - (minusE - 1) % twoL);
        }
        run_.count -= d;
        return true;
    }

    // Skips until d minor-axis moves have happened; r is the major-axis movement.
    bool SkipAlongMinor(int64_t d, int64_t& r) {
        // e = err + (d - 1) * 2L >= 0; r = floor(e / 2M) + 1; err = e - r * 2M + 2L.
        uint64_t e;
        if (d < 1 || run_.twoM == 0 || !Product(d - 1, run_.twoL, e) || !Add(e, run_.err, e)) return false;
        const uint64_t twoM = static_cast<uint64_t>(run_.twoM);
        r = static_cast<int64_t>(e / twoM + 1);
        run_.err = static_cast<int64_t>(e % twoM) - run_.twoM + run_.twoL;
        run_.count -= r;
        return true;
    }

    // Ends the line d pixels along the major axis; r is the last pixel's minor offset.
    bool EndAtMajor(int64_t d, int64_t& r) {
        uint64_t product;
        if (!Product(d, run_.twoM, product)) return false;
        const uint64_t err = static_cast<uint64_t>(run_.err);
        if (product <= err) {
            r = 0;
        } else {
            // As in SkipAlongMajor: ceil(-e / 2L) minor moves.
            if (run_.twoL == 0) return false;
            r = static_cast<int64_t>(1 + (product - err - 1) / static_cast<uint64_t>(run_.twoL));
        }
        run_.count = d + 1;
        return true;
    }

    // Ends the line at minor offset d; r is the last pixel's major offset.
    bool EndAtMinor(int64_t d, int64_t& r) {
        uint64_t e;
        if (run_.twoM == 0 || !Product(d, run_.twoL, e) || !Add(e, run_.err, e)) return false;
        r = static_cast<int64_t>(e / static_cast<uint64_t>(run_.twoM));
        run_.count = r + 1;
        return true;
    }

private:
    // a * b for non-negative a, b, when it fits in uint64.
    static bool Product(int64_t a, int64_t b, uint64_t& out) {
        if (a < 0 || b < 0) return false;
        const uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
        if (ua != 0 && ub > UINT64_MAX / ua) return false;
        out = ua * ub;
        return true;
    }

    static bool Add(uint64_t a, int64_t b, uint64_t& out) {
        if (b < 0 || a > UINT64_MAX - static_cast<uint64_t>(b)) return false;
        out = a + static_cast<uint64_t>(b);
        return true;
    }

    LineRun& run_;
};

// Moves a coordinate by r toward end: down when it lies beyond end, up otherwise.
inline int64_t MoveToward(int64_t start, int64_t end, int64_t r) { return start > end ? start - r : start + r; }

}  // namespace

bool ClipLine(int32_t x1In, int32_t y1In, int32_t x2In, int32_t y2In, int32_t extraPixels, int32_t width,
              int32_t height, LineRun& run) {
    if (width <= 0 || height <= 0) return false;
    const Clipper clip(width, height);
    int64_t x1 = x1In, y1 = y1In, x2 = x2In, y2 = y2In;
    if (clip.Apart(x1, y1, x2, y2)) return false;

    const int64_t dx = x2 - x1, dy = y2 - y1;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    run = LineRun{};
    run.steep = adx < ady;
    run.stepX = x1 > x2 ? -1 : 1;
    run.stepY = y1 > y2 ? -1 : 1;
    const int64_t L = run.steep ? ady : adx, M = run.steep ? adx : ady;
    run.err = L;
    run.count = L + extraPixels;
    run.twoL = 2 * L;
    run.twoM = 2 * M;
    Stepper step(run);
    int64_t r = 0;

    // The start: vertical edges first, then horizontal ones.
    if (x1 < 0 || x1 >= width) {
        const int64_t d = x1 < 0 ? -x1 : x1 - width + 1;
        if (!(run.steep ? step.SkipAlongMinor(d, r) : step.SkipAlongMajor(d, r))) return false;
        x1 = x1 < 0 ? 0 : width - 1;
        y1 = MoveToward(y1, y2, r);
    }
    if (clip.Apart(x1, y1, x2, y2)) return false;
    if (y1 < 0 || y1 >= height) {
        const int64_t d = y1 < 0 ? -y1 : y1 - height + 1;
        if (!(run.steep ? step.SkipAlongMajor(d, r) : step.SkipAlongMinor(d, r))) return false;
        y1 = y1 < 0 ? 0 : height - 1;
        x1 = MoveToward(x1, x2, r);
    }
    if (clip.Apart(x1, y1, x2, y2)) return false;
    // A clipped start that reaches the picture lies inside it; anything else
    // would mean the end lies beyond the start, which the stepping excludes.
    if (clip.Outcode(x1, y1) != 0) return false;

    // The end, in the same order, measured from the clipped start.
    if (x2 < 0 || x2 >= width) {
        const int64_t d = x2 < 0 ? x1 : width - 1 - x1;
        if (!(run.steep ? step.EndAtMinor(d, r) : step.EndAtMajor(d, r))) return false;
        x2 = x2 < 0 ? 0 : width - 1;
        y2 = MoveToward(y1, y2, r);
    }
    if (clip.Apart(x1, y1, x2, y2)) return false;
    if (y2 < 0 || y2 >= height) {
        const int64_t d = y2 < 0 ? y1 : height - 1 - y1;
        if (!(run.steep ? step.EndAtMajor(d, r) : step.EndAtMinor(d, r))) return false;
        y2 = y2 < 0 ? 0 : height - 1;
        x2 = MoveToward(x1, x2, r);
    }
    if (clip.Apart(x1, y1, x2, y2)) return false;

    run.x = x1;
    run.y = y1;
    return true;
}

}  // namespace demo
