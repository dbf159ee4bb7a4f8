#pragma once
// The settings dialog's behaviour, apart from any window system: what each
// handler reads, writes, posts and enables. The Win32 binding forwards its
// window messages here; the tests drive it through an in-memory model of the
// controls.
#include <atomic>
#include <cstdint>

#include "platform/platform.h"
#include "settings/settings.h"
#include "ui/settings_update.h"

namespace ui {

// Notification code of a button click (BN_CLICKED).
constexpr int kButtonClicked = 0;
// Command ids the dialog manager sends for Enter and Escape (IDOK, IDCANCEL).
constexpr int kEnterCommand = 1;
constexpr int kEscapeCommand = 2;

struct ScreenRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
};

// What the handlers need from the dialog's window and its controls. Control
// ids are the template's. Texts are 8-bit: digits, "--.--" and the channel
// name in the host's code page.
class DialogControls {
public:
    virtual ~DialogControls() = default;

    virtual void SetCheck(int id, int32_t state) = 0;
    virtual int32_t GetCheck(int id) = 0;
    virtual void SetText(int id, const char* text) = 0;
    virtual void Enable(int id, bool enabled) = 0;
    virtual void SetSliderRange(int id, int32_t minimum, int32_t maximum) = 0;  // with redraw
    virtual void SetSliderTicFrequency(int id, int32_t frequency) = 0;
    virtual void SetSliderPosition(int id, int32_t position) = 0;  // with redraw
    virtual int32_t GetSliderPosition(int id) = 0;

    virtual ScreenRect WindowRect() = 0;
    // The owner's window rectangle; the whole screen when there is no owner.
    virtual ScreenRect OwnerRect() = 0;
    virtual int32_t ScreenWidth() = 0;
    virtual int32_t ScreenHeight() = 0;
    // Moves the window without changing its size or z-order.
    virtual void MoveWindowTo(int32_t x, int32_t y) = 0;

    // Posted to the dialog's own window, never sent.
    virtual void PostUpdate(int32_t code, intptr_t lParam) = 0;
    virtual void PostCloseRequest() = 0;
    virtual void DestroyWindow() = 0;
    // Runs the about box modally; returns when it is closed.
    virtual void RunAboutBox() = 0;
    // Inverts the caption's active state once.
    virtual void InvertCaption() = 0;
};

// The values the dialog shows and edits; all are owned elsewhere.
struct DialogShared {
    platform::Lock& settingsLock;
    settings::SettingsStore& store;
    std::atomic<int32_t>& demoMode;
    std::atomic<int32_t>& mvFlag;
    const char* currentChannelName;  // read under settingsLock
};

// Where the dialog opens. A stored position of (-100, -100), or one whose
// left edge is at or beyond the screen's width or whose top is at or below
// its height, is replaced by a position centred on the host window and
// pulled back onto the screen; any other stored position is used as it is.
ScreenPoint PlaceDialog(ScreenPoint stored, int32_t screenWidth, int32_t screenHeight, const ScreenRect& dialog,
                        const ScreenRect& host);

// The text of a signal-to-noise ratio given in hundredths of a decibel.
void FormatSnr(int32_t hundredths, char (&text)[32]);

class SettingsDialog {
public:
    SettingsDialog(const DialogShared& shared, DialogControls& controls);

    // Message handlers; each runs on the thread that owns the window.
    bool OnInitDialog();
    int32_t OnSettingsUpdate(int32_t code, intptr_t lParam);
    void OnHScroll(int senderId);
    // WM_COMMAND dispatch; returns false for commands the dialog leaves to
    // the default handling.
    bool OnCommand(int id, int notification);
    void OnClose();
    void OnDestroy();

    // Inverts the caption 2 x count times, 60 ms apart, leaving it as it was.
    void Flash(int count);

private:
    void OnCancelButton();
    void OnOkButton();
    void OnAboutButton();
    void OnEnableCheck();
    void OnCommonCheck();
    void OnMvCheck();
    void OnMcCheck(uint32_t settings::SettingsRecord::*meEnable, int id);
    void OnAutoCheck(uint32_t settings::SettingsRecord::*autoThreshold, int id);
    void OnDemoCheck();

    void UpdateEnabling();

    DialogShared shared_;
    DialogControls& controls_;
};

}  // namespace ui
