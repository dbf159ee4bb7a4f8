#pragma once
// The settings dialog and the about box as seen by the entry points.
// On Linux there is no window system in scope: these do nothing.

namespace ui {

// ShowSettings for a working processor: creates the modeless dialog owned by
// *ownerWindow, or focuses and flashes it when it is already open.
void ShowSettingsDialog(void* const* ownerWindow);

// The message box shown instead of the dialog on an unsupported processor.
void ShowUnavailableMessage();

// Destroys the dialog's window if it exists (keeps the edits).
void DestroySettingsDialog();

}  // namespace ui
