// The per-stream core: instances are independent of each other, and the
// planar entry point gives the packed one's results.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "core/stream_denoiser.h"
#include "settings/settings.h"
#include "tests/plugin/synthetic_video.h"

namespace {

using core::FrameLayout;
using core::PlanarFrame;
using core::StreamDenoiser;

// Every plane motion-compensated at a fixed threshold, so that search,
// analysis and both filters run in every plane. On pictures this small the
// measured noise is no guide, and the compensated filter starts only once the
// analysis has seen a few dozen frames.
settings::SettingsRecord AllPlanesSettings(uint32_t automatic = 0) {
    settings::SettingsRecord r{};
    r.ProcEnable = 1;
    r.Y_MEEnable = r.U_MEEnable = r.V_MEEnable = 1;
    r.Y_Threshold = r.U_Threshold = r.V_Threshold = 20;
    r.Y_AutoThreshold = r.U_AutoThreshold = r.V_AutoThreshold = automatic;
    return r;
}
constexpr int kFramesUntilCompensation = 36;

// A plane of a textured scene moving 2 pixels right and a half down per
// frame, with noise: the motion search locks on and the filters have work.
std::vector<uint8_t> NoisyPlane(int width, int height, int frame, uint32_t seed) {
    testing_support::Rng rng(seed * 1000u + static_cast<uint32_t>(frame));
    std::vector<uint8_t> plane(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int clean = testing_support::CleanLuma(x + 2 * frame + static_cast<int>(seed), y + frame / 2, 0);
            plane[static_cast<size_t>(y) * width + x] = testing_support::Clamp8(clean + rng.Gaussian(8));
        }
    }
    return plane;
}

// Three planes of a frame of `layout`, each row padded to a stride wider
// than the plane.
struct PlanarImage {
    std::vector<uint8_t> planes[3];
    int strides[3] = {};

    PlanarImage(FrameLayout layout, int width, int height, int frame, uint32_t seed) {
        for (int p = 0; p < 3; ++p) {
            const core::PlaneSize size = core::PlaneSizeOf(layout, width, height, p);
            if (size.width == 0) continue;
            strides[p] = size.width + 5;
            const std::vector<uint8_t> content = NoisyPlane(size.width, size.height, frame, seed + p);
            planes[p].assign(static_cast<size_t>(strides[p]) * size.height, 0xA5);
            for (int y = 0; y < size.height; ++y) {
                std::copy_n(&content[static_cast<size_t>(y) * size.width], size.width,
                            &planes[p][static_cast<size_t>(y) * strides[p]]);
            }
        }
    }
    PlanarFrame View() {
        PlanarFrame f;
        for (int p = 0; p < 3; ++p) {
            f.planes[p] = core::PlaneView{planes[p].empty() ? nullptr : planes[p].data(), strides[p]};
        }
        return f;
    }
};

// The same 4:2:2 picture packed: Y0 U Y1 V.
std::vector<uint8_t> Pack(const PlanarImage& image, int width, int height) {
    std::vector<uint8_t> packed(static_cast<size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pair = &packed[(static_cast<size_t>(y) * width + (x & ~1)) * 2];
            pair[(x & 1) * 2] = image.planes[0][static_cast<size_t>(y) * image.strides[0] + x];
            if ((x & 1) == 0 && x / 2 < (width - width / 2)) {
                pair[1] = image.planes[1][static_cast<size_t>(y) * image.strides[1] + x / 2];
                pair[3] = image.planes[2][static_cast<size_t>(y) * image.strides[2] + x / 2];
            }
        }
    }
    return packed;
}

TEST(StreamDenoiser, PlanarFourTwoTwoGivesThePackedResultsBitForBit) {
    struct Case {
        int width, height;
        bool demo;
        uint32_t chromaCompensated;
        uint32_t automatic;
    };
    const Case cases[] = {
        {96, 64, false, 1, 0}, {96, 64, true, 1, 1}, {96, 64, false, 0, 1}, {90, 45, false, 1, 0}, {90, 45, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " demo " << c.demo << " chroma compensated "
                                        << c.chromaCompensated << " automatic " << c.automatic);
        settings::SettingsRecord packedSettings = AllPlanesSettings(c.automatic);
        packedSettings.U_MEEnable = packedSettings.V_MEEnable = c.chromaCompensated;
        settings::SettingsRecord planarSettings = packedSettings;
        StreamDenoiser packed(packedSettings), planar(planarSettings);
        ASSERT_TRUE(packed.Start(FrameLayout::kPacked422, c.width, c.height));
        ASSERT_TRUE(planar.Start(FrameLayout::kPlanar422, c.width, c.height));
        packed.demo = planar.demo = c.demo ? 1 : 0;
        int filtered = 0;
        for (int f = 0; f < kFramesUntilCompensation + 4; ++f) {
            PlanarImage image(FrameLayout::kPlanar422, c.width, c.height, f, 3);
            std::vector<uint8_t> frame = Pack(image, c.width, c.height);
            const std::vector<uint8_t> input = frame;
            ASSERT_TRUE(packed.ProcessPacked(frame.data()));
            ASSERT_TRUE(planar.ProcessPlanar(image.View()));
            ASSERT_EQ(Pack(image, c.width, c.height), frame) << "frame " << f;
            filtered += frame != input;
            for (int p = 0; p < 3; ++p) {
                EXPECT_EQ(planar.Report(p).threshold, packed.Report(p).threshold);
                EXPECT_EQ(planar.Report(p).noiseLevel, packed.Report(p).noiseLevel);
            }
        }
        EXPECT_GT(filtered, 0);
        EXPECT_TRUE(planar.Report(0).analysed);
        // The stride padding is never written.
        PlanarImage image(FrameLayout::kPlanar422, c.width, c.height, 9, 3);
        ASSERT_TRUE(planar.ProcessPlanar(image.View()));
        for (int p = 0; p < 3; ++p) {
            const int w = core::PlaneSizeOf(FrameLayout::kPlanar422, c.width, c.height, p).width;
            for (size_t i = 0; i < image.planes[p].size(); ++i) {
                if (static_cast<int>(i % image.strides[p]) >= w) {
                    ASSERT_EQ(image.planes[p][i], 0xA5);
                }
            }
        }
    }
}

// Runs `frames` frames of a stream through `denoiser` one at a time; the
// output of each frame, all planes one after the other.
struct Stream {
    FrameLayout layout;
    int width, height;
    uint32_t seed;

    std::vector<uint8_t> Frame(StreamDenoiser& denoiser, int f) const {
        PlanarImage image(layout, width, height, f, seed);
        EXPECT_TRUE(denoiser.ProcessPlanar(image.View()));
        std::vector<uint8_t> out;
        for (const auto& plane : image.planes) out.insert(out.end(), plane.begin(), plane.end());
        return out;
    }
};

TEST(StreamDenoiser, InterleavedInstancesMatchEachStreamRunAlone) {
    const Stream streams[2] = {{FrameLayout::kPlanar420, 96, 64, 11}, {FrameLayout::kGray, 80, 48, 12}};
    constexpr int kFrames = kFramesUntilCompensation + 4;
    std::vector<std::vector<uint8_t>> alone[2];
    for (int s = 0; s < 2; ++s) {
        settings::SettingsRecord record = AllPlanesSettings();
        StreamDenoiser denoiser(record);
        ASSERT_TRUE(denoiser.Start(streams[s].layout, streams[s].width, streams[s].height));
        denoiser.SeedNoiseHistories();
        for (int f = 0; f < kFrames; ++f) alone[s].push_back(streams[s].Frame(denoiser, f));
    }
    settings::SettingsRecord records[2] = {AllPlanesSettings(), AllPlanesSettings()};
    auto a = std::make_unique<StreamDenoiser>(records[0]);
    auto b = std::make_unique<StreamDenoiser>(records[1]);
    ASSERT_TRUE(a->Start(streams[0].layout, streams[0].width, streams[0].height));
    ASSERT_TRUE(b->Start(streams[1].layout, streams[1].width, streams[1].height));
    a->SeedNoiseHistories();
    b->SeedNoiseHistories();
    for (int f = 0; f < kFrames; ++f) {
        EXPECT_EQ(streams[0].Frame(*a, f), alone[0][f]) << "frame " << f;
        EXPECT_EQ(streams[1].Frame(*b, f), alone[1][f]) << "frame " << f;
    }
    // The filter did work: the last frames are not their input.
    for (int s = 0; s < 2; ++s) {
        PlanarImage image(streams[s].layout, streams[s].width, streams[s].height, kFrames - 1, streams[s].seed);
        EXPECT_NE(image.planes[0], std::vector<uint8_t>(alone[s].back().begin(),
                                                        alone[s].back().begin() + image.planes[0].size()));
    }
}

TEST(StreamDenoiser, FourTwoZeroChromaPlanesAreFilteredAtTheirOwnSize) {
    // Odd sizes: the chroma planes are 21 x 18, the last column and row theirs too.
    constexpr int kW = 41, kH = 35;
    settings::SettingsRecord record = AllPlanesSettings();
    record.V_MEEnable = 0;  // V gets the plain filter, which works from the second frame
    StreamDenoiser denoiser(record);
    ASSERT_TRUE(denoiser.Start(FrameLayout::kPlanar420, kW, kH));
    EXPECT_EQ(denoiser.Processor(1).current.width, 21);
    EXPECT_EQ(denoiser.Processor(1).current.height, 18);
    int changed = 0;
    for (int f = 0; f < 4; ++f) {
        PlanarImage image(FrameLayout::kPlanar420, kW, kH, f, 4);
        const PlanarImage input = image;
        ASSERT_TRUE(denoiser.ProcessPlanar(image.View()));
        changed += image.planes[2] != input.planes[2];
        EXPECT_TRUE(denoiser.Report(1).analysed);
        EXPECT_FALSE(denoiser.Report(2).analysed);
        EXPECT_EQ(denoiser.Report(1).threshold, 20);
    }
    EXPECT_GT(changed, 0);

    // Processing off: every byte stays.
    record.ProcEnable = 0;
    PlanarImage image(FrameLayout::kPlanar420, kW, kH, 5, 4);
    const PlanarImage input = image;
    ASSERT_TRUE(denoiser.ProcessPlanar(image.View()));
    for (int p = 0; p < 3; ++p) EXPECT_EQ(image.planes[p], input.planes[p]);
}

TEST(StreamDenoiser, RefusesWhatItCannotHandleAndTouchesNothing) {
    settings::SettingsRecord record = AllPlanesSettings();
    StreamDenoiser denoiser(record);
    for (auto size : {std::pair<int, int>{7, 16}, {16, 0}, {16385, 8}, {8, 16385}, {-8, 8}}) {
        EXPECT_FALSE(denoiser.Start(FrameLayout::kPlanar420, size.first, size.second));
        EXPECT_FALSE(denoiser.Ready());
    }
    uint8_t byte = 7;
    EXPECT_FALSE(denoiser.ProcessPacked(&byte));

    ASSERT_TRUE(denoiser.Start(FrameLayout::kPlanar420, 16, 16));
    EXPECT_FALSE(denoiser.ProcessPacked(&byte));  // a planar stream takes no packed frame
    PlanarImage image(FrameLayout::kPlanar420, 16, 16, 0, 1);
    PlanarFrame short_stride = image.View();
    short_stride.planes[2].stride = 7;  // the chroma plane is 8 wide
    EXPECT_FALSE(denoiser.ProcessPlanar(short_stride));
    PlanarFrame missing = image.View();
    missing.planes[1].data = nullptr;
    EXPECT_FALSE(denoiser.ProcessPlanar(missing));
    EXPECT_TRUE(denoiser.ProcessPlanar(image.View()));

    // Gray needs no chroma planes at all.
    ASSERT_TRUE(denoiser.Start(FrameLayout::kGray, 16, 16));
    PlanarImage gray(FrameLayout::kGray, 16, 16, 0, 1);
    EXPECT_TRUE(denoiser.ProcessPlanar(gray.View()));

    // A BGR stream refuses frames once stopped, until started again.
    ASSERT_TRUE(denoiser.Start(FrameLayout::kBgr24BottomUp, 16, 8));
    std::vector<uint8_t> bgr(16 * 8 * 3, 100);
    EXPECT_TRUE(denoiser.ProcessPacked(bgr.data()));
    denoiser.Stop();
    EXPECT_FALSE(denoiser.ProcessPacked(bgr.data()));
}

}  // namespace
