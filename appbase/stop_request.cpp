#include "appbase/stop_request.h"

#include <fmt/format.h>

#include <array>
#include <atomic>

#include "config/sim_choice.h"
#include "core/atomic_shared_ptr.h"
#include "core/log.h"
#include "core/program.h"
#include "core/utc_time.h"

namespace {

AtomicSharedPtr<const StopRequest>& lf_request() {
  static AtomicSharedPtr<const StopRequest> request;
  return request;
}

std::atomic<bool> g_exitRequested{false};
std::atomic<void (*)()> g_rtAppServerCloser{nullptr};

}  // namespace

std::string_view gf_stopReasonText(StopReason reason) {
  static constexpr std::array<std::string_view, 11> texts{
      "NOT YET SET",      "SIM WAS CLOSED",   "NEW FLIGHT",   "NEW SETTINGS", "USER CLOSED SIM",        "INSTALL PATH MISSING",
      "SIMCONNECT ERROR", "READER ERROR",     "SYSTEM ERROR", "NEW VERSION",  "TRAFFIC MAILBOX STALLED"};
  const auto index = static_cast<std::uint32_t>(reason);
  return index < texts.size() ? texts[index] : "NOT YET SET";
}

bool gf_isRestartReason(StopReason reason) {
  return reason == StopReason::NewFlight || reason == StopReason::NewSettings ||
         reason == StopReason::SimConnectError || reason == StopReason::ReaderError;
}

bool gf_requestStop(StopReason reason, std::uint32_t restartDelaySeconds) {
  auto request = std::make_shared<const StopRequest>(StopRequest{reason, restartDelaySeconds});
  std::shared_ptr<const StopRequest> expected;
  const bool stored = lf_request().compare_exchange_strong(expected, std::move(request));
  if (reason == StopReason::UserClosedSim) {
    g_exitRequested = true;
    if (!gf_isRtDirect())
      if (auto closer = g_rtAppServerCloser.load()) closer();
  }
  return stored;
}

bool gf_isRunning() { return !lf_request().load() && !g_exitRequested.load(); }

std::shared_ptr<const StopRequest> gf_stopRequest() { return lf_request().load(); }

bool gf_exitRequested() { return g_exitRequested.load(); }

void gf_requestRestartNewFlight() { gf_requestStop(StopReason::NewFlight, 60); }

bool gf_reportSimDisconnected() {
  if (!gf_isRunning()) return false;
  gf_log(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", gf_utcTimeText(), g_programName));
  gf_requestStop(StopReason::SimWasClosed, 0);
  return true;
}

void gf_clearStopRequest() { lf_request().store(nullptr); }

void gf_setRTAppServerCloser(void (*closer)()) { g_rtAppServerCloser = closer; }

void gf_resetStopStateForTest() {
  lf_request().store(nullptr);
  g_exitRequested = false;
  g_rtAppServerCloser = nullptr;
}
