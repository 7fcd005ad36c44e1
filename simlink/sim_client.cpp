#include "simlink/sim_client.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "appbase/stop_request.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/program.h"
#include "core/text.h"
#include "core/user_exception.h"
#include "core/user_message.h"
#include "core/utc_time.h"
#include "platform/os.h"
#include "simlink/delayed_commands.h"
#include "simlink/sim_client_detail.h"
#include "simlink/sim_commands.h"
#include "simlink/sim_ids.h"
#include "simlink/user_aircraft.h"

std::atomic<std::uint8_t> g_simState{0};

SimConnectHandle g_simConnectHandle = nullptr;
std::unordered_map<std::uint32_t, PendingCreate> g_pendingCreates;
std::unordered_map<std::uint32_t, std::uint32_t> g_createPacketIds;
std::unordered_set<std::uint32_t> g_ownedObjects;
std::unordered_set<std::uint32_t> g_staticObjects;
std::unordered_map<std::uint32_t, std::string> g_objectTailNumbers;
std::unordered_set<std::uint32_t> g_removeRequested;
bool g_simShutdownInProgress = false;
std::uint64_t g_shutdownRemoveRequested = 0;
std::uint64_t g_shutdownRemoveConfirmed = 0;
std::atomic<std::uint32_t> g_nextCreateRequestId{kFirstCreateRequestId};
LastAiPositionUpdate g_lastAiPositionUpdate;
// Last of this file's globals, so that at process exit it is joined before they go.
std::jthread g_simClientThread;

namespace {

std::mutex g_hooksMutex;
std::shared_ptr<const SimLinkHooks> g_hooks = std::make_shared<const SimLinkHooks>();
std::mutex g_timingMutex;
SimClientTiming g_timing;

std::shared_ptr<const SimLinkHooks> lf_hooks() {
  std::lock_guard lock(g_hooksMutex);
  return g_hooks;
}

SimClientTiming lf_timing() {
  std::lock_guard lock(g_timingMutex);
  return g_timing;
}

bool lf_stopping(const std::stop_token& stopToken) { return stopToken.stop_requested() || !gf_isRunning(); }

// Sleeps in short slices so that a stop ends the wait promptly.
void lf_pause(std::chrono::nanoseconds duration, const std::stop_token& stopToken) {
  using namespace std::chrono;
  const auto end = steady_clock::now() + duration;
  while (!lf_stopping(stopToken)) {
    const auto now = steady_clock::now();
    if (now >= end) return;
    std::this_thread::sleep_for(std::min<nanoseconds>(end - now, milliseconds(10)));
  }
}

void lf_closeSimConnect(SimConnectHandle& handle) {
  if (!handle) return;
  if (SimConnect_Close(handle) < 0) {
    gf_logWarning("Closing SimConnect failed?!");
  } else {
    gf_log("SimConnect closed ok");
  }
  handle = nullptr;
}

// Stop reason 1 while the program still runs: the simulator link is gone for good.
void lf_postSimVersion() {
  auto hooks = lf_hooks();
  if (hooks->postSimVersion) hooks->postSimVersion();
}

void lf_shutdownCleanup(SimConnectHandle& handle, DispatchContext& context) {
  if (!g_simConnectHandle) return;
  const SimClientTiming timing = lf_timing();
  g_simShutdownInProgress = true;
  g_removeRequested.clear();
  g_shutdownRemoveRequested = 0;
  g_shutdownRemoveConfirmed = 0;

  lf_dropQueuedCommands();
  {
    std::lock_guard lock(g_simObjectMapMutex);
    g_aiPositionSamples.clear();
  }

  const std::vector<std::uint32_t> owned(g_ownedObjects.begin(), g_ownedObjects.end());
  for (std::uint32_t objectId : owned) {
    g_removeRequested.insert(objectId);
    if (SimConnect_AIRemoveObject(handle, objectId, AI_REMOVE_OBJECT) < 0) {
      g_removeRequested.erase(objectId);
      gf_logWarning(fmt::format("SimConnect shutdown remove failed for object {}", gf_objectIdText(objectId)));
    } else {
      ++g_shutdownRemoveRequested;
    }
  }

  const std::int64_t start = gf_simSteadyNanos();
  while ((!g_removeRequested.empty() || !g_pendingCreates.empty()) && !context.quit) {
    if (gf_simSteadyNanos() - start >= timing.shutdownWait.count()) break;
    const HRESULT hr = SimConnect_CallDispatch(handle, lf_dispatchProc, &context);
    if (hr < 0) {
      gf_log(fmt::format("SimConnect shutdown dispatch failed; hr=0x{:08X} ({})", static_cast<std::uint32_t>(hr),
                         lf_hresultText(hr)));
      lf_logLastAiPositionUpdate();
      break;
    }
    std::this_thread::sleep_for(timing.dispatchPause);
  }

  gf_log(fmt::format(
      "SimConnect shutdown cleanup: initially owned {}, remove requested {}, confirmed {}, pending removals {}, "
      "pending creates {}",
      owned.size(), g_shutdownRemoveRequested, g_shutdownRemoveConfirmed, g_removeRequested.size(),
      g_pendingCreates.size()));

  lf_dropQueuedCommands();
  g_ownedObjects.clear();
  g_aiPositionTracks.clear();  // a track stands for an object of ours
  g_staticObjects.clear();
  g_removeRequested.clear();
  g_pendingCreates.clear();
  g_createPacketIds.clear();
}

// A fresh connection starts without anything of the previous one.
void lf_forgetConnectionState() {
  // The simulator of the old session took its objects with it. The engine hears of each one as
  // removed (after its creation, when that answer still waits), so that it drops their records
  // and creates the traffic anew instead of flying and counting objects that are not there.
  std::vector<DelayedSimCommand> waiting;
  gf_takeDelayedSimCommands(waiting);
  std::vector<DelayedSimCommand> told;
  for (const DelayedSimCommand& command : waiting)
    if (((command.kind == 0 || command.kind == 1) && g_ownedObjects.contains(command.objectId)) || command.kind == 6)
      told.push_back(command);
  std::vector<std::uint32_t> gone(g_ownedObjects.begin(), g_ownedObjects.end());
  std::sort(gone.begin(), gone.end());
  // A creation the old session never answered would leave its aircraft waiting for ever.
  std::vector<std::uint32_t> unanswered;
  for (const auto& [requestId, create] : g_pendingCreates) unanswered.push_back(create.hexid);
  std::sort(unanswered.begin(), unanswered.end());
  g_ownedObjects.clear();
  g_staticObjects.clear();
  g_objectTailNumbers.clear();
  g_lastAiPositionUpdate = {};
  g_removeRequested.clear();
  g_simShutdownInProgress = false;
  g_pendingCreates.clear();
  g_createPacketIds.clear();
  // Tracks and the other answers still waiting for the engine name objects of the old session,
  // which the simulator no longer has.
  lf_forgetTracks();
  gf_clearDelayedSimCommands();
  for (const DelayedSimCommand& command : told) gf_queueDelayedSimCommand(command);
  for (const std::uint32_t objectId : gone)
    gf_queueDelayedSimCommand(DelayedSimCommand{.objectId = objectId, .hexid = kGoneWithSession, .kind = 2});
  for (const std::uint32_t hexid : unanswered)
    gf_queueDelayedSimCommand(DelayedSimCommand{.objectId = kGoneWithSession, .hexid = hexid, .kind = 6});
}

}  // namespace

void gf_setSimLinkHooks(SimLinkHooks hooks) {
  auto shared = std::make_shared<const SimLinkHooks>(std::move(hooks));
  std::lock_guard lock(g_hooksMutex);
  g_hooks = std::move(shared);
}

void gf_setSimClientTimingForTest(const SimClientTiming& timing) {
  std::lock_guard lock(g_timingMutex);
  g_timing = timing;
}

void lf_showError(std::string_view text) {
  auto hooks = lf_hooks();
  if (hooks->showError) {
    hooks->showError(text);
  } else {
    gf_log(fmt::format("Error {}", text));
  }
}

void lf_setSimulatorText(std::string_view text) {
  auto hooks = lf_hooks();
  if (hooks->setSimulatorText) hooks->setSimulatorText(text);
}

void lf_setSimulationRunning(bool running) {
  auto hooks = lf_hooks();
  if (hooks->setSimulationRunning) hooks->setSimulationRunning(running);
}

void lf_clearStatusLine() {
  auto hooks = lf_hooks();
  if (hooks->offlineLearningMode && hooks->offlineLearningMode()) {
    if (hooks->showTbloMailHint) hooks->showTbloMailHint();
  } else if (hooks->clearStatusLine) {
    hooks->clearStatusLine();
  }
}

double lf_rangeNm() {
  auto hooks = lf_hooks();
  return hooks->rangeNm ? hooks->rangeNm() : 40.0;
}

bool lf_reportRequestError() {
  gf_showUserMessage("SimConnect request error", true);
  lf_setSimulationRunning(false);
  g_simState = 3;
  return gf_requestStop(StopReason::SimConnectError, 9);
}

std::string lf_hresultText(HRESULT hr) {
  std::u16string text = gf_systemMessageText(hr);
  while (!text.empty() && (text.back() == u'\t' || text.back() == u'\n' || text.back() == u'\r' || text.back() == u' '))
    text.pop_back();
  if (text.empty()) return "no system description";
  try {
    return wide_to_utf8(text);
  } catch (const std::exception&) {
    return "system description conversion failed";
  }
}

void lf_logLastAiPositionUpdate() {
  const LastAiPositionUpdate& last = g_lastAiPositionUpdate;
  if (!last.valid) {
    gf_log("SimConnect diagnostic: no AI position update recorded");
    return;
  }
  auto tail = g_objectTailNumbers.find(last.objectId);
  const AiPose& p = last.pose;
  gf_log(fmt::format(
      "SimConnect diagnostic: last AI position update tailnumber='{}', objectid={}, result=0x{:08X}, "
      "position={:.6f},{:.6f}, altitude={:.1f} ft, pitch={:.3f} rad, bank={:.3f} rad, heading={:.3f} rad, "
      "VS={:.1f} fpm, TAS={:.1f} kt",
      tail == g_objectTailNumbers.end() ? std::string("unknown") : tail->second, gf_objectIdText(last.objectId),
      static_cast<std::uint32_t>(last.result), p.latitude, p.longitude, p.altitude, p.pitch, p.bank, p.heading,
      p.verticalSpeed, p.airspeedTrue));
}

void SimClient(std::stop_token stopToken) {
  SimConnectHandle handle = nullptr;
  g_simConnectHandle = nullptr;
  bool waitingShown = false;
  DispatchContext context;
  try {
    while (!lf_stopping(stopToken)) {
      const SimClientTiming timing = lf_timing();
      if (!waitingShown) {
        gf_log(" ");
        gf_showUserMessage(fmt::format("Waiting for MSFS 20{} ...", gf_isMsfs2020() ? "20" : "24"), true);
        gf_flushLog();
        waitingShown = true;
      }
      lf_closeSimConnect(handle);
      if (SimConnect_Open(&handle, "JORV", nullptr, 0, nullptr, 0) < 0) {
        handle = nullptr;
        lf_pause(timing.openRetry, stopToken);
        continue;
      }
      g_simConnectHandle = handle;
      lf_forgetConnectionState();
      if (!lf_setupSimConnect()) {
        g_simConnectHandle = nullptr;
        g_simState = 0;
        lf_closeSimConnect(handle);
        lf_pause(timing.openRetry, stopToken);
        continue;
      }
      lf_renewUserOnGroundRequest(handle);

      os::timeBeginPeriod(1);
      context = DispatchContext{};
      while (!stopToken.stop_requested() && !context.quit) {
        const HRESULT hr = SimConnect_CallDispatch(handle, lf_dispatchProc, &context);
        if (hr < 0) {
          gf_log(fmt::format("SimConnect dispatch failed; hr=0x{:08X} ({}); reconnecting ...",
                             static_cast<std::uint32_t>(hr), lf_hresultText(hr)));
          lf_logLastAiPositionUpdate();
          context.quit = true;
          break;
        }
        std::this_thread::sleep_for(lf_timing().dispatchPause);
      }

      if (lf_stopping(stopToken)) {
        if (!context.quit && g_simState != 3) lf_shutdownCleanup(handle, context);
        os::timeEndPeriod(1);
        break;
      }
      g_simState = 0;
      lf_setSimulationRunning(false);
      g_simConnectHandle = nullptr;
      lf_closeSimConnect(handle);
      if (!context.mismatch) {
        waitingShown = false;
        os::timeEndPeriod(1);
        continue;
      }
      gf_log(fmt::format("MSFS and {} do not match, restarting ...", g_programName));
      gf_flushLog();
      lf_postSimVersion();
      os::timeEndPeriod(1);
      break;
    }
  } catch (const jrv::UserRelatedException& e) {
    // A simulator of another kind, or a version mismatch: no stop; the program goes on
    // without a simulator until the user restarts it.
    lf_showError(e.what());
  } catch (const std::exception& e) {
    lf_showError(e.what());
    g_simState = 0;
    gf_reportSimDisconnected();
  } catch (...) {
    lf_showError(fmt::format("Exception in {}", "SimClient"));
    g_simState = 0;
    gf_reportSimDisconnected();
  }
  lf_updateUserStand();
  g_simState = 0;
  g_simConnectHandle = nullptr;
  lf_closeSimConnect(handle);
}

void gf_initSimClient() {
  g_aiLastPoses.reserve(512);
  g_aiPositionSamples.reserve(512);
  g_aiPositionSamplesTaken.reserve(512);
  g_aiPositionTracks.reserve(512);
  {
    std::lock_guard lock(g_simObjectMapMutex);
    g_aiLastPoses.clear();
    g_aiPositionSamples.clear();
    ++g_aiMapGeneration;
  }
  lf_dropQueuedCommands();
  lf_reserveCommandVectors();
}

void gf_resetSimClient() {
  {
    std::lock_guard lock(g_simObjectMapMutex);
    g_aiLastPoses.clear();
    g_aiPositionSamples.clear();
    g_aiPositionSamplesTaken.clear();
    ++g_aiMapGeneration;
  }
  lf_dropQueuedCommands();
  lf_forgetUserOnGroundRequest();
  g_pendingCreates.clear();
  g_createPacketIds.clear();
  g_staticObjects.clear();
  g_objectTailNumbers.clear();
  g_simConnectHandle = nullptr;
  g_lastAiPositionUpdate = {};
  g_simState = 0;
  lf_resetUserAircraft();
  gf_clearDelayedSimCommands();
}

void gf_resetSimClientForTest() {
  gf_resetSimClient();
  g_ownedObjects.clear();
  g_removeRequested.clear();
  g_simShutdownInProgress = false;
  g_shutdownRemoveRequested = 0;
  g_shutdownRemoveConfirmed = 0;
  g_nextCreateRequestId = kFirstCreateRequestId;
  lf_forgetTracks();
  gf_setSimLinkHooks({});
  gf_setSimClientTimingForTest({});
  gf_setSimSteadyClockForTest({});
  g_userInfoReceived = 0;
  g_stepDue = false;
}
