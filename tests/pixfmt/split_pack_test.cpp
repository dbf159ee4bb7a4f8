// SplitPlanes / PackPlanes on whole frames through the public interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <vector>

#include "pixfmt/pixfmt.h"
#include "tests/support/kernel_test_support.h"

namespace pixfmt {
namespace {

constexpr uint8_t kSentinel = 0xA7;

// A plane inside a sentinel-filled buffer with a margin on every side and a
// stride wider than the plane, as the engine lays them out.
struct TestPlane {
    static constexpr int32_t kMargin = 16;

    TestPlane(int32_t width, int32_t height)
        : bytes(static_cast<size_t>(width + 3 * kMargin) * static_cast<size_t>(height + 2 * kMargin), kSentinel) {
        plane.buffer = bytes.data();
        plane.stride = width + 3 * kMargin;
        plane.width = width;
        plane.height = height;
        plane.origin = bytes.data() + static_cast<size_t>(kMargin) * plane.stride + kMargin;
    }

    // True when every byte outside columns [0, columns) of rows [0, rows) is the sentinel.
    bool UntouchedOutside(int32_t columns, int32_t rows) const {
        for (size_t i = 0; i < bytes.size(); ++i) {
            const ptrdiff_t offset = static_cast<ptrdiff_t>(i) - (plane.origin - bytes.data());
            const ptrdiff_t r = offset >= 0 ? offset / plane.stride : -1;
            const ptrdiff_t x = offset >= 0 ? offset % plane.stride : -1;
            const bool inside = r >= 0 && r < rows && x >= 0 && x < columns;
            if (!inside && bytes[i] != kSentinel) return false;
        }
        return true;
    }

    std::vector<uint8_t> bytes;
    base::Plane plane;
};

struct TestPlanes {
    TestPlanes(int32_t width, int32_t height) : y(width, height), u(width / 2, height), v(width / 2, height) {}
    TestPlane y, u, v;
};

std::vector<uint8_t> RandomBytes(size_t n, std::mt19937& rng) {
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

size_t FrameBytes(Geometry g) { return static_cast<size_t>(g.width) * 2 * static_cast<size_t>(g.height); }

// Split lands every group byte where the layout says and nothing else; the
// pack then restores exactly those bytes, so split + pack is the identity,
// and the last width % 8 pixels of every row are never written by the pack.
TEST(SplitPack, SplitPlacesGroupBytesAndPackRestoresFrame) {
    SCOPED_TRACE(testing_support::SeedNote());
    std::mt19937 rng(testing_support::TestSeed());
    const Geometry geometries[] = {{8, 1}, {9, 2}, {15, 1}, {16, 3}, {24, 1}, {33, 2},
                                   {720, 576}, {721, 3}, {722, 4}, {1920, 2}};
    for (const Geometry g : geometries) {
        SCOPED_TRACE(testing::Message() << g.width << "x" << g.height);
        const std::vector<uint8_t> frame = RandomBytes(FrameBytes(g), rng);
        TestPlanes planes(g.width, g.height);
        SplitPlanes(frame.data(), g, planes.y.plane, planes.u.plane, planes.v.plane);

        const int32_t columns = g.width / 8 * 8;
        const size_t row = static_cast<size_t>(g.width) * 2;
        for (int32_t r = 0; r < g.height; ++r) {
            for (int32_t x = 0; x < columns; ++x) {
                ASSERT_EQ(planes.y.plane.At(x, r), frame[r * row + 2 * x]) << "Y " << x << "," << r;
            }
            for (int32_t k = 0; k < columns / 2; ++k) {
                ASSERT_EQ(planes.u.plane.At(k, r), frame[r * row + 4 * k + 1]) << "U " << k << "," << r;
                ASSERT_EQ(planes.v.plane.At(k, r), frame[r * row + 4 * k + 3]) << "V " << k << "," << r;
            }
        }
        EXPECT_TRUE(planes.y.UntouchedOutside(columns, g.height));
        EXPECT_TRUE(planes.u.UntouchedOutside(columns / 2, g.height));
        EXPECT_TRUE(planes.v.UntouchedOutside(columns / 2, g.height));

        std::vector<uint8_t> packed = RandomBytes(frame.size(), rng);
        const std::vector<uint8_t> before = packed;
        PackPlanes(packed.data(), g, planes.y.plane, planes.u.plane, planes.v.plane);
        for (size_t i = 0; i < packed.size(); ++i) {
            const bool inGroups = i % row < static_cast<size_t>(columns) * 2;
            ASSERT_EQ(packed[i], inGroups ? frame[i] : before[i]) << "byte " << i;
        }
    }
}

// The split band by band, with a band running past the last row, an empty
// one and ones outside the frame, writes exactly what the whole split writes.
TEST(SplitPack, SplitInBandsMatchesTheWholeSplit) {
    const Geometry g{40, 11};
    std::mt19937 rng(13);
    const std::vector<uint8_t> frame = RandomBytes(FrameBytes(g), rng);
    TestPlanes whole(g.width, g.height), banded(g.width, g.height);
    SplitPlanes(frame.data(), g, whole.y.plane, whole.u.plane, whole.v.plane);
    const int32_t bands[][2] = {{0, 4}, {4, 0}, {4, 4}, {8, 4}, {11, 2}, {-2, 1}};
    for (const auto& b : bands) {
        SplitPlaneRows(frame.data(), g, banded.y.plane, banded.u.plane, banded.v.plane, b[0], b[1]);
    }
    EXPECT_EQ(banded.y.bytes, whole.y.bytes);
    EXPECT_EQ(banded.u.bytes, whole.u.bytes);
    EXPECT_EQ(banded.v.bytes, whole.v.bytes);
}

TEST(SplitPack, PackWithHalfHeightWritesUpperRowsOnly) {
    const Geometry full{720, 576};
    TestPlanes planes(full.width, full.height);
    std::mt19937 rng(7);
    const std::vector<uint8_t> source = RandomBytes(FrameBytes(full), rng);
    SplitPlanes(source.data(), full, planes.y.plane, planes.u.plane, planes.v.plane);

    std::vector<uint8_t> frame(FrameBytes(full), kSentinel);
    PackPlanes(frame.data(), Geometry{720, 288}, planes.y.plane, planes.u.plane, planes.v.plane);
    const size_t half = FrameBytes(Geometry{720, 288});
    EXPECT_TRUE(std::equal(frame.begin(), frame.begin() + half, source.begin()));
    EXPECT_TRUE(std::all_of(frame.begin() + half, frame.end(), [](uint8_t b) { return b == kSentinel; }));
}

TEST(SplitPack, ChromaBytesSplitIntoTheirOwnPlanes) {
    const Geometry g{720, 4};
    std::mt19937 rng(11);
    std::vector<uint8_t> frame = RandomBytes(FrameBytes(g), rng);
    for (size_t i = 0; i < frame.size(); i += 4) {
        frame[i + 1] = 0x10;
        frame[i + 3] = 0xF0;
    }
    TestPlanes planes(g.width, g.height);
    SplitPlanes(frame.data(), g, planes.y.plane, planes.u.plane, planes.v.plane);
    for (int32_t r = 0; r < g.height; ++r) {
        for (int32_t k = 0; k < 360; ++k) {
            ASSERT_EQ(planes.u.plane.At(k, r), 0x10);
            ASSERT_EQ(planes.v.plane.At(k, r), 0xF0);
        }
    }
}

// Frames narrower than one group, without rows, or planes smaller than the
// geometry: nothing is touched beyond what both cover.
TEST(SplitPack, DegenerateGeometriesStayInBounds) {
    std::mt19937 rng(3);
    for (const Geometry g : {Geometry{7, 4}, Geometry{0, 4}, Geometry{16, 0}, Geometry{-16, 4}, Geometry{16, -1}}) {
        SCOPED_TRACE(testing::Message() << g.width << "x" << g.height);
        std::vector<uint8_t> frame = RandomBytes(64 * 4, rng);
        const std::vector<uint8_t> before = frame;
        TestPlanes planes(16, 4);
        SplitPlanes(frame.data(), g, planes.y.plane, planes.u.plane, planes.v.plane);
        PackPlanes(frame.data(), g, planes.y.plane, planes.u.plane, planes.v.plane);
        EXPECT_EQ(frame, before);
        EXPECT_TRUE(planes.y.UntouchedOutside(0, 0));
    }

    // A geometry taller and wider than the planes: only the planes' rows and
    // groups move, in both directions.
    const Geometry big{32, 6};
    const std::vector<uint8_t> source = RandomBytes(FrameBytes(big), rng);
    TestPlanes planes(16, 2);
    SplitPlanes(source.data(), big, planes.y.plane, planes.u.plane, planes.v.plane);
    EXPECT_TRUE(planes.y.UntouchedOutside(16, 2));
    EXPECT_TRUE(planes.u.UntouchedOutside(8, 2));
    EXPECT_TRUE(planes.v.UntouchedOutside(8, 2));
    std::vector<uint8_t> frame(FrameBytes(big), kSentinel);
    PackPlanes(frame.data(), big, planes.y.plane, planes.u.plane, planes.v.plane);
    for (size_t i = 0; i < frame.size(); ++i) {
        const bool covered = i / 64 < 2 && i % 64 < 32;
        ASSERT_EQ(frame[i], covered ? source[i] : kSentinel) << "byte " << i;
    }
}

}  // namespace
}  // namespace pixfmt
