#include "plugin/entry_points.h"

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
            state.denoiser.Refuse();
            if (format == nullptr) return 1;
            state.formatCode = format->formatCode;
            state.cpuClass = format->cpuClass;
            // Every code but 1 is taken as packed 4:2:2; the demo line knows 0 and 1 only.
            const core::FrameLayout layout =
                format->formatCode == 1 ? core::FrameLayout::kBgr24BottomUp : core::FrameLayout::kPacked422;
            state.denoiser.drawSplitLine = format->formatCode == 0 || format->formatCode == 1;
            state.denoiser.Start(layout, format->width, format->height);
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
            Globals().denoiser.Stop();
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
                ui::ShowSettingsDialog(ownerWindow, DialogContextOf(Globals()));
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
