// The denoise engine: each kernel as the scalar reference and as SSE2, and
// the whole per-plane sequence of a frame on a noisy, moving 720 x 576 luma
// plane (smooth + search + analysis + compensated filter) and on 360 x 576
// chroma planes (search + analysis + compensated filter), next to a memcpy of
// the same plane for scale.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"
#include "engine/x86/motion_search_batched.h"

namespace {

using engine::ChannelProcessor;
using engine::EngineDsp;
using engine::Plane;

constexpr int32_t kWidth = 720, kHeight = 576;
constexpr int kFrames = 16;

// Level 0: the scalar references; 1: SSE2; 2: SSE2 with the AVX2 upgrades.
EngineDsp Table(int level) {
    EngineDsp dsp{};
    base::CpuFlags flags;
    flags.sse2 = level >= 1;
    flags.avx2 = level >= 2;
    engine::engine_dsp_init(dsp, flags);
    return dsp;
}

// A scene with soft gradients, texture and hard edges.
double Scene(double x, double y, bool chroma) {
    if (chroma) return 128.0 + 30.0 * std::sin(x * 0.021 + y * 0.013) + 12.0 * std::cos(y * 0.05);
    double v = 110.0 + 50.0 * std::sin(x * 0.013) * std::cos(y * 0.017) + 25.0 * std::sin(x * 0.11 + y * 0.07);
    if ((static_cast<int>(x) / 48 + static_cast<int>(y) / 40) % 3 == 0) v += 35.0;
    return v;
}

// A looping sequence: the picture pans 2 pixels right and 1 down per frame
// for half the loop and back for the other half, a 64 x 64 object crosses it
// on its own path, and every frame has fresh noise (about sigma 4).
struct Sequence {
    Sequence(int32_t width, int32_t height, bool chroma) : width(width), height(height) {
        std::mt19937 rng(chroma ? 2 : 1);
        frames.resize(kFrames);
        for (int f = 0; f < kFrames; ++f) {
            const int t = f < kFrames / 2 ? f : kFrames - f;
            const int panX = 2 * t, panY = t;
            const int objX = 200 + 5 * t, objY = 300 - 4 * t;
            std::vector<uint8_t>& frame = frames[f];
            frame.resize(static_cast<size_t>(width) * height);
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    double v = Scene(x + panX, y + panY, chroma);
                    const int fx = chroma ? 2 * x : x;
                    if (fx >= objX && fx < objX + 64 && y >= objY && y < objY + 64) {
                        v = 60.0 + 3.0 * ((fx - objX) ^ (y - objY));
                    }
                    int noise = 0;
                    for (int i = 0; i < 4; ++i) noise += static_cast<int>(rng() % 9);
                    v += noise - 16;
                    frame[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
                }
            }
        }
    }
    void Load(Plane& plane, int f) const {
        for (int32_t y = 0; y < height; ++y) std::memcpy(plane.Row(y), &frames[f][static_cast<size_t>(y) * width], width);
    }
    int32_t width, height;
    std::vector<std::vector<uint8_t>> frames;
};

const Sequence& Luma() {
    static const Sequence s(kWidth, kHeight, false);
    return s;
}
const Sequence& Chroma() {
    static const Sequence s(kWidth / 2, kHeight, true);
    return s;
}

// One frame of one plane as the pipeline runs it with motion compensation,
// each stage run through each(stage, work): 0 smoothing, 1 search,
// 2 analysis with refinement, 3 compensated filter.
template <typename Each>
void ProcessPlaneStages(const EngineDsp& dsp, ChannelProcessor& p, bool smooth, int32_t threshold, Each each) {
    const Plane* cur = &p.current;
    const Plane* ref = &p.previous;
    if (smooth) {
        each(0, [&] { engine::SmoothVerticallyWith(dsp, p.current, p.smoothedCurrent); });
        cur = &p.smoothedCurrent;
        ref = &p.smoothedPrevious;
    }
    each(1, [&] { engine::EstimateMotionWith(dsp, p, *cur, *ref, p.motion); });
    each(2, [&] { engine::AnalyseMotionWith(dsp, p, *cur, *ref, p.motion); });
    if (p.sceneChange == 0) {
        each(3, [&] { engine::CompensatedTemporalFilterWith(dsp, p.current, p.previous, p.motion, 8, 8, threshold); });
    }
}

void ProcessPlane(const EngineDsp& dsp, ChannelProcessor& p, bool smooth, int32_t threshold) {
    ProcessPlaneStages(dsp, p, smooth, threshold, [](int, auto&& work) { work(); });
}

void Rotate(ChannelProcessor& p) {
    engine::SwapPlanes(p.current, p.previous);
    engine::SwapPlanes(p.smoothedCurrent, p.smoothedPrevious);
}

// SAD evaluations per block, counted over one loop of the sequence after the
// rings have filled: the search measured with a counting form of the vector
// kernels' batched descent, the refinement through a counting SAD slot. The
// counts are those of every vector table, since all give the same results.
uint64_t g_sads = 0;
const EngineDsp* g_inner = nullptr;

struct CountingCosts {
    const uint8_t* cur;
    const uint8_t* ref;
    ptrdiff_t stride;
    uint32_t At(engine::Vector v) const {
        ++g_sads;
        return g_inner->sad_8x8(cur, ref + v.y * stride + v.x, stride);
    }
    engine::SpotCosts Spot(engine::Vector v) const { return {At(v), At({v.x + 1, v.y}), At({v.x, v.y + 1})}; }
    engine::RoundCosts Round(engine::Vector c2, engine::Vector c1) const { return {Spot(c2), At(c1)}; }
    engine::SpotCosts Probes(engine::Vector v, uint32_t at) const {
        return {at, At({v.x + 1, v.y}), At({v.x, v.y + 1})};
    }
};

void CountingSearch(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t x, int32_t y, int32_t limit,
                    engine::SearchResult* out) noexcept {
    CountingCosts costs{cur, ref, stride};
    engine::SearchBlockBatched(costs, engine::Vector{x, y}, limit, out);
}

void CountingField(const Plane& current, const Plane& reference, const engine::VectorField& motion, int32_t limit,
                   uint32_t neighbourLimit) noexcept {
    for (int32_t by = 0; by < motion.height; ++by) {
        for (int32_t bx = 0; bx < motion.width; ++bx) {
            engine::Vector start = engine::PredictVector(motion, bx, by, neighbourLimit);
            if (!engine::InSearchRange(start.x, start.y, limit)) start = {0, 0};
            engine::SearchResult found;
            CountingSearch(engine::BlockAt(current, bx, by), engine::BlockAt(reference, bx, by), current.stride,
                           start.x, start.y, limit, &found);
            engine::BlockMotion& rec = motion.At(bx, by);
            rec = engine::BlockMotion{found.dx, found.dy, static_cast<int32_t>(found.cost), 0, 0, 0, 1};
        }
    }
}

uint32_t CountingSad(const uint8_t* a, const uint8_t* b, ptrdiff_t s) noexcept {
    ++g_sads;
    return g_inner->sad_8x8(a, b, s);
}

void CountingSadRow(const uint8_t* a, const uint8_t* b, ptrdiff_t s, int32_t blocks, uint32_t* out) noexcept {
    g_sads += static_cast<uint64_t>(blocks);
    g_inner->sad_8x8_row(a, b, s, blocks, out);
}

void Warm(const EngineDsp& dsp, ChannelProcessor& p, const Sequence& seq, bool smooth, int frames) {
    for (int f = 0; f < frames; ++f) {
        seq.Load(p.current, f % kFrames);
        ProcessPlane(dsp, p, smooth, 6);
        Rotate(p);
    }
}

// SAD evaluations per block that the vector kernels make, look-ahead included.
double SadsPerBlock(const EngineDsp& dsp, const Sequence& seq, bool smooth) {
    ChannelProcessor p;
    p.Allocate(seq.width, seq.height, 8, 8);
    Warm(dsp, p, seq, smooth, 4 * kFrames);
    EngineDsp counting = dsp;
    g_inner = &dsp;
    counting.sad_8x8 = CountingSad;
    counting.sad_8x8_row = CountingSadRow;
    counting.search_block = CountingSearch;
    counting.search_field = CountingField;
    g_sads = 0;
    Warm(counting, p, seq, smooth, kFrames);
    return static_cast<double>(g_sads) / (static_cast<double>(p.motion.width) * p.motion.height * kFrames);
}

constexpr int kWholeFrame = -1;

// The plane frame after frame of the loop, timing the whole frame or only
// the stage named (the others run untimed: where a frame's time goes);
// loading the split plane (the pixel-format converter's work) is left out.
void EnginePlane(benchmark::State& state, int level, bool luma, int stage) {
    const EngineDsp dsp = Table(level);
    const Sequence& seq = luma ? Luma() : Chroma();
    ChannelProcessor p;
    if (!p.Allocate(seq.width, seq.height, 8, 8)) {
        state.SkipWithError("allocation failed");
        return;
    }
    Warm(dsp, p, seq, luma, 4 * kFrames);
    int f = 0;
    int64_t sceneChanges = 0;
    for (auto _ : state) {
        state.PauseTiming();
        seq.Load(p.current, f);
        f = (f + 1) % kFrames;
        if (stage == kWholeFrame) state.ResumeTiming();
        ProcessPlaneStages(dsp, p, luma, 6, [&](int which, auto&& work) {
            if (which == stage) state.ResumeTiming();
            work();
            if (which == stage) state.PauseTiming();
        });
        sceneChanges += p.sceneChange;
        Rotate(p);
        if (stage != kWholeFrame) state.ResumeTiming();
    }
    if (stage != kWholeFrame) return;
    state.counters["sad_per_block"] = SadsPerBlock(dsp, seq, luma);
    state.counters["scene_changes"] = static_cast<double>(sceneChanges);
    state.counters["noise_level"] = p.noiseLevel;
}

void PlaneCopy(benchmark::State& state) {
    std::vector<uint8_t> a(static_cast<size_t>(kWidth) * kHeight, 1), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(a.size()));
}

// ---- Kernels over a whole luma plane pair ----

struct PlanePair {
    PlanePair() {
        p.Allocate(kWidth, kHeight, 8, 8);
        Luma().Load(p.current, 1);
        Luma().Load(p.previous, 0);
    }
    ChannelProcessor p;
};

PlanePair& Pair() {
    static PlanePair pair;
    return pair;
}

// The scalar reference as the compiler leaves it is already vectorised (GCC
// turns each row of the plain loop into one psadbw at -O2); this copy of the
// same loop, kept scalar, shows what the vector form gains over scalar code.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-vectorize")))
#endif
uint32_t sad_8x8_strictly_scalar(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride) noexcept {
    uint32_t sum = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) sum += static_cast<uint32_t>(cur[x] > ref[x] ? cur[x] - ref[x] : ref[x] - cur[x]);
        cur += stride;
        ref += stride;
    }
    return sum;
}

void Sad(benchmark::State& state, int level) {
    EngineDsp dsp = Table(level);
    if (level < 0) dsp.sad_8x8 = sad_8x8_strictly_scalar;
    Plane& cur = Pair().p.current;
    Plane& ref = Pair().p.previous;
    const int32_t blocks = (kWidth / 8) * (kHeight / 8);
    for (auto _ : state) {
        uint32_t sum = 0;
        for (int32_t by = 0; by < kHeight / 8; ++by) {
            for (int32_t bx = 0; bx < kWidth / 8; ++bx) {
                sum += dsp.sad_8x8(cur.Row(8 * by) + 8 * bx, ref.Row(8 * by - 1) + 8 * bx + 2, cur.stride);
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * blocks);
}

// The search of every block from (0, 0) against the previous frame.
void Search(benchmark::State& state, int level) {
    const EngineDsp dsp = Table(level);
    Plane& cur = Pair().p.current;
    Plane& ref = Pair().p.previous;
    const int32_t blocks = (kWidth / 8) * (kHeight / 8);
    for (auto _ : state) {
        uint32_t sum = 0;
        for (int32_t by = 0; by < kHeight / 8; ++by) {
            for (int32_t bx = 0; bx < kWidth / 8; ++bx) {
                engine::SearchResult out;
                dsp.search_block(cur.Row(8 * by) + 8 * bx, ref.Row(8 * by) + 8 * bx, cur.stride, 0, 0, 64, &out);
                sum += out.cost;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * blocks);
}

// The filter kernels rewrite their input; a fresh copy per pass keeps the
// work identical (the copy is timed separately as PlaneCopy).
void FilterRows(benchmark::State& state, int level) {
    const EngineDsp dsp = Table(level);
    ChannelProcessor& p = Pair().p;
    std::vector<uint8_t> work(static_cast<size_t>(kWidth) * kHeight);
    const engine::FilterParams params = engine::MakeFilterParams(12);
    for (auto _ : state) {
        state.PauseTiming();
        for (int32_t y = 0; y < kHeight; ++y) std::memcpy(&work[static_cast<size_t>(y) * kWidth], p.current.Row(y), kWidth);
        state.ResumeTiming();
        for (int32_t y = 0; y < kHeight; ++y) dsp.filter_row(&work[static_cast<size_t>(y) * kWidth], p.previous.Row(y), kWidth, params);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}

void SmoothRows(benchmark::State& state, int level) {
    const EngineDsp dsp = Table(level);
    ChannelProcessor& p = Pair().p;
    for (auto _ : state) {
        engine::SmoothVerticallyWith(dsp, p.current, p.smoothedCurrent);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}

int RegisterAll() {
    int levels = 1;
#if defined(ORV_SIMD)
    levels = base::DetectCpu().avx2 ? 3 : (base::DetectCpu().sse2 ? 2 : 1);
#endif
    static const char* const kNames[] = {"c", "sse2", "avx2"};
    for (int level = 0; level < levels; ++level) {
        auto name = [level](const char* what) { return std::string(what) + "/" + kNames[level]; };
        if (level == 0) benchmark::RegisterBenchmark("sad_8x8_plane/c_no_autovectorisation", Sad, -1);
        if (level < 2) {  // the AVX2 table upgrades only the filter and smoothing kernels
            benchmark::RegisterBenchmark(name("sad_8x8_plane").c_str(), Sad, level);
            benchmark::RegisterBenchmark(name("search_block_plane").c_str(), Search, level);
        }
        benchmark::RegisterBenchmark(name("smooth_plane").c_str(), SmoothRows, level);
        benchmark::RegisterBenchmark(name("filter_row_plane").c_str(), FilterRows, level);
        benchmark::RegisterBenchmark(name("engine_luma_720x576").c_str(), EnginePlane, level, true, kWholeFrame)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(name("engine_chroma_360x576").c_str(), EnginePlane, level, false, kWholeFrame)
            ->Unit(benchmark::kMicrosecond);
        static const char* const kStages[] = {"smooth", "search", "analyse", "filter"};
        for (int stage = 0; stage < 4; ++stage) {
            benchmark::RegisterBenchmark(name((std::string("engine_luma_stage_") + kStages[stage]).c_str()).c_str(),
                                         EnginePlane, level, true, stage)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    benchmark::RegisterBenchmark("memcpy_plane_720x576", PlaneCopy)->Unit(benchmark::kMicrosecond);
    return 0;
}

const int registered = RegisterAll();

}  // namespace

BENCHMARK_MAIN();
