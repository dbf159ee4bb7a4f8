// The settings dialog as a real window: a modeless dialog from template 5000,
// owned by the host's window, whose procedure hands every message of the
// message map to SettingsDialog.
#include "ui/win32_dialogs.h"  // <windows.h> first

#include <commctrl.h>

#include <atomic>
#include <memory>

#include "resources/resource.h"
#include "ui/settings_dialog.h"
#include "ui/ui.h"

namespace ui {

namespace {

static_assert(kSettingsUpdateMessage == WM_USER + 400, "WM_SETTINGS_UPDATE");
static_assert(kEnterCommand == IDOK && kEscapeCommand == IDCANCEL, "dialog manager commands");
static_assert(kButtonClicked == BN_CLICKED, "click notification");

ScreenRect FromRect(const RECT& r) { return ScreenRect{r.left, r.top, r.right, r.bottom}; }

class Win32Controls final : public DialogControls {
public:
    HWND window = nullptr;  // null while no dialog window exists
    HWND owner = nullptr;

    void SetCheck(int id, int32_t state) override {
        SendDlgItemMessageW(window, id, BM_SETCHECK, static_cast<WPARAM>(state), 0);
    }
    int32_t GetCheck(int id) override {
        return static_cast<int32_t>(SendDlgItemMessageW(window, id, BM_GETCHECK, 0, 0));
    }
    // 8-bit texts are in the host's ANSI code page.
    void SetText(int id, const char* text) override { SetDlgItemTextA(window, id, text); }
    void Enable(int id, bool enabled) override { EnableWindow(GetDlgItem(window, id), enabled ? TRUE : FALSE); }
    void SetSliderRange(int id, int32_t minimum, int32_t maximum) override {
        SendDlgItemMessageW(window, id, TBM_SETRANGE, TRUE, MAKELPARAM(minimum, maximum));
    }
    void SetSliderTicFrequency(int id, int32_t frequency) override {
        SendDlgItemMessageW(window, id, TBM_SETTICFREQ, static_cast<WPARAM>(frequency), 0);
    }
    void SetSliderPosition(int id, int32_t position) override {
        SendDlgItemMessageW(window, id, TBM_SETPOS, TRUE, position);
    }
    int32_t GetSliderPosition(int id) override {
        return static_cast<int32_t>(SendDlgItemMessageW(window, id, TBM_GETPOS, 0, 0));
    }

    ScreenRect WindowRect() override {
        RECT r{};
        GetWindowRect(window, &r);
        return FromRect(r);
    }
    ScreenRect OwnerRect() override {
        RECT r{};
        if (owner != nullptr && GetWindowRect(owner, &r)) return FromRect(r);
        return ScreenRect{0, 0, ScreenWidth(), ScreenHeight()};
    }
    int32_t ScreenWidth() override { return GetSystemMetrics(SM_CXSCREEN); }
    int32_t ScreenHeight() override { return GetSystemMetrics(SM_CYSCREEN); }
    void MoveWindowTo(int32_t x, int32_t y) override {
        SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }

    void PostUpdate(int32_t code, intptr_t lParam) override {
        PostMessageW(window, kSettingsUpdateMessage, static_cast<WPARAM>(code), static_cast<LPARAM>(lParam));
    }
    void PostCloseRequest() override { PostMessageW(window, WM_CLOSE, 0, 0); }
    void DestroyWindow() override { ::DestroyWindow(window); }
    void RunAboutBox() override { AboutDialog::Run(window); }
    void InvertCaption() override { FlashWindow(window, TRUE); }
};

// The one settings dialog, from first use to library unload; its window
// comes and goes.
struct SettingsWindow {
    explicit SettingsWindow(const DialogContext& context)
        : dialog{context.shared, controls}, published(context.window) {}
    Win32Controls controls;
    SettingsDialog dialog;
    std::atomic<platform::WindowHandle>& published;  // where the pipeline finds the window
};

// Null until the dialog is first shown.
std::unique_ptr<SettingsWindow>& Instance() {
    static std::unique_ptr<SettingsWindow> instance;
    return instance;
}

INT_PTR HandleMessage(SettingsWindow& self, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        self.controls.window = window;
        self.published.store(window, std::memory_order_release);
        return self.dialog.OnInitDialog() ? TRUE : FALSE;
    case kSettingsUpdateMessage:
        SetWindowLongPtrW(window, DWLP_MSGRESULT,
                          self.dialog.OnSettingsUpdate(static_cast<int32_t>(wParam), static_cast<intptr_t>(lParam)));
        return TRUE;
    case WM_CLOSE: self.dialog.OnClose(); return TRUE;
    case WM_COMMAND: return self.dialog.OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_DESTROY: self.dialog.OnDestroy(); return FALSE;
    case WM_HSCROLL:
        self.dialog.OnHScroll(lParam != 0 ? GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) : 0);
        return FALSE;  // the default handling follows
    case WM_NCDESTROY:
        // The window is gone: the pipeline stops posting, the next
        // ShowSettings creates a new one.
        self.published.store(nullptr, std::memory_order_release);
        self.controls.window = nullptr;
        self.controls.owner = nullptr;
        return FALSE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK SettingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // No exception may unwind through the window manager.
    try {
        SettingsWindow* self = Instance().get();
        return self != nullptr ? HandleMessage(*self, window, message, wParam, lParam) : FALSE;
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

void ShowSettingsDialog(void* const* ownerWindow, const DialogContext& context) {
    if (!Instance()) Instance().reset(new SettingsWindow(context));
    SettingsWindow& self = *Instance();
    if (self.controls.window != nullptr) {
        SetFocus(self.controls.window);
        self.dialog.Flash(2);
        return;
    }
    // The trackbar class must be registered whatever the host did.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);

    self.controls.owner = ownerWindow != nullptr ? static_cast<HWND>(*ownerWindow) : nullptr;
    HWND window = CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(IDD_SETTINGS), self.controls.owner,
                                     SettingsDialogProc, 0);
    if (window == nullptr) {
        self.controls.owner = nullptr;
        return;
    }
    ShowWindow(window, SW_SHOW);
}

void DestroySettingsDialog() {
    SettingsWindow* self = Instance().get();
    if (self != nullptr && self->controls.window != nullptr) ::DestroyWindow(self->controls.window);
}

}  // namespace ui
