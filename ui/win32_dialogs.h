#pragma once
// Internal to the Win32 binding of the dialogs (included only by *_win32.cpp).
#include <windows.h>

namespace ui {

// The about box, run modally from the module's template 5002; returns when
// "OK", Enter or Escape ends it.
class AboutDialog {
public:
    static void Run(HWND owner);
};

// The module that holds the dialog templates and the bitmap: this library.
HINSTANCE ResourceModule();

}  // namespace ui
