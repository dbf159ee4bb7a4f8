#include <cstring>
#include <limits>
#include <utility>

#include "engine/aligned_buffer.h"
#include "engine/engine.h"

namespace engine {

namespace {

// Bytes for count elements of elementSize, or 0 when that would overflow.
size_t CheckedBytes(int64_t count, size_t elementSize) {
    if (count <= 0) return 0;
    if (static_cast<uint64_t>(count) > std::numeric_limits<size_t>::max() / elementSize) return 0;
    return static_cast<size_t>(count) * elementSize;
}

template <typename T>
void FreeGrid(Grid<T>& grid) {
    AlignedFree(grid.buffer);
    grid = Grid<T>{};
}

template <typename T>
bool AllocateGrid(Grid<T>& grid, int32_t width, int32_t height, int32_t margin) {
    grid.width = width;
    grid.height = height;
    grid.stride = width + 2 * margin;
    grid.paddedHeight = height + 2 * margin;
    size_t bytes = CheckedBytes(static_cast<int64_t>(grid.stride) * grid.paddedHeight, sizeof(T));
    grid.buffer = bytes != 0 ? static_cast<T*>(AlignedAlloc(bytes)) : nullptr;
    if (grid.buffer == nullptr) {
        grid = Grid<T>{};
        return false;
    }
    std::memset(static_cast<void*>(grid.buffer), 0, bytes);
    grid.origin = grid.buffer + static_cast<ptrdiff_t>(margin) * grid.stride + margin;
    return true;
}

}  // namespace

ChannelProcessor::ChannelProcessor() = default;

ChannelProcessor::~ChannelProcessor() { Release(); }

void ChannelProcessor::Release() {
    FreeGrid(current);
    FreeGrid(previous);
    FreeGrid(smoothedCurrent);
    FreeGrid(smoothedPrevious);
    FreeGrid(motion);
    AlignedFree(costHistogram);
    costHistogram = nullptr;
}

bool ChannelProcessor::Allocate(int32_t width, int32_t height, int32_t blockW, int32_t blockH) {
    Release();
    blockWidth = blockW;
    blockHeight = blockH;
    if (width < 0 || height < 0 || width > kMaxPlaneSide || height > kMaxPlaneSide || blockW <= 0 || blockH <= 0) {
        return false;
    }
    bool ok = AllocateGrid(current, width, height, border) && AllocateGrid(previous, width, height, border) &&
              AllocateGrid(smoothedCurrent, width, height, border) &&
              AllocateGrid(smoothedPrevious, width, height, border) &&
              AllocateGrid(motion, width / blockW, height / blockH, kFieldMargin);
    if (ok) {
        costHistogram = static_cast<int32_t*>(AlignedAlloc(sizeof(int32_t) * kHistogramBins));
        ok = costHistogram != nullptr;
        histogramExtent = kHistogramBins;  // contents unknown until the first clear
    }
    if (!ok) Release();
    return ok;
}

void ChannelProcessor::SeedNoiseHistory(int32_t value) {
    for (int32_t& entry : modeBinHistory) entry = value;
}

void SwapPlanes(Plane& a, Plane& b) { std::swap(a, b); }

}  // namespace engine
