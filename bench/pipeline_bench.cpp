// Whole-pipeline throughput: 720x576 noisy moving frames through
// ProcessFrame, with the default settings and with motion compensation on
// every plane, in both stream formats. Reports frames per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"
#include "../tests/plugin/synthetic_video.h"

namespace {

constexpr int kClipFrames = 16;

struct Clip {
    std::vector<std::vector<uint8_t>> frames;
};

const Clip& NoisyClip(int32_t format) {
    static Clip clips[2];
    Clip& clip = clips[format];
    if (clip.frames.empty()) {
        testing_support::SyntheticVideo video{720, 576, kClipFrames, 1000, 3, 10};
        std::vector<uint8_t> clean, noisy;
        for (int f = 0; f < kClipFrames; ++f) {
            if (format == 1) {
                video.Rgb(f, clean, noisy);
            } else {
                video.Packed(f, clean, noisy);
            }
            clip.frames.push_back(noisy);
        }
    }
    return clip;
}

void BM_Pipeline(benchmark::State& bench, int32_t format, bool mcAllPlanes) {
    plugin::State& g = plugin::Globals();
    g.store.LoadDefaults();
    {
        platform::LockGuard lock(g.settingsLock);
        if (mcAllPlanes) g.store.live.U_MEEnable = g.store.live.V_MEEnable = 1;
        g.store.StoreLive();
    }
    StreamFormat stream{720, 576, 0, format, 0};
    plugin::StartStream(&stream);
    const Clip& clip = NoisyClip(format);
    std::vector<uint8_t> frame(clip.frames[0].size());
    struct {
        ChannelInfo info;
        char more[8];
    } channel{};
    channel.info.keyLow = 1;
    FrameRequest request{};
    request.pixels = frame.data();
    request.channel = &channel.info;
    size_t i = 0;
    for (auto _ : bench) {
        bench.PauseTiming();
        std::memcpy(frame.data(), clip.frames[i++ % kClipFrames].data(), frame.size());
        bench.ResumeTiming();
        benchmark::DoNotOptimize(plugin::ProcessFrame(&request));
    }
    plugin::StopStream();
    bench.counters["fps"] = benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_Pipeline, yuy2_defaults, 0, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Pipeline, yuy2_mc_yuv, 0, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Pipeline, rgb24_defaults, 1, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Pipeline, rgb24_mc_yuv, 1, true)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
