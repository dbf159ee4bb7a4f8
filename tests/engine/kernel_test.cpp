// Every kernel variant against its scalar reference, bit for bit: rows of
// many widths, 8x8 blocks at many strides, extreme patterns, thresholds from
// -5 to 300, and whole engine operations driven by each table side by side.
// Sources sit flush against an inaccessible page (a read past them faults);
// destinations are surrounded by sentinel bytes (a stray write is reported).
// Run with --bench to time each variant per call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "tests/support/kernel_test_support.h"

namespace engine {
namespace {

using namespace testing_support;
using Variant = testing_support::Variant<EngineDsp>;

std::vector<Variant> Variants() { return testing_support::Variants(engine_dsp_init); }

// Near: the reference plus small signed differences.
constexpr PatternPair kPairs[] = {
    {"random/random", Pattern::Random, Pattern::Random}, {"near/random", Pattern::Near, Pattern::Random},
    {"0/0", Pattern::Zeros, Pattern::Zeros},             {"255/255", Pattern::Full, Pattern::Full},
    {"0/255", Pattern::Zeros, Pattern::Full},            {"255/0", Pattern::Full, Pattern::Zeros},
    {"0-255/255-0", Pattern::Alternating, Pattern::Inverse},
};

std::vector<int32_t> RowWidths() {
    std::vector<int32_t> widths;
    for (int32_t w = 1; w <= 33; ++w) widths.push_back(w);  // up to 2 x 16 + 1
    for (int32_t w : {63, 64, 65, 360, 720, 721, 1920}) widths.push_back(w);
    return widths;
}

constexpr int32_t kMinThreshold = -5;
constexpr int32_t kMaxThreshold = 300;

TEST(EngineKernels, SadMatchesReference) {
    SCOPED_TRACE(testing_support::SeedNote());
    std::mt19937 rng(testing_support::TestSeed());
    const std::vector<Variant> variants = Variants();
    for (ptrdiff_t stride : {8, 9, 15, 16, 17, 64, 848}) {
        for (const PatternPair& pair : kPairs) {
            for (auto flush : {GuardedBuffer::Flush::End, GuardedBuffer::Flush::Start}) {
                SCOPED_TRACE(testing::Message() << "stride " << stride << ", " << pair.name);
                const size_t bytes = static_cast<size_t>(7 * stride + 8);
                GuardedBuffer cur(bytes, flush), ref(bytes, flush);
                Fill(ref.data(), bytes, pair.ref, rng);
                Fill(cur.data(), bytes, pair.cur, rng, ref.data());
                const uint32_t sad = sad_8x8_c(cur.data(), ref.data(), stride);
                if (pair.cur == Pattern::Zeros && pair.ref == Pattern::Full) {
                    EXPECT_EQ(sad, 16320u);
                }
                for (const Variant& v : variants) {
                    ASSERT_EQ(v.dsp.sad_8x8(cur.data(), ref.data(), stride), sad) << v.name;
                }
            }
        }
    }
}

// Rows of co-located blocks, even and odd counts, each block against the
// single-block reference.
TEST(EngineKernels, SadRowMatchesReference) {
    SCOPED_TRACE(testing_support::SeedNote());
    std::mt19937 rng(testing_support::TestSeed());
    const std::vector<Variant> variants = Variants();
    for (int32_t blocks : {1, 2, 3, 4, 7, 64}) {
        const ptrdiff_t width = 8 * blocks;
        for (ptrdiff_t stride : {width, width + 1, width + 24}) {
            const size_t bytes = static_cast<size_t>(7 * stride + width);
            for (const PatternPair& pair : kPairs) {
                for (auto flush : {GuardedBuffer::Flush::End, GuardedBuffer::Flush::Start}) {
                    SCOPED_TRACE(testing::Message() << blocks << " blocks, stride " << stride << ", " << pair.name);
                    GuardedBuffer cur(bytes, flush), ref(bytes, flush);
                    Fill(ref.data(), bytes, pair.ref, rng);
                    Fill(cur.data(), bytes, pair.cur, rng, ref.data());
                    std::vector<uint32_t> expected(static_cast<size_t>(blocks));
                    for (int32_t i = 0; i < blocks; ++i) {
                        expected[static_cast<size_t>(i)] = sad_8x8_c(cur.data() + 8 * i, ref.data() + 8 * i, stride);
                    }
                    for (const Variant& v : variants) {
                        std::vector<uint32_t> got(static_cast<size_t>(blocks) + 1, 0xdeadbeefu);
                        v.dsp.sad_8x8_row(cur.data(), ref.data(), stride, blocks, got.data());
                        EXPECT_EQ(got.back(), 0xdeadbeefu) << v.name << ": wrote past the last block";
                        got.pop_back();
                        ASSERT_EQ(got, expected) << v.name;
                    }
                }
            }
        }
    }
}

// The per-block descent from random starts over random, textured, flat and
// extreme references, with limits down to 1. The reference area the search
// may read (limit + 8 around the block, plus one for the probes) sits flush
// against inaccessible pages on both sides.
TEST(EngineKernels, SearchBlockMatchesReference) {
    SCOPED_TRACE(testing_support::SeedNote());
    std::mt19937 rng(testing_support::TestSeed());
    const std::vector<Variant> variants = Variants();
    for (int32_t limit : {1, 2, 3, 8, 24, 64}) {
        const ptrdiff_t stride = 2 * limit + 8 + rng() % 5;
        const size_t rows = static_cast<size_t>(2 * limit + 8);
        const size_t bytes = (rows - 1) * static_cast<size_t>(stride) + static_cast<size_t>(2 * limit + 8);
        for (const PatternPair& pair : kPairs) {
            for (auto flush : {GuardedBuffer::Flush::End, GuardedBuffer::Flush::Start}) {
                GuardedBuffer ref(bytes, flush);
                const uint8_t* block = ref.data() + static_cast<ptrdiff_t>(limit) * stride + limit;
                std::vector<uint8_t> cur(static_cast<size_t>(7 * stride + 8));
                for (int trial = 0; trial < 12; ++trial) {
                    // Odd trials: a smooth texture with the current block cut
                    // from a random spot of it, so that the walks are long.
                    if (trial % 2 == 1 && pair.cur == Pattern::Random) {
                        const double fx = 0.05 + (rng() % 100) * 0.004, fy = 0.05 + (rng() % 100) * 0.004;
                        for (size_t i = 0; i < bytes; ++i) {
                            const double x = static_cast<double>(i % stride), y = static_cast<double>(i / stride);
                            ref.data()[i] = static_cast<uint8_t>(128.0 + 100.0 * std::sin(x * fx) * std::cos(y * fy));
                        }
                        const int32_t sx = static_cast<int32_t>(rng() % (2 * limit + 1)) - limit;
                        const int32_t sy = static_cast<int32_t>(rng() % (2 * limit + 1)) - limit;
                        for (int y = 0; y < 8; ++y) {
                            for (int x = 0; x < 8; ++x) {
                                const int32_t gx = std::clamp(x + sx, -limit, limit + 7);
                                const int32_t gy = std::clamp(y + sy, -limit, limit + 7);
                                cur[static_cast<size_t>(y * stride + x)] = block[gy * stride + gx];
                            }
                        }
                    } else {
                        Fill(ref.data(), bytes, pair.ref, rng);
                        Fill(cur.data(), cur.size(), pair.cur, rng, block);
                    }
                    const int32_t startX = static_cast<int32_t>(rng() % (2 * limit - 1)) - (limit - 1);
                    const int32_t startY = static_cast<int32_t>(rng() % (2 * limit - 1)) - (limit - 1);
                    SCOPED_TRACE(testing::Message() << "limit " << limit << ", " << pair.name << ", trial " << trial
                                                    << ", start " << startX << "," << startY);
                    SearchResult expected{};
                    search_block_c(cur.data(), block, stride, startX, startY, limit, &expected);
                    ASSERT_GT(expected.dx, -limit);
                    ASSERT_LT(expected.dx, limit);
                    ASSERT_GT(expected.dy, -limit);
                    ASSERT_LT(expected.dy, limit);
                    ASSERT_EQ(expected.cost, sad_8x8_c(cur.data(), block + expected.dy * stride + expected.dx, stride));
                    for (const Variant& v : variants) {
                        SearchResult got{-99, -99, 99};
                        v.dsp.search_block(cur.data(), block, stride, startX, startY, limit, &got);
                        ASSERT_EQ(got.dx, expected.dx) << v.name;
                        ASSERT_EQ(got.dy, expected.dy) << v.name;
                        ASSERT_EQ(got.cost, expected.cost) << v.name;
                    }
                }
            }
        }
    }
}

TEST(EngineKernels, FilterRowMatchesReference) {
    const std::vector<Variant> variants = Variants();
    ForEachRowCase(RowWidths(), kPairs, 1, [&](const RowCase& c) {
        const size_t n = static_cast<size_t>(c.width);
        GuardedBuffer prev(n, c.flush);
        Fill(prev.data(), n, c.pair.ref, c.rng);
        std::vector<uint8_t> input(n);
        Fill(input.data(), n, c.pair.cur, c.rng, prev.data());
        for (int32_t threshold = kMinThreshold; threshold <= kMaxThreshold; ++threshold) {
            SCOPED_TRACE(testing::Message() << "threshold " << threshold);
            const FilterParams params = MakeFilterParams(threshold);
            ASSERT_NO_FATAL_FAILURE(
                ExpectSameBytes(variants, n, c.misalign, c.sentinel, [&](const EngineDsp& d, uint8_t* out) {
                    std::memcpy(out, input.data(), n);
                    d.filter_row(out, prev.data(), c.width, params);
                }));
        }
    });
}

TEST(EngineKernels, SmoothRowMatchesReference) {
    const std::vector<Variant> variants = Variants();
    ForEachRowCase(RowWidths(), kPairs, 1, [&](const RowCase& c) {
        const size_t n = static_cast<size_t>(c.width);
        GuardedBuffer above(n, c.flush), mid(n, c.flush), below(n, c.flush);
        Fill(above.data(), n, c.pair.cur, c.rng);
        Fill(mid.data(), n, c.pair.ref, c.rng);
        Fill(below.data(), n, c.pair.cur == Pattern::Alternating ? Pattern::Inverse : c.pair.cur, c.rng);
        ExpectSameBytes(variants, n, c.misalign, c.sentinel, [&](const EngineDsp& d, uint8_t* out) {
            d.smooth_row(out, above.data(), mid.data(), below.data(), c.width);
        });
    });
}

// A field of width x height records with the zero margin around them, over
// `records` (sized by the caller: (width + 4) x (height + 4)).
VectorField FieldOver(std::vector<BlockMotion>& records, int32_t width, int32_t height) {
    VectorField field;
    field.buffer = records.data();
    field.stride = width + 2 * kFieldMargin;
    field.paddedHeight = height + 2 * kFieldMargin;
    field.origin = records.data() + kFieldMargin * field.stride + kFieldMargin;
    field.width = width;
    field.height = height;
    return field;
}

// Fields of many widths (across the vector form's stretch of 128 columns)
// and heights, with vectors up to the bound and costs on both sides of the
// accept limit, including costs with the top bit set, which compare as
// large unsigned values. The whole buffer, margin included, must match, and
// only the three means may change.
TEST(EngineKernels, NeighbourMeansMatchReference) {
    SCOPED_TRACE(testing_support::SeedNote());
    std::mt19937 rng(testing_support::TestSeed());
    const std::vector<Variant> variants = Variants();
    struct Case {
        const char* name;
        int32_t reach;        // vector components within (-reach, reach)
        uint32_t acceptLimit;
        uint32_t costSpan;    // costs drawn from 0 .. costSpan - 1, or ...
        bool topBit;          // ... with the top bit set on some
    };
    constexpr Case kCases[] = {
        {"mixed", 64, 300, 600, false},
        {"all accepted", 64, 0xffffffffu, 16321, false},
        {"zero costs only", 64, 0, 16321, false},
        {"vectors at the bound", kNeighbourVectorBound, 8000, 16321, false},
        {"top-bit costs", 64, 1000, 2000, true},
    };
    for (const Case& c : kCases) {
        for (int32_t width : {1, 2, 3, 127, 128, 129, 257}) {
            for (int32_t height : {1, 2, 5}) {
                SCOPED_TRACE(testing::Message() << c.name << ", " << width << "x" << height);
                const int32_t stride = width + 2 * kFieldMargin, padded = height + 2 * kFieldMargin;
                std::vector<BlockMotion> input(static_cast<size_t>(stride) * padded, BlockMotion{});
                for (int32_t by = 0; by < height; ++by) {
                    for (int32_t bx = 0; bx < width; ++bx) {
                        BlockMotion& m = input[static_cast<size_t>((by + kFieldMargin) * stride + bx + kFieldMargin)];
                        m.dx = static_cast<int32_t>(rng() % (2 * c.reach - 1)) - (c.reach - 1);
                        m.dy = static_cast<int32_t>(rng() % (2 * c.reach - 1)) - (c.reach - 1);
                        if (rng() % 4 == 0) m.dx = (rng() & 1) ? c.reach - 1 : 1 - c.reach;
                        const uint32_t top = c.topBit && rng() % 3 == 0 ? 0x80000000u : 0u;
                        m.cost = static_cast<int32_t>((rng() % c.costSpan) | top);
                        m.deviation = m.meanDx = m.meanDy = static_cast<int32_t>(rng());  // overwritten
                        m.valid = static_cast<int32_t>(rng() % 2);
                    }
                }
                std::vector<std::vector<BlockMotion>> results;
                for (const Variant& v : variants) {
                    std::vector<BlockMotion> work = input;
                    v.dsp.neighbour_means(FieldOver(work, width, height), c.acceptLimit);
                    for (size_t i = 0; i < work.size(); ++i) {
                        const BlockMotion &a = work[i], &b = input[i];
                        ASSERT_TRUE(a.dx == b.dx && a.dy == b.dy && a.cost == b.cost && a.valid == b.valid)
                            << v.name << ": record " << i << " changed outside the means";
                    }
                    results.push_back(work);
                }
                for (size_t i = 1; i < results.size(); ++i) {
                    ASSERT_EQ(0, std::memcmp(results[i].data(), results[0].data(), sizeof(BlockMotion) * input.size()))
                        << variants[i].name;
                }
            }
        }
    }
}

// ---- Whole operations through each table ----

// A textured scene: smooth structure plus fine detail, so that block costs
// have a clear minimum at the true displacement.
uint8_t Scene(int32_t x, int32_t y, uint32_t salt) {
    uint32_t h = (static_cast<uint32_t>(x) * 73856093u) ^ (static_cast<uint32_t>(y) * 19349663u) ^ salt;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    const int32_t smooth = ((x * 3 + y * 5) & 127) + ((x / 16 + y / 16) & 1) * 64;
    return static_cast<uint8_t>(std::clamp(smooth + static_cast<int32_t>(h % 48), 0, 255));
}

void FillFrame(Plane& plane, int32_t shiftX, int32_t shiftY, int32_t noise, std::mt19937& rng) {
    for (int32_t y = 0; y < plane.height; ++y) {
        for (int32_t x = 0; x < plane.width; ++x) {
            int32_t v = Scene(x + shiftX, y + shiftY, 7);
            if (noise > 0) v += static_cast<int32_t>(rng() % (2 * noise + 1)) - noise;
            plane.At(x, y) = static_cast<uint8_t>(std::clamp(v, 0, 255));
        }
    }
}

bool SamePlane(const Plane& a, const Plane& b) {
    const size_t bytes = static_cast<size_t>(a.stride) * a.paddedHeight;
    return a.stride == b.stride && a.paddedHeight == b.paddedHeight &&
           std::memcmp(a.buffer, b.buffer, bytes) == 0;
}

bool SameField(const VectorField& a, const VectorField& b) {
    const size_t bytes = sizeof(BlockMotion) * static_cast<size_t>(a.stride) * a.paddedHeight;
    return a.stride == b.stride && a.paddedHeight == b.paddedHeight &&
           std::memcmp(a.buffer, b.buffer, bytes) == 0;
}

void ExpectSameStatistics(const ChannelProcessor& a, const ChannelProcessor& b) {
    EXPECT_EQ(a.lowerBin, b.lowerBin);
    EXPECT_EQ(a.peakCount, b.peakCount);
    EXPECT_EQ(a.upperBin, b.upperBin);
    EXPECT_EQ(a.meanUpperBin, b.meanUpperBin);
    EXPECT_EQ(a.modeBin, b.modeBin);
    EXPECT_EQ(a.noiseLevel, b.noiseLevel);
    EXPECT_EQ(a.frameSnr, b.frameSnr);
    EXPECT_EQ(a.meanSnr, b.meanSnr);
    EXPECT_EQ(a.sceneChange, b.sceneChange);
    EXPECT_EQ(0, std::memcmp(a.costHistogram, b.costHistogram, sizeof(int32_t) * kHistogramBins));
}

struct Geometry {
    int32_t width;
    int32_t height;
};

// Runs a moving, noisy sequence through the complete per-plane sequence of a
// frame (smoothing, search, analysis with refinement, compensated filter,
// rotation) on one processor per table, comparing everything after each step.
TEST(EngineKernels, WholeFramesMatchAcrossTables) {
    SCOPED_TRACE(testing_support::SeedNote());
    const std::vector<Variant> variants = Variants();
    for (Geometry g : {Geometry{8, 8}, Geometry{77, 45}, Geometry{128, 96}, Geometry{360, 288}}) {
        SCOPED_TRACE(testing::Message() << g.width << "x" << g.height);
        std::vector<ChannelProcessor> procs(variants.size());
        for (ChannelProcessor& p : procs) ASSERT_TRUE(p.Allocate(g.width, g.height, 8, 8));
        std::mt19937 motionRng(testing_support::TestSeed());
        int32_t shiftX = 0, shiftY = 0;
        for (int frame = 0; frame < 10; ++frame) {
            SCOPED_TRACE(testing::Message() << "frame " << frame);
            shiftX += static_cast<int32_t>(motionRng() % 9) - 4;
            shiftY += static_cast<int32_t>(motionRng() % 7) - 3;
            const int32_t noise = static_cast<int32_t>(motionRng() % 12);
            const int32_t threshold = kMinThreshold + static_cast<int32_t>(motionRng() % (kMaxThreshold - kMinThreshold + 1));
            const uint32_t noiseSeed = static_cast<uint32_t>(motionRng());
            for (size_t i = 0; i < variants.size(); ++i) {
                const EngineDsp& dsp = variants[i].dsp;
                ChannelProcessor& p = procs[i];
                std::mt19937 noiseRng(noiseSeed);
                FillFrame(p.current, shiftX, shiftY, noise, noiseRng);
                SmoothVerticallyWith(dsp, p.current, p.smoothedCurrent);
                EstimateMotionWith(dsp, p, p.smoothedCurrent, p.smoothedPrevious, p.motion);
                AnalyseMotionWith(dsp, p, p.smoothedCurrent, p.smoothedPrevious, p.motion);
                if (p.sceneChange == 0) {
                    CompensatedTemporalFilterWith(dsp, p.current, p.previous, p.motion, 8, 8, threshold);
                }
            }
            for (size_t i = 1; i < variants.size(); ++i) {
                SCOPED_TRACE(variants[i].name);
                ASSERT_TRUE(SamePlane(procs[i].smoothedCurrent, procs[0].smoothedCurrent));
                ASSERT_TRUE(SameField(procs[i].motion, procs[0].motion));
                ExpectSameStatistics(procs[i], procs[0]);
                ASSERT_TRUE(SamePlane(procs[i].current, procs[0].current));
            }
            for (ChannelProcessor& p : procs) {
                SwapPlanes(p.current, p.previous);
                SwapPlanes(p.smoothedCurrent, p.smoothedPrevious);
            }
        }
        // The plain filter on the same material.
        for (int32_t threshold : {-5, 0, 1, 2, 3, 20, 100, 255, 256, 300}) {
            for (size_t i = 0; i < variants.size(); ++i) {
                std::mt19937 noiseRng(static_cast<uint32_t>(threshold));
                FillFrame(procs[i].current, 3, -2, 10, noiseRng);
                TemporalFilterWith(variants[i].dsp, procs[i].current, procs[i].previous, threshold);
            }
            for (size_t i = 1; i < variants.size(); ++i) {
                ASSERT_TRUE(SamePlane(procs[i].current, procs[0].current)) << variants[i].name << " threshold " << threshold;
            }
        }
    }
}

// Random fields with vectors up to +-63 and random valid flags: every block
// reads its reference from anywhere in the margin.
TEST(EngineKernels, CompensatedFilterMatchesOnRandomFields) {
    SCOPED_TRACE(testing_support::SeedNote());
    std::mt19937 rng(testing_support::TestSeed());
    const std::vector<Variant> variants = Variants();
    for (Geometry g : {Geometry{8, 8}, Geometry{23, 17}, Geometry{96, 64}, Geometry{360, 72}}) {
        SCOPED_TRACE(testing::Message() << g.width << "x" << g.height);
        ChannelProcessor source;
        ASSERT_TRUE(source.Allocate(g.width, g.height, 8, 8));
        // The previous plane's margin stays zero, as allocated.
        std::mt19937 fill(static_cast<uint32_t>(rng()));
        FillFrame(source.previous, 0, 0, 20, fill);
        FillFrame(source.current, 1, 1, 20, fill);
        for (int trial = 0; trial < 20; ++trial) {
            for (int32_t by = 0; by < source.motion.height; ++by) {
                for (int32_t bx = 0; bx < source.motion.width; ++bx) {
                    BlockMotion& m = source.motion.At(bx, by);
                    m.dx = static_cast<int32_t>(rng() % 127) - 63;
                    m.dy = static_cast<int32_t>(rng() % 127) - 63;
                    m.valid = static_cast<int32_t>(rng() % 4 != 0);
                }
            }
            const int32_t threshold = kMinThreshold + static_cast<int32_t>(rng() % (kMaxThreshold - kMinThreshold + 1));
            SCOPED_TRACE(testing::Message() << "trial " << trial << ", threshold " << threshold);
            std::vector<std::vector<uint8_t>> results;
            for (const Variant& v : variants) {
                ChannelProcessor work;
                ASSERT_TRUE(work.Allocate(g.width, g.height, 8, 8));
                const size_t bytes = static_cast<size_t>(work.current.stride) * work.current.paddedHeight;
                std::memcpy(work.current.buffer, source.current.buffer, bytes);
                std::memcpy(work.previous.buffer, source.previous.buffer, bytes);
                CompensatedTemporalFilterWith(v.dsp, work.current, work.previous, source.motion, 8, 8, threshold);
                ASSERT_EQ(0, std::memcmp(work.previous.buffer, source.previous.buffer, bytes)) << v.name;
                results.emplace_back(work.current.buffer, work.current.buffer + bytes);
            }
            for (size_t i = 1; i < results.size(); ++i) ASSERT_EQ(results[i], results[0]) << variants[i].name;
        }
    }
}

// ---- --bench: time each variant per call ----

template <typename F>
double MedianNanoseconds(F&& call, int callsPerRun) {
    std::vector<double> runs;
    for (int r = 0; r < 15; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < callsPerRun; ++i) call(i);
        const auto stop = std::chrono::steady_clock::now();
        runs.push_back(std::chrono::duration<double, std::nano>(stop - start).count() / callsPerRun);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

int RunBench() {
    const std::vector<Variant> variants = Variants();
    constexpr ptrdiff_t kStride = 848;
    std::vector<uint8_t> a(kStride * 200), b(kStride * 200), dst(kStride);
    std::mt19937 rng(1);
    Fill(a.data(), a.size(), Pattern::Random, rng);
    Fill(b.data(), b.size(), Pattern::Near, rng, a.data());
    const FilterParams params = MakeFilterParams(20);
    // The records of a 720 x 576 luma plane, vectors within the search range.
    std::vector<BlockMotion> records(94 * 76, BlockMotion{});
    const VectorField field = FieldOver(records, 90, 72);
    for (int32_t by = 0; by < field.height; ++by) {
        for (int32_t bx = 0; bx < field.width; ++bx) {
            field.At(bx, by) = BlockMotion{static_cast<int32_t>(rng() % 15) - 7, static_cast<int32_t>(rng() % 15) - 7,
                                           static_cast<int32_t>(rng() % 600), 0, 0, 0, 1};
        }
    }
    volatile uint32_t sink = 0;
    std::printf("%-24s %-6s %12s\n", "kernel", "table", "ns/call");
    for (const Variant& v : variants) {
        const EngineDsp& d = v.dsp;
        auto report = [&](const char* name, double ns) { std::printf("%-24s %-6s %12.2f\n", name, v.name.c_str(), ns); };
        report("sad_8x8", MedianNanoseconds([&](int i) { sink = sink + d.sad_8x8(a.data() + (i & 63), b.data() + (i & 31), kStride); }, 20000));
        report("search_block", MedianNanoseconds([&](int i) {
                   SearchResult out;
                   d.search_block(a.data() + 64 * kStride + 64 + (i & 63), b.data() + 64 * kStride + 64, kStride, 0,
                                  0, 64, &out);
                   sink = sink + out.cost;
               }, 20000));
        report("filter_row(720)", MedianNanoseconds([&](int i) {
                   std::memcpy(dst.data(), a.data() + (i & 7) * kStride, 720);
                   d.filter_row(dst.data(), b.data(), 720, params);
               }, 2000));
        report("smooth_row(720)", MedianNanoseconds([&](int i) {
                   d.smooth_row(dst.data(), a.data() + (i & 7), b.data(), a.data() + kStride, 720);
               }, 2000));
        report("neighbour_means(90x72)", MedianNanoseconds([&](int) { d.neighbour_means(field, 300); }, 50));
    }
    return 0;
}

}  // namespace
}  // namespace engine

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bench") == 0) return engine::RunBench();
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
