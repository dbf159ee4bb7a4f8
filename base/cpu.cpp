#include "base/cpu.h"

namespace base {

CpuFlags DetectCpu() {
    CpuFlags flags;
#if defined(ORV_SIMD) && (defined(__i386__) || defined(__x86_64__))
    __builtin_cpu_init();
    flags.sse2 = __builtin_cpu_supports("sse2");
    flags.avx2 = __builtin_cpu_supports("avx2");
#endif
    return flags;
}

}  // namespace base
