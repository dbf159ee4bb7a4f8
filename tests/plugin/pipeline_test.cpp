// The frame pipeline through the plug-in's own entry points, with the shared
// state inspected and arranged directly.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <vector>

#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"
#include "synthetic_video.h"

namespace {

using plugin::Globals;
using settings::SettingsRecord;
using testing_support::SyntheticVideo;

struct Channel {
    ChannelInfo info;
    char more[32];
};

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        Globals().store.LoadDefaults();
        Globals().denoiser.demo.store(0);
    }
    void TearDown() override { plugin::StopStream(); }

    // Changes the record in force the way the dialog does: under the lock.
    void Configure(const std::function<void(SettingsRecord&)>& change) {
        platform::LockGuard lock(Globals().settingsLock);
        change(Globals().store.live);
        Globals().store.StoreLive();
    }
    static void AllOff(SettingsRecord& r) {
        r.Y_MEEnable = r.U_MEEnable = r.V_MEEnable = 0;
        r.Y_AutoThreshold = r.U_AutoThreshold = r.V_AutoThreshold = 0;
    }

    void Start(int32_t width, int32_t height, int32_t format, int32_t cpuClass = 0) {
        StreamFormat f{width, height, 0, format, cpuClass};
        ASSERT_EQ(plugin::StartStream(&f), 1);
    }
    int32_t Process(std::vector<uint8_t>& frame, uint32_t key = 1, const char* name = "One") {
        Channel channel{};
        channel.info.keyLow = key;
        // The name runs on past the declared one-byte array, as a host lays it out.
        char* nameBytes = reinterpret_cast<char*>(&channel) + offsetof(ChannelInfo, name);
        std::strncpy(nameBytes, name, sizeof channel.more);
        FrameRequest request{};
        request.pixels = frame.data();
        request.channel = &channel.info;
        return plugin::ProcessFrame(&request);
    }

    engine::ChannelProcessor& Y() { return Globals().denoiser.Processor(plugin::kPlaneY); }
};

bool AllEqual(const int32_t (&ring)[engine::kRingLength], int32_t value) {
    for (int32_t v : ring) {
        if (v != value) return false;
    }
    return true;
}

TEST_F(Pipeline, ChannelChangeSeedsNoiseHistoryFromThresholds) {
    // trunc(threshold * 6.6666665f) with the product in double: 30 seeds 199, 3 seeds 19.
    Configure([](SettingsRecord& r) {
        AllOff(r);
        r.Y_Threshold = 30;
        r.U_Threshold = 10;
        r.V_Threshold = 3;
    });
    Start(64, 16, 0);
    std::vector<uint8_t> frame(64 * 16 * 2, 90);
    ASSERT_EQ(Process(frame, 1, "First"), 1);
    EXPECT_TRUE(AllEqual(Globals().denoiser.Processor(0).modeBinHistory, 199));
    EXPECT_TRUE(AllEqual(Globals().denoiser.Processor(1).modeBinHistory, 66));
    EXPECT_TRUE(AllEqual(Globals().denoiser.Processor(2).modeBinHistory, 19));
    EXPECT_STREQ(Globals().currentChannelName, "First");

    Y().modeBinHistory[0] = 5;  // a later frame of the same channel does not seed
    ASSERT_EQ(Process(frame, 1, "First"), 1);
    EXPECT_EQ(Y().modeBinHistory[0], 5);

    ASSERT_EQ(Process(frame, 2, "Second"), 1);
    EXPECT_TRUE(AllEqual(Y().modeBinHistory, 199));
    EXPECT_STREQ(Globals().currentChannelName, "Second");
}

TEST_F(Pipeline, ChannelNameIsCutAt255Bytes) {
    Start(64, 16, 0);
    struct {
        ChannelInfo info;
        char more[400];
    } channel{};
    std::memset(channel.info.name, 'n', 300);
    std::vector<uint8_t> frame(64 * 16 * 2, 90);
    FrameRequest request{};
    request.pixels = frame.data();
    request.channel = &channel.info;
    ASSERT_EQ(plugin::ProcessFrame(&request), 1);
    EXPECT_EQ(std::strlen(Globals().currentChannelName), 255u);
}

TEST_F(Pipeline, ProcessingOffLeavesFramesButTracksChannels) {
    Configure([](SettingsRecord& r) {
        r.ProcEnable = 0;
        r.Y_Threshold = 10;
    });
    Start(64, 16, 0);
    std::vector<uint8_t> frame(64 * 16 * 2);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i);
    const std::vector<uint8_t> before = frame;
    EXPECT_EQ(Process(frame, 4, "Paused"), 1);
    EXPECT_EQ(frame, before);
    EXPECT_STREQ(Globals().currentChannelName, "Paused");
    EXPECT_TRUE(AllEqual(Y().modeBinHistory, 66));
}

TEST_F(Pipeline, AutomaticThresholdFollowsNoiseLevel) {
    // A picture repeated exactly gives zero block costs, so the analysis
    // records mode 0 and the noise level comes from the rest of the ring:
    // 49 entries of 71 give trunc(72^0.98) = 66, 49 of 800 give 700.
    struct Case {
        int32_t ringValue, noiseLevel, threshold;
    };
    for (const Case& c : {Case{71, 66, 9}, Case{800, 700, 100}}) {
        Configure([](SettingsRecord& r) {
            AllOff(r);
            r.Y_MEEnable = 1;
            r.Y_AutoThreshold = 1;
            r.Y_Threshold = 10;
        });
        Start(64, 64, 0);
        SyntheticVideo video{64, 64, 2, 100, 0, 0};
        std::vector<uint8_t> clean, noisy;
        video.Packed(0, clean, noisy);
        std::vector<uint8_t> frame = clean;
        ASSERT_EQ(Process(frame), 1);
        Y().SeedNoiseHistory(c.ringValue);
        Y().peakCount = 0;  // no scene change against the first frame
        frame = clean;
        ASSERT_EQ(Process(frame), 1);
        EXPECT_EQ(Y().modeBin, 0);
        EXPECT_EQ(Y().noiseLevel, c.noiseLevel);
        EXPECT_EQ(Globals().store.live.Y_Threshold, c.threshold);
    }
}

TEST_F(Pipeline, AutomaticThresholdIsUsedByTheSameFrame) {
    // With the ring at 800 the automatic threshold is 100 from the first frame
    // on; a stream with a fixed threshold of 100 must then give the same bytes,
    // and one with the stored 10 must not.
    SyntheticVideo video{96, 64, 4, 100, 1, 10};
    auto run = [&](uint32_t automatic, int32_t threshold) {
        Configure([&](SettingsRecord& r) {
            AllOff(r);
            r.Y_MEEnable = 1;
            r.Y_AutoThreshold = automatic;
            r.Y_Threshold = threshold;
        });
        Start(video.width, video.height, 0);
        std::vector<uint8_t> out, clean, noisy;
        for (int f = 0; f < video.frames; ++f) {
            video.Packed(f, clean, noisy);
            // The same statistics before every frame of every run.
            Y().SeedNoiseHistory(800);
            Y().peakCount = 0;
            Y().upperBin = 0;
            Y().meanUpperBin = 200;
            for (int32_t& e : Y().upperBinHistory) e = 200;
            EXPECT_EQ(Process(noisy), 1);
            out.insert(out.end(), noisy.begin(), noisy.end());
        }
        plugin::StopStream();
        return out;
    };
    std::vector<uint8_t> automatic = run(1, 10);
    EXPECT_EQ(Globals().store.live.Y_Threshold, 100);
    EXPECT_EQ(automatic, run(0, 100));
    EXPECT_NE(automatic, run(0, 10));
}

TEST_F(Pipeline, SceneChangeLeavesLumaUnfilteredOnly) {
    Configure([](SettingsRecord& r) {
        AllOff(r);
        r.Y_MEEnable = 1;
        r.Y_Threshold = r.U_Threshold = r.V_Threshold = 40;
    });
    SyntheticVideo video{96, 64, 4, 3, 1, 10};
    Start(video.width, video.height, 0);
    std::vector<uint8_t> clean, noisy;
    for (int f = 0; f < video.cutAt; ++f) {
        video.Packed(f, clean, noisy);
        ASSERT_EQ(Process(noisy), 1);
    }
    video.Packed(video.cutAt, clean, noisy);
    Y().peakCount = 1 << 30;  // the last peak was high: any real peak is a cut
    std::vector<uint8_t> out = noisy;
    ASSERT_EQ(Process(out), 1);
    ASSERT_EQ(Y().sceneChange, 1);
    size_t lumaChanged = 0, chromaChanged = 0;
    for (size_t i = 0; i < out.size(); ++i) (i % 2 == 0 ? lumaChanged : chromaChanged) += out[i] != noisy[i];
    EXPECT_EQ(lumaChanged, 0u);
    EXPECT_GT(chromaChanged, 0u);
    // The unfiltered luma is the reference of the next frame.
    for (int32_t y = 0; y < video.height; ++y) {
        for (int32_t x = 0; x < video.width; ++x) {
            ASSERT_EQ(Y().previous.At(x, y), noisy[(static_cast<size_t>(y) * video.width + x) * 2]);
        }
    }
}

TEST_F(Pipeline, RgbStreamsOwnAScratchFrameOnlyWhileRunning) {
    Start(720, 576, 0);
    EXPECT_EQ(Globals().denoiser.Scratch(), nullptr);
    plugin::StopStream();
    Start(720, 576, 1);
    EXPECT_NE(Globals().denoiser.Scratch(), nullptr);
    std::vector<uint8_t> frame(720 * 576 * 3, 77);
    EXPECT_EQ(Process(frame), 1);
    plugin::StopStream();
    EXPECT_EQ(Globals().denoiser.Scratch(), nullptr);
}

// Blends a byte toward target with strength 154/256 (opacity 60).
uint8_t Blend(uint8_t c, int32_t t) {
    int32_t d = (t - c) * 154;
    int32_t q = d >= 0 ? d / 256 : -((-d + 255) / 256);
    return testing_support::Clamp8(c + q);
}

TEST_F(Pipeline, DemoModeFiltersTheUpperHalfAndDrawsTheSplit) {
    for (int32_t height : {576, 575}) {
        const int32_t width = 64;
        const int32_t packedRows = height / 2, lineRow = height / 2 - 1;
        SyntheticVideo video{width, height, 3, 100, 1, 10};
        auto run = [&](int32_t demo, std::vector<uint8_t>& noisy) {
            Configure([](SettingsRecord& r) { AllOff(r); });
            Start(width, height, 0);
            Globals().denoiser.demo.store(demo);
            std::vector<uint8_t> clean, out;
            for (int f = 0; f < video.frames; ++f) {
                video.Packed(f, clean, noisy);
                out = noisy;
                EXPECT_EQ(Process(out), 1);
            }
            plugin::StopStream();
            return out;
        };
        std::vector<uint8_t> input;
        const std::vector<uint8_t> filtered = run(0, input);
        const std::vector<uint8_t> demo = run(1, input);
        const size_t rowBytes = static_cast<size_t>(width) * 2;
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* base = (y < packedRows ? filtered.data() : input.data()) + y * rowBytes;
            for (size_t i = 0; i < rowBytes; ++i) {
                uint8_t expected = base[i];
                if (y == lineRow || y == lineRow + 1) expected = Blend(base[i], i % 2 == 0 ? 255 : 128);
                ASSERT_EQ(demo[y * rowBytes + i], expected) << "height " << height << " row " << y << " byte " << i;
            }
        }
    }
}

}  // namespace
