#include "app/window_proc.h"

#include <fmt/format.h>

#include <cstdio>
#include <exception>
#include <utility>

#include "app/blocking.h"
#include "app/command_handlers.h"
#include "appbase/gui.h"
#include "app/main_window.h"
#include "appbase/messages.h"
#include "app/option_controls.h"
#include "app/painting.h"
#include "app/program_entry.h"
#include "appbase/stop_request.h"
#include "app/worker.h"
#include "config/keys.h"
#include "config/parameters_file.h"
#include "core/log.h"
#include "core/utc_time.h"

namespace {

// No worker runs (it could not start): nobody else will post MSG_EXIT when the window closes.
bool g_workerless = false;

// A first start that fails is no restart; the window's first MSG_START is the first start.
bool g_startedOnce = false;

// The log may be what failed: the error also goes where an unattended run's starter sees it.
void lf_reportStartFailure(bool restart, std::string_view text) {
  const char* what = restart ? "Restart" : "Start";
  gf_logWarning(fmt::format("{} failed before main thread start: {}", what, text));
  gf_flushLog();
  gf_sayFaultOnStderr(fmt::format("{} failed before main thread start: {}", what, text));
  Gui::showError(fmt::format("{} failed: {}", what, text));
  gf_setExitCode(1);
  g_workerless = true;
}

void lf_start() {
  const bool restart = std::exchange(g_startedOnce, true);
  try {
    g_workerless = false;
    gf_joinMainThread();
    gf_openLog();
    gf_startMainThread();
  } catch (const std::exception& e) {
    lf_reportStartFailure(restart, e.what());
  } catch (...) {
    lf_reportStartFailure(restart, "unknown exception");
  }
}

void lf_exit() {
  gf_joinMainThread();
  gf_saveWindowPosition();
  // Settings that could not be saved are lost with this run: it did not end well.
  if (gf_parametersSaveFailed() && gf_exitCode() == 0) gf_setExitCode(1);
  gf_log(gf_utcDateTimeText());
  gf_flushLog();
  g_gui.beginClosing();
  ui::postQuitMessage(gf_exitCode());
}

void lf_layoutButtonClick(ui::Hwnd hwnd, ui::LParam lParam) {
  const ui::Rect& r = g_gui.layoutButton;
  const int x = ui::xFromLParam(lParam), y = ui::yFromLParam(lParam);
  if (x < r.x || y < r.y || x >= r.x + r.width || y >= r.y + r.height) return;
  Gui::enqueueUpdate(gui::ToggleCompact{});
  ui::invalidateRect(hwnd, std::nullopt, true);
  COLLAPSED.value = g_gui.compact;
  COLLAPSED.save();
}

}  // namespace

ui::LResult WndProc(ui::Hwnd hwnd, std::uint32_t message, ui::WParam wParam, ui::LParam lParam) {
  switch (message) {
    case ui::WM_CREATE:
      gf_setMainWindow(hwnd);
      lf_createOptionControls(hwnd);
      return 0;
    case ui::WM_PAINT:
      gf_paintMainWindow(hwnd);
      return 0;
    case ui::WM_ERASEBKGND:
      return 1;
    case ui::WM_CLOSE:
      Gui::showMessage(fmt::format("{} close window button clicked, closing {} ...", gf_utcTimeText(), "JORV"), false);
      // The window stays until the worker has shut down and posted MSG_EXIT.
      gf_requestStop(StopReason::UserClosedSim, 0);
      if (g_workerless) ui::postMessage(hwnd, MSG_EXIT, 0, 0);
      return 0;
    case ui::WM_DESTROY:
      g_gui.beginClosing();
      ui::postQuitMessage(0);
      return 0;
    case ui::WM_COMMAND:
      if (lf_HandleWMCOMMAND(hwnd, wParam)) return 0;
      return ui::defWindowProc(hwnd, message, wParam, lParam);
    case ui::WM_CTLCOLOREDIT:
    case ui::WM_CTLCOLORSTATIC:
      return 0;  // the layer draws edits and labels on the panel's light blue itself
    case ui::WM_LBUTTONDOWN:
      lf_layoutButtonClick(hwnd, lParam);
      return 0;
    case ui::WM_DPICHANGED:
      gf_applyDpiChange(ui::loWord(wParam), reinterpret_cast<const ui::Rect*>(lParam));
      return 0;
    case MSG_START:
      lf_start();
      return 0;
    case MSG_EXIT:
      lf_exit();
      return 0;
    case MSG_GUI_UPDATE:
      g_gui.drainUpdates();
      return 0;
    case MSG_AIRCRAFT_LIST:
      gf_showAircraftList();
      return 0;
    case MSG_SIM_VERSION:
      gf_switchSimulatorVersion();
      return 0;
    default:
      return ui::defWindowProc(hwnd, message, wParam, lParam);
  }
}
