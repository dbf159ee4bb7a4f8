#pragma once
// 16-byte aligned allocation for planes, motion fields, histograms and frames.
#include <cstddef>

namespace engine {

// Returns null on failure (or when the size overflows); never throws.
void* AlignedAlloc(size_t bytes);
void AlignedFree(void* p);

}  // namespace engine
