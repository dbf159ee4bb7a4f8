#pragma once
// Driving real windows from a test program: a message loop with dialog
// keyboard handling, finding windows and reading their texts, screenshots.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace gui {

std::wstring Text(HWND window);
std::wstring ClassName(HWND window);
bool IsDialogClass(HWND window);

// Top-level dialog windows ("#32770") of a thread.
std::vector<HWND> ThreadDialogs(DWORD threadId);
// Direct children of a window, in z-order (the template's order for dialogs).
std::vector<HWND> Children(HWND window);

// Runs this thread's message loop for `ms` milliseconds. Keyboard messages
// for dialogs go through IsDialogMessage, as in a host's loop.
void Pump(DWORD ms);
// Runs it until `done` holds or `timeoutMs` passed; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// For a watcher thread while the window's own thread sits in a modal loop:
// polls (without pumping) until a dialog of `threadId` satisfies `match`.
HWND WaitForDialog(DWORD threadId, const std::function<bool(HWND)>& match, DWORD timeoutMs);

// The Windows spelling of a Unix path (Wine maps "/" to drive Z:).
std::wstring WindowsPath(const std::string& unixPath);

// Saves the screen area of `window`, with a small margin, as a PNG by
// running ImageMagick's `import` on the X display. `pump` keeps the calling
// thread's windows painted while it waits. Returns false when it failed.
bool CaptureWindow(HWND window, const std::string& unixPngPath, bool pump);

}  // namespace gui
