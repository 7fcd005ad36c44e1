#pragma once
// A main window on a GUI thread of its own, with a fresh log and per-user folder, every option
// at its default and every save captured instead of written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/engine_requests.h"
#include "appbase/gui.h"
#include "app/main_window.h"
#include "appbase/stop_request.h"
#include "app/window_proc.h"
#include "app/window_seams.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "platform/ui.h"
#include "platform/ui_driver.h"
#include "tests/support/test_support.h"

namespace window_test {

inline std::mutex g_savedMutex;
inline std::vector<std::pair<std::string, std::string>> g_saved;

inline void captureSave(std::string_view name, std::string_view value) {
  std::lock_guard lock(g_savedMutex);
  g_saved.emplace_back(name, value);
}

inline void clearSaved() {
  std::lock_guard lock(g_savedMutex);
  g_saved.clear();
}

// The last value saved under the name; "" when none.
inline std::string lastSaved(std::string_view name) {
  std::lock_guard lock(g_savedMutex);
  for (auto it = g_saved.rbegin(); it != g_saved.rend(); ++it)
    if (it->first == name) return it->second;
  return {};
}

inline void resetOptions() {
  for (CheckboxOption* o : g_checkboxOptions) o->value = o->defaultValue, o->window = ui::Hwnd::null;
  for (IntListOption* o : g_intListOptions) o->value = o->defaultValue, o->window = ui::Hwnd::null;
  for (ChoiceOption* o : g_choiceOptions) o->value = o->defaultValue, o->window = ui::Hwnd::null;
  for (IntOption* o : g_intOptions) o->value = o->defaultValue;
  for (GuiControl* c : std::initializer_list<GuiControl*>{&AI_PACKAGE_SELECTOR, &PARKING_INTERVAL_MINUTES, &DESTINATION,
                                                          &AIRCRAFT_SELECTOR, &STAND_SELECTOR, &MAX_FIT_FL})
    c->window = ui::Hwnd::null;
  AI_PACKAGE_SELECTOR.value = AI_PACKAGE_SELECTOR.defaultValue;
  DESTINATION.value = AIRCRAFT_SELECTOR.value = STAND_SELECTOR.value = BLOCK_AIRCRAFT.value = "";
  MAX_FIT_FL.value = MAX_FIT_FL.defaultValue;
  COLLAPSED.value = false;  // most cases look at the expanded layout
}

// Everything the window touches, as at program start.
inline void resetAll() {
  ui::resetForTest();
  gf_resetGuiForTest();
  gf_resetEngineRequests();
  gf_resetStopStateForTest();
  gf_resetParameterSnapshot();
  gf_publishSimChoice(SimChoice{});
  g_simSwitchRequested = false;
  g_waitingForRTApp = false;
  resetOptions();
  clearSaved();
}

// initInstance on a new thread that then runs the message loop, whose exit code lands in
// exitCode; the main window, or null when initInstance failed.
inline ui::Hwnd startGuiThread(std::thread& gui, int& exitCode, std::function<void()> beforeInit = {}) {
  std::promise<bool> created;
  auto result = created.get_future();
  gui = std::thread([&exitCode, &created, beforeInit = std::move(beforeInit)] {
    if (beforeInit) beforeInit();
    const bool ok = initInstance("JORV");
    created.set_value(ok);
    if (!ok) return;
    ui::Msg msg;
    while (ui::getMessage(msg) == 1) ui::dispatchMessage(msg);
    exitCode = static_cast<int>(msg.wParam);
  });
  return result.get() ? gf_mainWindow() : ui::Hwnd::null;
}

inline void stopGuiThread(std::thread& gui) {
  if (!gui.joinable()) return;
  ui::postQuitMessage(0);
  gui.join();
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("JORV_APPDATA", (root_ / "appdata").c_str(), 1);
    gf_resetProgramFolders();
    resetAll();
    gf_setParameterWriter(captureSave);
    gf_openLog();
    ASSERT_TRUE(ui::registerClass(ui::WindowClass{"JORV", WndProc}));
  }

  void TearDown() override {
    stopGui();
    gf_closeLog();
    gf_setParameterWriter(nullptr);
    gf_setShellOpenerForTest({});
    resetAll();
    ::unsetenv("JORV_APPDATA");
    gf_resetProgramFolders();
  }

  // initInstance on a thread that then runs the message loop; false when it failed.
  bool startGui(std::function<void()> beforeInit = {}) {
    window_ = startGuiThread(gui_, exitCode_, std::move(beforeInit));
    return window_ != ui::Hwnd::null;
  }
  void stopGui() { stopGuiThread(gui_); }

  std::string log() {
    gf_flushLog();
    return testing_support::readFile(root_ / "Log.txt");
  }
  bool enabled(const GuiControl& c) { return ui::isWindowEnabled(c.window); }
  // The status line once the GUI thread has applied what was queued.
  std::string statusLine() {
    ui::driver::sync();
    std::string text;
    ui::driver::runOnGuiThread([&] { text = g_gui.statusLine; });
    return text;
  }

  testing_support::TempDir root_;
  testing_support::ScopedCurrentDir inRoot_{root_.path()};
  std::thread gui_;
  ui::Hwnd window_ = ui::Hwnd::null;
  int exitCode_ = -99;  // the message loop's, once it has ended
};

}  // namespace window_test
