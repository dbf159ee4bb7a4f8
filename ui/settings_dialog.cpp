#include "ui/settings_dialog.h"

#include <cstdio>

#include "resources/resource.h"

namespace ui {

namespace {

using settings::SettingsRecord;

constexpr int32_t kNeverPlaced = -100;
constexpr int32_t kSliderMaximum = 100;
constexpr int32_t kSliderTicFrequency = 5;
constexpr uint32_t kFlashIntervalMs = 60;
const char kNoMeasurement[] = "--.--";

// One row of the table per plane, in the order Y, U, V; the update codes of
// plane p are the Y code + p.
struct PlaneControls {
    int mcCheck;
    int autoCheck;
    int slider;
    int thresholdText;
    int snrText;
    uint32_t SettingsRecord::*meEnable;
    int32_t SettingsRecord::*threshold;
    uint32_t SettingsRecord::*autoThreshold;
};

constexpr PlaneControls kPlanes[3] = {
    {IDC_MC_CHECK_Y, IDC_AUTO_CHECK_Y, IDC_SLIDER_Y, IDC_THRESHOLD_Y, IDC_SNR_Y, &SettingsRecord::Y_MEEnable,
     &SettingsRecord::Y_Threshold, &SettingsRecord::Y_AutoThreshold},
    {IDC_MC_CHECK_U, IDC_AUTO_CHECK_U, IDC_SLIDER_U, IDC_THRESHOLD_U, IDC_SNR_U, &SettingsRecord::U_MEEnable,
     &SettingsRecord::U_Threshold, &SettingsRecord::U_AutoThreshold},
    {IDC_MC_CHECK_V, IDC_AUTO_CHECK_V, IDC_SLIDER_V, IDC_THRESHOLD_V, IDC_SNR_V, &SettingsRecord::V_MEEnable,
     &SettingsRecord::V_Threshold, &SettingsRecord::V_AutoThreshold},
};

// A code applies to a step when it is the step's own code or UpdateAll.
bool Applies(int32_t code, int32_t stepCode) { return code == kUpdateAll || code == stepCode; }

int32_t AsFlag(uint32_t value) { return static_cast<int32_t>(value); }

}  // namespace

ScreenPoint PlaceDialog(ScreenPoint stored, int32_t screenWidth, int32_t screenHeight, const ScreenRect& dialog,
                        const ScreenRect& host) {
    bool neverPlaced = stored.x == kNeverPlaced && stored.y == kNeverPlaced;
    if (!neverPlaced && stored.x < screenWidth && stored.y < screenHeight) return stored;

    // 64-bit so that no rectangle a window system reports can overflow;
    // the halves truncate toward zero.
    int64_t width = int64_t{dialog.right} - dialog.left;
    int64_t height = int64_t{dialog.bottom} - dialog.top;
    int64_t x = dialog.left + (int64_t{host.left} + host.right) / 2 - (int64_t{dialog.left} + dialog.right) / 2;
    int64_t y = dialog.top + (int64_t{host.top} + host.bottom) / 2 - (int64_t{dialog.top} + dialog.bottom) / 2;
    if (x + width >= screenWidth) x = screenWidth - width;
    if (y + height >= screenHeight) y = screenHeight - height;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    return ScreenPoint{static_cast<int32_t>(x), static_cast<int32_t>(y)};
}

void FormatSnr(int32_t hundredths, char (&text)[32]) {
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(hundredths) * 0.01);
}

SettingsDialog::SettingsDialog(const DialogShared& shared, DialogControls& controls)
    : shared_(shared), controls_(controls) {}

bool SettingsDialog::OnInitDialog() {
    ScreenPoint stored;
    shared_.store.GetDialogPosition(stored.x, stored.y);
    ScreenPoint at = PlaceDialog(stored, controls_.ScreenWidth(), controls_.ScreenHeight(), controls_.WindowRect(),
                                 controls_.OwnerRect());
    controls_.MoveWindowTo(at.x, at.y);

    {
        platform::LockGuard guard(shared_.settingsLock);
        shared_.store.Snapshot();  // what Cancel returns to
    }
    for (const PlaneControls& plane : kPlanes) controls_.SetSliderRange(plane.slider, 0, kSliderMaximum);
    for (const PlaneControls& plane : kPlanes) controls_.SetSliderTicFrequency(plane.slider, kSliderTicFrequency);
    controls_.PostUpdate(kUpdateAll, 0);
    return true;
}

int32_t SettingsDialog::OnSettingsUpdate(int32_t code, intptr_t lParam) {
    // One lock for the whole refresh, so that it shows one moment's values.
    platform::LockGuard guard(shared_.settingsLock);
    const SettingsRecord& live = shared_.store.live;

    if (code == kUpdateAll) {
        for (const PlaneControls& plane : kPlanes) {
            controls_.SetCheck(plane.mcCheck, AsFlag(live.*plane.meEnable));
        }
        for (const PlaneControls& plane : kPlanes) {
            controls_.SetCheck(plane.autoCheck, AsFlag(settings::LoadRelaxed(live.*plane.autoThreshold)));
        }
        controls_.SetCheck(IDC_ENABLE_CHECK, AsFlag(live.ProcEnable));
        controls_.SetCheck(IDC_COMMON_CHECK, shared_.store.Common);
        controls_.SetCheck(IDC_DEMO_CHECK, shared_.demoMode.load(std::memory_order_relaxed));
        controls_.SetCheck(IDC_MV_CHECK, shared_.mvFlag.load(std::memory_order_relaxed));
    }
    if (Applies(code, kUpdateChannelName)) {
        controls_.SetText(IDC_CHANNEL_NAME, shared_.currentChannelName);
    }
    for (int p = 0; p < 3; ++p) {
        if (Applies(code, kUpdateSliderY + p)) {
            controls_.SetSliderPosition(kPlanes[p].slider, live.*kPlanes[p].threshold);
        }
    }
    for (int p = 0; p < 3; ++p) {
        if (Applies(code, kUpdateThresholdTextY + p)) {
            char text[16];
            std::snprintf(text, sizeof text, "%d", live.*kPlanes[p].threshold);
            controls_.SetText(kPlanes[p].thresholdText, text);
        }
    }
    for (int p = 0; p < 3; ++p) {
        if (Applies(code, kUpdateSnrY + p)) {
            char text[32];
            FormatSnr(static_cast<int32_t>(lParam), text);
            controls_.SetText(kPlanes[p].snrText, text);
        }
    }
    if (Applies(code, kUpdateEnabling)) UpdateEnabling();
    return 1;
}

// Runs under settingsLock.
void SettingsDialog::UpdateEnabling() {
    const SettingsRecord& live = shared_.store.live;
    bool processing = live.ProcEnable != 0;
    for (const PlaneControls& plane : kPlanes) {
        if (!processing || live.*plane.meEnable == 0) controls_.SetText(plane.snrText, kNoMeasurement);
    }
    for (const PlaneControls& plane : kPlanes) {
        bool motion = live.*plane.meEnable != 0;
        bool automatic = settings::LoadRelaxed(live.*plane.autoThreshold) != 0;
        controls_.Enable(plane.mcCheck, processing);
        controls_.Enable(plane.snrText, processing);
        controls_.Enable(plane.thresholdText, processing);
        // The pipeline measures noise, and so sets thresholds, only where
        // motion compensation runs; a threshold it sets is not the user's.
        controls_.Enable(plane.autoCheck, processing && motion);
        controls_.Enable(plane.slider, processing && !(motion && automatic));
    }
    controls_.Enable(IDC_DEMO_CHECK, processing);
}

void SettingsDialog::OnHScroll(int senderId) {
    // Every notification, also while the thumb is dragged; only a change of
    // position touches the settings.
    platform::LockGuard guard(shared_.settingsLock);
    SettingsRecord& live = shared_.store.live;
    for (int p = 0; p < 3; ++p) {
        if (kPlanes[p].slider != senderId) continue;
        int32_t position = controls_.GetSliderPosition(senderId);
        if (position != live.*kPlanes[p].threshold) {
            live.*kPlanes[p].threshold = position;
            controls_.PostUpdate(kUpdateThresholdTextY + p, 0);
        }
    }
}

bool SettingsDialog::OnCommand(int id, int notification) {
    // Enter and Escape neither close nor change the dialog.
    if (id == kEnterCommand || id == kEscapeCommand) return true;
    if (notification != kButtonClicked) return false;
    switch (id) {
    case IDC_CANCEL_BUTTON: OnCancelButton(); return true;
    case IDC_OK_BUTTON: OnOkButton(); return true;
    case IDC_ABOUT_BUTTON: OnAboutButton(); return true;
    case IDC_ENABLE_CHECK: OnEnableCheck(); return true;
    case IDC_COMMON_CHECK: OnCommonCheck(); return true;
    case IDC_MV_CHECK: OnMvCheck(); return true;
    case IDC_MC_CHECK_Y: OnMcCheck(&SettingsRecord::Y_MEEnable, id); return true;
    case IDC_MC_CHECK_U: OnMcCheck(&SettingsRecord::U_MEEnable, id); return true;
    case IDC_MC_CHECK_V: OnMcCheck(&SettingsRecord::V_MEEnable, id); return true;
    case IDC_AUTO_CHECK_Y: OnAutoCheck(&SettingsRecord::Y_AutoThreshold, id); return true;
    case IDC_AUTO_CHECK_V: OnAutoCheck(&SettingsRecord::V_AutoThreshold, id); return true;
    case IDC_AUTO_CHECK_U: OnAutoCheck(&SettingsRecord::U_AutoThreshold, id); return true;
    case IDC_DEMO_CHECK: OnDemoCheck(); return true;
    default: return false;
    }
}

void SettingsDialog::OnClose() {
    {
        platform::LockGuard guard(shared_.settingsLock);
        shared_.store.Restore();
    }
    controls_.DestroyWindow();
}

void SettingsDialog::OnDestroy() {
    shared_.demoMode.store(0, std::memory_order_relaxed);  // closing the dialog ends demo mode
    ScreenRect rect = controls_.WindowRect();
    shared_.store.SetDialogPosition(rect.left, rect.top);
}

void SettingsDialog::Flash(int count) {
    for (int i = 0; i < 2 * count; ++i) {
        controls_.InvertCaption();
        platform::SleepMilliseconds(kFlashIntervalMs);
    }
}

void SettingsDialog::OnCancelButton() { controls_.PostCloseRequest(); }

void SettingsDialog::OnOkButton() { controls_.DestroyWindow(); }

void SettingsDialog::OnAboutButton() { controls_.RunAboutBox(); }

void SettingsDialog::OnEnableCheck() {
    int32_t state = controls_.GetCheck(IDC_ENABLE_CHECK);
    platform::LockGuard guard(shared_.settingsLock);
    shared_.store.live.ProcEnable = static_cast<uint32_t>(state);
    controls_.PostUpdate(kUpdateEnabling, 0);
}

void SettingsDialog::OnCommonCheck() {
    int32_t state = controls_.GetCheck(IDC_COMMON_CHECK);
    {
        platform::LockGuard guard(shared_.settingsLock);
        shared_.store.SetCommon(state);
    }
    controls_.PostUpdate(kUpdateAll, 0);
}

void SettingsDialog::OnMvCheck() {
    shared_.mvFlag.store(controls_.GetCheck(IDC_MV_CHECK), std::memory_order_relaxed);
}

void SettingsDialog::OnMcCheck(uint32_t SettingsRecord::*meEnable, int id) {
    int32_t state = controls_.GetCheck(id);
    platform::LockGuard guard(shared_.settingsLock);
    shared_.store.live.*meEnable = static_cast<uint32_t>(state);
    controls_.PostUpdate(kUpdateEnabling, 0);
}

void SettingsDialog::OnAutoCheck(uint32_t SettingsRecord::*autoThreshold, int id) {
    // One aligned word, stored without the lock; the pipeline sees it at its
    // next read.
    settings::StoreRelaxed(shared_.store.live.*autoThreshold, static_cast<uint32_t>(controls_.GetCheck(id)));
    controls_.PostUpdate(kUpdateEnabling, 0);
}

void SettingsDialog::OnDemoCheck() {
    shared_.demoMode.store(controls_.GetCheck(IDC_DEMO_CHECK), std::memory_order_relaxed);
}

}  // namespace ui
