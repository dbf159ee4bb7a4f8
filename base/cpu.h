#pragma once
// Processor features that choose the kernel variants, detected once.

namespace base {

struct CpuFlags {
    bool sse2 = false;
    bool avx2 = false;
};

// What this processor supports (and this build contains).
CpuFlags DetectCpu();

// No SIMD at all: selects the scalar reference of every kernel.
inline CpuFlags ScalarOnly() { return CpuFlags{}; }

}  // namespace base
