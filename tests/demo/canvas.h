#pragma once
// A frame buffer for DrawingSurface tests, with sentinel guards around it,
// and the expected result of blending a list of pixels into it.
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "demo/demo.h"

namespace demo_test {

struct Point {
    int64_t x;
    int64_t y;
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
};

// Target bytes: B, G, R for format 1; Y, U, V for format 0.
struct Target {
    int first, second, third;
};

inline int64_t FloorDiv256(int64_t v) { return v >= 0 ? v / 256 : -((-v + 255) / 256); }

inline uint8_t Blend(uint8_t c, int target, int strength) {
    const int64_t v = c + FloorDiv256(static_cast<int64_t>(target - c) * strength);
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

class Canvas {
public:
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kSentinel = 0xC3;

    Canvas(int32_t width, int32_t height, int32_t format, uint32_t seed)
        : width_(width), height_(height), format_(format),
          size_(static_cast<size_t>(width < 0 ? 0 : width) * static_cast<size_t>(height < 0 ? 0 : height) *
                (format == 1 ? 3 : 2)),
          bytes_(2 * kGuard + size_, kSentinel) {
        std::mt19937 rng(seed);
        for (size_t i = 0; i < size_; ++i) bytes_[kGuard + i] = static_cast<uint8_t>(rng());
        surface.SetGeometry(width, height, format);
        surface.pixels = bytes_.data() + kGuard;
    }

    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    uint8_t* pixels() { return bytes_.data() + kGuard; }

    // The bytes after blending each listed pixel toward `target`.
    std::vector<uint8_t> Expected(const std::vector<Point>& points, Target target, int strength) const {
        std::vector<uint8_t> out = bytes_;
        uint8_t* base = out.data() + kGuard;
        const size_t w = static_cast<size_t>(width_);
        for (const Point& p : points) {
            const size_t x = static_cast<size_t>(p.x), y = static_cast<size_t>(p.y);
            if (format_ == 1) {
                uint8_t* px = base + (static_cast<size_t>(height_) - 1 - y) * 3 * w + 3 * x;
                px[0] = Blend(px[0], target.first, strength);
                px[1] = Blend(px[1], target.second, strength);
                px[2] = Blend(px[2], target.third, strength);
            } else if (x % 2 == 0) {
                uint8_t* group = base + y * 2 * w + 2 * x;
                group[0] = Blend(group[0], target.first, strength);
                group[1] = Blend(group[1], target.second, strength);
                group[3] = Blend(group[3], target.third, strength);
            } else {
                uint8_t* group = base + y * 2 * w + 2 * (x - 1);
                group[2] = Blend(group[2], target.first, strength);
            }
        }
        return out;
    }

    demo::DrawingSurface surface;

private:
    int32_t width_, height_, format_;
    size_t size_;
    std::vector<uint8_t> bytes_;
};

}  // namespace demo_test
