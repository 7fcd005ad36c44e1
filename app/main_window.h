#pragma once
// The main window: created by initInstance on the GUI thread, known to every handler.
#include "platform/ui.h"

// Creates, places and shows the main window; false when it could not be made. GUI thread,
// once per process: this thread is the GUI thread from now on.
bool initInstance(const char* title);
ui::Hwnd gf_mainWindow();
void gf_setMainWindow(ui::Hwnd hwnd);

// Only the saved position from parameters.xml (the worker loads the rest); never changes the
// file, not even a broken one.
void gf_readSavedWindowPosition();
// At exit: the normal (not minimized or maximized) position is saved, then kept reachable.
void gf_saveWindowPosition();
// WM_DPICHANGED: the new DPI and the rectangle the system suggests.
void gf_applyDpiChange(std::uint32_t newDpi, const ui::Rect* suggested);
