#pragma once
// The plane type that the engine and the pixel-format conversions share, and
// the clipping of row ranges that their band-wise operations use.
#include <cstddef>
#include <cstdint>

namespace base {

// A two-dimensional array of equally sized elements inside a margin.
// Element (x, y) lies at origin[y * stride + x]; x and y may reach into the
// margin.
template <typename T>
struct Grid {
    T* buffer = nullptr;       // owned allocation, 16-byte aligned; null when none
    int32_t stride = 0;        // padded width in elements
    int32_t paddedHeight = 0;  // visible height plus the margin above and below
    T* origin = nullptr;       // visible element (0, 0)
    int32_t width = 0;         // visible width in elements
    int32_t height = 0;        // visible height in elements

    T* Row(int32_t y) const { return origin + static_cast<ptrdiff_t>(y) * stride; }
    T& At(int32_t x, int32_t y) const { return origin[static_cast<ptrdiff_t>(y) * stride + x]; }
};

// An 8-bit plane; stride is also the byte distance between rows.
using Plane = Grid<uint8_t>;

// Rows first .. first + count - 1 of 0 .. total - 1, as begin .. end - 1:
// cut at the end, and empty for a negative first row or count (the callers
// of the row-range operations pass bands that may run past the end).
struct RowSpan {
    int32_t begin;
    int32_t end;
};
inline RowSpan ClipRows(int32_t first, int32_t count, int32_t total) {
    if (first < 0 || count <= 0 || first >= total) return {0, 0};
    return {first, count < total - first ? first + count : total};
}

}  // namespace base
