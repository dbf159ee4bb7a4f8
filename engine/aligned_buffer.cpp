#include "engine/aligned_buffer.h"

#include <cstdlib>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace engine {

void* AlignedAlloc(size_t bytes) {
    if (bytes == 0) bytes = 16;
#if defined(_WIN32)
    return _aligned_malloc(bytes, 16);
#else
    void* p = nullptr;
    return posix_memalign(&p, 16, bytes) == 0 ? p : nullptr;
#endif
}

void AlignedFree(void* p) {
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}

}  // namespace engine
