#include "app/main_loop.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <shared_mutex>

#include "app/engine_requests.h"
#include "appbase/gui.h"
#include "appbase/stop_request.h"
#include "app/traffic_source.h"
#include "app/worker_seams.h"
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/utc_time.h"
#include "feed/rt_api_session.h"
#include "feed/traffic_mailbox.h"
#include "platform/os.h"
#include "traffic/static_stands.h"
#include "simlink/sim_client.h"
#include "simlink/user_aircraft.h"

std::int32_t g_stepCount = 0;
bool g_flightPaused = false;
std::int32_t g_pauseTickCountdown = 100;
bool g_parkingCountdownRestarted = false;
std::atomic<std::int32_t> g_parkingMinutesLeft{20};
std::atomic<std::int32_t> g_parkingCountdown{-1};
std::atomic<bool> g_removeBlockedRequested{false};
std::mutex g_parkingRequestMutex;
ParkingUpdateRequest g_parkingRequest;

namespace {

constexpr std::int64_t kTickNanos = 10'000'000;
constexpr std::int64_t kLateLimitNanos = 100'000'000;
constexpr std::int64_t kMinSleepNanos = 1'000'000;

bool lf_parkingUpdateInProgress() {
  std::lock_guard lock(g_parkingRequestMutex);
  return g_parkingRequest.inProgress;
}

void lf_storeWeekTime() { g_currentWeekTime = gf_weekdayAndHalfHour(); }

}  // namespace

void gf_sendUserPositionToFeed() {
  const WorkerSeams& s = gf_workerSeams();
  if (gf_isRtDirect()) {
    s.updateQueryBox();
    return;
  }
  // Without a server of ours (no PSX_SERVER_HERE, or AEROWINX) there is nobody to send to, and a
  // failed send must not read as "the app is gone".
  if (!g_rtAppServerStarted) return;
  s.sendUserPositionToRTApp();
}

void lf_mainLoop() {
  const WorkerSeams& s = gf_workerSeams();
  const AirportRef park = gf_parkAirport();
  if (!park.code.empty() && gf_isValidLalo(park.position)) {
    if (s.hasAirportData(park.code))
      s.setupParkAirport();
    else
      Gui::showMessage(fmt::format("User aircraft on the ground at {}, no airport file found", park.code.text()), true);
  }

  g_stepCount = 0;
  std::int64_t deadline = s.steadyNanos() + kTickNanos;
  lf_storeWeekTime();
  gf_setMailboxActive(true);
  s.enableBlockField(true);

  os::timeBeginPeriod(1);
  struct PeriodGuard {
    ~PeriodGuard() { os::timeEndPeriod(1); }
  } periodGuard;

  while (lf_tick()) {
    std::int64_t now = s.steadyNanos();
    if (deadline + kLateLimitNanos < now) deadline = now + kTickNanos;
    if (deadline - now >= kMinSleepNanos) s.sleepNanos(deadline - now);
    if (g_stepDue.load())
      deadline = s.steadyNanos() + kTickNanos;
    else
      deadline += kTickNanos;
  }
}

bool lf_tick() {
  const WorkerSeams& s = gf_workerSeams();
  // An app that has gone frees its seat at once, flight running or not.
  if (!gf_watchRTAppSeat()) return false;
  if (g_simState.load() != 2) {
    lf_pauseTick();
    return gf_isRunning();
  }
  const std::int8_t lights = g_pendingLights.exchange(-1);
  if (lights >= 0) s.setParkedNavLights(lights != 0);
  s.handleAddingStack();
  // Every tick, not only at the steps: a search of a second's work is done within a few seconds.
  s.stepStandSearch();
  s.pollRunwayRead();
  // A stop must end the loop even when no step comes any more (the simulator link may have
  // stopped replying), not only right after a step.
  if (!g_stepDue.exchange(false)) return gf_isRunning();

  lf_engineStep();
  if (!gf_isRunning()) return false;
  const std::int32_t n = g_stepCount;
  if (n % 5 == 0) {
    lf_housekeeping();
    return true;
  }
  if (n % 14 == 0 && !lf_parkingUpdateInProgress()) s.handleParkingRequests();
  if (n % 61 == 0) s.checkForAllGndIfParkedVersionExistsAndRemove();
  return true;
}

void lf_pauseTick() {
  const WorkerSeams& s = gf_workerSeams();
  if (!g_flightPaused) {
    gf_setMailboxActive(false);
    g_flightPaused = true;
    g_pauseTickCountdown = 100;
    s.clearAiPoseMaps();
    gf_log(fmt::format("{} Flight not running", gf_utcTimeText()));
  }
  s.processDelayedSimCommands();
  if (--g_pauseTickCountdown <= 0) {
    gf_sendUserPositionToFeed();
    g_pauseTickCountdown = 100;
    s.postAircraftCounts();
    lf_storeWeekTime();
  }
}

void lf_engineStep() {
  const WorkerSeams& s = gf_workerSeams();
  if (const std::int32_t minutes = g_parkingCountdown.exchange(-1); minutes >= 0) {
    g_parkingMinutesLeft = minutes;
    g_parkingCountdownRestarted = true;
  }
  if (g_flightPaused) {
    g_flightPaused = false;
    gf_log(fmt::format("{} Flight resumed", gf_utcTimeText()));
    gf_setMailboxActive(true);
  }
  Gui::enqueueUpdate(gui::ExpireMessage{});
  s.postAircraftCounts();
  s.runDueParkedAcAction();
  lf_storeWeekTime();

  const auto snapshot = g_parameterSnapshot.load();
  if (g_rtProfessional && (!gf_isRtDirect() || snapshot->simTime)) s.followSimTime();

  ++g_stepCount;

  s.matchQueuedStandOption();
  if (g_maxParkSelChanged.exchange(false)) {
    if (const std::int64_t stands = s.standCount(); stands > 0) {
      const std::int32_t before = g_staticTargetCount;
      if (!snapshot->rtParkTrafficOnly) {
        s.setStaticTargetCount();
      } else {
        const std::int64_t target = std::clamp<std::int64_t>(snapshot->maxParkSel, 0, stands);
        const auto percent = static_cast<std::int32_t>(std::lround(static_cast<double>(target) * 100.0 / stands));
        g_staticTargetCount = static_cast<std::int32_t>(target);
        Gui::enqueueUpdate(gui::SetStaticTarget{static_cast<std::int32_t>(target), percent});
      }
      if (g_staticTargetCount < before) s.enforceMaxParked(0);
    }
  }

  if (g_maxLiveSelChanged.exchange(false) && snapshot->maxLiveSel != 500) {
    // Signed: fewer aircraft than the maximum is no excess at all.
    const std::int64_t excess = s.liveAircraftInSim() - static_cast<std::int64_t>(snapshot->maxLiveSel);
    for (std::int64_t i = 0; i < excess; ++i)
      if (!s.removeFurthestLive(-1.0)) break;
  }
  if (g_flushStaticRequested.exchange(false)) s.removeAllStatic();
  if (g_aircraftListRequested.exchange(false)) s.setAircraftList(s.liveAcDescriptions());

  // Height above the ground, not above the sea: a user parked at a field 1,400 ft high would
  // otherwise meet every departure climbing past in the air test.
  const UserAcPosition user = gf_publishedUserAcPosition();
  if (!g_userOnGround.load() || (std::isfinite(user.altitudeAboveGround) && user.altitudeAboveGround > 500.0))
    if (snapshot->collisionUserAir) s.checkParkedAcUserCollisions();
  s.checkLiveWithParkedCollisions();
  if (g_removeBlockedRequested.exchange(false)) s.removeBlockedAc();
  s.resumeParkedWait();
  if (s.standSearchRunning()) Gui::enqueueUpdate(gui::SetSearchHitCount{s.standSearchHits()});
}

void lf_housekeeping() {
  const WorkerSeams& s = gf_workerSeams();
  if (g_removeTwoProps.exchange(false)) s.removeLiveAircraftCategory(1);
  if (g_removeLightAircraft.exchange(false)) s.removeLiveAircraftCategory(0);
  if (g_removeHelicopters.exchange(false)) {
    s.removeLiveAircraftCategory(6);
    s.removeStaticAircraftCategory();
  }
  if (g_removeHighPerfAircraft.exchange(false)) s.removeLiveAircraftCategory(5);

  const UserAcPosition user = gf_publishedUserAcPosition();
  const Lalo centre{user.latitude, user.longitude};
  if (gf_isRtDirect()) {
    s.setRTDirectQueryCentre(centre);
    s.updateQueryBox();
  } else {
    s.setRTAppQueryCentre(centre);
    if (g_rtProfessional) s.sendTimeOffsetToRTApp();
  }
  if (auto stand = s.getUserStand()) s.clearUserDestGate(*stand);
  if (g_stepCount % 15 == 0) lf_minuteWork(g_stepCount);
}

void lf_minuteWork(std::int32_t n) {
  const WorkerSeams& s = gf_workerSeams();
  gf_flushLog();
  std::unique_lock lock(g_parkingRequestMutex);
  if (!g_parkingRequest.inProgress) {
    if (g_parkingRequest.requested != g_parkingRequest.done) {
      g_parkingRequest.inProgressSequence = g_parkingRequest.requested;
      g_parkingRequest.inProgressSecond = g_parkingRequest.second;
      g_parkingRequest.inProgressFlag = g_parkingRequest.flag;
      g_parkingRequest.inProgress = true;
      lock.unlock();
      s.disableParkingControls();
      s.resetParkedTraffic();
    }
  } else {
    const ParkingUpdateRequest taken = g_parkingRequest;
    lock.unlock();
    Gui::enqueueUpdate(gui::ClearError{});
    if (g_tbloMode)
      gf_showTbloMailHint();
    else
      Gui::enqueueUpdate(gui::ClearMessage{});
    bool adjusted = false;
    if (!gf_parkAirport().code.empty() && s.parkAirportHasStands()) {
      Gui::enqueueUpdate(gui::Redraw{REDRAW_PARKING});
      const std::int64_t start = s.steadyNanos();
      s.adjustParking(taken.inProgressFlag);
      adjusted = true;
      const std::int64_t ms = (s.steadyNanos() - start) / 1'000'000;
      // The engine's clock stood still meanwhile; keep its spacing to the feed's stamps.
      if (ms > 4) g_engineTime += static_cast<std::int32_t>((ms + 5) / 10);
    }
    lock.lock();
    g_parkingRequest.done = std::max(g_parkingRequest.done, taken.inProgressSequence);
    if (adjusted && taken.inProgressFlag && g_parkingRequest.second == taken.inProgressSecond)
      g_parkingRequest.flag = false;
    g_parkingRequest.inProgress = false;
  }
  if (lock.owns_lock()) lock.unlock();
  if (n % 30 == 0) lf_readerStateTick();
}

void lf_readerStateTick() {
  const WorkerSeams& s = gf_workerSeams();
  const std::int32_t n = g_stepCount;
  if (g_rematchRequested.exchange(false)) s.clearNoMatchList();
  if (g_feedConnected) {
    Gui::enqueueUpdate(gui::SetWeatherReaderState{s.weatherReceiving() ? 0u : 1u});
    Gui::enqueueUpdate(gui::SetTrafficReaderState{s.trafficReceiving() ? 0u : 1u});
  }
  const auto snapshot = g_parameterSnapshot.load();
  if (snapshot->autoRange) s.autoRange();
  s.removeTCASCoverageAcs();

  if (n % 60 != 0) return;
  if (g_parkingCountdownRestarted) {
    g_parkingCountdownRestarted = false;
  } else {
    if (!gf_isRtDirect() && g_parkingMinutesLeft == 2) s.requestParkedTraffic();
    if (--g_parkingMinutesLeft < 1) {
      g_parkingMinutesLeft = static_cast<std::int32_t>(snapshot->parkingIntervalMinutes);
      bool idle = false;
      {
        std::lock_guard lock(g_parkingRequestMutex);
        idle = g_parkingRequest.requested == g_parkingRequest.done;
      }
      if (s.parkAirportHasStands() && !s.standSearchRunning() && idle) {
        std::lock_guard lock(g_parkingRequestMutex);
        ++g_parkingRequest.requested;
      }
    }
  }
  Gui::enqueueUpdate(gui::SetNextParkingUpdate{static_cast<std::uint32_t>(std::max(0, g_parkingMinutesLeft.load()))});
  if (snapshot->objectIdList) s.writeActiveAcFile();
  if (n % 1200 == 0) {
    s.logUnmatchedLiveries();
    if (n % 86400 == 0) {
      g_stepCount = 0;
      s.logLiveryMatchingSummary();
      s.clearFailedLiveries();
    }
  }
}

void gf_resetMainLoopState() {
  g_stepCount = 0;
  g_flightPaused = false;
  g_pauseTickCountdown = 100;
  g_parkingMinutesLeft = 20;
  g_parkingCountdown = -1;
  g_parkingCountdownRestarted = false;
  g_removeBlockedRequested = false;
  g_currentWeekTime = 0;
  std::lock_guard lock(g_parkingRequestMutex);
  g_parkingRequest = ParkingUpdateRequest{};
}
