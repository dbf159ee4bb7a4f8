#include "ui/ui.h"

// Builds without a window system: the entry points exist and do nothing.
namespace ui {

void ShowSettingsDialog(void* const*, const DialogContext&) {}
void ShowUnavailableMessage() {}
void DestroySettingsDialog() {}

}  // namespace ui
