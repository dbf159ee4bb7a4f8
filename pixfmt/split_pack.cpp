#include <algorithm>
#include <cassert>
#include <cstddef>

#include "pixfmt/pixfmt.h"
#include "pixfmt/pixfmt_dsp.h"

namespace pixfmt {

void split_row_c(const uint8_t* packed, uint8_t* y, uint8_t* u, uint8_t* v, int32_t groups) noexcept {
    assert(groups >= 0);
    for (int32_t g = 0; g < groups; ++g) {
        const uint8_t* b = packed + 16 * g;
        for (int i = 0; i < 8; ++i) y[8 * g + i] = b[2 * i];
        for (int i = 0; i < 4; ++i) {
            u[4 * g + i] = b[4 * i + 1];
            v[4 * g + i] = b[4 * i + 3];
        }
    }
}

void pack_row_c(uint8_t* packed, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                int32_t groups) noexcept {
    assert(groups >= 0);
    for (int32_t g = 0; g < groups; ++g) {
        uint8_t* b = packed + 16 * g;
        for (int i = 0; i < 4; ++i) {
            b[4 * i + 0] = y[8 * g + 2 * i];
            b[4 * i + 1] = u[4 * g + i];
            b[4 * i + 2] = y[8 * g + 2 * i + 1];
            b[4 * i + 3] = v[4 * g + i];
        }
    }
}

// The split takes rows and groups from the Y plane, the pack from the
// geometry. Both are also held to the other's extent, so that a plane and a
// geometry that disagree can never send a row past its buffer; in the
// pipeline they always agree. Frames narrower than one group are not touched.
void SplitPlanes(const uint8_t* frame, const Geometry& geometry, base::Plane& y, base::Plane& u,
                 base::Plane& v) {
    SplitPlaneRows(frame, geometry, y, u, v, 0, std::min(y.height, geometry.height));
}

void SplitPlaneRows(const uint8_t* frame, const Geometry& geometry, base::Plane& y, base::Plane& u,
                    base::Plane& v, int32_t firstRow, int32_t rowCount) {
    if (frame == nullptr || y.origin == nullptr || u.origin == nullptr || v.origin == nullptr) return;
    const int32_t groups = std::min(y.width, geometry.width) / 8;
    const int32_t rows = std::min(y.height, geometry.height);
    if (groups <= 0) return;
    const base::RowSpan band = base::ClipRows(firstRow, rowCount, rows);
    const PixfmtDsp& dsp = ActiveDsp();
    const size_t rowBytes = static_cast<size_t>(geometry.width) * 2;
    for (int32_t r = band.begin; r < band.end; ++r) {
        dsp.split_row(frame + static_cast<size_t>(r) * rowBytes, y.Row(r), u.Row(r), v.Row(r), groups);
    }
}

void PackPlanes(uint8_t* frame, const Geometry& geometry, const base::Plane& y, const base::Plane& u,
                const base::Plane& v) {
    PackPlaneRows(frame, geometry, y, u, v, 0, std::min(y.height, geometry.height));
}

void PackPlaneRows(uint8_t* frame, const Geometry& geometry, const base::Plane& y, const base::Plane& u,
                   const base::Plane& v, int32_t firstRow, int32_t rowCount) {
    if (frame == nullptr || y.origin == nullptr || u.origin == nullptr || v.origin == nullptr) return;
    const int32_t groups = std::min(y.width, geometry.width) / 8;
    const int32_t rows = std::min(y.height, geometry.height);
    if (groups <= 0) return;
    const base::RowSpan band = base::ClipRows(firstRow, rowCount, rows);
    const PixfmtDsp& dsp = ActiveDsp();
    const size_t rowBytes = static_cast<size_t>(geometry.width) * 2;
    for (int32_t r = band.begin; r < band.end; ++r) {
        dsp.pack_row(frame + static_cast<size_t>(r) * rowBytes, y.Row(r), u.Row(r), v.Row(r), groups);
    }
}

}  // namespace pixfmt
