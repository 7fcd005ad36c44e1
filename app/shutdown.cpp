#include "app/shutdown.h"

#include <fmt/format.h>

#include <exception>
#include <memory>
#include <shared_mutex>
#include <string>

#include "app/engine_requests.h"
#include "appbase/gui.h"
#include "app/main_loop.h"
#include "appbase/messages.h"
#include "app/program_entry.h"
#include "appbase/stop_request.h"
#include "app/traffic_source.h"
#include "app/window_seams.h"
#include "app/worker.h"
#include "app/worker_seams.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/background_saver.h"
#include "core/log.h"
#include "core/utc_time.h"
#include "feed/rt_api_session.h"
#include "feed/traffic_mailbox.h"
#include "parking/stand_download.h"
#include "simlink/sim_client.h"
#include "simlink/user_aircraft.h"

bool g_restartPending = false;

namespace {

constexpr std::int64_t kSystemErrorHoldNanos = 25'000'000'000;

struct PostGuard {
  ~PostGuard() { gf_postStartOrExit(); }
};

void lf_joinThread(std::jthread& thread, const char* waiting, const char* stopped) {
  if (!thread.joinable()) return;
  gf_log(waiting);
  thread.join();
  gf_log(stopped);
}

// Waits while the error line is on screen; closing the window ends it.
void lf_holdSystemError() {
  const WorkerSeams& s = gf_workerSeams();
  const std::int64_t end = s.steadyNanos() + kSystemErrorHoldNanos;
  while (!gf_exitRequested() && s.steadyNanos() < end) s.sleepNanos(100'000'000);
}

void lf_resetFeedClients() {
  const WorkerSeams& s = gf_workerSeams();
  if (gf_isRtDirect())
    s.resetRTDirectClients();
  else
    s.resetRTAppReaders();
}

void lf_resetTimeShiftOptions() {
  for (IntListOption* option : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
    option->value = option->clamped(0);
    option->save();
    gf_updateParameterSnapshot(*option);
  }
}

void lf_clearBlockEntries() {
  for (StringOption* option : {&BLOCK_AIRCRAFT, &BLOCK_CALLSIGN, &BLOCK_REGCODE}) {
    if (option->value.load().empty()) continue;
    option->setAndSave("");
    gf_updateParameterSnapshot(*option);
  }
  g_blockTrailingUnderscore = false;
  if (BLOCK_HEXIDDEC.value > 0) {
    BLOCK_HEXIDDEC.setAndSave(BLOCK_HEXIDDEC.clamped(0));
    gf_updateParameterSnapshot(BLOCK_HEXIDDEC);
  }
}

}  // namespace

void lf_closingDown() {
  g_restartPending = false;
  PostGuard postGuard;
  try {
    const WorkerSeams& s = gf_workerSeams();
    std::shared_ptr<const StopRequest> request = gf_stopRequest();
    const StopReason reason = request ? request->reason : StopReason::NotYetSet;
    const std::uint32_t delay = request ? request->restartDelaySeconds : 0;
    const std::string exiting = fmt::format("{} Exiting: {}", gf_utcTimeText(), gf_stopReasonText(reason));
    gf_log(exiting);
    // A run that ends on a fault must not look like a good one to whoever started it.
    if (reason == StopReason::SystemError) gf_setExitCode(1);
    if (reason == StopReason::SystemError || reason == StopReason::TrafficMailboxStalled) gf_sayFaultOnStderr(exiting);
    if (gf_productionMode()) return;

    gf_setMailboxActive(false);

    if (g_simClientThread.joinable()) {
      g_simClientThread.request_stop();
      lf_joinThread(g_simClientThread, "Shutdown cleanup: waiting for SimClient",
                    "Shutdown cleanup: SimClient stopped");
    }

    gf_log("Shutdown cleanup: stopping readers");
    if (gf_isRtDirect())
      s.stopRTDirectReaders();
    else
      s.stopRTAppReaders();
    g_weatherReaderThread.request_stop();
    g_trafficReaderThread.request_stop();
    lf_joinThread(g_weatherReaderThread, "Shutdown cleanup: waiting for weather reader",
                  "Shutdown cleanup: weather reader stopped");
    lf_joinThread(g_trafficReaderThread, "Shutdown cleanup: waiting for traffic reader",
                  "Shutdown cleanup: traffic reader stopped");

    if (gf_isRtDirect() && s.isAuthenticated()) s.deauthenticate();

    if (gf_isRestartReason(reason) && !gf_isRtDirect() && g_rtAppServerStarted) {
      // The next run listens on: a client waiting for the seat (the app behind one that has gone)
      // is asked as soon as its handshake starts, not cut off to connect anew.
      gf_log("Shutdown cleanup: dropping the RT App client; the server listens on");
      s.dropRTAppClient();
    } else {
      gf_log("Shutdown cleanup: closing RT App server");
      s.closeRTAppServer();
      gf_log("Shutdown cleanup: RT App server closed");
    }
    g_rtAppServerStarted = false;

    if (gf_isRtDirect() || (reason == StopReason::NewSettings && RT_CHOISE.value == "RT Direct"))
      s.persistRTAPICooldown();

    if (reason == StopReason::SystemError) lf_holdSystemError();

    if (!gf_parkAirport().code.empty()) {
      s.clearStandSearchHits();
      s.removeAllStaticAndLiveAtAirport();
      s.resetParkAirport();
    }
    gf_setParkAirport(AirportRef{});

    s.clearFailedLiveries();
    s.removeFlightPlanFolder();
    DESTINATION.setAndSave("");
    gf_updateParameterSnapshot(DESTINATION);
    g_tbloMode = false;
    s.clearPerRunNames();

    s.logLiveryMatchingSummary();
    s.saveMyParkAirportsFile();
    s.logUnmatchedLiveries();

    // A stand file still on its way is of no use now; its thread ends within about a second.
    gf_joinParkAirportFetches();
    // Saves handed to the saver are on the disk before the run ends.
    gf_log("Shutdown cleanup: waiting for file saves");
    gf_drainSaves();
    gf_log("Shutdown cleanup: file saves written");

    if (gf_isRestartReason(reason)) {
      g_restartPending = true;
      Gui::enqueueUpdate(gui::ClearError{});
      Gui::enqueueUpdate(gui::ClearMessage{});
      Gui::showMessage("Prepare for a restart ...", true);
      lf_resetFeedClients();
      if (!gf_restartCountdown(delay)) g_restartPending = false;
      if (g_restartPending) {
        gf_logFlush("Restart phase: reinitializing SimConnect state");
        s.resetSimClient();
        gf_logFlush("Restart phase: reinitializing traffic state");
        s.clearTrafficEngine();
        gf_logFlush("Restart phase: reinitializing GUI state");
        Gui::enqueueUpdate(gui::ResetDisplay{});
        gf_logFlush("Restart phase: reinitializing main state");
        lf_resetMainState();
        gf_logFlush("Restart phase: state reinitialization completed");
      }
    } else {
      g_restartPending = false;
      if (gf_isRtDirect() && !g_parameterSnapshot.load()->keepSimTimePar) lf_resetTimeShiftOptions();
      lf_clearBlockEntries();
    }
  } catch (const std::exception& e) {
    g_restartPending = false;
    lf_reportClosingDownException(e.what());
  } catch (...) {
    g_restartPending = false;
    lf_reportClosingDownException("unknown exception");
  }
}

void lf_closingDownGuarded() noexcept {
  try {
    lf_closingDown();
  } catch (...) {
    gf_logNoexcept("lf_closingDown exception: unknown exception");
  }
}

bool gf_restartCountdown(std::uint32_t seconds) {
  const WorkerSeams& s = gf_workerSeams();
  if (seconds < 1) return !gf_exitRequested();
  const bool long_ = seconds > 15;
  if (long_) {
    g_unblockRestart = false;
    if (UNBLOCK_BUTTON.window != ui::Hwnd::null) ui::enableWindow(UNBLOCK_BUTTON.window, true);
  }
  gf_log(fmt::format("Restarting after {} seconds", seconds));
  gf_log(std::string(48, '-'));
  for (std::uint32_t i = 0; i < seconds; ++i) {
    if (gf_exitRequested()) return false;
    if (long_ && g_unblockRestart) return true;
    const std::uint32_t remaining = seconds - i;
    Gui::showMessage(fmt::format("Restarting after {} second{}{}", remaining, remaining == 1 ? "" : "s",
                                 long_ ? "              ( or push Unblock to re-start )" : ""),
                     false);
    // One second in short slices, so that a closed window or Unblock ends it promptly.
    const std::int64_t end = s.steadyNanos() + 1'000'000'000;
    while (!gf_exitRequested() && !(long_ && g_unblockRestart)) {
      const std::int64_t now = s.steadyNanos();
      if (now >= end) break;
      s.sleepNanos(std::min<std::int64_t>(end - now, 100'000'000));
    }
  }
  gf_logFlush("Restart countdown finished");
  return !gf_exitRequested();
}

void lf_resetMainState() noexcept {
  try {
    gf_clearStopRequest();
    g_stepDue = false;
    g_flightPaused = false;
    g_pendingLights = -1;
    gf_workerSeams().publishUserAcPosition(UserAcPosition{});
    g_rtProfessional = false;
    gf_resetMainLoopState();
    gf_resetLastSimTime();
  } catch (const std::exception& e) {
    gf_logNoexcept(fmt::format("lf_resetMainState: {}", e.what()));
  } catch (...) {
    gf_logNoexcept("lf_resetMainState: unknown exception");
  }
}

void lf_reportClosingDownException(const char* text) noexcept {
  try {
    const std::string line = fmt::format("lf_closingDown exception: {}", text);
    gf_logWarning(line);
    Gui::showMessage(line, true);
  } catch (...) {
  }
}

void gf_postStartOrExit() noexcept {
  if (gf_exitRequested()) g_restartPending = false;
  const bool restart = g_restartPending;
  // Whichever way the clean-up ended (a production run skips it, an exception cuts it short),
  // nothing handed to the saver is lost.
  try {
    gf_drainSaves();
  } catch (...) {
  }
  try {
    gf_logFlush(restart ? "Restart cleanup completed; posting MSG_START"
                        : "Shutdown cleanup completed; posting MSG_EXIT");
  } catch (...) {
  }
  try {
    gf_workerSeams().postToWindow(restart ? MSG_START : MSG_EXIT);
  } catch (...) {
    gf_logNoexcept("Posting the end of the run failed");
  }
}
