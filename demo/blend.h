#pragma once
// Blend strength and colour targets of the demo line.
#include <cstdint>

namespace demo {

// round(number * numerator / denominator), halves away from zero, computed
// exactly in 64 bits; -1 when denominator is 0 or the result does not fit
// in int32 (the convention of the Windows routine of the same name).
int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator);

// Blend strength out of 256 for an opacity in percent (60 gives 154).
inline int32_t BlendStrength(int32_t opacity) { return MulDiv(opacity, 256, 100); }

// c + floor((target - c) * strength / 256), limited to 0..255.
uint8_t BlendByte(uint8_t c, int32_t target, int32_t strength);

// The three byte targets of a colour 0x00BBGGRR: for 24-bit RGB frames B, G,
// R in memory order; for packed 4:2:2 frames Y, U, V.
struct Target {
    int32_t first;
    int32_t second;
    int32_t third;
};
Target RgbTarget(uint32_t colour);
Target LumaChromaTarget(uint32_t colour);

}  // namespace demo
