// RgbToPacked / PackedToRgb values, row order and odd widths through the
// public interface. Colours are written (R, G, B); memory holds B, G, R.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <random>
#include <vector>

#include "pixfmt/pixfmt.h"
#include "tests/support/kernel_test_support.h"

namespace pixfmt {
namespace {

using Rgb = std::array<int, 3>;   // R, G, B
using Yuv = std::array<int, 3>;   // Y, U, V

std::vector<uint8_t> PairOf(Rgb a, Rgb b) {
    return {static_cast<uint8_t>(a[2]), static_cast<uint8_t>(a[1]), static_cast<uint8_t>(a[0]),
            static_cast<uint8_t>(b[2]), static_cast<uint8_t>(b[1]), static_cast<uint8_t>(b[0])};
}

Rgb PixelAt(const std::vector<uint8_t>& bgr, size_t pixel) {
    return {bgr[3 * pixel + 2], bgr[3 * pixel + 1], bgr[3 * pixel]};
}

struct ColourCase {
    const char* name;
    Rgb colour;
    Yuv packed;
    Rgb back;
};

TEST(RgbConversion, UniformPairsConvertThereAndBack) {
    const ColourCase cases[] = {
        {"black", {0, 0, 0}, {0, 128, 128}, {0, 0, 0}},
        {"white", {255, 255, 255}, {255, 128, 128}, {255, 255, 255}},
        {"grey", {128, 128, 128}, {128, 128, 128}, {128, 128, 128}},
        {"red", {255, 0, 0}, {76, 85, 255}, {254, 0, 0}},
        {"green", {0, 255, 0}, {149, 43, 21}, {0, 253, 0}},
        {"blue", {0, 0, 255}, {28, 255, 107}, {0, 0, 253}},
    };
    const Geometry g{2, 1};
    for (const ColourCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> rgb = PairOf(c.colour, c.colour);
        std::vector<uint8_t> packed(4);
        RgbToPacked(rgb.data(), packed.data(), g);
        EXPECT_EQ(packed, (std::vector<uint8_t>{static_cast<uint8_t>(c.packed[0]), static_cast<uint8_t>(c.packed[1]),
                                                static_cast<uint8_t>(c.packed[0]), static_cast<uint8_t>(c.packed[2])}));
        std::vector<uint8_t> back(6);
        PackedToRgb(packed.data(), back.data(), g);
        EXPECT_EQ(PixelAt(back, 0), c.back);
        EXPECT_EQ(PixelAt(back, 1), c.back);
    }
}

// The pair shares the chroma of its truncated mean colour (127, 0, 127).
TEST(RgbConversion, PairSharesChromaOfItsMeanColour) {
    const Geometry g{2, 1};
    const std::vector<uint8_t> mixed = PairOf({255, 0, 0}, {0, 0, 255});
    const std::vector<uint8_t> mean = PairOf({127, 0, 127}, {127, 0, 127});
    std::vector<uint8_t> packed(4), meanPacked(4);
    RgbToPacked(mixed.data(), packed.data(), g);
    RgbToPacked(mean.data(), meanPacked.data(), g);
    EXPECT_EQ(packed, (std::vector<uint8_t>{76, 170, 28, 181}));
    EXPECT_EQ(packed[1], meanPacked[1]);
    EXPECT_EQ(packed[3], meanPacked[3]);

    std::vector<uint8_t> back(6);
    PackedToRgb(packed.data(), back.data(), g);
    EXPECT_EQ(PixelAt(back, 0), (Rgb{150, 23, 150}));
    EXPECT_EQ(PixelAt(back, 1), (Rgb{102, 0, 102}));
}

// Negative chroma terms are floored, not truncated, and every channel is
// clamped at both ends.
TEST(RgbConversion, DecodingFloorsAndClamps) {
    struct Case {
        Yuv packed;
        Rgb colour;
    };
    const Case cases[] = {
        {{200, 128, 0}, {20, 255, 200}},    // cr = floor(-179.5) = -180
        {{100, 128, 129}, {101, 99, 100}},  // cgv = floor(-183 / 256) = -1
        {{0, 0, 0}, {0, 134, 0}},
        {{255, 255, 255}, {255, 121, 255}},
    };
    const Geometry g{2, 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Y " << c.packed[0] << " U " << c.packed[1] << " V " << c.packed[2]);
        const uint8_t packed[4] = {static_cast<uint8_t>(c.packed[0]), static_cast<uint8_t>(c.packed[1]),
                                   static_cast<uint8_t>(c.packed[0]), static_cast<uint8_t>(c.packed[2])};
        std::vector<uint8_t> rgb(6);
        PackedToRgb(packed, rgb.data(), g);
        EXPECT_EQ(PixelAt(rgb, 0), c.colour);
        EXPECT_EQ(PixelAt(rgb, 1), c.colour);
    }
}

// The RGB frame is stored bottom-up: its first stored row is the packed
// frame's last row, both ways.
TEST(RgbConversion, RowsTurnUpsideDown) {
    const Geometry g{2, 2};
    std::vector<uint8_t> rgb = PairOf({0, 0, 0}, {0, 0, 0});        // stored row 0: bottom of the picture
    const std::vector<uint8_t> top = PairOf({255, 255, 255}, {255, 255, 255});  // stored at byte 6
    rgb.insert(rgb.end(), top.begin(), top.end());
    std::vector<uint8_t> packed(8);
    RgbToPacked(rgb.data(), packed.data(), g);
    EXPECT_EQ(packed, (std::vector<uint8_t>{255, 128, 255, 128, 0, 128, 0, 128}));

    std::vector<uint8_t> back(12);
    PackedToRgb(packed.data(), back.data(), g);
    EXPECT_EQ(back, rgb);
}

// Width 721: 360 pairs per row. The odd last pixel is never converted: its
// two packed bytes stay unwritten and its RGB bytes keep their value, and the
// pairs convert exactly as in a 720-wide frame of the same pixels.
TEST(RgbConversion, OddWidthLeavesLastPixelAlone) {
    SCOPED_TRACE(testing_support::SeedNote());
    std::mt19937 rng(testing_support::TestSeed());
    const Geometry odd{721, 3}, even{720, 3};
    std::vector<uint8_t> rgb(721 * 3 * 3);
    for (auto& b : rgb) b = static_cast<uint8_t>(rng());

    constexpr uint8_t kSentinel = 0x5C;
    std::vector<uint8_t> packed(721 * 2 * 3, kSentinel);
    RgbToPacked(rgb.data(), packed.data(), odd);
    std::vector<uint8_t> evenRgb, evenPacked(720 * 2 * 3);
    for (int r = 0; r < 3; ++r) evenRgb.insert(evenRgb.end(), rgb.begin() + r * 2163, rgb.begin() + r * 2163 + 2160);
    RgbToPacked(evenRgb.data(), evenPacked.data(), even);
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE(testing::Message() << "row " << r);
        EXPECT_TRUE(std::equal(evenPacked.begin() + r * 1440, evenPacked.begin() + r * 1440 + 1440,
                               packed.begin() + r * 1442));
        EXPECT_EQ(packed[r * 1442 + 1440], kSentinel);
        EXPECT_EQ(packed[r * 1442 + 1441], kSentinel);
    }

    std::vector<uint8_t> back(rgb.size());
    for (auto& b : back) b = static_cast<uint8_t>(rng());
    const std::vector<uint8_t> before = back;
    PackedToRgb(packed.data(), back.data(), odd);
    std::vector<uint8_t> evenBack(720 * 3 * 3);
    PackedToRgb(evenPacked.data(), evenBack.data(), even);
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE(testing::Message() << "stored row " << r);
        EXPECT_TRUE(std::equal(evenBack.begin() + r * 2160, evenBack.begin() + r * 2160 + 2160,
                               back.begin() + r * 2163));
        EXPECT_TRUE(std::equal(before.begin() + r * 2163 + 2160, before.begin() + r * 2163 + 2163,
                               back.begin() + r * 2163 + 2160));
    }
}

TEST(RgbConversion, FramesWithoutAPairAreNotTouched) {
    for (const Geometry g : {Geometry{1, 4}, Geometry{0, 4}, Geometry{-2, 4}, Geometry{4, 0}, Geometry{4, -3}}) {
        SCOPED_TRACE(testing::Message() << g.width << "x" << g.height);
        std::vector<uint8_t> rgb(64, 0x11), packed(64, 0x22);
        RgbToPacked(rgb.data(), packed.data(), g);
        PackedToRgb(packed.data(), rgb.data(), g);
        EXPECT_EQ(rgb, std::vector<uint8_t>(64, 0x11));
        EXPECT_EQ(packed, std::vector<uint8_t>(64, 0x22));
    }
}

}  // namespace
}  // namespace pixfmt
