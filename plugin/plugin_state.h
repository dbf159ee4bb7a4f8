#pragma once
// Everything the plug-in owns, once, from library load to unload.
#include <atomic>
#include <cstdint>

#include "core/stream_denoiser.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace plugin {

constexpr int kChannelNameCapacity = 256;  // 255 bytes and the NUL

// WM_SETTINGS_UPDATE and its wParam codes.
constexpr uint32_t kSettingsUpdateMessage = 1424;
enum UpdateCode : int32_t {
    UpdateAll = 0,
    UpdateChannelName = 1,
    UpdateSliderY = 2,
    UpdateSliderU = 3,
    UpdateSliderV = 4,
    UpdateThresholdTextY = 5,
    UpdateThresholdTextU = 6,
    UpdateThresholdTextV = 7,
    UpdateSnrY = 8,
    UpdateSnrU = 9,
    UpdateSnrV = 10,
    UpdateEnabling = 11,
};

using core::kPlaneU;
using core::kPlaneV;
using core::kPlaneY;

struct State {
    int32_t formatCode = 0;
    int32_t cpuClass = 0;
    // Written by the dialog without the lock.
    std::atomic<int32_t> mvFlag{0};
    // Read by the dialog under settingsLock.
    char currentChannelName[kChannelNameCapacity] = {};
    platform::Lock settingsLock;
    settings::SettingsStore store;
    // The one stream a host runs, on the record in force of the store. Its
    // demo flag is written by the dialog without the lock.
    core::StreamDenoiser denoiser{store.live};
    // The settings dialog's window while it exists; the pipeline posts to it.
    std::atomic<platform::WindowHandle> dialogWindow{nullptr};
};

State& Globals();

// Posts WM_SETTINGS_UPDATE to the dialog's window if it exists.
void PostUpdate(int32_t code, intptr_t lParam);

}  // namespace plugin
