#include "traffic/adding_stack.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "appbase/gui.h"
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/utc_time.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_app_traffic.h"
#include "feed/traffic_mailbox.h"
#include "liveries/failed_liveries.h"
#include "refdata/airports.h"
#include "simlink/sim_commands.h"
#include "simlink/stand_slots.h"
#include "simlink/stand_table.h"
#include "simlink/user_aircraft.h"
#include "traffic/decode_message.h"
#include "traffic/delayed_sim_commands.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/live_registry.h"
#include "traffic/live_update.h"
#include "traffic/sim_events.h"
#include "traffic/static_stands.h"
#include "traffic/traffic_exceptions.h"

namespace {

constexpr std::int32_t kRemovalPeriod = 10;
constexpr std::int32_t kCreationPeriod = 2;  // removal periods
constexpr std::int32_t kRequestPeriod = 20;
constexpr std::int32_t kOverlapPeriod = 20;
constexpr std::int32_t kSideListPeriod = 6000;  // a minute

bool lf_due(std::int32_t& counter, std::int32_t period) {
  if (++counter < period) return false;
  counter = 0;
  return true;
}

// An aircraft whose update failed goes, so that one bad record cannot fail every step.
void lf_removeFaulted(LiveAc& aircraft) {
  try {
    gf_engineHooks().removeAircraftFromSim(aircraft);
  } catch (...) {
    gf_reportTrafficException("lf_updatePass");
  }
  // Nothing of it exists in or waits for the simulator: the record can go at once.
  if (aircraft.simState == SimStatus::buffer) aircraft.dropFromRegistry = true;
}

void lf_eraseMarkedLiveAcs() {
  const auto marked = [](const LiveAc& a) { return a.dropFromRegistry || a.createCancelled; };
  for (LiveAc& aircraft : g_liveAcs) {
    if (!marked(aircraft)) continue;
    try {
      lf_cleanupLiveAircraft(aircraft);
    } catch (...) {
      gf_reportTrafficException("lf_updatePass");
    }
  }
  std::erase_if(g_liveAcs, marked);
}

void lf_eraseDroppedStaticAcs() {
  const EngineHooks& hooks = gf_engineHooks();
  const auto marked = [](const StaticAc& a) { return a.dropFromRegistry || a.createCancelled; };
  for (const StaticAc& aircraft : g_staticAcs)
    if (marked(aircraft)) hooks.forgetAircraft(aircraft.hexid, aircraft.objectId);
  std::erase_if(g_staticAcs, marked);
}

// A static aircraft bearing the registration of a live one about to be created, whose removal
// still waits its turn: it goes first, and the live one waits for it, so the simulator never
// shows one registration twice.
bool lf_sameRegistrationStillShown(const AiCreateRequest& request) {
  if (request.tailNumber.empty()) return false;
  for (const StaticAc& aircraft : g_staticAcs) {
    if (aircraft.simState != SimStatus::removingfromsim || aircraft.registration != request.tailNumber) continue;
    const auto queued = std::find(g_removeStack.begin(), g_removeStack.end(), aircraft.objectId);
    if (queued == g_removeStack.end()) continue;
    g_removeStack.erase(queued);
    g_removeStack.push_front(aircraft.objectId);
    return true;
  }
  return false;
}

void lf_feedSimulatorLink() {
  AddingStackCounters& counters = g_addingStackCounters;
  if (!lf_due(counters.removal, kRemovalPeriod)) return;
  if (!g_liveCreateQueue.empty() && lf_sameRegistrationStillShown(g_liveCreateQueue.front())) {
    gf_queueRemoveAiObject(g_removeStack.front());
    g_removeStack.pop_front();
    lf_due(counters.creation, kCreationPeriod);  // the creation's turn passes while the static goes
    return;
  }
  if (!g_removeStack.empty()) {
    gf_queueRemoveAiObject(g_removeStack.front());
    g_removeStack.pop_front();
  }
  if (!lf_due(counters.creation, kCreationPeriod)) return;
  if (!g_liveCreateQueue.empty()) {
    gf_queueCreateAiObject(g_liveCreateQueue.front());
    g_liveCreateQueue.pop_front();
    return;
  }
  if (!g_staticCreateQueue.empty()) {
    gf_queueCreateAiObject(g_staticCreateQueue.front());
    g_staticCreateQueue.pop_front();
  }
  const EngineHooks& hooks = gf_engineHooks();
  if (hooks.standSearchHits() > 0) hooks.placeStaticAircraft();
}

AiCreateRequest lf_createRequest(const LiveAc& aircraft) {
  AiCreateRequest request;
  request.position.latitude = aircraft.position.lat;
  request.position.longitude = aircraft.position.lon;
  request.position.altitude = aircraft.altitude;
  request.position.pitch = aircraft.pitch * geo::kRadToDeg;
  request.position.bank = aircraft.bank * geo::kRadToDeg;
  request.position.heading = aircraft.heading * geo::kRadToDeg;
  // The simulator then stands it on its own ground, whatever our altitude for it is worth.
  request.position.onGround = !aircraft.stream.empty() && !aircraft.stream.front().airborne ? 1 : 0;
  request.tailNumber = aircraft.registration;
  request.containerTitle = std::string(aircraft.matchedTitle);
  request.hexid = aircraft.hexid;
  return request;
}

void lf_queueNextCreateRequest() {
  if (g_addingStack.empty()) return;
  const std::uint32_t hexid = g_addingStack.back();
  g_addingStack.pop_back();
  const LiveAc* aircraft = gf_findLiveAc(hexid);
  if (!aircraft) return;  // erased meanwhile
  if (aircraft->callsign.empty())
    gf_logWarning(fmt::format("{} {} callsign empty", "lf_handleAddingStack", aircraft->toString()));
  else
    g_liveCreateQueue.push_back(lf_createRequest(*aircraft));
}

// Flat distance test of two circles, 60 NM per degree.
bool lf_circlesMeet(const LiveAc& a, const LiveAc& b) {
  const double reach = a.groundRadius + b.groundRadius;
  if (!(reach > 0.0)) return false;
  const double cosLat = std::cos(a.position.lat * geo::kDegToRad);
  const double dy = (b.position.lat - a.position.lat) * 60.0;
  const double dx = gf_wrapLongitude(b.position.lon - a.position.lon) * 60.0 * cosLat;
  return dx * dx + dy * dy <= reach * reach;
}

bool lf_blocksWaiting(const LiveAc& other, const LiveAc& waiting) {
  if (&other == &waiting || other.simState != SimStatus::active || !other.onGround) return false;
  if (other.objectId == waiting.objectId) return false;
  const bool moving = other.state == FlightPhase::taxi || other.state == FlightPhase::takeoff_roll ||
                      other.state == FlightPhase::landing_roll;
  return moving && lf_circlesMeet(waiting, other);
}

// An aircraft waiting on predicted positions that a moving aircraft runs into goes.
void lf_overlapPass() {
  const EngineHooks& hooks = gf_engineHooks();
  for (LiveAc& waiting : g_liveAcs) {
    if (!waiting.predictActive) continue;
    const bool blocked = std::any_of(g_liveAcs.begin(), g_liveAcs.end(),
                                     [&](const LiveAc& other) { return lf_blocksWaiting(other, waiting); });
    if (!blocked) continue;
    gf_resetPrediction(waiting);
    try {
      hooks.removeAircraftFromSim(waiting);
    } catch (...) {
      gf_reportTrafficException("lf_handleAddingStack");
    }
  }
}

void lf_removeLive(LiveAc& aircraft, std::string_view passName) {
  try {
    gf_engineHooks().removeAircraftFromSim(aircraft);
  } catch (...) {
    gf_reportTrafficException(passName);
  }
}

// Every table of the engine and what it shares with the stand tables.
void lf_resetEngine() {
  gf_resetEngineTables();
  gf_resetStandTables();
}

}  // namespace

void lf_handleAddingStack() {
  gf_processDelayedSimCommands();
  gf_followQnh();
  lf_updatePass();
  lf_feedSimulatorLink();
  gf_drainTrafficMailbox();
  lf_queueNextCreateRequest();
  lf_userAircraftTick();
  if (lf_due(g_addingStackCounters.overlap, kOverlapPeriod)) lf_overlapPass();
  if (lf_due(g_addingStackCounters.sideLists, kSideListPeriod)) gf_ageSideLists();
  ++g_engineTime;
}

void lf_updatePass() {
  const EngineHooks& hooks = gf_engineHooks();
  const ParkAirportPass park;
  bool erase = false;
  PoseBatch poses;
  // By index: a record's update may reach the table itself.
  for (std::size_t i = 0; i < g_liveAcs.size(); ++i) {
    // The streams lie elsewhere on the heap: the next aircraft's first points are fetched while
    // this one moves, and the records of the ones after them to find those points.
    if (i + 4 < g_liveAcs.size()) {
      const auto* stream = reinterpret_cast<const char*>(&g_liveAcs[i + 4].stream);
      __builtin_prefetch(stream);
      __builtin_prefetch(stream + sizeof(g_liveAcs[i + 4].stream) - 1);
    }
    if (i + 2 < g_liveAcs.size()) g_liveAcs[i + 2].stream.prefetchFront();
    try {
      erase |= hooks.updateLiveAc(g_liveAcs[i]);
    } catch (...) {
      gf_reportTrafficException("lf_updatePass");
      if (i >= g_liveAcs.size()) break;
      lf_removeFaulted(g_liveAcs[i]);
      erase |= g_liveAcs[i].dropFromRegistry || g_liveAcs[i].createCancelled;
    }
  }
  // Before any removal of this tick reaches the link, as when each pose went on its own.
  try {
    poses.handOver();
  } catch (...) {
    gf_reportTrafficException("lf_updatePass");
  }
  if (erase) lf_eraseMarkedLiveAcs();
  if (g_staticDropPending) {
    g_staticDropPending = false;
    lf_eraseDroppedStaticAcs();
  }
  // The AI positions the link reported are kept, 16 per object, by the link itself.
}

void lf_userAircraftTick() {
  AddingStackCounters& counters = g_addingStackCounters;
  if (lf_due(counters.aiRequest, kRequestPeriod)) gf_queueSimCommand(SimCommand{0, 0});
  if (!lf_due(counters.userRequest, kRequestPeriod)) return;
  gf_queueSimCommand(SimCommand{3, 0});
  const UserAcPosition user = gf_getUserAcPosition();
  gf_publishUserAcPosition(user);
  const EngineHooks& hooks = gf_engineHooks();
  const bool low = !std::isfinite(user.altitudeAboveGround) || user.altitudeAboveGround <= 500.0;
  if (g_userOnGround.load() && low && g_parameterSnapshot.load()->collisionUserGnd) hooks.checkUserAcGndCollisions();
  if (!gf_isRtDirect()) hooks.sendUserPositionToRTApp();
}

void gf_initTrafficEngine() {
  lf_resetEngine();
  g_liveAcs.reserve(512);
  g_staticAcs.reserve(256);
  g_addingStack.reserve(64);
  g_ghostCallsigns.reserve(64);
  g_parkedAcActions.reserve(24);
  g_takenDelayedCommands.reserve(256);
  g_pendingDelayedCommands.reserve(128);
  gf_publishStandPositions();
}

void gf_clearTrafficEngine() {
  const EngineHooks& hooks = gf_engineHooks();
  hooks.clearParkingState();
  if (gf_isRtDirect())
    g_rtApiTrafficClient.setParkAirportElevation(std::nullopt);
  else
    g_rtAppTrafficReader.setParkAirportElevation(std::nullopt);
  Gui::enqueueUpdate(gui::SetLiveAircraftCount{0});
  Gui::enqueueUpdate(gui::SetParkedCounts{0, 0});
  gf_clearTrafficMailbox();
  lf_resetEngine();
  gf_publishStandPositions();
  g_currentWeekTime = 0;
  g_unmatchedLiveries.clear();
}

void gf_removeBlockedAc() {
  const auto snapshot = g_parameterSnapshot.load();
  const SnapshotAcIdentity& blocked = snapshot->blocked;
  const auto first = [](auto matches) -> LiveAc* {
    for (LiveAc& aircraft : g_liveAcs)
      if (aircraft.simState == SimStatus::active && matches(aircraft)) return &aircraft;
    return nullptr;
  };
  LiveAc* target = nullptr;
  if (blocked.hexid != 0) target = first([&](const LiveAc& a) { return a.hexid == blocked.hexid; });
  if (!target && !blocked.callsign.empty())
    target = first([&](const LiveAc& a) { return a.callsign == blocked.callsign; });
  if (!target && !blocked.regcode.empty())
    target = first([&](const LiveAc& a) { return a.registration == blocked.regcode; });
  if (target) lf_removeLive(*target, "gf_removeBlockedAc");
}

bool lf_isThisTheFurthestLive(double distanceNm) {
  try {
    const UserAcPosition& user = g_workerUserAcPosition;
    const Lalo centre{user.latitude, user.longitude};
    const double cosLat = std::cos(centre.lat * geo::kDegToRad);
    double threshold = distanceNm < 0.0 ? -1.0 : distanceNm + 0.1;
    LiveAc* furthest = nullptr;
    for (LiveAc& aircraft : g_liveAcs) {
      if (aircraft.simState != SimStatus::active) continue;
      const double dy = (aircraft.position.lat - centre.lat) * 60.0;
      const double dx = gf_wrapLongitude(aircraft.position.lon - centre.lon) * 60.0 * cosLat;
      if (!(std::sqrt(dx * dx + dy * dy) > threshold)) continue;
      const double greatCircle = gf_distanceNm(centre, aircraft.position);
      if (greatCircle > threshold) {
        furthest = &aircraft;
        threshold = greatCircle;
      }
    }
    if (!furthest) return true;
    gf_engineHooks().removeAircraftFromSim(*furthest);
    return false;
  } catch (...) {
    gf_reportTrafficException("lf_isThisTheFurthestLive");
    return false;
  }
}

void gf_runDueParkedAcAction() {
  if (g_parkedAcActions.empty()) return;
  const ParkedAcAction action = g_parkedAcActions.back();
  if (g_engineTime.load() < action.due) return;
  g_parkedAcActions.pop_back();
  const auto parked = std::find_if(g_liveAcs.begin(), g_liveAcs.end(), [&](const LiveAc& a) {
    return a.hexid == action.hexid && a.state == FlightPhase::parked;
  });
  if (parked == g_liveAcs.end()) return;
  switch (action.action) {
    case 0:
      gf_queueEngineShutdown(parked->objectId);
      break;
    case 1: {
      const std::uint32_t taxiIn[7] = {1, 0, 0, 1, 0, 1, 1};
      gf_queueLightEvents(parked->objectId, taxiIn);
      break;
    }
    case 2:
      gf_queueLightSet(parked->objectId, gf_parkedLightSet(parked->standCargo));
      break;
    default:
      break;
  }
}

void gf_removeTCASCoverageAcs() {
  const double ceilingFt = g_parameterSnapshot.load()->tcasFl * 100.0 - 1000.0;
  for (LiveAc& aircraft : g_liveAcs) {
    if (aircraft.simState != SimStatus::active || !aircraft.tcasCoverage || !(aircraft.altitude < ceilingFt)) continue;
    try {
      gf_forgetLiveryChoice(aircraft.hexid);
      gf_engineHooks().removeAircraftFromSim(aircraft);
    } catch (...) {
      gf_reportTrafficException("gf_removeTCASCoverageAcs");
    }
  }
}

std::int64_t gf_liveAircraftInSim() {
  return std::count_if(g_liveAcs.begin(), g_liveAcs.end(),
                       [](const LiveAc& a) { return a.simState == SimStatus::active; });
}

void gf_setupParkAirport() {
  const EngineHooks& hooks = gf_engineHooks();
  if (const std::optional<std::string> failure = hooks.readParkedFile()) {
    if (hooks.parkFileFetching()) return;  // asked again once the file is in
    hooks.parkingGenerationDone();
    Gui::showMessage(*failure, true);
    hooks.resetParkAirport();
    return;
  }
  hooks.restartParkingCountdown();
  const std::int64_t start = hooks.steadyNanos();
  hooks.populateParkAirport();
  const std::int64_t ms = (hooks.steadyNanos() - start) / 1'000'000;
  if (ms >= 5) g_engineTime += static_cast<std::int32_t>((ms + 5) / 10);
}

void gf_handleParkingRequests() {
  const EngineHooks& hooks = gf_engineHooks();
  if (hooks.parkingGenerating() && hooks.standSearchHits() == 0) {
    hooks.parkingGenerationDone();
    gf_countParkedStatic(true);
    gf_countParkedLive(true);
  }
  if (hooks.takeParkRequest()) {
    gf_setupParkAirport();
    return;
  }
  const UserAcPosition& user = g_workerUserAcPosition;
  if (!gf_isUserPositionKnown(user)) return;
  const auto snapshot = g_parameterSnapshot.load();
  if (snapshot->destination.empty() && !g_userOnGround.load() && user.altitudeAboveGround < snapshot->airpHeight)
    hooks.frontNearestParkAirport();
  const std::optional<Lalo> park = gf_feedParkAirport();
  if (park && gf_isValidLalo(*park))
    hooks.checkParkAirportReach();
  else
    hooks.chooseParkAirport();
}
