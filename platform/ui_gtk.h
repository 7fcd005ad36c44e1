#pragma once
// The GTK 3 backend: the window model shown as a real window. Linked into a program, it offers
// itself to the window layer, which takes it when a display is present (ui_backend.h). These
// calls are for tests and work on the GUI thread only.
#include <filesystem>

#include "platform/ui.h"

typedef struct _GtkWidget GtkWidget;

namespace ui::gtk {

// Whether the window layer shows its windows through GTK.
bool inUse();
// The widget that shows the window (its GtkWindow) or the control; null when none.
GtkWidget* widgetOf(Hwnd hwnd);
// Handles the desktop's pending events and the model's changes waiting to be shown.
void settle();
// Draws the window's content as the desktop shows it (painting and widgets) into a PNG.
bool screenshotPng(Hwnd window, const std::filesystem::path& file);

}  // namespace ui::gtk
