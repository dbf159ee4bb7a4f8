#include "engine/engine_dsp.h"

namespace engine {

#if defined(ORV_SIMD)
uint32_t sad_8x8_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride) noexcept;
void sad_8x8_row_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t blocks,
                      uint32_t* out) noexcept;
void search_block_sse2(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t startX, int32_t startY,
                       int32_t limit, SearchResult* out) noexcept;
void search_field_sse2(const Plane& current, const Plane& reference, const VectorField& motion, int32_t limit,
                       uint32_t neighbourLimit) noexcept;
void filter_row_sse2(uint8_t* cur, const uint8_t* prev, int32_t n, FilterParams params) noexcept;
void filter_row_avx2(uint8_t* cur, const uint8_t* prev, int32_t n, FilterParams params) noexcept;
void smooth_row_sse2(uint8_t* dst, const uint8_t* above, const uint8_t* mid, const uint8_t* below,
                     int32_t n) noexcept;
void smooth_row_avx2(uint8_t* dst, const uint8_t* above, const uint8_t* mid, const uint8_t* below,
                     int32_t n) noexcept;
#endif

void engine_dsp_init(EngineDsp& dsp, platform::CpuFlags flags) {
    dsp.sad_8x8 = sad_8x8_c;
    dsp.sad_8x8_row = sad_8x8_row_c;
    dsp.search_block = search_block_c;
    dsp.search_field = search_field_c;
    dsp.filter_row = filter_row_c;
    dsp.smooth_row = smooth_row_c;
#if defined(ORV_SIMD)
    if (flags.sse2) {
        dsp.sad_8x8 = sad_8x8_sse2;
        dsp.sad_8x8_row = sad_8x8_row_sse2;
        dsp.search_block = search_block_sse2;
        dsp.search_field = search_field_sse2;
        dsp.filter_row = filter_row_sse2;
        dsp.smooth_row = smooth_row_sse2;
    }
    if (flags.sse2 && flags.avx2) {
        dsp.filter_row = filter_row_avx2;
        dsp.smooth_row = smooth_row_avx2;
    }
#else
    (void)flags;
#endif
}

const EngineDsp& ActiveDsp() {
    static const EngineDsp dsp = [] {
        EngineDsp d{};
        engine_dsp_init(d, platform::DetectCpu());
        return d;
    }();
    return dsp;
}

}  // namespace engine
