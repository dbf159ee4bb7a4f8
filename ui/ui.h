#pragma once
// The settings dialog and the about box as seen by the entry points.
// On Linux there is no window system in scope: these do nothing.
#include <atomic>

#include "platform/platform.h"
#include "ui/settings_dialog.h"

namespace ui {

// What the plug-in hands the dialog: the state it edits, and the slot that
// holds the dialog's window while it exists (the pipeline posts there).
struct DialogContext {
    DialogShared shared;
    std::atomic<platform::WindowHandle>& window;
};

// ShowSettings for a working processor: creates the modeless dialog owned by
// *ownerWindow, or focuses and flashes it when it is already open. The first
// call's context serves the dialog for good: a plug-in has one.
void ShowSettingsDialog(void* const* ownerWindow, const DialogContext& context);

// The message box shown instead of the dialog on an unsupported processor.
void ShowUnavailableMessage();

// Destroys the dialog's window if it exists (keeps the edits).
void DestroySettingsDialog();

}  // namespace ui
