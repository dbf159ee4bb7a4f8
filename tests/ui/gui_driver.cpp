#include "tests/ui/gui_driver.h"

#include <algorithm>
#include <cstdio>

namespace gui {

std::wstring Text(HWND window) {
    int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(n < 0 ? 0 : n) + 1, L'\0');
    int got = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[128] = {};
    int n = GetClassNameW(window, name, 128);
    return std::wstring(name, static_cast<size_t>(n < 0 ? 0 : n));
}

bool IsDialogClass(HWND window) { return ClassName(window) == L"#32770"; }

namespace {

BOOL CALLBACK CollectDialog(HWND window, LPARAM list) {
    if (IsWindowVisible(window) && IsDialogClass(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> ThreadDialogs(DWORD threadId) {
    std::vector<HWND> found;
    EnumThreadWindows(threadId, CollectDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<HWND> Children(HWND window) {
    std::vector<HWND> found;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        found.push_back(child);
    }
    return found;
}

namespace {

void DispatchPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (root != nullptr && IsDialogClass(root) && IsDialogMessageW(root, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DispatchPending();
        if (done()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - elapsed, 20), QS_ALLINPUT);
    }
}

void Pump(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

HWND WaitForDialog(DWORD threadId, const std::function<bool(HWND)>& match, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : ThreadDialogs(threadId)) {
            if (match(window)) return window;
        }
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(20);
    }
}

std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = unixPath.empty() || unixPath[0] != '/' ? L"" : L"Z:";
    for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

bool CaptureWindow(HWND window, const std::string& unixPngPath, bool pump) {
    RECT r{};
    if (!GetWindowRect(window, &r)) return false;
    const LONG margin = 6;
    LONG left = std::max<LONG>(0, r.left - margin);
    LONG top = std::max<LONG>(0, r.top - margin);
    LONG right = std::min<LONG>(GetSystemMetrics(SM_CXSCREEN), r.right + margin);
    LONG bottom = std::min<LONG>(GetSystemMetrics(SM_CYSCREEN), r.bottom + margin);
    if (right <= left || bottom <= top) return false;

    // Wine runs a file that is not a Windows program as a Unix process, with
    // its arguments unchanged (so the paths stay Unix paths), but cannot tell
    // when it ends: the picture is written under a temporary name and renamed
    // when complete, and the final file is what is waited for.
    std::string temporary = unixPngPath + ".part.png";
    wchar_t command[2048];
    std::swprintf(command, 2048,
                  L"Z:\\bin\\sh -c \"/usr/bin/import -window root -crop %ldx%ld+%ld+%ld +repage '%hs' && /bin/mv '%hs' '%hs'\"",
                  right - left, bottom - top, left, top, temporary.c_str(), temporary.c_str(), unixPngPath.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::wstring result = WindowsPath(unixPngPath);
    auto written = [&] { return GetFileAttributesW(result.c_str()) != INVALID_FILE_ATTRIBUTES; };
    if (pump) return PumpUntil(written, 120000);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 120000; Sleep(50)) {
        if (written()) return true;
    }
    return written();
}

}  // namespace gui
