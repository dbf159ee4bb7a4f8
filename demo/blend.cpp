#include "demo/blend.h"

#include <cstdint>
#include <limits>

namespace demo {

namespace {

// Floor division for a positive divisor (C++ division truncates toward zero).
inline int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

}  // namespace

int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator) {
    if (denominator == 0) return -1;
    // |product| < 2^62 and |denominator| <= 2^31: nothing below overflows.
    int64_t product = static_cast<int64_t>(number) * numerator;
    int64_t divisor = denominator;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    const int64_t magnitude = ((product < 0 ? -product : product) + divisor / 2) / divisor;
    const int64_t result = product < 0 ? -magnitude : magnitude;
    if (result > std::numeric_limits<int32_t>::max() || result < std::numeric_limits<int32_t>::min()) return -1;
    return static_cast<int32_t>(result);
}

uint8_t BlendByte(uint8_t c, int32_t target, int32_t strength) {
    // |target - c| stays small and strength is an int32: the product fits.
    const int64_t v = c + FloorDiv(static_cast<int64_t>(target - c) * strength, 256);
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

Target RgbTarget(uint32_t colour) {
    return {static_cast<int32_t>((colour >> 16) & 0xFF), static_cast<int32_t>((colour >> 8) & 0xFF),
            static_cast<int32_t>(colour & 0xFF)};
}

Target LumaChromaTarget(uint32_t colour) {
    const int64_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    const int64_t y = (3735 * b + 19235 * g + 9798 * r) >> 15;  // never negative
    const int64_t u = FloorDiv(16384 * b - 10855 * g - 5529 * r, 32768) + 128;
    const int64_t v = FloorDiv(16384 * r - 13720 * g - 2664 * b, 32768) + 128;
    return {static_cast<int32_t>(y), static_cast<int32_t>(u), static_cast<int32_t>(v)};
}

}  // namespace demo
