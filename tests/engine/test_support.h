#pragma once
// Shared pieces of the engine tests: a replayable seed, byte blocks flush
// against an inaccessible page, and the kernel tables side by side.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/engine_dsp.h"
#include "tests/support/guarded_buffer.h"

namespace engine_test {

// One random seed per run, printed with every failure; set
// ORV_TEST_SEED=<n> to replay a failing run.
inline uint32_t TestSeed() {
    static const uint32_t seed = [] {
        if (const char* text = std::getenv("ORV_TEST_SEED")) {
            return static_cast<uint32_t>(std::strtoul(text, nullptr, 0));
        }
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return static_cast<uint32_t>(std::random_device{}() ^ static_cast<uint32_t>(now));
    }();
    return seed;
}

inline std::string SeedNote() {
    const std::string s = std::to_string(TestSeed());
    return "seed " + s + " (replay with ORV_TEST_SEED=" + s + ")";
}

using testing_support::GuardedBuffer;

struct Variant {
    std::string name;
    engine::EngineDsp dsp;
};

// The scalar table first, then every SIMD table this build and CPU offer.
inline std::vector<Variant> Variants() {
    std::vector<Variant> variants;
    engine::EngineDsp dsp{};
    engine::engine_dsp_init(dsp, platform::ScalarOnly());
    variants.push_back({"c", dsp});
#if defined(ORV_SIMD)
    if (platform::DetectCpu().sse2) {
        platform::CpuFlags sse2;
        sse2.sse2 = true;
        engine::engine_dsp_init(dsp, sse2);
        variants.push_back({"sse2", dsp});
    }
    if (platform::DetectCpu().avx2) {
        engine::engine_dsp_init(dsp, platform::DetectCpu());
        variants.push_back({"avx2", dsp});
    }
#endif
    return variants;
}

}  // namespace engine_test
