#include "app/main_window.h"

#include <atomic>

namespace {

std::atomic<ui::Hwnd> g_mainWindow{ui::Hwnd::null};

}  // namespace

ui::Hwnd gf_mainWindow() { return g_mainWindow.load(); }

void gf_setMainWindow(ui::Hwnd hwnd) { g_mainWindow = hwnd; }

bool initInstance(const char* title) {
  // WM_CREATE stores the handle.
  return ui::createWindow(title, title, ui::Rect{100, 100, 900, 640}) != ui::Hwnd::null;
}
