#include "pixfmt/pixfmt_dsp.h"

namespace pixfmt {

void pixfmt_dsp_init(PixfmtDsp& dsp, base::CpuFlags flags) {
    dsp.split_row = split_row_c;
    dsp.pack_row = pack_row_c;
    dsp.rgb_to_packed_row = rgb_to_packed_row_c;
    dsp.packed_to_rgb_row = packed_to_rgb_row_c;
#if defined(ORV_SIMD)
    if (flags.sse2) {
        dsp.split_row = split_row_sse2;
        dsp.pack_row = pack_row_sse2;
        dsp.rgb_to_packed_row = rgb_to_packed_row_sse2;
        dsp.packed_to_rgb_row = packed_to_rgb_row_sse2;
    }
    if (flags.sse2 && flags.avx2) {
        dsp.split_row = split_row_avx2;
    }
#else
    (void)flags;
#endif
}

const PixfmtDsp& ActiveDsp() {
    static const PixfmtDsp dsp = [] {
        PixfmtDsp d{};
        pixfmt_dsp_init(d, base::DetectCpu());
        return d;
    }();
    return dsp;
}

}  // namespace pixfmt
