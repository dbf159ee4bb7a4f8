// Frames processed on one thread while another thread changes the settings
// the way the dialog does: records under the lock, the automatic-threshold,
// demo and MV switches as single relaxed stores. Run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"
#include "synthetic_video.h"

namespace {

using plugin::Globals;

TEST(Threading, FramesWhileTheDialogEditsSettings) {
    plugin::State& g = Globals();
    g.store.LoadDefaults();
    testing_support::SyntheticVideo video{128, 64, 60, 30, 2, 8};
    StreamFormat format{video.width, video.height, 0, 0, 0};
    ASSERT_EQ(plugin::StartStream(&format), 1);

    std::atomic<bool> done{false};
    std::thread dialog([&] {
        uint32_t i = 0;
        while (!done.load()) {
            ++i;
            {
                platform::LockGuard lock(g.settingsLock);
                g.store.live.Y_Threshold = static_cast<int32_t>(i % 101);
                g.store.live.U_MEEnable = i & 1;
                g.store.live.ProcEnable = (i % 17) != 0;
                if (i % 5 == 0) g.store.SetCommon(static_cast<int32_t>((i / 5) & 1));
                if (i % 7 == 0) g.store.Snapshot();
                if (i % 11 == 0) g.store.Restore();
                char copy[plugin::kChannelNameCapacity];
                std::memcpy(copy, g.currentChannelName, sizeof copy);
            }
            settings::StoreRelaxed(g.store.live.Y_AutoThreshold, i & 2);
            settings::StoreRelaxed(g.store.live.V_AutoThreshold, i & 4);
            g.denoiser.demo.store(static_cast<int32_t>(i & 8), std::memory_order_relaxed);
            g.mvFlag.store(static_cast<int32_t>(i & 1), std::memory_order_relaxed);
            std::this_thread::yield();
        }
    });

    std::vector<uint8_t> clean, noisy;
    for (int f = 0; f < video.frames; ++f) {
        video.Packed(f, clean, noisy);
        struct {
            ChannelInfo info;
            char more[8];
        } channel{};
        channel.info.keyLow = 1 + (f / 10) % 3;  // channel changes now and then
        channel.info.name[0] = static_cast<char>('A' + channel.info.keyLow);
        FrameRequest request{};
        request.pixels = noisy.data();
        request.channel = &channel.info;
        EXPECT_EQ(plugin::ProcessFrame(&request), 1);
    }
    done.store(true);
    dialog.join();
    plugin::StopStream();
}

}  // namespace
