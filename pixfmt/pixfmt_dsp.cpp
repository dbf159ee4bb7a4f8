#include "pixfmt/pixfmt_dsp.h"

namespace pixfmt {

#if defined(ORV_SIMD)
void split_row_sse2(const uint8_t* packed, uint8_t* y, uint8_t* u, uint8_t* v, int32_t groups);
void pack_row_sse2(uint8_t* packed, const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t groups);
#endif

void pixfmt_dsp_init(PixfmtDsp& dsp, platform::CpuFlags flags) {
    dsp.split_row = split_row_c;
    dsp.pack_row = pack_row_c;
#if defined(ORV_SIMD)
    if (flags.sse2) {
        dsp.split_row = split_row_sse2;
        dsp.pack_row = pack_row_sse2;
    }
#else
    (void)flags;
#endif
}

const PixfmtDsp& ActiveDsp() {
    static const PixfmtDsp dsp = [] {
        PixfmtDsp d{};
        pixfmt_dsp_init(d, platform::DetectCpu());
        return d;
    }();
    return dsp;
}

}  // namespace pixfmt
