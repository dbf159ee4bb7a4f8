#pragma once
// Bresenham stepping of a line with its start and end clipped to a picture.
#include <cstdint>

namespace demo {

// The part of a line that lies inside the picture, ready to be stepped: the
// first pixel, the direction of each axis, the decision variable and the
// number of pixels.
struct LineRun {
    int64_t x = 0;
    int64_t y = 0;
    int64_t stepX = 1;
    int64_t stepY = 1;
    bool steep = false;  // y is the major axis
    int64_t err = 0;
    int64_t twoL = 0;    // twice the major-axis length
    int64_t twoM = 0;    // twice the minor-axis length
    int64_t count = 0;   // pixels to draw; 0 or less draws nothing
};

// Sets up the line from (x1, y1) toward (x2, y2) with extraPixels added to
// its length, and clips start and end to a width x height picture. Returns
// false when no part of the line lies inside. All arithmetic is exact for
// every int32 input: nothing overflows.
bool ClipLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t extraPixels, int32_t width, int32_t height,
              LineRun& run);

}  // namespace demo
