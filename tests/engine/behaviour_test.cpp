// Behaviour of the denoise engine through its public operations (and the
// search's small helpers): filter rule tables, smoothing, motion search and
// refinement, cost histogram, SNR, scene change and the noise rings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"
#include "engine/x86/motion_search_batched.h"

namespace engine {
namespace {

// ---- Temporal filters ----

struct FilterCase {
    int32_t threshold;
    int32_t c;
    int32_t expected;
};

// Previous output 100 throughout.
constexpr FilterCase kFilterTable[] = {
    {20, 80, 80},   {20, 90, 95},   {20, 95, 98},   {20, 99, 99},   {20, 100, 100},
    {20, 101, 101}, {20, 105, 101}, {20, 110, 104}, {20, 119, 118}, {20, 120, 120},
    {100, 80, 96},  {100, 105, 105}, {100, 95, 99}, {100, 130, 108},
};

TEST(TemporalFilter, FollowsTheRuleTable) {
    ChannelProcessor p;
    ASSERT_TRUE(p.Allocate(4, 1, 8, 8));
    for (const FilterCase& fc : kFilterTable) {
        SCOPED_TRACE(testing::Message() << "threshold " << fc.threshold << ", c " << fc.c);
        std::memset(p.current.Row(0), fc.c, 4);
        std::memset(p.previous.Row(0), 100, 4);
        TemporalFilter(p.current, p.previous, fc.threshold);
        for (int x = 0; x < 4; ++x) EXPECT_EQ(p.current.At(x, 0), fc.expected);
    }
}

// Every (c, p) pair: column c, row p.
class AllPairs : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(proc.Allocate(256, 256, 8, 8));
        Reset();
    }
    void Reset() {
        for (int32_t y = 0; y < 256; ++y) {
            for (int32_t x = 0; x < 256; ++x) {
                proc.current.At(x, y) = static_cast<uint8_t>(x);
                proc.previous.At(x, y) = static_cast<uint8_t>(y);
            }
        }
    }
    ChannelProcessor proc;
};

TEST_F(AllPairs, NonPositiveAndTinyThresholdsLeaveThePlaneUnchanged) {
    for (int32_t threshold : {std::numeric_limits<int32_t>::min(), -70000, -5, 0, 1, 2, 70000}) {
        SCOPED_TRACE(threshold);
        Reset();
        TemporalFilter(proc.current, proc.previous, threshold);
        for (int32_t y = 0; y < 256; ++y) {
            for (int32_t x = 0; x < 256; ++x) ASSERT_EQ(proc.current.At(x, y), x) << "p " << y;
        }
    }
}

TEST_F(AllPairs, OutputLiesBetweenReferenceAndInputAndPassesLargeDifferences) {
    for (int32_t threshold : {3, 20, 100, 255, 300}) {
        SCOPED_TRACE(threshold);
        Reset();
        TemporalFilter(proc.current, proc.previous, threshold);
        for (int32_t p = 0; p < 256; ++p) {
            for (int32_t c = 0; c < 256; ++c) {
                const int32_t out = proc.current.At(c, p);
                ASSERT_GE(out, std::min(c, p));
                ASSERT_LE(out, std::max(c, p));
                if (std::abs(c - p) >= threshold) {
                    ASSERT_EQ(out, c);
                }
                // Negative differences always move at least one step toward c.
                if (c < p && std::abs(c - p) < threshold) {
                    ASSERT_LT(out, p);
                }
            }
        }
    }
}

TEST(TemporalFilter, LeavesColumnsAfterTheLastGroupOfFour) {
    ChannelProcessor p;
    ASSERT_TRUE(p.Allocate(7, 2, 8, 8));
    for (int32_t y = 0; y < 2; ++y) {
        std::memset(p.current.Row(y), 110, 7);
        std::memset(p.previous.Row(y), 100, 7);
    }
    TemporalFilter(p.current, p.previous, 20);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(p.current.At(x, y), x < 4 ? 104 : 110) << x;
    }
}

// A 3x2-block plane whose previous output has a distinct value per block.
class Compensated : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(proc.Allocate(28, 16, 8, 8));  // 3 x 2 blocks plus 4 spare columns
        for (int32_t y = 0; y < 16; ++y) {
            for (int32_t x = 0; x < 28; ++x) {
                proc.current.At(x, y) = 110;
                proc.previous.At(x, y) = static_cast<uint8_t>(100 + 2 * (x / 8) + 6 * (y / 8));
            }
        }
        for (int32_t by = 0; by < 2; ++by) {
            for (int32_t bx = 0; bx < 3; ++bx) proc.motion.At(bx, by) = BlockMotion{0, 0, 0, 0, 0, 0, 1};
        }
    }
    int32_t Filtered(int32_t c, int32_t p) const {
        ChannelProcessor one;
        EXPECT_TRUE(one.Allocate(4, 1, 8, 8));
        std::memset(one.current.Row(0), c, 4);
        std::memset(one.previous.Row(0), p, 4);
        TemporalFilter(one.current, one.previous, 20);
        return one.current.At(0, 0);
    }
    ChannelProcessor proc;
};

TEST_F(Compensated, FollowsVectorsSkipsInvalidBlocksAndRemainders) {
    proc.motion.At(1, 0).dx = -8;  // block (1,0) takes block (0,0)'s previous output
    proc.motion.At(2, 0).valid = 0;
    proc.motion.At(0, 1).dx = 200;  // would leave the allocation: not followed
    CompensatedTemporalFilter(proc.current, proc.previous, proc.motion, 8, 8, 20);
    for (int32_t y = 0; y < 16; ++y) {
        for (int32_t x = 0; x < 28; ++x) {
            const int32_t bx = x / 8, by = y / 8;
            int32_t expected = 110;
            if (x < 24 && !(bx == 2 && by == 0) && !(bx == 0 && by == 1)) {
                const int32_t refBx = (bx == 1 && by == 0) ? 0 : bx;
                expected = Filtered(110, 100 + 2 * refBx + 6 * by);
            }
            ASSERT_EQ(proc.current.At(x, y), expected) << x << "," << y;
        }
    }
}

TEST_F(Compensated, ReadsBlackFromTheMarginOfThePreviousPlane) {
    proc.motion.At(0, 0).dx = -63;
    proc.motion.At(0, 0).dy = -63;
    std::memset(proc.current.Row(0), 10, 8);
    CompensatedTemporalFilter(proc.current, proc.previous, proc.motion, 8, 8, 20);
    EXPECT_EQ(proc.current.At(0, 0), Filtered(10, 0));
    EXPECT_LT(proc.current.At(0, 0), 10);
}

// Long rows of blocks moving alike, broken by blocks that are not followed
// and by changes of vector, across more blocks than the filter lists at a
// time: each followed block is filtered exactly once, along its own vector.
TEST(CompensatedSpans, FilterEveryFollowedBlockOnceAlongItsOwnVector) {
    constexpr int32_t kBlocksX = 70, kBlocksY = 3, kWidth = 8 * kBlocksX + 3, kHeight = 8 * kBlocksY;
    constexpr BlockMotion kVectors[] = {{0, 0, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 0, 1},
                                        {-2, 1, 0, 0, 0, 0, 1}, {0, -1, 0, 0, 0, 0, 1}};
    std::mt19937 rng(7);
    for (int32_t threshold : {20, 100}) {
        ChannelProcessor p;
        ASSERT_TRUE(p.Allocate(kWidth, kHeight, 8, 8));
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                p.current.At(x, y) = static_cast<uint8_t>(rng());
                p.previous.At(x, y) = static_cast<uint8_t>(rng());
            }
        }
        for (int32_t by = 0; by < kBlocksY; ++by) {
            for (int32_t bx = 0; bx < kBlocksX;) {
                const BlockMotion m = kVectors[rng() % 4];
                for (int32_t run = 1 + static_cast<int32_t>(rng() % 9); run > 0 && bx < kBlocksX; --run, ++bx) {
                    BlockMotion& rec = p.motion.At(bx, by);
                    rec = m;
                    const uint32_t roll = rng() % 10;
                    if (roll == 0) rec.valid = 0;
                    if (roll == 1) rec.dx = 4000;  // would leave the allocation
                }
            }
        }
        const FilterParams params = MakeFilterParams(threshold);
        std::vector<uint8_t> expected(static_cast<size_t>(kWidth) * kHeight);
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                uint8_t& e = expected[static_cast<size_t>(y) * kWidth + x];
                e = p.current.At(x, y);
                if (x >= 8 * kBlocksX) continue;
                const BlockMotion& m = p.motion.At(x / 8, y / 8);
                if (m.valid == 0 || m.dx == 4000) continue;
                e = FilterPixel(e, p.previous.origin[static_cast<ptrdiff_t>(y + m.dy) * p.previous.stride + x + m.dx],
                                params);
            }
        }
        CompensatedTemporalFilter(p.current, p.previous, p.motion, 8, 8, threshold);
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                ASSERT_EQ(p.current.At(x, y), expected[static_cast<size_t>(y) * kWidth + x])
                    << "threshold " << threshold << " at " << x << "," << y;
            }
        }
    }
}

// ---- Vertical smoothing ----

struct SmoothCase {
    uint8_t above, mid, below, expected;
};

TEST(SmoothVertically, AveragesRoundingUpAndCopiesTheOuterRows) {
    constexpr SmoothCase kCases[] = {{0, 255, 0, 128}, {0, 1, 0, 1}, {10, 20, 30, 20}, {255, 255, 255, 255}};
    for (const SmoothCase& sc : kCases) {
        ChannelProcessor p;
        ASSERT_TRUE(p.Allocate(13, 3, 8, 8));
        for (int32_t x = 0; x < 13; ++x) {
            p.current.At(x, 0) = sc.above;
            p.current.At(x, 1) = sc.mid;
            p.current.At(x, 2) = sc.below;
        }
        for (int32_t y = 0; y < 3; ++y) std::memset(p.smoothedCurrent.Row(y), 77, 13);
        SmoothVertically(p.current, p.smoothedCurrent);
        for (int32_t x = 0; x < 13; ++x) {
            SCOPED_TRACE(x);
            // Only whole groups of 8 columns are written.
            EXPECT_EQ(p.smoothedCurrent.At(x, 0), x < 8 ? sc.above : 77);
            EXPECT_EQ(p.smoothedCurrent.At(x, 1), x < 8 ? sc.expected : 77);
            EXPECT_EQ(p.smoothedCurrent.At(x, 2), x < 8 ? sc.below : 77);
        }
    }
}

TEST(SmoothVertically, PlanesOfOneAndTwoRowsAreCopied) {
    for (int32_t h : {1, 2}) {
        ChannelProcessor p;
        ASSERT_TRUE(p.Allocate(8, h, 8, 8));
        for (int32_t y = 0; y < h; ++y) std::memset(p.current.Row(y), 40 + y, 8);
        SmoothVertically(p.current, p.smoothedCurrent);
        for (int32_t y = 0; y < h; ++y) EXPECT_EQ(p.smoothedCurrent.At(3, y), 40 + y);
    }
}

// The row-range forms, called band by band (the last band running past the
// end, an empty band and one beyond the plane among them), build the same
// planes as the whole calls and write nothing else, margins included.
TEST(RowRanges, BandsGiveTheWholePlaneAndTouchNoOtherRow) {
    struct Band {
        int32_t first, count;
    };
    constexpr Band kBands[] = {{0, 5}, {5, 0}, {5, 5}, {10, 5}, {15, 5}, {20, 5}, {40, 3}, {-3, 2}};
    std::mt19937 rng(5);
    ChannelProcessor whole, banded;
    ASSERT_TRUE(whole.Allocate(29, 17, 8, 8));
    ASSERT_TRUE(banded.Allocate(29, 17, 8, 8));
    // Whole buffers, margins included, with the same random bytes.
    auto fillAll = [&](Plane& a, Plane& b) {
        const size_t bytes = static_cast<size_t>(a.stride) * a.paddedHeight;
        for (size_t i = 0; i < bytes; ++i) a.buffer[i] = b.buffer[i] = static_cast<uint8_t>(rng());
    };
    fillAll(whole.current, banded.current);
    fillAll(whole.previous, banded.previous);
    fillAll(whole.smoothedCurrent, banded.smoothedCurrent);

    SmoothVertically(whole.current, whole.smoothedCurrent);
    TemporalFilter(whole.current, whole.previous, 40);
    for (const Band& b : kBands) SmoothVerticallyRows(banded.current, banded.smoothedCurrent, b.first, b.count);
    for (const Band& b : kBands) TemporalFilterRows(banded.current, banded.previous, 40, b.first, b.count);

    const size_t bytes = static_cast<size_t>(whole.current.stride) * whole.current.paddedHeight;
    EXPECT_TRUE(std::equal(whole.smoothedCurrent.buffer, whole.smoothedCurrent.buffer + bytes,
                           banded.smoothedCurrent.buffer));
    EXPECT_TRUE(std::equal(whole.current.buffer, whole.current.buffer + bytes, banded.current.buffer));
}

// ---- Motion search ----

// Smooth, strongly textured content: block costs fall steadily toward the
// true displacement, as in vertically smoothed video.
uint8_t Texture(int32_t x, int32_t y) {
    const double v = 128.0 + 50.0 * std::sin(x * 0.31) * std::cos(y * 0.23) + 40.0 * std::sin((x + 2 * y) * 0.11);
    return static_cast<uint8_t>(std::lround(v));
}

struct Shift {
    int32_t dx;
    int32_t dy;
};

class Search : public testing::TestWithParam<Shift> {};

TEST_P(Search, FindsAKnownShiftForInteriorBlocks) {
    const Shift s = GetParam();
    ChannelProcessor p;
    ASSERT_TRUE(p.Allocate(160, 128, 8, 8));
    // The current block at (x, y) matches the reference at (x + dx, y + dy).
    for (int32_t y = 0; y < 128; ++y) {
        for (int32_t x = 0; x < 160; ++x) {
            p.current.At(x, y) = Texture(x, y);
            p.previous.At(x, y) = Texture(x - s.dx, y - s.dy);
        }
    }
    p.EstimateMotion(p.current, p.previous, p.motion);
    // The top rows and the outer columns start from predictions diluted by
    // zero margin records, or match outside the picture; from the third row
    // on every block predicts from found neighbours.
    int32_t found = 0, interior = 0;
    for (int32_t by = 2; by < p.motion.height - 1; ++by) {
        for (int32_t bx = 1; bx < p.motion.width - 1; ++bx) {
            const BlockMotion& m = p.motion.At(bx, by);
            ++interior;
            EXPECT_EQ(m.valid, 1);
            if (m.dx == s.dx && m.dy == s.dy) {
                EXPECT_EQ(m.cost, 0);
                ++found;
            }
        }
    }
    EXPECT_EQ(found, interior);
}

INSTANTIATE_TEST_SUITE_P(Shifts, Search,
                         testing::Values(Shift{0, 0}, Shift{3, -2}, Shift{-5, 4}, Shift{1, 0}, Shift{-7, -6},
                                         Shift{8, -3}, Shift{0, -6}, Shift{7, 7}));

TEST(Search, StaticSceneKeepsZeroVectorsThroughTheAnalysis) {
    ChannelProcessor p;
    ASSERT_TRUE(p.Allocate(96, 64, 8, 8));
    for (int32_t y = 0; y < 64; ++y) {
        for (int32_t x = 0; x < 96; ++x) p.current.At(x, y) = p.previous.At(x, y) = Texture(3 * x, 2 * y);
    }
    p.EstimateMotion(p.current, p.previous, p.motion);
    p.AnalyseMotion(p.current, p.previous, p.motion);
    for (int32_t by = 0; by < p.motion.height; ++by) {
        for (int32_t bx = 0; bx < p.motion.width; ++bx) {
            const BlockMotion& m = p.motion.At(bx, by);
            EXPECT_EQ(m.dx, 0);
            EXPECT_EQ(m.dy, 0);
            EXPECT_EQ(m.cost, 0);
            EXPECT_EQ(m.valid, 1);
        }
    }
}

TEST(Search, NeverLeavesTheMarginOnAFlatPlane) {
    // Black current block against a bright reference: every displacement into
    // the zero margin improves, until the range test stops the walk.
    ChannelProcessor p;
    ASSERT_TRUE(p.Allocate(16, 16, 8, 8));
    for (int32_t y = 0; y < 16; ++y) std::memset(p.previous.Row(y), 200, 16);
    p.EstimateMotion(p.current, p.previous, p.motion);
    for (int32_t by = 0; by < 2; ++by) {
        for (int32_t bx = 0; bx < 2; ++bx) {
            const BlockMotion& m = p.motion.At(bx, by);
            EXPECT_GT(m.dx, -p.border);
            EXPECT_LT(m.dx, p.border);
            EXPECT_GT(m.dy, -p.border);
            EXPECT_LT(m.dy, p.border);
            EXPECT_EQ(static_cast<uint32_t>(m.cost), BlockCost(p.current, p.previous, bx, by, m.dx, m.dy));
        }
    }
}

BlockMotion M(int32_t dx, int32_t dy, int32_t cost) { return BlockMotion{dx, dy, cost, 0, 0, 0, 1}; }

struct NeighbourCase {
    const char* name;
    BlockMotion left, above, aboveRight;
    uint32_t limit;
    Vector expected;
};

TEST(Search, PredictsTheTruncatedMeanOfAcceptedNeighbours) {
    const NeighbourCase kCases[] = {
        {"truncates toward zero", M(-3, 1, 5), M(0, 0, 0), M(9, 9, 50), 10, {-1, 0}},
        {"all three", M(4, -5, 0), M(2, 2, 0), M(0, 0, 0), 0, {2, -1}},
        {"none accepted", M(4, 4, 11), M(5, 5, 12), M(6, 6, 13), 10, {0, 0}},
        {"cost compared unsigned", M(7, 7, -1), M(2, 0, 3), M(1, 0, 3), 10, {1, 0}},
    };
    ChannelProcessor p;
    ASSERT_TRUE(p.Allocate(24, 16, 8, 8));
    for (const NeighbourCase& nc : kCases) {
        SCOPED_TRACE(nc.name);
        p.motion.At(0, 1) = nc.left;
        p.motion.At(1, 0) = nc.above;
        p.motion.At(2, 0) = nc.aboveRight;
        const Vector v = PredictVector(p.motion, 1, 1, nc.limit);
        EXPECT_EQ(v.x, nc.expected.x);
        EXPECT_EQ(v.y, nc.expected.y);
    }
    // The top-left block sees only zero margin records.
    const Vector corner = PredictVector(p.motion, 0, 0, 0);
    EXPECT_EQ(corner.x, 0);
    EXPECT_EQ(corner.y, 0);
}

TEST(Search, StepsAgainstTheGradientRoundingHalfToEven) {
    const Direction d = GradientDirection(30, -40);
    EXPECT_FLOAT_EQ(d.x, 0.6f);
    EXPECT_FLOAT_EQ(d.y, -0.8f);
    const Vector first = Candidate({0, 0}, -2.0f, d);
    EXPECT_EQ(first.x, -1);
    EXPECT_EQ(first.y, 2);
    const Vector second = Candidate({0, 0}, -1.0f, d);
    EXPECT_EQ(second.x, -1);
    EXPECT_EQ(second.y, 1);
    const Direction flat = GradientDirection(0, 0);
    EXPECT_EQ(flat.x, 0.0f);
    EXPECT_EQ(flat.y, 0.0f);

    const struct {
        float v;
        int32_t rounded;
    } kRounding[] = {{0.5f, 0}, {1.5f, 2}, {2.5f, 2}, {-0.5f, 0}, {-1.5f, -2}, {-2.5f, -2},
                     {0.49999997f, 0}, {1.2f, 1}, {-1.6f, -2}, {0.0f, 0}, {63.5f, 64}};
    for (const auto& r : kRounding) EXPECT_EQ(RoundHalfEven(r.v), r.rounded) << r.v;
}

// The search takes its candidate offsets from integer comparisons; they must
// match the single-precision formula for every gradient, above all for those
// hugging a rounding boundary (|g| / sqrt(n) near 0.25, 0.5 or 0.75).
TEST(Search, IntegerStepOffsetsMatchTheFloatFormula) {
    auto check = [](int32_t gx, int32_t gy) {
        const Direction dir = GradientDirection(gx, gy);
        const Vector twice = Candidate({0, 0}, -2.0f, dir);
        const Vector once = Candidate({0, 0}, -1.0f, dir);
        const StepOffsets steps = DescentOffsets(gx, gy);
        return steps.twice.x == twice.x && steps.twice.y == twice.y && steps.once.x == once.x &&
               steps.once.y == once.y;
    };
    int mismatches = 0;
    for (int32_t gy = -300; gy <= 300; ++gy) {
        for (int32_t gx = -300; gx <= 300; ++gx) mismatches += !check(gx, gy);
    }
    // Near each boundary ratio gx / gy = sqrt(r / (1 - r)), over the whole range.
    const double kRatios[] = {std::sqrt(1.0 / 15.0), std::sqrt(1.0 / 3.0), std::sqrt(9.0 / 7.0)};
    for (int32_t gy = 1; gy <= 16320; ++gy) {
        for (double ratio : kRatios) {
            for (double r : {ratio, 1.0 / ratio}) {
                const int32_t centre = static_cast<int32_t>(std::lround(gy * r));
                for (int32_t gx = centre - 2; gx <= centre + 2; ++gx) {
                    if (gx < 0 || gx > 16320) continue;
                    mismatches += !check(gx, gy) + !check(-gx, gy) + !check(gx, -gy);
                }
            }
        }
    }
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> any(-16320, 16320);
    for (int i = 0; i < 200000; ++i) mismatches += !check(any(rng), any(rng));
    EXPECT_EQ(mismatches, 0);
}

TEST(BlockCost, RefusesBlocksOutsideTheAllocation) {
    ChannelProcessor p;
    ASSERT_TRUE(p.Allocate(16, 16, 8, 8));
    for (int32_t y = 0; y < 16; ++y) std::memset(p.current.Row(y), 3, 16);
    EXPECT_EQ(BlockCost(p.current, p.previous, 0, 0, 0, 0), 64u * 3);
    EXPECT_EQ(BlockCost(p.current, p.previous, 1, 1, 64, 64), 64u * 3);  // last block, far corner of the margin
    EXPECT_EQ(BlockCost(p.current, p.previous, 1, 1, 65, 0), kMaxBlockCost);
    EXPECT_EQ(BlockCost(p.current, p.previous, 0, 0, 0, -65), kMaxBlockCost);
    ChannelProcessor other;
    ASSERT_TRUE(other.Allocate(24, 16, 8, 8));
    EXPECT_EQ(BlockCost(p.current, other.previous, 0, 0, 0, 0), kMaxBlockCost);
}

// ---- The search and refinement against their plain rules ----

// The search as the rules state it: every cost measured with BlockCost, the
// steps rounded with std::nearbyint.
void PlainSearch(const ChannelProcessor& p, const Plane& cur, const Plane& ref, VectorField& field) {
    const uint32_t accept = 2u * static_cast<uint32_t>(p.meanUpperBin);
    for (int32_t by = 0; by < field.height; ++by) {
        for (int32_t bx = 0; bx < field.width; ++bx) {
            int32_t sx = 0, sy = 0, n = 0;
            for (const BlockMotion* nb : {&field.At(bx - 1, by), &field.At(bx, by - 1), &field.At(bx + 1, by - 1)}) {
                if (static_cast<uint32_t>(nb->cost) <= accept) {
                    sx += nb->dx;
                    sy += nb->dy;
                    ++n;
                }
            }
            int32_t x = n ? sx / n : 0, y = n ? sy / n : 0;
            uint32_t best = BlockCost(cur, ref, bx, by, x, y);
            float dirX = 0, dirY = 0;
            auto direction = [&] {
                const int32_t gx = static_cast<int32_t>(BlockCost(cur, ref, bx, by, x + 1, y) - best);
                const int32_t gy = static_cast<int32_t>(BlockCost(cur, ref, bx, by, x, y + 1) - best);
                int32_t norm = gx * gx + gy * gy;
                if (norm == 0) norm = 1;
                const float inv = 1.0f / std::sqrt(static_cast<float>(norm));
                dirX = static_cast<float>(gx) * inv;
                dirY = static_cast<float>(gy) * inv;
            };
            direction();
            float step = -2.0f;
            int32_t allowance = 2;
            for (;;) {
                const int32_t cx = x + static_cast<int32_t>(std::nearbyint(step * dirX));
                const int32_t cy = y + static_cast<int32_t>(std::nearbyint(step * dirY));
                if (cx <= -p.border || cx >= p.border || cy <= -p.border || cy >= p.border) break;
                const uint32_t c = BlockCost(cur, ref, bx, by, cx, cy);
                if (c < best) {
                    x = cx;
                    y = cy;
                    best = c;
                    direction();
                    continue;
                }
                step += 1.0f;
                if (--allowance == 0) break;
            }
            field.At(bx, by) = BlockMotion{x, y, static_cast<int32_t>(best), 0, 0, 0, 1};
        }
    }
}

// The refinement as the rules state it, means in single precision.
void PlainRefine(const Plane& cur, const Plane& ref, VectorField& f, int32_t zeroLimit, int32_t acceptLimit) {
    for (int32_t by = 0; by < f.height; ++by) {
        for (int32_t bx = 0; bx < f.width; ++bx) {
            BlockMotion& m = f.At(bx, by);
            const uint32_t z = BlockCost(cur, ref, bx, by, 0, 0), cost = static_cast<uint32_t>(m.cost);
            if (z <= cost || z - cost < static_cast<uint32_t>(zeroLimit)) {
                m.dx = m.dy = 0;
                m.cost = static_cast<int32_t>(z);
            }
        }
    }
    auto mean = [](int32_t sum, int32_t k) {
        return static_cast<int32_t>(std::nearbyint(static_cast<float>(sum) / static_cast<float>(k)));
    };
    for (int32_t by = 0; by < f.height; ++by) {
        for (int32_t bx = 0; bx < f.width; ++bx) {
            BlockMotion& m = f.At(bx, by);
            int32_t sx = 0, sy = 0, sq = 0, k = 0;
            for (int32_t oy = -1; oy <= 1; ++oy) {
                for (int32_t ox = -1; ox <= 1; ++ox) {
                    const BlockMotion& nb = f.At(bx + ox, by + oy);
                    const bool accepted = static_cast<uint32_t>(nb.cost) <= static_cast<uint32_t>(acceptLimit);
                    if ((ox == 0 && oy == 0) || !accepted) continue;
                    sx += nb.dx;
                    sy += nb.dy;
                    sq += (nb.dx - m.dx) * (nb.dx - m.dx) + (nb.dy - m.dy) * (nb.dy - m.dy);
                    ++k;
                }
            }
            m.meanDx = k ? mean(sx, k) : 0;
            m.meanDy = k ? mean(sy, k) : 0;
            m.deviation = k ? mean(sq, k) : 0;
        }
    }
    for (int32_t by = 0; by < f.height; ++by) {
        for (int32_t bx = 0; bx < f.width; ++bx) {
            BlockMotion& m = f.At(bx, by);
            if (m.deviation <= 7 && m.cost <= acceptLimit) continue;
            const uint32_t u = BlockCost(cur, ref, bx, by, m.meanDx, m.meanDy);
            if (static_cast<int32_t>(u) < acceptLimit) {
                m.dx = m.meanDx;
                m.dy = m.meanDy;
                m.cost = static_cast<int32_t>(u);
                m.valid = 1;
            } else {
                m.dx = m.dy = 0;
                m.valid = 0;
            }
        }
    }
}

bool SameRecords(const VectorField& a, const VectorField& b) {
    for (int32_t by = 0; by < a.height; ++by) {
        for (int32_t bx = 0; bx < a.width; ++bx) {
            if (std::memcmp(&a.At(bx, by), &b.At(bx, by), sizeof(BlockMotion)) != 0) {
                ADD_FAILURE() << "block " << bx << "," << by;
                return false;
            }
        }
    }
    return true;
}

// Noisy frames of a panning texture with a block moving against it.
void NoisyFrame(Plane& plane, int32_t t, uint32_t& h) {
    for (int32_t y = 0; y < plane.height; ++y) {
        for (int32_t x = 0; x < plane.width; ++x) {
            const bool object = x >= 40 + 3 * t && x < 72 + 3 * t && y >= 30 - 2 * t && y < 62 - 2 * t;
            int32_t v = object ? 30 + 4 * ((x + y) % 37) : Texture(x + 2 * t, y - t);
            h = h * 1664525u + 1013904223u;
            v += static_cast<int32_t>(h >> 28) - 8;
            plane.At(x, y) = static_cast<uint8_t>(std::clamp(v, 0, 255));
        }
    }
}

// The second plane is wider than the refinement's stretch of 128 columns.
TEST(Search, MatchesThePlainRulesOnANoisyMovingSequence) {
    for (const auto& size : {std::pair<int32_t, int32_t>{136, 96}, {1048, 24}}) {
        SCOPED_TRACE(testing::Message() << size.first << "x" << size.second);
        ChannelProcessor p;
        ASSERT_TRUE(p.Allocate(size.first, size.second, 8, 8));
        ChannelProcessor plain;
        ASSERT_TRUE(plain.Allocate(size.first, size.second, 8, 8));
        uint32_t h = 5;
        NoisyFrame(p.previous, 0, h);
        for (int32_t t = 1; t <= 6; ++t) {
            SCOPED_TRACE(testing::Message() << "frame " << t);
            NoisyFrame(p.current, t, h);
            for (int32_t meanUpperBin : {0, 40, 400, 5000}) {
                SCOPED_TRACE(meanUpperBin);
                p.meanUpperBin = plain.meanUpperBin = meanUpperBin;
                p.EstimateMotion(p.current, p.previous, p.motion);
                PlainSearch(plain, p.current, p.previous, plain.motion);
                ASSERT_TRUE(SameRecords(p.motion, plain.motion));
                for (auto limits : {std::pair<int32_t, int32_t>{0, 300}, {25, 900}, {400, 90}, {0, 1 << 20}}) {
                    // Both refine the search's field, one after the other.
                    const size_t bytes =
                        sizeof(BlockMotion) * static_cast<size_t>(p.motion.stride) * p.motion.paddedHeight;
                    std::vector<BlockMotion> saved(p.motion.buffer, p.motion.buffer + bytes / sizeof(BlockMotion));
                    p.RefineMotion(p.current, p.previous, p.motion, limits.first, limits.second);
                    std::vector<BlockMotion> refined(p.motion.buffer, p.motion.buffer + bytes / sizeof(BlockMotion));
                    std::memcpy(p.motion.buffer, saved.data(), bytes);
                    PlainRefine(p.current, p.previous, p.motion, limits.first, limits.second);
                    ASSERT_EQ(0, std::memcmp(refined.data(), p.motion.buffer, bytes))
                        << limits.first << " " << limits.second;
                    std::memcpy(p.motion.buffer, saved.data(), bytes);
                }
            }
            SwapPlanes(p.current, p.previous);
        }
    }
}

// ---- Refinement ----

// A 5x5-block field around block (2, 2). The reference is the current plane
// moved 3 pixels, so the block matches exactly at (3, 0) and poorly at (0, 0).
class Refine : public testing::Test {
protected:
    static constexpr int32_t kAcceptLimit = 100;
    static constexpr BlockMotion kRejected{0, 0, 16000, 0, 0, 0, 1};

    void SetUp() override {
        ASSERT_TRUE(proc.Allocate(40, 40, 8, 8));
        uint32_t h = 12345;
        for (int32_t y = -8; y < 48; ++y) {
            for (int32_t x = -8; x < 48; ++x) {
                h = h * 1103515245u + 12345u;
                const uint8_t v = static_cast<uint8_t>(h >> 16);
                if (x >= 0 && x < 40 && y >= 0 && y < 40) proc.current.At(x, y) = v;
                if (x + 3 >= 0 && x + 3 < 40 && y >= 0 && y < 40) proc.previous.At(x + 3, y) = v;
            }
        }
        for (int32_t by = 0; by < 5; ++by) {
            for (int32_t bx = 0; bx < 5; ++bx) proc.motion.At(bx, by) = kRejected;
        }
    }
    BlockMotion& At(int32_t bx, int32_t by) { return proc.motion.At(bx, by); }
    void Run() { proc.RefineMotion(proc.current, proc.previous, proc.motion, 0, kAcceptLimit); }
    ChannelProcessor proc;
};

TEST_F(Refine, NeighbourhoodMeansRoundHalfToEven) {
    const struct {
        Vector left, right;
        Vector mean;
    } kCases[] = {{{1, 0}, {2, 0}, {2, 0}}, {{0, 0}, {1, 0}, {0, 0}}, {{0, -1}, {0, -2}, {0, -2}},
                  {{-1, 3}, {0, 2}, {0, 2}}};
    for (const auto& c : kCases) {
        SetUp();
        At(1, 2) = {c.left.x, c.left.y, 0, 0, 0, 0, 1};
        At(3, 2) = {c.right.x, c.right.y, 0, 0, 0, 0, 1};
        Run();
        EXPECT_EQ(At(2, 2).meanDx, c.mean.x);
        EXPECT_EQ(At(2, 2).meanDy, c.mean.y);
    }
}

TEST_F(Refine, AnOutlierTakesTheNeighbourhoodVectorWhenItMatches) {
    for (int32_t by = 1; by <= 3; ++by) {
        for (int32_t bx = 1; bx <= 3; ++bx) At(bx, by) = {3, 0, 0, 0, 0, 0, 1};
    }
    At(2, 2) = {0, 0, 50, 0, 0, 0, 1};
    Run();
    const BlockMotion& m = At(2, 2);
    EXPECT_EQ(m.deviation, 9);
    EXPECT_EQ(m.meanDx, 3);
    EXPECT_EQ(m.meanDy, 0);
    EXPECT_EQ(m.dx, 3);
    EXPECT_EQ(m.dy, 0);
    EXPECT_EQ(m.cost, 0);
    EXPECT_EQ(m.valid, 1);
}

TEST_F(Refine, APoorMatchWithoutABetterNeighbourhoodIsLeftUnfiltered) {
    // The block sits at (1, 0) with its true cost there, well above the
    // limit; its one accepted neighbour points at (0, 0), a poor match too.
    const uint32_t atOne = BlockCost(proc.current, proc.previous, 2, 2, 1, 0);
    const uint32_t atZero = BlockCost(proc.current, proc.previous, 2, 2, 0, 0);
    ASSERT_GT(std::min(atOne, atZero), static_cast<uint32_t>(kAcceptLimit));
    At(1, 1) = {0, 0, 0, 0, 0, 0, 1};
    At(2, 2) = {1, 0, static_cast<int32_t>(atOne), 0, 0, 0, 1};
    Run();
    const BlockMotion& m = At(2, 2);
    EXPECT_EQ(m.dx, 0);
    EXPECT_EQ(m.dy, 0);
    EXPECT_EQ(m.valid, 0);
    // The cost stays as the zero preference left it.
    EXPECT_EQ(static_cast<uint32_t>(m.cost), std::min(atOne, atZero));
}

TEST_F(Refine, DropsAVectorTheSearchCannotHaveProduced) {
    // A perfect cost far outside the search range is not believed: the
    // block falls back to (0, 0), which matches poorly and is not filtered.
    At(2, 2) = {200, 0, 0, 0, 0, 0, 1};
    Run();
    const BlockMotion& m = At(2, 2);
    EXPECT_EQ(m.dx, 0);
    EXPECT_EQ(m.dy, 0);
    EXPECT_EQ(static_cast<uint32_t>(m.cost), BlockCost(proc.current, proc.previous, 2, 2, 0, 0));
    EXPECT_EQ(m.valid, 0);
}

TEST_F(Refine, PrefersZeroWithinTheZeroLimit) {
    // Every block holds (3, 0) with a cost relative to its own cost at
    // (0, 0), so that all blocks decide alike and the later passes keep the
    // decision for the interior block (2, 2).
    const struct {
        int32_t delta;  // cost - z
        bool zeroCost;  // cost 0 instead
        int32_t zeroLimit;
        bool zero;
    } kCases[] = {{0, false, 0, true},   {1, false, 0, true},  {-10, false, 11, true},
                  {-10, false, 10, false}, {0, true, 0, false}, {0, true, 1 << 20, true}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "delta " << c.delta << ", zero cost " << c.zeroCost << ", limit "
                                        << c.zeroLimit);
        SetUp();
        for (int32_t by = 0; by < 5; ++by) {
            for (int32_t bx = 0; bx < 5; ++bx) {
                const int32_t z = static_cast<int32_t>(BlockCost(proc.current, proc.previous, bx, by, 0, 0));
                ASSERT_GT(z, 200);
                At(bx, by) = {3, 0, c.zeroCost ? 0 : z + c.delta, 0, 0, 0, 1};
            }
        }
        const BlockMotion before = At(2, 2);
        proc.RefineMotion(proc.current, proc.previous, proc.motion, c.zeroLimit, 1 << 20);
        const BlockMotion& m = At(2, 2);
        const uint32_t z = BlockCost(proc.current, proc.previous, 2, 2, 0, 0);
        EXPECT_EQ(m.dx, c.zero ? 0 : 3);
        EXPECT_EQ(static_cast<uint32_t>(m.cost), c.zero ? z : static_cast<uint32_t>(before.cost));
        EXPECT_EQ(m.deviation, 0);
        EXPECT_EQ(m.valid, 1);
    }
}

// ---- Noise analysis ----

// A processor whose field holds the given costs (one block each) over
// planes of matching size, so that the analysis has something to refine.
class Analysis : public testing::Test {
protected:
    // Sizes the field to one block per cost (reallocating only on a change
    // of size: the statistics carry over as they do between streams) and
    // stores the costs; the refinement rewrites them on every analysis.
    void Load(const std::vector<int32_t>& costs) {
        const int32_t width = 8 * static_cast<int32_t>(costs.size());
        if (proc.current.width != width || proc.current.height != 8) {
            ASSERT_TRUE(proc.Allocate(width, 8, 8, 8));
        }
        for (size_t i = 0; i < costs.size(); ++i) {
            proc.motion.At(static_cast<int32_t>(i), 0) = BlockMotion{0, 0, costs[i], 0, 0, 0, 1};
        }
    }
    void Analyse() { proc.AnalyseMotion(proc.current, proc.previous, proc.motion); }
    ChannelProcessor proc;
};

TEST_F(Analysis, SmoothsASingleCountIntoADecayingTail) {
    Load(std::vector<int32_t>(10, 500));
    Analyse();
    EXPECT_EQ(proc.costHistogram[499], 0);
    EXPECT_EQ(proc.costHistogram[500], 2);
    EXPECT_EQ(proc.costHistogram[501], 1);
    EXPECT_EQ(proc.costHistogram[502], 0);
    EXPECT_EQ(proc.peakCount, 2);
    EXPECT_EQ(proc.modeBin, 500);
    EXPECT_EQ(proc.lowerBin, 0);  // level trunc(0.2) = 0
    EXPECT_EQ(proc.upperBin, kHistogramBins - 1);
}

TEST_F(Analysis, FindsTheLowestOfEqualPeaksAndTheExtent) {
    // 50 blocks at 100 and 50 at 300: equal smoothed peaks of 10.
    std::vector<int32_t> costs(50, 100);
    costs.insert(costs.end(), 50, 300);
    Load(costs);
    Analyse();
    EXPECT_EQ(proc.peakCount, 10);
    EXPECT_EQ(proc.modeBin, 100);
    EXPECT_EQ(proc.lowerBin, 100);  // level 1
    EXPECT_EQ(proc.costHistogram[proc.upperBin], 1);
    EXPECT_EQ(proc.costHistogram[proc.upperBin + 1], 0);
    EXPECT_GT(proc.upperBin, 300);
}

// The smoothing as described, in double precision, for comparison.
void ReferenceSmoothing(std::vector<int32_t>& bins) {
    for (size_t i = 1; i < bins.size(); ++i) {
        const double s = bins[i - 1], h = bins[i];
        bins[i] = static_cast<int32_t>(std::trunc(s + 0.2 * (h - s)));
    }
}

TEST_F(Analysis, SmoothingMatchesTheDoubleArithmeticBitForBit) {
    // Heavy, lumpy histograms: counts up to tens of thousands in few bins.
    ASSERT_TRUE(proc.Allocate(2048, 512, 8, 8));
    uint32_t h = 99;
    for (int round = 0; round < 4; ++round) {
        std::vector<int32_t> raw(kHistogramBins, 0);
        for (int32_t by = 0; by < proc.motion.height; ++by) {
            for (int32_t bx = 0; bx < proc.motion.width; ++bx) {
                h = h * 1664525u + 1013904223u;
                const int32_t spread = round == 0 ? 3 : (round == 1 ? 40 : (round == 2 ? 2000 : 16320));
                const int32_t cost = static_cast<int32_t>((h >> 8) % static_cast<uint32_t>(spread)) * (round + 1);
                proc.motion.At(bx, by).cost = cost;
                if (cost < kHistogramBins) ++raw[static_cast<size_t>(cost)];
            }
        }
        ReferenceSmoothing(raw);
        Analyse();
        ASSERT_EQ(0, std::memcmp(raw.data(), proc.costHistogram, sizeof(int32_t) * kHistogramBins)) << round;
    }
}

TEST_F(Analysis, FrameSnrFollowsTheModeBin) {
    const struct {
        int32_t cost;
        double snr;
    } kCases[] = {{0, 78.2338}, {80, 40.0641}, {8159, 0.0}};
    for (const auto& c : kCases) {
        Load(std::vector<int32_t>(20, c.cost));
        Analyse();
        EXPECT_EQ(proc.modeBin, c.cost);
        EXPECT_NEAR(proc.frameSnr, c.snr, 1e-4) << c.cost;
        EXPECT_EQ(proc.frameSnr, 20.0 * std::log10(8160.0 / (c.cost + 1)));
    }
}

TEST_F(Analysis, ACostOf16320HasNoBinAndIsNotCounted) {
    Load({16320, 16320, 5});
    Analyse();
    EXPECT_EQ(proc.costHistogram[kHistogramBins - 1], 0);
    EXPECT_EQ(proc.modeBin, 0);  // bin 5 smooths to 0; bin 0 holds 0 too
}

TEST_F(Analysis, APlaneWithoutWholeBlocksGivesAnEmptyHistogram) {
    ASSERT_TRUE(proc.Allocate(7, 100, 8, 8));
    Analyse();
    EXPECT_EQ(proc.peakCount, 0);
    EXPECT_EQ(proc.lowerBin, 0);
    EXPECT_EQ(proc.upperBin, kHistogramBins - 1);
    EXPECT_EQ(proc.sceneChange, 0);
}

TEST_F(Analysis, SceneChangeWhenThePeakFallsBelowSeventyPercent) {
    const struct {
        int32_t oldPeak;
        int32_t blocks;  // all at cost 0: the peak is their number
        int32_t sceneChange;
    } kCases[] = {{100, 69, 1}, {100, 70, 0}, {0, 1, 0}, {10, 6, 1}, {10, 7, 0}};
    for (const auto& c : kCases) {
        Load(std::vector<int32_t>(static_cast<size_t>(c.blocks), 0));
        proc.peakCount = c.oldPeak;
        Analyse();
        EXPECT_EQ(proc.peakCount, c.blocks);
        EXPECT_EQ(proc.sceneChange, c.sceneChange) << c.oldPeak << " -> " << c.blocks;
    }
}

TEST_F(Analysis, ASceneChangeZeroesTheFieldAndKeepsTheRings) {
    Load(std::vector<int32_t>(69, 0));
    for (int i = 0; i < kRingLength; ++i) {
        proc.upperBinHistory[i] = i;
        proc.modeBinHistory[i] = 2 * i;
        proc.snrHistory[i] = 40.0 + i;
    }
    proc.upperBinIndex = 7;
    proc.modeBinIndex = 8;
    proc.snrIndex = 9;
    proc.meanSnr = 41.5;
    proc.noiseLevel = 12;
    proc.meanUpperBin = 13;
    proc.peakCount = 100;
    proc.motion.At(3, 0) = {5, -2, 0, 1, 2, 3, 1};
    Analyse();
    ASSERT_EQ(proc.sceneChange, 1);
    for (int i = 0; i < kRingLength; ++i) {
        EXPECT_EQ(proc.upperBinHistory[i], i);
        EXPECT_EQ(proc.modeBinHistory[i], 2 * i);
        EXPECT_EQ(proc.snrHistory[i], 40.0 + i);
    }
    EXPECT_EQ(proc.upperBinIndex, 7);
    EXPECT_EQ(proc.modeBinIndex, 8);
    EXPECT_EQ(proc.snrIndex, 9);
    EXPECT_EQ(proc.meanSnr, 41.5);
    EXPECT_EQ(proc.noiseLevel, 12);
    EXPECT_EQ(proc.meanUpperBin, 13);
    const size_t records = static_cast<size_t>(proc.motion.stride) * proc.motion.paddedHeight;
    const std::vector<BlockMotion> zero(records, BlockMotion{});
    EXPECT_EQ(0, std::memcmp(proc.motion.buffer, zero.data(), records * sizeof(BlockMotion)));
}

TEST_F(Analysis, SeedingFromAThresholdGivesThatThresholdBack) {
    // The pipeline's arithmetic: single-precision constants widened to double.
    const double seedFactor = static_cast<double>(6.6666665f);
    const double autoFactor = static_cast<double>(0.15f);
    for (int32_t threshold = 0; threshold <= 100; ++threshold) {
        SCOPED_TRACE(threshold);
        const int32_t seed = Trunc(threshold * seedFactor);
        // A frame whose mode is the seed itself leaves the ring uniform
        // (and a previous peak of 0 rules out a scene change).
        Load(std::vector<int32_t>(16, seed));
        proc.SeedNoiseHistory(seed);
        proc.peakCount = 0;
        Analyse();
        ASSERT_EQ(proc.modeBin, seed);
        EXPECT_EQ(proc.noiseLevel, seed + 1);
        EXPECT_EQ(Trunc(proc.noiseLevel * autoFactor), threshold);
    }
    EXPECT_EQ(Trunc(3 * seedFactor), 19);
    EXPECT_EQ(Trunc(10 * seedFactor), 66);
}

TEST_F(Analysis, RingMeansAreGeometricAndStartFromTheInitialZeros) {
    const std::vector<int32_t> costs(16, 80);
    Load(costs);
    Analyse();
    // 49 zero entries contribute factors of 1 (ints) and 0 (SNR).
    EXPECT_EQ(proc.noiseLevel, Trunc(std::pow(81.0, 0.02)));
    EXPECT_EQ(proc.meanSnr, 0.0);
    for (int i = 1; i < kRingLength; ++i) {
        Load(costs);
        Analyse();
        ASSERT_EQ(proc.sceneChange, 0);
    }
    EXPECT_EQ(proc.noiseLevel, 81);
    EXPECT_NEAR(proc.meanSnr, 40.0641, 1e-4);
    EXPECT_EQ(proc.modeBinIndex, 0);
}

TEST_F(Analysis, UndefinedMeansGiveZero) {
    // A negative stored threshold seeds negative entries: mixed signs.
    Load(std::vector<int32_t>(16, 80));
    proc.SeedNoiseHistory(Trunc(-5 * static_cast<double>(6.6666665f)));
    Analyse();
    EXPECT_EQ(proc.noiseLevel, 0);
    // A mode of 8160 or more makes the frame's SNR negative.
    for (double& entry : proc.snrHistory) entry = 40.0;
    Load(std::vector<int32_t>(16, 9000));
    Analyse();
    ASSERT_LT(proc.frameSnr, 0.0);
    EXPECT_EQ(proc.meanSnr, 0.0);
    // Entries too large for the product overflow to infinity: no integer.
    proc.SeedNoiseHistory(std::numeric_limits<int32_t>::max());
    Load(std::vector<int32_t>(16, 80));
    Analyse();
    EXPECT_EQ(proc.noiseLevel, 0);
}

TEST(Trunc, RoundsTowardZeroAndMapsTheUnrepresentableToZero) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double v;
        int32_t expected;
    } kCases[] = {{2.9, 2},
                  {-2.9, -2},
                  {-0.5, 0},
                  {2147483647.9, 2147483647},
                  {-2147483648.9, -2147483647 - 1},
                  {2147483648.0, 0},
                  {-2147483649.0, 0},
                  {inf, 0},
                  {-inf, 0},
                  {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto& c : kCases) EXPECT_EQ(Trunc(c.v), c.expected) << c.v;
}

}  // namespace
}  // namespace engine
