#pragma once
// Conversions between the host's frame formats and the engine's planes.
// The kernels behind these are chosen once per process from the CPU flags.
#include <cstdint>

#include "base/plane.h"

namespace pixfmt {

struct Geometry {
    int32_t width;
    int32_t height;
};

// Packed 4:2:2 (Y0 U Y1 V, rows top-down, row length width*2) into three
// planes: Y full width, U and V half width, full height. Rows come from the Y
// plane's height, groups of 8 pixels from its width / 8.
void SplitPlanes(const uint8_t* frame, const Geometry& geometry, base::Plane& y, base::Plane& u,
                 base::Plane& v);

// The same for rows firstRow .. firstRow + rowCount - 1 only (clipped to
// the rows SplitPlanes would write), so that work on a band of rows can
// follow while the band is still in the cache.
void SplitPlaneRows(const uint8_t* frame, const Geometry& geometry, base::Plane& y, base::Plane& u,
                    base::Plane& v, int32_t firstRow, int32_t rowCount);

// The planes back into the packed frame; rows and groups from the geometry.
void PackPlanes(uint8_t* frame, const Geometry& geometry, const base::Plane& y, const base::Plane& u,
                const base::Plane& v);

// The same for rows firstRow .. firstRow + rowCount - 1 only (clipped to
// the rows PackPlanes would write).
void PackPlaneRows(uint8_t* frame, const Geometry& geometry, const base::Plane& y, const base::Plane& u,
                   const base::Plane& v, int32_t firstRow, int32_t rowCount);

// Bottom-up 24-bit BGR into packed 4:2:2, top row first (full-range BT.601).
void RgbToPacked(const uint8_t* rgb, uint8_t* packed, const Geometry& geometry);

// Packed 4:2:2 back into bottom-up 24-bit BGR.
void PackedToRgb(const uint8_t* packed, uint8_t* rgb, const Geometry& geometry);

}  // namespace pixfmt
