#include "plugin/entry_points.h"

#include "engine/aligned_buffer.h"
#include "plugin/frame_pipeline.h"
#include "plugin/plugin_state.h"
#include "ui/ui.h"

namespace plugin {

namespace {

// The descriptor's names, as code-page-1251 bytes.
// "Уменьшение шума" (Noise reduction)
const char kShortName[] = "\xd3\xec\xe5\xed\xfc\xf8\xe5\xed\xe8\xe5\x20\xf8\xf3\xec\xe0";
// "Уменьшение шума с использованием методов компенсации движения."
// (Noise reduction using motion compensation methods.)
const char kDescription[] =
    "\xd3\xec\xe5\xed\xfc\xf8\xe5\xed\xe8\xe5\x20\xf8\xf3\xec\xe0\x20\xf1\x20\xe8\xf1\xef\xee\xeb\xfc\xe7\xee"
    "\xe2\xe0\xed\xe8\xe5\xec\x20\xec\xe5\xf2\xee\xe4\xee\xe2\x20\xea\xee\xec\xef\xe5\xed\xf1\xe0\xf6\xe8\xe8"
    "\x20\xe4\xe2\xe8\xe6\xe5\xed\xe8\xff\x2e";

// Frames the engine is built for: at least one 8-pixel group per row, and
// planes the engine can allocate.
constexpr int32_t kMinWidth = 8;

bool GeometrySupported(int32_t width, int32_t height) {
    return width >= kMinWidth && width <= engine::kMaxPlaneSide && height >= 1 && height <= engine::kMaxPlaneSide;
}

void FreeScratch(State& state) {
    engine::AlignedFree(state.rgbScratch);
    state.rgbScratch = nullptr;
}

// Nothing may cross the C boundary as an exception.
template <typename F>
auto Guarded(F&& body, decltype(body()) onFailure) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

}  // namespace

void Open(const OpenParams* params) {
    Guarded(
        [&] {
            State& state = Globals();
            if (params == nullptr) {
                state.store.Load(0, nullptr);
            } else {
                state.store.Load(params->hostValue, params->channelExists);
            }
            return 0;
        },
        0);
}

int32_t StartStream(const StreamFormat* format) {
    return Guarded(
        [&] {
            State& state = Globals();
            state.streamReady = false;
            if (format == nullptr) return 1;
            state.formatCode = format->formatCode;
            state.frameWidth = format->width;
            state.frameHeight = format->height;
            state.cpuClass = format->cpuClass;
            state.surface.SetGeometry(state.frameWidth, state.frameHeight, state.formatCode);
            state.demoMode.store(0, std::memory_order_relaxed);
            FreeScratch(state);  // a host that skipped StopStream must not leak it
            if (!GeometrySupported(state.frameWidth, state.frameHeight)) return 1;

            bool ok = state.processors[kPlaneY].Allocate(state.frameWidth, state.frameHeight, 8, 8);
            ok = state.processors[kPlaneU].Allocate(state.frameWidth / 2, state.frameHeight, 8, 8) && ok;
            ok = state.processors[kPlaneV].Allocate(state.frameWidth / 2, state.frameHeight, 8, 8) && ok;
            if (ok && state.formatCode == 1) {
                size_t bytes = static_cast<size_t>(state.frameWidth) * static_cast<size_t>(state.frameHeight) * 2;
                state.rgbScratch = static_cast<uint8_t*>(engine::AlignedAlloc(bytes));
                ok = state.rgbScratch != nullptr;
            }
            state.streamReady = ok;
            return 1;
        },
        1);
}

int32_t ProcessFrame(const FrameRequest* request) {
    return Guarded([&] { return RunFramePipeline(Globals(), request); }, 0);
}

void StopStream() {
    Guarded(
        [&] {
            State& state = Globals();
            if (state.formatCode == 1 && state.rgbScratch != nullptr) FreeScratch(state);
            if (state.formatCode == 1) state.streamReady = false;
            return 0;
        },
        0);
}

void ShowSettings(void* const* ownerWindow) {
    Guarded(
        [&] {
            if (IsUnsupportedCpu(Globals().cpuClass)) {
                ui::ShowUnavailableMessage();
            } else {
                ui::ShowSettingsDialog(ownerWindow);
            }
            return 0;
        },
        0);
}

void Close() {
    Guarded(
        [&] {
            ui::DestroySettingsDialog();
            Globals().store.Save();
            return 0;
        },
        0);
}

const PluginDescriptor* Descriptor() {
    static const PluginDescriptor descriptor = {
        kShortName, kDescription, &Open, &StartStream, &ProcessFrame, &StopStream, &ShowSettings, &Close,
    };
    return &descriptor;
}

}  // namespace plugin
