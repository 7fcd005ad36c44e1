#include "app/worker.h"

#include <fmt/format.h>

#include <chrono>
#include <exception>
#include <thread>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/stop_request.h"
#include "core/log.h"
#include "core/utc_time.h"

namespace {

std::jthread& lf_mainThread() {
  static std::jthread thread;
  return thread;
}

// Sleeps in short steps so that a closed window ends the wait promptly.
void lf_countdown(std::uint32_t seconds) {
  using namespace std::chrono;
  const auto end = steady_clock::now() + std::chrono::seconds(seconds);
  while (steady_clock::now() < end && !gf_exitRequested()) std::this_thread::sleep_for(milliseconds(50));
}

void lf_closingDown() {
  auto request = gf_stopRequest();
  const StopRequest stop = request ? *request : StopRequest{};
  gf_logFlush(fmt::format("{} Exiting: {}", gf_utcTimeText(), gf_stopReasonText(stop.reason)));
  if (gf_isRestartReason(stop.reason) && !gf_exitRequested()) {
    lf_countdown(stop.restartDelaySeconds);
    if (!gf_exitRequested()) {
      gf_clearStopRequest();
      ui::postMessage(gf_mainWindow(), MSG_START, 0, 0);
      return;
    }
  }
  ui::postMessage(gf_mainWindow(), MSG_EXIT, 0, 0);
}

void lf_main(std::stop_token stopToken) {
  try {
    while (gf_isRunning() && !stopToken.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("Exception in {}: {}", "lf_main", e.what()));
  }
  lf_closingDown();
}

}  // namespace

void gf_startMainThread() {
  gf_joinMainThread();
  lf_mainThread() = std::jthread(lf_main);
}

void gf_joinMainThread() {
  if (lf_mainThread().joinable()) lf_mainThread().join();
}
