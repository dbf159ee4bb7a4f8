#pragma once
// The private message through which the frame pipeline and the dialog itself
// ask the settings dialog to refresh its controls, and the codes it carries
// in wParam. Defined here once, for the dialog and for whoever posts to it.
#include <cstdint>

namespace ui {

// WM_USER + 400.
constexpr uint32_t kSettingsUpdateMessage = 1424;

// The update codes; a plane's code is the Y code + its index (Y, U, V).
enum UpdateCode : int32_t {
    kUpdateAll = 0,
    kUpdateChannelName = 1,
    kUpdateSliderY = 2,
    kUpdateSliderU = 3,
    kUpdateSliderV = 4,
    kUpdateThresholdTextY = 5,
    kUpdateThresholdTextU = 6,
    kUpdateThresholdTextV = 7,
    kUpdateSnrY = 8,
    kUpdateSnrU = 9,
    kUpdateSnrV = 10,
    kUpdateEnabling = 11,
};

}  // namespace ui
