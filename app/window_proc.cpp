#include "app/window_proc.h"

#include <fmt/format.h>

#include <exception>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/program_entry.h"
#include "app/stop_request.h"
#include "app/worker.h"
#include "core/log.h"
#include "core/utc_time.h"

namespace {

void lf_start() {
  try {
    gf_joinMainThread();
    gf_openLog();
    gf_startMainThread();
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("Restart failed before main thread start: {}", e.what()));
    gf_flushLog();
  } catch (...) {
    gf_logWarning("Restart failed before main thread start: unknown exception");
  }
}

}  // namespace

ui::LResult WndProc(ui::Hwnd hwnd, std::uint32_t message, ui::WParam wParam, ui::LParam lParam) {
  switch (message) {
    case ui::WM_CREATE:
      gf_setMainWindow(hwnd);
      return 0;
    case ui::WM_CLOSE:
      // The window stays until the worker has shut down and posted MSG_EXIT.
      gf_requestStop(StopReason::UserClosedSim, 0);
      return 0;
    case ui::WM_DESTROY:
      ui::postQuitMessage(0);
      return 0;
    case MSG_START:
      lf_start();
      return 0;
    case MSG_EXIT:
      gf_joinMainThread();
      gf_log(gf_utcDateTimeText());
      gf_flushLog();
      ui::postQuitMessage(gf_exitCode());
      return 0;
    default:
      return ui::defWindowProc(hwnd, message, wParam, lParam);
  }
}
