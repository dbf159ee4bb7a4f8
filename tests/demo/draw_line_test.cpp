// DrawLine as a general routine. The clipped line must cover exactly the
// pixels that an unclipped Bresenham walk over an unbounded canvas puts
// inside the picture: that walk shares no code with the clipping, so it
// checks every skip and end step.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "demo/blend.h"
#include "demo/demo.h"
#include "tests/demo/canvas.h"

namespace demo {
namespace {

using demo_test::Canvas;
using demo_test::Point;
using demo_test::Target;

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr int kStrength60 = 154;  // opacity 60 percent of 256, rounded

uint32_t TestSeed() {
    static const uint32_t seed = [] {
        if (const char* text = std::getenv("ORV_TEST_SEED")) return static_cast<uint32_t>(std::strtoul(text, nullptr, 0));
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return static_cast<uint32_t>(std::random_device{}() ^ static_cast<uint32_t>(now));
    }();
    return seed;
}

std::string SeedNote() {
    const std::string s = std::to_string(TestSeed());
    return "seed " + s + " (replay with ORV_TEST_SEED=" + s + ")";
}

// The plain Bresenham walk of L + extraPixels pixels, kept where it falls
// inside width x height. Coordinates must be small enough to walk.
std::vector<Point> ReferencePixels(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t extraPixels,
                                   int64_t width, int64_t height, int32_t format) {
    const int64_t dx = std::llabs(x2 - x1), dy = std::llabs(y2 - y1);
    const bool steep = dx < dy;
    const int64_t L = steep ? dy : dx, M = steep ? dx : dy;
    const int64_t sx = x1 > x2 ? -1 : 1, sy = y1 > y2 ? -1 : 1;
    // Packed 4:2:2 frames of odd width have no full group for their last pixel.
    const int64_t drawable = format == 0 ? width / 2 * 2 : width;
    std::vector<Point> points;
    int64_t x = x1, y = y1, err = L;
    for (int64_t i = 0; i < L + extraPixels; ++i) {
        if (x >= 0 && x < drawable && y >= 0 && y < height) points.push_back({x, y});
        if (steep) y += sy; else x += sx;
        err -= 2 * M;
        if (err < 0) {
            err += 2 * L;
            if (steep) x += sx; else y += sy;
        }
    }
    return points;
}

Target TargetOf(int32_t format, uint32_t colour) {
    // Packed 4:2:2 targets of the colours used below, worked out by hand.
    if (format == 1) return {static_cast<int>(colour >> 16 & 0xFF), static_cast<int>(colour >> 8 & 0xFF),
                             static_cast<int>(colour & 0xFF)};
    switch (colour) {
        case 0xFFFFFF: return {255, 128, 128};
        case 0x563412: return {45, 150, 108};  // R 0x12, G 0x34, B 0x56
    }
    ADD_FAILURE() << "no packed target for colour " << colour;
    return {0, 0, 0};
}

struct LineCase {
    const char* name;
    int32_t x1, y1, x2, y2;
};

// A 16 x 12 picture; every line both with extraPixels 0 and 1.
const LineCase kLines[] = {
    {"horizontal", 2, 5, 13, 5},
    {"horizontal backwards", 13, 5, 2, 5},
    {"vertical", 7, 1, 7, 10},
    {"vertical upwards", 7, 10, 7, 1},
    {"shallow", 1, 2, 14, 7},
    {"shallow backwards", 14, 7, 1, 2},
    {"steep", 3, 0, 8, 11},
    {"steep upwards", 8, 11, 3, 0},
    {"diagonal", 0, 0, 11, 11},
    {"anti-diagonal", 15, 0, 4, 11},
    {"single point", 6, 6, 6, 6},
    {"short", 4, 4, 5, 6},
    {"start left", -9, 3, 10, 8},
    {"start right", 25, 2, 5, 9},
    {"start above", 4, -7, 9, 8},
    {"start below", 12, 20, 2, 3},
    {"end left", 10, 4, -6, 9},
    {"end right", 3, 3, 30, 6},
    {"end above", 5, 9, 11, -8},
    {"end below", 2, 2, 6, 40},
    {"steep start left", -3, 0, 2, 11},
    {"steep end right", 12, 0, 17, 11},
    {"shallow start above", 0, -2, 15, 3},
    {"shallow end below", 0, 8, 15, 13},
    {"both ends clipped", -20, -5, 30, 20},
    {"both ends clipped steep", -4, -30, 19, 40},
    {"through a corner", -5, 6, 6, -5},
    {"demo line to width", 0, 6, 16, 6},
    {"demo line to last column", 0, 6, 15, 6},
    {"from left of picture", -5, 3, 5, 3},
    {"above", -3, -2, 20, -9},
    {"below", 0, 12, 15, 30},
    {"left", -1, -5, -8, 20},
    {"right", 16, 0, 40, 11},
    {"misses the corner", 12, -6, 20, 3},
    {"misses the corner steep", -8, 7, -1, 15},
};

TEST(DrawLine, MatchesUnclippedWalkCroppedToPicture) {
    for (int32_t format : {0, 1}) {
        for (int32_t extra : {0, 1}) {
            for (const LineCase& line : kLines) {
                SCOPED_TRACE(testing::Message() << line.name << ", format " << format << ", extraPixels " << extra);
                const uint32_t colour = format == 0 ? kWhite : 0x563412;
                Canvas canvas(16, 12, format, 1234);
                const std::vector<Point> points =
                    ReferencePixels(line.x1, line.y1, line.x2, line.y2, extra, 16, 12, format);
                const auto expected = canvas.Expected(points, TargetOf(format, colour), kStrength60);
                canvas.surface.DrawLine(line.x1, line.y1, line.x2, line.y2, extra, colour, 60);
                EXPECT_EQ(canvas.bytes(), expected);
            }
        }
    }
}

// Random lines around small and odd-sized pictures, ends up to far outside.
// extraPixels stays 0 or 1: a longer tail would run past an end point that
// the outcode test has already judged, where cropping is no longer the rule.
TEST(DrawLine, RandomLinesMatchUnclippedWalk) {
    SCOPED_TRACE(SeedNote());
    std::mt19937 rng(TestSeed());
    struct Size {
        int32_t width, height;
    };
    for (const Size size : {Size{16, 12}, Size{7, 5}, Size{1, 9}, Size{9, 1}, Size{33, 2}}) {
        for (int i = 0; i < 400; ++i) {
            const int32_t span = i < 300 ? 60 : 4000;
            auto coord = [&] { return static_cast<int32_t>(rng() % (2 * span + 1)) - span; };
            const int32_t x1 = coord(), y1 = coord(), x2 = coord(), y2 = coord();
            const int32_t extra = static_cast<int32_t>(rng() % 2);
            const int32_t format = static_cast<int32_t>(rng() % 2);
            SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << " format " << format << ": ("
                                            << x1 << "," << y1 << ")-(" << x2 << "," << y2 << ") extra " << extra);
            Canvas canvas(size.width, size.height, format, rng());
            const auto expected = canvas.Expected(
                ReferencePixels(x1, y1, x2, y2, extra, size.width, size.height, format), TargetOf(format, kWhite),
                kStrength60);
            canvas.surface.DrawLine(x1, y1, x2, y2, extra, kWhite, 60);
            ASSERT_EQ(canvas.bytes(), expected);
        }
    }
}

// Lines with int32 extremes: far too long to walk, but their pixels inside a
// 16 x 12 picture are known exactly.
TEST(DrawLine, ExtremeCoordinatesClipExactly) {
    struct Case {
        const char* name;
        int32_t x1, y1, x2, y2, extra;
        std::vector<Point> points;
    };
    auto row = [](int64_t y, int64_t from, int64_t to) {
        std::vector<Point> p;
        for (int64_t x = from; x <= to; ++x) p.push_back({x, y});
        return p;
    };
    auto column = [](int64_t x, int64_t from, int64_t to) {
        std::vector<Point> p;
        for (int64_t y = from; y <= to; ++y) p.push_back({x, y});
        return p;
    };
    std::vector<Point> diagonal;
    for (int64_t i = 0; i < 12; ++i) diagonal.push_back({i, i});
    const Case cases[] = {
        {"full row", INT_MIN, 5, INT_MAX, 5, 0, row(5, 0, 15)},
        {"full column upwards", 3, INT_MAX, 3, INT_MIN, 1, column(3, 0, 11)},
        {"full diagonal", INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, diagonal},
        // The only minor step comes after 2^31 pixels, exactly at x = 0.
        {"shallow, one step", INT_MIN, 0, INT_MAX, 1, 0, row(1, 0, 15)},
        {"steep, one step", 0, INT_MIN, 1, INT_MAX, 0, column(1, 0, 11)},
        {"from inside to the far corner", 0, 0, INT_MAX, INT_MAX, 0, diagonal},
        {"far outside", INT_MIN, INT_MIN, INT_MIN, INT_MAX, 1, {}},
        {"extraPixels carry past the end", 2, 2, 3, 2, INT_MAX, row(2, 2, 15)},
        {"extraPixels INT_MIN", 2, 2, 9, 2, INT_MIN, {}},
    };
    for (int32_t format : {0, 1}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", format " << format);
            Canvas canvas(16, 12, format, 99);
            const auto expected = canvas.Expected(c.points, TargetOf(format, kWhite), kStrength60);
            canvas.surface.DrawLine(c.x1, c.y1, c.x2, c.y2, c.extra, kWhite, 60);
            EXPECT_EQ(canvas.bytes(), expected);
        }
    }
}

// Any int32 end points and lengths: nothing outside the frame is written.
TEST(DrawLine, ArbitraryInt32InputsStayInsideTheFrame) {
    SCOPED_TRACE(SeedNote());
    std::mt19937 rng(TestSeed() ^ 0x5bd1e995u);
    const int32_t special[] = {INT_MIN, INT_MIN + 1, -1, 0, 1, 5, 6, 11, 12, INT_MAX - 1, INT_MAX};
    auto value = [&] {
        return rng() % 2 ? special[rng() % (sizeof(special) / sizeof(special[0]))] : static_cast<int32_t>(rng());
    };
    for (int i = 0; i < 20000; ++i) {
        const int32_t format = static_cast<int32_t>(rng() % 2);
        Canvas canvas(11, 6, format, 5);
        const std::vector<uint8_t> before = canvas.bytes();
        canvas.surface.DrawLine(value(), value(), value(), value(), value(), rng(), value());
        const auto& after = canvas.bytes();
        ASSERT_TRUE(std::equal(before.begin(), before.begin() + Canvas::kGuard, after.begin()));
        ASSERT_TRUE(std::equal(before.end() - Canvas::kGuard, before.end(), after.end() - Canvas::kGuard));
    }
}

TEST(DrawLine, BlendsPackedPixelTowardWhite) {
    Canvas canvas(4, 1, 0, 1);
    uint8_t* p = canvas.pixels();
    const uint8_t group[8] = {16, 128, 40, 128, 16, 128, 16, 128};
    std::copy(group, group + 8, p);
    canvas.surface.DrawLine(0, 0, 1, 0, 0, kWhite, 60);  // the even pixel only
    EXPECT_EQ(p[0], 159);                                 // 16 + floor(239 * 154 / 256)
    EXPECT_EQ(p[1], 128);
    EXPECT_EQ(p[2], 40);  // Y1 waits for its own pixel
    EXPECT_EQ(p[3], 128);
    canvas.surface.DrawLine(1, 0, 2, 0, 0, kWhite, 60);  // now the odd pixel
    EXPECT_EQ(p[2], 40 + (215 * 154) / 256);
    EXPECT_EQ(p[0], 159);  // chroma and Y0 are blended once per pair
}

// At opacity 100 a pixel becomes the target itself.
TEST(DrawLine, ColourTargets) {
    struct Case {
        uint32_t colour;
        uint8_t yuv[3];
    };
    const Case cases[] = {{0xFFFFFF, {255, 128, 128}}, {0x000000, {0, 128, 128}}, {0x0000FF, {76, 84, 255}},
                          {0x00FF00, {149, 43, 21}},   {0xFF0000, {29, 255, 107}}, {0xAB563412, {45, 150, 108}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour);
        Canvas packed(2, 1, 0, 3);
        packed.surface.DrawLine(0, 0, 0, 0, 1, c.colour, 100);
        EXPECT_EQ(packed.pixels()[0], c.yuv[0]);
        EXPECT_EQ(packed.pixels()[1], c.yuv[1]);
        EXPECT_EQ(packed.pixels()[3], c.yuv[2]);

        Canvas rgb(1, 1, 1, 3);
        rgb.surface.DrawLine(0, 0, 0, 0, 1, c.colour, 100);
        EXPECT_EQ(rgb.pixels()[0], c.colour >> 16 & 0xFF);  // B
        EXPECT_EQ(rgb.pixels()[1], c.colour >> 8 & 0xFF);   // G
        EXPECT_EQ(rgb.pixels()[2], c.colour & 0xFF);        // R
    }
}

TEST(DrawLine, OpacityOutsidePercentStillClamps) {
    struct Case {
        int32_t opacity;
        uint8_t y0;
    };
    // From Y0 = 16 toward white: strength MulDiv(opacity, 256, 100), which is
    // -1 when the product overflows int32.
    const Case cases[] = {{0, 16}, {1, 18}, {100, 255}, {150, 255}, {-60, 0}, {INT_MAX, 15}, {INT_MIN, 15}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opacity);
        Canvas canvas(2, 1, 0, 1);
        canvas.pixels()[0] = 16;
        canvas.surface.DrawLine(0, 0, 0, 0, 1, kWhite, c.opacity);
        EXPECT_EQ(canvas.pixels()[0], c.y0);
    }
}

TEST(MulDiv, RoundsHalvesAwayFromZero) {
    struct Case {
        int32_t number, numerator, denominator, result;
    };
    const Case cases[] = {
        {60, 256, 100, 154}, {50, 256, 100, 128}, {1, 256, 100, 3},   {33, 256, 100, 84},
        {-60, 256, 100, -154}, {1, 1, 2, 1},      {-1, 1, 2, -1},     {3, 1, 2, 2},
        {5, 1, -2, -3},       {-5, -1, -2, -3},   {7, 3, 0, -1},      {INT_MAX, 256, 100, -1},
        {INT_MIN, 1, 1, INT_MIN}, {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.result)
            << c.number << " * " << c.numerator << " / " << c.denominator;
    }
}

// The two demo lines: rows h/2 - 1 and h/2, every column, nothing else.
TEST(DrawLine, DemoLinesCoverTheMiddleRows) {
    struct Case {
        int32_t width, height, format;
        std::vector<int64_t> rows;
    };
    const Case cases[] = {
        {720, 576, 0, {287, 288}}, {720, 575, 0, {286, 287}}, {720, 576, 1, {287, 288}},
        {721, 575, 1, {286, 287}}, {8, 1, 0, {0}},           {8, 1, 1, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format);
        Canvas canvas(c.width, c.height, c.format, 17);
        std::vector<Point> points;
        for (int64_t y : c.rows) {
            for (int64_t x = 0; x < c.width; ++x) points.push_back({x, y});
        }
        const auto expected = canvas.Expected(points, TargetOf(c.format, kWhite), kStrength60);
        const int32_t r = c.height / 2 - 1;
        canvas.surface.DrawLine(0, r, c.width, r, 0, kWhite, 60);
        canvas.surface.DrawLine(0, r + 1, c.width, r + 1, 0, kWhite, 60);
        EXPECT_EQ(canvas.bytes(), expected);
    }
}

// In bottom-up RGB frames picture row y is memory row h - 1 - y.
TEST(DrawLine, RgbRowsAreStoredBottomUp) {
    Canvas canvas(4, 3, 1, 8);
    std::fill(canvas.pixels(), canvas.pixels() + 36, 0);
    canvas.surface.DrawLine(0, 0, 4, 0, 0, kWhite, 100);  // top picture row
    for (int i = 0; i < 36; ++i) EXPECT_EQ(canvas.pixels()[i], i >= 24 ? 255 : 0) << "byte " << i;
}

// Degenerate surfaces draw nothing.
TEST(DrawLine, NothingDrawnWithoutAPicture) {
    struct Case {
        const char* name;
        int32_t width, height, format;
    };
    const Case cases[] = {{"width 0", 0, 4, 0}, {"height 0", 4, 0, 1}, {"negative width", -4, 4, 1},
                          {"format 2", 4, 4, 2}, {"format -1", 4, 4, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(c.width, c.height, c.format, 4);
        // Whatever buffer lies behind the surface must stay as it is.
        Canvas backing(4, 4, 1, 4);
        canvas.surface.pixels = backing.pixels();
        const std::vector<uint8_t> before = backing.bytes();
        canvas.surface.DrawLine(0, 0, 4, 3, 1, kWhite, 60);
        canvas.surface.DrawLine(-10, 2, 10, 2, 0, kWhite, 60);
        EXPECT_EQ(backing.bytes(), before);
    }
    Canvas canvas(4, 4, 0, 4);
    canvas.surface.pixels = nullptr;
    canvas.surface.DrawLine(0, 0, 3, 3, 1, kWhite, 60);  // must simply return
}

// A packed frame of odd width ends in half a group: its last pixel is
// skipped and no byte past the row is written.
TEST(DrawLine, OddWidthPackedFrameStaysInsideRows) {
    Canvas canvas(5, 3, 0, 21);
    std::vector<Point> points;
    for (int64_t x = 0; x < 4; ++x) points.push_back({x, 1});
    const auto expected = canvas.Expected(points, TargetOf(0, kWhite), kStrength60);
    canvas.surface.DrawLine(0, 1, 5, 1, 0, kWhite, 60);
    EXPECT_EQ(canvas.bytes(), expected);
}

}  // namespace
}  // namespace demo
