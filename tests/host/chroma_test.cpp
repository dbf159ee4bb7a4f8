#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "host/chroma.h"
#include "host/y4m.h"

namespace host {
namespace {

std::vector<uint8_t> ToPacked(Chroma c, int w, int h, const std::vector<uint8_t>& planar) {
    EXPECT_EQ(planar.size(), PlanarFrameBytes(c, w, h));
    std::vector<uint8_t> packed(static_cast<size_t>(w) * h * 2, 0xEE);
    PlanarToPacked(c, w, h, planar.data(), packed.data());
    return packed;
}

std::vector<uint8_t> ToPlanar(Chroma c, int w, int h, const std::vector<uint8_t>& packed) {
    std::vector<uint8_t> planar(PlanarFrameBytes(c, w, h), 0xEE);
    PackedToPlanar(c, w, h, packed.data(), planar.data());
    return planar;
}

std::vector<uint8_t> Random(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

TEST(Chroma, PlaneSizes) {
    EXPECT_EQ(PlanarFrameBytes(Chroma::k420, 720, 576), 720u * 576 * 3 / 2);
    EXPECT_EQ(PlanarFrameBytes(Chroma::k422, 720, 576), 720u * 576 * 2);
    EXPECT_EQ(PlanarFrameBytes(Chroma::k444, 720, 576), 720u * 576 * 3);
    EXPECT_EQ(PlanarFrameBytes(Chroma::kMono, 720, 576), 720u * 576);
    // An odd number of rows keeps a last chroma row of its own.
    EXPECT_EQ(PlanarFrameBytes(Chroma::k420, 4, 3), 12u + 2 * 2 * 2);
}

TEST(Chroma, Planar422MapsOntoPixelPairs) {
    // 4x2: Y rows 1 2 3 4 / 5 6 7 8, U 10 11 / 12 13, V 20 21 / 22 23.
    const std::vector<uint8_t> planar = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 20, 21, 22, 23};
    const std::vector<uint8_t> packed = ToPacked(Chroma::k422, 4, 2, planar);
    EXPECT_EQ(packed, (std::vector<uint8_t>{1, 10, 2, 20, 3, 11, 4, 21, 5, 12, 6, 22, 7, 13, 8, 23}));
    EXPECT_EQ(ToPlanar(Chroma::k422, 4, 2, packed), planar);
}

TEST(Chroma, Planar420RepeatsRowsUpAndAveragesDownRoundingHalfUp) {
    // 2x3 picture: chroma rows (U 10, V 200) and (U 50, V 7); the third picture row uses the second.
    const std::vector<uint8_t> planar = {1, 2, 3, 4, 5, 6, 10, 50, 200, 7};
    const std::vector<uint8_t> packed = ToPacked(Chroma::k420, 2, 3, planar);
    EXPECT_EQ(packed, (std::vector<uint8_t>{1, 10, 2, 200, 3, 10, 4, 200, 5, 50, 6, 7}));

    // Rows (U 10 / 11) -> 11, (V 0 / 255) -> 128; the odd last row (U 9, V 3) is taken as it is.
    const std::vector<uint8_t> filtered = {1, 10, 2, 0, 3, 11, 4, 255, 5, 9, 6, 3};
    EXPECT_EQ(ToPlanar(Chroma::k420, 2, 3, filtered), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 11, 9, 128, 3}));
}

TEST(Chroma, Planar444AveragesPairsDownAndRepeatsThemUp) {
    // 2x1: U (1, 2) -> 2, V (0, 255) -> 128.
    const std::vector<uint8_t> planar = {40, 41, 1, 2, 0, 255};
    const std::vector<uint8_t> packed = ToPacked(Chroma::k444, 2, 1, planar);
    EXPECT_EQ(packed, (std::vector<uint8_t>{40, 2, 41, 128}));
    EXPECT_EQ(ToPlanar(Chroma::k444, 2, 1, packed), (std::vector<uint8_t>{40, 41, 2, 2, 128, 128}));
}

TEST(Chroma, MonoGoesInWithNeutralChromaAndComesBackAsLuma) {
    const std::vector<uint8_t> planar = {9, 8, 7, 6};
    const std::vector<uint8_t> packed = ToPacked(Chroma::kMono, 2, 2, planar);
    EXPECT_EQ(packed, (std::vector<uint8_t>{9, 128, 8, 128, 7, 128, 6, 128}));
    EXPECT_EQ(ToPlanar(Chroma::kMono, 2, 2, packed), planar);
}

TEST(Chroma, RoundTripsThatMustBeExact) {
    const struct {
        Chroma chroma;
        int w, h;
    } cases[] = {{Chroma::k420, 16, 6}, {Chroma::k420, 6, 5}, {Chroma::k422, 16, 5}, {Chroma::kMono, 8, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(ChromaName(c.chroma)) + " " + std::to_string(c.w) + "x" + std::to_string(c.h));
        const std::vector<uint8_t> planar = Random(PlanarFrameBytes(c.chroma, c.w, c.h), 7);
        EXPECT_EQ(ToPlanar(c.chroma, c.w, c.h, ToPacked(c.chroma, c.w, c.h, planar)), planar);
    }
    // 4:4:4 loses detail inside a pair, but what came out of the packed frame goes back unchanged.
    const std::vector<uint8_t> packed = ToPacked(Chroma::k422, 8, 4, Random(PlanarFrameBytes(Chroma::k422, 8, 4), 9));
    EXPECT_EQ(ToPacked(Chroma::k444, 8, 4, ToPlanar(Chroma::k444, 8, 4, packed)), packed);
}

}  // namespace
}  // namespace host
