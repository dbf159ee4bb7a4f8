#pragma once
// The drawing surface over the host's frame buffer and its clipped, blended
// line, used to mark the boundary of the demo split.
#include <cstdint>

namespace demo {

class DrawingSurface {
public:
    void SetGeometry(int32_t width, int32_t height, int32_t format);

    // Draws from (x1, y1) toward (x2, y2): the half-open line plus extraPixels,
    // clipped to the picture, blending colour (0x00BBGGRR) at opacity percent.
    void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t extraPixels, uint32_t colour,
                  int32_t opacity);

    int32_t format = 0;         // 0 packed 4:2:2, 1 bottom-up 24-bit RGB; others draw nothing
    uint8_t* pixels = nullptr;  // set for every frame
    int32_t width = 0;
    int32_t height = 0;
};

}  // namespace demo
