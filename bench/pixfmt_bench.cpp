// Pixel-format conversions over one 720 x 576 frame, scalar reference
// against the SSE2 rows.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "pixfmt/pixfmt_dsp.h"

namespace {

constexpr int32_t kWidth = 720, kHeight = 576;

struct Frames {
    Frames() : packed(kWidth * 2 * kHeight), rgb(kWidth * 3 * kHeight), y(kWidth * kHeight),
               u(kWidth / 2 * kHeight), v(kWidth / 2 * kHeight) {
        std::mt19937 rng(1);
        for (auto* buffer : {&packed, &rgb, &y, &u, &v}) {
            for (auto& b : *buffer) b = static_cast<uint8_t>(rng());
        }
    }
    std::vector<uint8_t> packed, rgb, y, u, v;
};

Frames& SharedFrames() {
    static Frames frames;
    return frames;
}

void Split(benchmark::State& state, pixfmt::PixfmtDsp dsp) {
    Frames& f = SharedFrames();
    for (auto _ : state) {
        for (int32_t r = 0; r < kHeight; ++r) {
            dsp.split_row(f.packed.data() + r * kWidth * 2, f.y.data() + r * kWidth, f.u.data() + r * kWidth / 2,
                          f.v.data() + r * kWidth / 2, kWidth / 8);
        }
        benchmark::ClobberMemory();
    }
}

void Pack(benchmark::State& state, pixfmt::PixfmtDsp dsp) {
    Frames& f = SharedFrames();
    for (auto _ : state) {
        for (int32_t r = 0; r < kHeight; ++r) {
            dsp.pack_row(f.packed.data() + r * kWidth * 2, f.y.data() + r * kWidth, f.u.data() + r * kWidth / 2,
                         f.v.data() + r * kWidth / 2, kWidth / 8);
        }
        benchmark::ClobberMemory();
    }
}

void RgbToPacked(benchmark::State& state, pixfmt::PixfmtDsp dsp) {
    Frames& f = SharedFrames();
    for (auto _ : state) {
        for (int32_t r = 0; r < kHeight; ++r) {
            dsp.rgb_to_packed_row(f.rgb.data() + (kHeight - 1 - r) * kWidth * 3, f.packed.data() + r * kWidth * 2,
                                  kWidth / 2);
        }
        benchmark::ClobberMemory();
    }
}

void PackedToRgb(benchmark::State& state, pixfmt::PixfmtDsp dsp) {
    Frames& f = SharedFrames();
    for (auto _ : state) {
        for (int32_t r = 0; r < kHeight; ++r) {
            dsp.packed_to_rgb_row(f.packed.data() + r * kWidth * 2, f.rgb.data() + (kHeight - 1 - r) * kWidth * 3,
                                  kWidth / 2);
        }
        benchmark::ClobberMemory();
    }
}

int RegisterAll() {
    struct Variant {
        const char* name;
        base::CpuFlags flags;
    };
    std::vector<Variant> variants{{"c", base::ScalarOnly()}};
    const base::CpuFlags cpu = base::DetectCpu();
    if (cpu.sse2) {
        base::CpuFlags sse2;
        sse2.sse2 = true;
        variants.push_back({"sse2", sse2});
    }
    if (cpu.sse2 && cpu.avx2) variants.push_back({"avx2", cpu});
    for (const Variant& variant : variants) {
        pixfmt::PixfmtDsp dsp{};
        pixfmt::pixfmt_dsp_init(dsp, variant.flags);
        const std::string suffix = std::string("/720x576/") + variant.name;
        benchmark::RegisterBenchmark(("split" + suffix).c_str(), Split, dsp);
        benchmark::RegisterBenchmark(("pack" + suffix).c_str(), Pack, dsp);
        benchmark::RegisterBenchmark(("rgb_to_packed" + suffix).c_str(), RgbToPacked, dsp);
        benchmark::RegisterBenchmark(("packed_to_rgb" + suffix).c_str(), PackedToRgb, dsp);
    }
    return 0;
}

const int registered = RegisterAll();

}  // namespace

BENCHMARK_MAIN();
