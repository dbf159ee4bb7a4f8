#pragma once
// Shared pieces of the kernel tests: a replayable seed, byte patterns with
// the extreme ones, destinations between sentinel guards (sources flush
// against an inaccessible page are in guarded_buffer.h), and every kernel
// table this build and CPU offer, side by side.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "base/cpu.h"
#include "tests/support/guarded_buffer.h"

namespace testing_support {

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

// Near: a base row (128 without one) plus small signed differences, so that
// thresholds from 1 to 100 select the blended branch of a filter often.
enum class Pattern { Random, Zeros, Full, Alternating, Inverse, Near };

inline void Fill(uint8_t* p, size_t n, Pattern pattern, std::mt19937& rng, const uint8_t* base = nullptr) {
    for (size_t i = 0; i < n; ++i) {
        switch (pattern) {
            case Pattern::Random: p[i] = static_cast<uint8_t>(rng()); break;
            case Pattern::Zeros: p[i] = 0; break;
            case Pattern::Full: p[i] = 255; break;
            case Pattern::Alternating: p[i] = (i & 1) ? 255 : 0; break;
            case Pattern::Inverse: p[i] = (i & 1) ? 0 : 255; break;
            case Pattern::Near: {
                const int v = (base != nullptr ? base[i] : 128) + static_cast<int>(rng() % 81) - 40;
                p[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
                break;
            }
        }
    }
}

// A destination at a chosen misalignment with sentinel bytes before and
// after it: compare bytes() whole, or ask GuardsIntact(), to catch a write
// outside it.
class SentinelBuffer {
public:
    static constexpr size_t kGuard = 32;

    SentinelBuffer(size_t size, size_t misalign, uint8_t sentinel)
        : bytes_(2 * kGuard + misalign + size, sentinel), start_(kGuard + misalign), size_(size),
          sentinel_(sentinel) {}

    uint8_t* data() { return bytes_.data() + start_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    bool GuardsIntact() const {
        for (size_t i = 0; i < bytes_.size(); ++i) {
            if ((i < start_ || i >= start_ + size_) && bytes_[i] != sentinel_) return false;
        }
        return true;
    }

private:
    std::vector<uint8_t> bytes_;
    size_t start_;
    size_t size_;
    uint8_t sentinel_;
};

// Patterns for a kernel's sources, named for the failure messages.
struct PatternPair {
    const char* name;
    Pattern cur;  // the current, first or only source
    Pattern ref;  // the reference or second source
};

struct RowCase {
    int32_t width;
    const PatternPair& pair;
    GuardedBuffer::Flush flush;  // where the sources sit against the inaccessible page
    size_t misalign;             // of the destination
    uint8_t sentinel;            // around the destination
    std::mt19937& rng;
};

// Runs body(c) for every width, pattern pair (randomTrials times for those
// whose first source is random) and source placement, with a fresh
// misalignment and sentinel each time, under the seed's trace; stops at the
// first failure.
template <size_t N, typename Body>
void ForEachRowCase(const std::vector<int32_t>& widths, const PatternPair (&pairs)[N], int randomTrials, Body body) {
    SCOPED_TRACE(SeedNote());
    std::mt19937 rng(TestSeed());
    for (int32_t width : widths) {
        for (const PatternPair& pair : pairs) {
            const int trials = pair.cur == Pattern::Random ? randomTrials : 1;
            for (int t = 0; t < trials; ++t) {
                for (auto flush : {GuardedBuffer::Flush::End, GuardedBuffer::Flush::Start}) {
                    const RowCase c{width, pair, flush, rng() % 16, static_cast<uint8_t>(rng()), rng};
                    SCOPED_TRACE(testing::Message()
                                 << "width " << width << ", " << pair.name << ", source flush "
                                 << (flush == GuardedBuffer::Flush::End ? "end" : "start") << ", misalign "
                                 << c.misalign);
                    body(c);
                    if (testing::Test::HasFailure()) return;
                }
            }
        }
    }
}

template <typename Dsp>
struct Variant {
    std::string name;
    Dsp dsp;
};

// The scalar table first, then every SIMD table this build and CPU offer,
// each filled by the family's init function. The list is printed once.
template <typename Dsp>
std::vector<Variant<Dsp>> Variants(void (*init)(Dsp&, base::CpuFlags)) {
    std::vector<Variant<Dsp>> variants;
    Dsp dsp{};
    init(dsp, base::ScalarOnly());
    variants.push_back({"c", dsp});
#if defined(ORV_SIMD)
    const base::CpuFlags cpu = base::DetectCpu();
    if (cpu.sse2) {
        base::CpuFlags sse2;
        sse2.sse2 = true;
        init(dsp, sse2);
        variants.push_back({"sse2", dsp});
    }
    if (cpu.avx2) {
        init(dsp, cpu);
        variants.push_back({"avx2", dsp});
    }
#endif
    static const bool announced = [&] {
        std::printf("kernel tables compared:");
        for (const Variant<Dsp>& v : variants) std::printf(" %s", v.name.c_str());
        std::printf("\n");
        return true;
    }();
    (void)announced;
    return variants;
}

// For kernels with one destination: run(table, out) writes into a
// sentinel-guarded destination of `size` bytes, first with the scalar
// table, which must stay inside it, then with every table, each of which
// must give the same bytes, guards included.
template <typename Dsp, typename Run>
void ExpectSameBytes(const std::vector<Variant<Dsp>>& variants, size_t size, size_t misalign, uint8_t sentinel,
                     Run run) {
    SentinelBuffer expected(size, misalign, sentinel);
    run(variants.front().dsp, expected.data());
    ASSERT_TRUE(expected.GuardsIntact()) << "the scalar reference wrote outside its destination";
    for (const Variant<Dsp>& v : variants) {
        SCOPED_TRACE(v.name);
        SentinelBuffer got(size, misalign, sentinel);
        run(v.dsp, got.data());
        ASSERT_EQ(got.bytes(), expected.bytes());
    }
}

}  // namespace testing_support
