#include "engine/engine_dsp.h"

namespace engine {

void engine_dsp_init(EngineDsp& dsp, base::CpuFlags flags) {
    dsp.sad_8x8 = sad_8x8_c;
    dsp.sad_8x8_row = sad_8x8_row_c;
    dsp.search_block = search_block_c;
    dsp.search_field = search_field_c;
    dsp.neighbour_means = neighbour_means_c;
    dsp.filter_row = filter_row_c;
    dsp.smooth_row = smooth_row_c;
#if defined(ORV_SIMD)
    if (flags.sse2) {
        dsp.sad_8x8 = sad_8x8_sse2;
        dsp.sad_8x8_row = sad_8x8_row_sse2;
        dsp.search_block = search_block_sse2;
        dsp.search_field = search_field_sse2;
        dsp.neighbour_means = neighbour_means_sse2;
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
        engine_dsp_init(d, base::DetectCpu());
        return d;
    }();
    return dsp;
}

}  // namespace engine
