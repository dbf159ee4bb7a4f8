#include <string>

#include "ui/ui.h"
#include "ui/win32_dialogs.h"

namespace ui {

namespace {

// "      Настройки плагина недоступны. " LF "Требуется процессор Pentium III или старше."
// (Plugin settings are unavailable. A Pentium III processor or newer is
// required.) Code-page-1251 bytes, converted explicitly below so that the
// text reads the same whatever the system's ANSI code page.
const char kUnavailableText[] =
    "      \xcd\xe0\xf1\xf2\xf0\xee\xe9\xea\xe8 \xef\xeb\xe0\xe3\xe8\xed\xe0 "
    "\xed\xe5\xe4\xee\xf1\xf2\xf3\xef\xed\xfb. \n"
    "\xd2\xf0\xe5\xe1\xf3\xe5\xf2\xf1\xff \xef\xf0\xee\xf6\xe5\xf1\xf1\xee\xf0 Pentium III "
    "\xe8\xeb\xe8 \xf1\xf2\xe0\xf0\xf8\xe5.";
constexpr UINT kRussianCodePage = 1251;

// The caption a message box of this module gets by default: the module's
// file name without folder and extension.
std::wstring ModuleTitle() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(ResourceModule(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"ORV_VEDaviror";
    std::wstring name(path, n);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return name;
}

}  // namespace

void ShowUnavailableMessage() {
    wchar_t text[sizeof kUnavailableText];
    if (MultiByteToWideChar(kRussianCodePage, 0, kUnavailableText, -1, text, sizeof kUnavailableText) == 0) return;
    HWND owner = GetActiveWindow();
    if (owner != nullptr) owner = GetAncestor(owner, GA_ROOT);
    MessageBoxW(owner, text, ModuleTitle().c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace ui
