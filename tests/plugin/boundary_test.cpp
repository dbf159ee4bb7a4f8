// The library as a host sees it: exports, descriptor, and streams through
// the entry points of the loaded module.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "plugin_loader.h"
#include "synthetic_video.h"

using testing_support::PluginLibrary;
using testing_support::PluginPath;

namespace {

const char kShortName[] = "\xd3\xec\xe5\xed\xfc\xf8\xe5\xed\xe8\xe5\x20\xf8\xf3\xec\xe0";
const char kDescription[] =
    "\xd3\xec\xe5\xed\xfc\xf8\xe5\xed\xe8\xe5\x20\xf8\xf3\xec\xe0\x20\xf1\x20\xe8\xf1\xef\xee\xeb\xfc\xe7\xee"
    "\xe2\xe0\xed\xe8\xe5\xec\x20\xec\xe5\xf2\xee\xe4\xee\xe2\x20\xea\xee\xec\xef\xe5\xed\xf1\xe0\xf6\xe8\xe8"
    "\x20\xe4\xe2\xe8\xe6\xe5\xed\xe8\xff\x2e";

int32_t AllChannelsExist(uint32_t, int32_t) { return 1; }

struct Channel {
    ChannelInfo info;
    char more[64];
};

Channel MakeChannel(uint32_t key, const char* name) {
    Channel c{};
    c.info.keyLow = key;
    // The name runs on past the declared one-byte array, as a host lays it out.
    char* nameBytes = reinterpret_cast<char*>(&c) + offsetof(ChannelInfo, name);
    std::strncpy(nameBytes, name, sizeof c.more);
    return c;
}

class LoadedPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.loaded()) << "cannot load " << PluginPath();
        plugin = lib.Descriptor();
        ASSERT_NE(plugin, nullptr);
        // No settings file: every test here runs with the defaults.
        std::remove(testing_support::SettingsFilePath().c_str());
        OpenParams params{7, &AllChannelsExist};
        plugin->Open(&params);
    }
    void TearDown() override {
        if (plugin != nullptr) plugin->Close();
    }

    int32_t Start(int32_t width, int32_t height, int32_t format, int32_t cpuClass = 0) {
        StreamFormat f{width, height, 0, format, cpuClass};
        return plugin->StartStream(&f);
    }
    int32_t Process(std::vector<uint8_t>& frame, Channel& channel) {
        FrameRequest request{};
        request.pixels = frame.data();
        request.channel = &channel.info;
        return plugin->ProcessFrame(&request);
    }

    PluginLibrary lib{PluginPath()};
    const PluginDescriptor* plugin = nullptr;
};

}  // namespace

TEST(Exports, VersionDescriptorAndNames) {
    PluginLibrary lib(PluginPath());
    ASSERT_TRUE(lib.loaded()) << "cannot load " << PluginPath();
    EXPECT_EQ(lib.Version(), 3);
    const PluginDescriptor* first = lib.Descriptor();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(lib.Descriptor(), first);
    EXPECT_STREQ(first->shortName, kShortName);
    EXPECT_STREQ(first->description, kDescription);
    for (auto entry : {reinterpret_cast<const void*>(first->Open), reinterpret_cast<const void*>(first->StartStream),
                       reinterpret_cast<const void*>(first->ProcessFrame),
                       reinterpret_cast<const void*>(first->StopStream),
                       reinterpret_cast<const void*>(first->ShowSettings), reinterpret_cast<const void*>(first->Close)}) {
        EXPECT_NE(entry, nullptr);
    }
#if defined(_WIN32)
    EXPECT_EQ(lib.Ordinal(1), lib.Symbol("Vantorix_Plugin_PR"));
    EXPECT_EQ(lib.Ordinal(2), lib.Symbol("Vantorix_Plugin_Version"));
    EXPECT_EQ(lib.Ordinal(3), nullptr);
#endif
}

TEST_F(LoadedPlugin, DescriptorStaysPutAcrossOpen) {
    EXPECT_EQ(lib.Descriptor(), plugin);
    EXPECT_EQ(lib.Version(), 3);
}

TEST_F(LoadedPlugin, StaticPictureStreamsThroughUnchanged) {
    // A picture that does not change comes back as it went in, frame after
    // frame, in both formats: nothing is lost between split, filter and pack.
    for (int32_t format : {0, 1}) {
        const int32_t w = 64, h = 48;
        ASSERT_EQ(Start(w, h, format), 1);
        Channel channel = MakeChannel(5, "Test");
        std::vector<uint8_t> input(static_cast<size_t>(w) * h * (format == 1 ? 3 : 2));
        for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(format == 1 ? 128 : 100 + (i % 2) * 28);
        for (int frame = 0; frame < 5; ++frame) {
            std::vector<uint8_t> buffer = input;
            ASSERT_EQ(Process(buffer, channel), 1);
            EXPECT_EQ(buffer, input) << "format " << format << " frame " << frame;
        }
        plugin->StopStream();
    }
}

TEST_F(LoadedPlugin, NoisyStreamIsDenoised) {
    testing_support::SyntheticVideo video{160, 96, 8, 100, 2, 12};
    ASSERT_EQ(Start(video.width, video.height, 0), 1);
    Channel channel = MakeChannel(9, "Noisy");
    std::vector<uint8_t> clean, noisy;
    int changed = 0;
    for (int f = 0; f < video.frames; ++f) {
        video.Packed(f, clean, noisy);
        std::vector<uint8_t> out = noisy;
        ASSERT_EQ(Process(out, channel), 1);
        changed += out != noisy;
    }
    EXPECT_GE(changed, video.frames - 1);
    plugin->StopStream();
}

TEST_F(LoadedPlugin, RefusedFramesAreLeftUntouched) {
    struct Case {
        const char* what;
        int32_t width, height, cpuClass;
        bool nullPixels;
    };
    const Case cases[] = {
        {"processor class 1", 64, 32, 1, false}, {"processor class 2", 64, 32, 2, false},
        {"no pixels", 64, 32, 0, true},          {"narrower than one group", 6, 32, 0, false},
        {"no rows", 64, 0, 0, false},            {"negative width", -64, 32, 0, false},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Start(c.width, c.height, 0, c.cpuClass), 1) << c.what;
        Channel channel = MakeChannel(3, "X");
        std::vector<uint8_t> frame(64 * 32 * 2);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
        const std::vector<uint8_t> before = frame;
        FrameRequest request{};
        request.pixels = c.nullPixels ? nullptr : frame.data();
        request.channel = &channel.info;
        EXPECT_EQ(plugin->ProcessFrame(&request), 0) << c.what;
        EXPECT_EQ(frame, before) << c.what;
        plugin->StopStream();
    }
}
