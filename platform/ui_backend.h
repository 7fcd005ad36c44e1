#pragma once
// The seam between the window model (ui_headless.cpp, the one source of truth for every window
// and control) and a backend that shows it on a real desktop. The model tells the backend what
// changed; the backend turns a user's actions into the driver's actions and runs its own event
// loop while the message loop waits.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"

namespace ui::backend {

class Backend {
 public:
  virtual ~Backend() = default;

  // GUI thread, after WM_CREATE; false when the desktop cannot show it (the model goes on alone).
  virtual bool windowCreated(Hwnd window) = 0;
  // GUI thread, after WM_DESTROY and after the model forgot the window and its controls.
  virtual void windowDestroyed(Hwnd window) = 0;
  // Any thread, with the model's lock held: must neither block nor call into ui::. The window
  // or control changed (created, text, state, place, font, items) or was invalidated.
  virtual void changed(Hwnd hwnd) = 0;
  // Any thread: a message was posted or a timer set; wakes waitForEvents.
  virtual void wake() = 0;
  // GUI thread, the model unlocked: handles desktop events until woken or the deadline.
  virtual void waitForEvents(std::optional<std::chrono::steady_clock::time_point> deadline) = 0;

  // Modal dialogs, from any thread.
  virtual int messageBox(Hwnd owner, std::string_view text, std::string_view caption, unsigned type) = 0;
  virtual std::optional<std::string> pickFolder(Hwnd owner, std::string_view initialFolder) = 0;
  virtual std::optional<std::string> promptText(Hwnd owner, std::string_view title, std::string_view label,
                                                std::size_t maxChars) = 0;

  // GUI thread, the model unlocked: the window as the desktop shows it, as a PNG file.
  virtual bool screenshotPng(Hwnd window, const std::filesystem::path& file) = 0;

  // resetForTest: drop every widget.
  virtual void reset() = 0;
};

// Makes the backend when the desktop can have one; null otherwise.
using Factory = Backend* (*)();
// A backend linked into the program registers itself once (a static initializer).
void registerFactory(Factory factory);
// JORV_UI=headless keeps the model alone; JORV_UI=gtk or a display present picks the backend.
bool wantsDesktop();

// Backend side: what the desktop reports back into the model, without telling the backend.
// Where the desktop put a top-level window's frame, and its show state (SW_SHOW*).
void notePosition(Hwnd window, int x, int y, int showCmd);
// The monitors of the desktop; the default one when empty (test monitors still come first).
void setDesktopMonitors(std::vector<Monitor> monitors);

}  // namespace ui::backend
