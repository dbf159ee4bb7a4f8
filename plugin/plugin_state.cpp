#include "plugin/plugin_state.h"

namespace plugin {

State& Globals() {
    static State state;
    return state;
}

void PostUpdate(int32_t code, intptr_t lParam) {
    platform::WindowHandle window = Globals().dialogWindow.load(std::memory_order_acquire);
    if (window != nullptr) {
        platform::PostToWindow(window, ui::kSettingsUpdateMessage, static_cast<uintptr_t>(code), lParam);
    }
}

ui::DialogContext DialogContextOf(State& state) {
    return ui::DialogContext{
        ui::DialogShared{state.settingsLock, state.store, state.denoiser.demo, state.mvFlag, state.currentChannelName},
        state.dialogWindow};
}

}  // namespace plugin
