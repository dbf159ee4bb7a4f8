// The demo line: a clipped Bresenham line whose pixels are blended toward a
// colour, in packed 4:2:2 or bottom-up 24-bit RGB frames.
#include <cstddef>

#include "demo/blend.h"
#include "demo/demo.h"
#include "demo/line.h"

namespace demo {

void DrawingSurface::SetGeometry(int32_t newWidth, int32_t newHeight, int32_t newFormat) {
    width = newWidth;
    height = newHeight;
    format = newFormat;
}

void DrawingSurface::DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t extraPixels, uint32_t colour,
                              int32_t opacity) {
    if (pixels == nullptr || (format != 0 && format != 1)) return;
    LineRun run;
    if (!ClipLine(x1, y1, x2, y2, extraPixels, width, height, run)) return;

    const int32_t strength = BlendStrength(opacity);
    const Target target = format == 0 ? LumaChromaTarget(colour) : RgbTarget(colour);
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    // A packed 4:2:2 row of odd width ends in half a pair group; its pixel is
    // skipped so that the group's missing bytes are never written.
    const int64_t drawableWidth = format == 0 ? (width & ~1) : width;

    int64_t x = run.x, y = run.y, err = run.err;
    for (int64_t i = 0; i < run.count; ++i) {
        // extraPixels may carry the line past its end point and out of the
        // picture; a line that has left the picture never comes back.
        if (x < 0 || x >= width || y < 0 || y >= height) break;
        if (x < drawableWidth) {
            const size_t ux = static_cast<size_t>(x), uy = static_cast<size_t>(y);
            if (format == 1) {
                uint8_t* p = pixels + (h - 1 - uy) * 3 * w + 3 * ux;
                p[0] = BlendByte(p[0], target.first, strength);
                p[1] = BlendByte(p[1], target.second, strength);
                p[2] = BlendByte(p[2], target.third, strength);
            } else {
                uint8_t* group = pixels + uy * 2 * w + (ux & ~static_cast<size_t>(1)) * 2;
                if ((ux & 1) == 0) {
                    // The even pixel carries the pair's chroma.
                    group[0] = BlendByte(group[0], target.first, strength);
                    group[1] = BlendByte(group[1], target.second, strength);
                    group[3] = BlendByte(group[3], target.third, strength);
                } else {
                    group[2] = BlendByte(group[2], target.first, strength);
                }
            }
        }
        if (run.steep) {
            y += run.stepY;
        } else {
            x += run.stepX;
        }
        err -= run.twoM;
        if (err < 0) {
            err += run.twoL;
            if (run.steep) {
                x += run.stepX;
            } else {
                y += run.stepY;
            }
        }
    }
}

}  // namespace demo
