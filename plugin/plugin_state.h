#pragma once
// Everything the plug-in owns, once, from library load to unload.
#include <atomic>
#include <cstdint>

#include "core/stream_denoiser.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "ui/ui.h"

namespace plugin {

constexpr int kChannelNameCapacity = 256;  // 255 bytes and the NUL

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

// Posts the settings update message to the dialog's window if it exists.
void PostUpdate(int32_t code, intptr_t lParam);

// What the settings dialog works on: the plug-in's lock, store, flags and
// channel name, and the slot for its window, where the pipeline posts.
ui::DialogContext DialogContextOf(State& state);

}  // namespace plugin
