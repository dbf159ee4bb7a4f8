#include "platform/platform.h"
#include "resources/resource.h"
#include "ui/win32_dialogs.h"

namespace ui {

namespace {

// Everything the box shows comes from its template; OK and Cancel (the
// button, Enter, Escape) end it as a plain dialog does.
INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace

HINSTANCE ResourceModule() { return static_cast<HINSTANCE>(platform::ThisModule()); }

void AboutDialog::Run(HWND owner) {
    DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutDialogProc, 0);
}

}  // namespace ui
