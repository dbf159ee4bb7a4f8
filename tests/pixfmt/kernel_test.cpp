// Every kernel variant against its scalar reference, byte for byte, on rows
// of many widths and extreme patterns. Sources sit flush against an
// inaccessible page (a read outside the row's groups faults); destinations are
// surrounded by sentinel bytes (a write outside them is reported).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pixfmt/pixfmt_dsp.h"
#include "tests/support/kernel_test_support.h"

namespace pixfmt {
namespace {

using namespace testing_support;
using Variant = testing_support::Variant<PixfmtDsp>;

std::vector<Variant> Variants() { return testing_support::Variants(pixfmt_dsp_init); }

// Every source of a case has the same pattern.
constexpr PatternPair kPatterns[] = {
    {"random", Pattern::Random, Pattern::Random},   {"all 0", Pattern::Zeros, Pattern::Zeros},
    {"all 255", Pattern::Full, Pattern::Full},      {"0/255", Pattern::Alternating, Pattern::Alternating},
    {"255/0", Pattern::Inverse, Pattern::Inverse},
};

// Pixel widths 1..(2 x 16-byte vector + 1), then frame widths of real streams.
std::vector<int32_t> Widths() {
    std::vector<int32_t> widths;
    for (int32_t w = 1; w <= 33; ++w) widths.push_back(w);
    for (int32_t w : {63, 64, 65, 718, 720, 721, 722, 1920, 1921}) widths.push_back(w);
    return widths;
}

// Random patterns get a few trials each.
template <typename Body>
void ForEachCase(Body body) {
    ForEachRowCase(Widths(), kPatterns, 4, body);
}

TEST(PixfmtKernels, SplitAndPackRowsMatchReference) {
    const std::vector<Variant> variants = Variants();
    ForEachCase([&](const RowCase& c) {
        const int32_t groups = c.width / 8;
        const size_t n = static_cast<size_t>(groups);

        // Split: 16 bytes per group in, 8 + 4 + 4 out.
        GuardedBuffer packed(16 * n, c.flush);
        Fill(packed.data(), 16 * n, c.pair.cur, c.rng);
        SentinelBuffer refY(8 * n, c.misalign, c.sentinel), refU(4 * n, c.misalign, c.sentinel),
            refV(4 * n, c.misalign, c.sentinel);
        split_row_c(packed.data(), refY.data(), refU.data(), refV.data(), groups);
        ASSERT_TRUE(refY.GuardsIntact() && refU.GuardsIntact() && refV.GuardsIntact());
        for (const Variant& variant : variants) {
            SCOPED_TRACE("split_row_" + variant.name);
            SentinelBuffer y(8 * n, c.misalign, c.sentinel), u(4 * n, c.misalign, c.sentinel),
                v(4 * n, c.misalign, c.sentinel);
            variant.dsp.split_row(packed.data(), y.data(), u.data(), v.data(), groups);
            ASSERT_EQ(y.bytes(), refY.bytes());
            ASSERT_EQ(u.bytes(), refU.bytes());
            ASSERT_EQ(v.bytes(), refV.bytes());
        }

        // Pack: the three planes in, 16 bytes per group out.
        GuardedBuffer y(8 * n, c.flush), u(4 * n, c.flush), v(4 * n, c.flush);
        Fill(y.data(), 8 * n, c.pair.cur, c.rng);
        Fill(u.data(), 4 * n, c.pair.cur, c.rng);
        Fill(v.data(), 4 * n, c.pair.cur, c.rng);
        SCOPED_TRACE("pack_row");
        ExpectSameBytes(variants, 16 * n, c.misalign, c.sentinel, [&](const PixfmtDsp& d, uint8_t* out) {
            d.pack_row(out, y.data(), u.data(), v.data(), groups);
        });
    });
}

TEST(PixfmtKernels, RgbRowsMatchReference) {
    const std::vector<Variant> variants = Variants();
    ForEachCase([&](const RowCase& c) {
        const int32_t pairs = c.width / 2;
        const size_t n = static_cast<size_t>(pairs);

        GuardedBuffer rgb(6 * n, c.flush);
        Fill(rgb.data(), 6 * n, c.pair.cur, c.rng);
        {
            SCOPED_TRACE("rgb_to_packed_row");
            ExpectSameBytes(variants, 4 * n, c.misalign, c.sentinel, [&](const PixfmtDsp& d, uint8_t* out) {
                d.rgb_to_packed_row(rgb.data(), out, pairs);
            });
        }

        GuardedBuffer packed(4 * n, c.flush);
        Fill(packed.data(), 4 * n, c.pair.cur, c.rng);
        SCOPED_TRACE("packed_to_rgb_row");
        ExpectSameBytes(variants, 6 * n, c.misalign, c.sentinel, [&](const PixfmtDsp& d, uint8_t* out) {
            d.packed_to_rgb_row(packed.data(), out, pairs);
        });
    });
}

// Random bytes rarely reach the chroma clamps and the floor of negative
// sums; walk every U and V value (with the extreme lumas) and a lattice of
// colours through every variant.
TEST(PixfmtKernels, RgbRowsMatchReferenceOverValueLattice) {
    const std::vector<Variant> variants = Variants();
    std::vector<uint8_t> packed;
    for (int u = 0; u < 256; ++u) {
        for (int v = 0; v < 256; ++v) {
            const uint8_t y0 = static_cast<uint8_t>((u + v) & 1 ? 0 : 255);
            packed.insert(packed.end(), {y0, static_cast<uint8_t>(u), static_cast<uint8_t>(255 - y0),
                                         static_cast<uint8_t>(v)});
        }
    }
    std::vector<uint8_t> rgb;
    for (int r = 0; r < 256; r += 5) {
        for (int g = 0; g < 256; g += 5) {
            for (int b = 0; b < 256; b += 5) rgb.insert(rgb.end(), {static_cast<uint8_t>(b), static_cast<uint8_t>(g),
                                                                     static_cast<uint8_t>(r)});
        }
    }
    rgb.resize(rgb.size() / 6 * 6);
    const int32_t packedPairs = static_cast<int32_t>(packed.size() / 4);
    const int32_t rgbPairs = static_cast<int32_t>(rgb.size() / 6);

    std::vector<uint8_t> refRgb(6 * packed.size() / 4), refPacked(4 * rgb.size() / 6);
    packed_to_rgb_row_c(packed.data(), refRgb.data(), packedPairs);
    rgb_to_packed_row_c(rgb.data(), refPacked.data(), rgbPairs);
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.name);
        std::vector<uint8_t> outRgb(refRgb.size()), outPacked(refPacked.size());
        variant.dsp.packed_to_rgb_row(packed.data(), outRgb.data(), packedPairs);
        variant.dsp.rgb_to_packed_row(rgb.data(), outPacked.data(), rgbPairs);
        EXPECT_EQ(outRgb, refRgb);
        EXPECT_EQ(outPacked, refPacked);
    }
}

}  // namespace
}  // namespace pixfmt
