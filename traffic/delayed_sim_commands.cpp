#include "traffic/delayed_sim_commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/user_exception.h"
#include "feed/traffic_mailbox.h"
#include "liveries/failed_liveries.h"
#include "simlink/sim_commands.h"
#include "simlink/sim_ids.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/flat_frame.h"
#include "traffic/removal.h"
#include "traffic/sim_events.h"
#include "traffic/spawning.h"
#include "traffic/stand_names.h"
#include "traffic/static_stands.h"
#include "traffic/touchdown.h"
#include "traffic/traffic_exceptions.h"

void lf_takeOutTheWait(LiveAc& aircraft, bool firstFrame = false);

namespace {

constexpr std::int32_t kFirstApplyAge = 200;        // ticks: the soonest a new object is finished
constexpr std::int32_t kLastApplyAge = 500;         // ticks: the longest a parked one waits for its data
constexpr std::uint32_t kFirstStaticHexid = 10000;  // hexids above are live flights
constexpr std::int32_t kTooManyRefusedLiveries = 81;
constexpr std::uint32_t kFirstObjectId = 3;  // the simulator's ids below are not AI objects
constexpr double kGroundReportReachFt = 100.0;  // above the CG height: far more than a report's lag

void lf_eraseStatic(const StaticAc& aircraft) {
  gf_engineHooks().forgetAircraft(aircraft.hexid, aircraft.objectId);
  std::erase_if(g_staticAcs, [&aircraft](const StaticAc& a) { return &a == &aircraft; });
}

// The record went while its object was on the way; nobody else would ever remove the object.
void lf_removeOrphan(const DelayedSimCommand& command) {
  if (command.objectId < kFirstObjectId) return;
  gf_logWarning(fmt::format("{} hexid:{:x} created with object id {} after its record was gone, removed",
                            "gf_processDelayedSimCommands", command.hexid, command.objectId));
  g_removeStack.push_back(command.objectId);
}

void lf_objectCreated(const DelayedSimCommand& command) {
  LiveAc* aircraft = gf_findLiveAc(command.hexid);
  if (!aircraft) {
    lf_removeOrphan(command);
    return;
  }
  if (lf_attachCreatedLiveObject(*aircraft, command)) {
    g_pendingDelayedCommands.push_back(command);
    return;
  }
  // No object of ours has such an id: the record would wait in simState 1 for ever.
  gf_logWarning(fmt::format("{} {} created with object id {}, dropped", "gf_processDelayedSimCommands",
                            aircraft->callsign, command.objectId));
  aircraft->dropFromRegistry = true;
}

void lf_staticObjectCreated(const DelayedSimCommand& command) {
  StaticAc* aircraft = gf_findStaticAc(command.hexid);
  if (!aircraft) {
    lf_removeOrphan(command);
    return;
  }
  aircraft->objectId = command.objectId;
  gf_requestInitialAiPose(command.objectId);
  gf_requestStaticCg(command.objectId);
  g_pendingDelayedCommands.push_back(command);
}

// True when a static aircraft went with the simulator's old session.
bool lf_objectRemoved(const DelayedSimCommand& command) {
  const bool goneWithSession = command.hexid == kGoneWithSession;
  LiveAc* aircraft = gf_findLiveAcByObjectId(command.objectId);
  if (!aircraft) {
    StaticAc* parked = gf_findStaticAcByObjectId(command.objectId);
    if (!parked) return false;
    lf_eraseStatic(*parked);
    return goneWithSession;
  }
  // In the air on its last extension, a new object would hang where it is made and go at once.
  const bool spent = !aircraft->onGround && (aircraft->extensionCount == 1 || aircraft->extensionCount < 0);
  if (goneWithSession && aircraft->simState == SimStatus::active && !spent) {
    gf_recreateLostLiveAc(*aircraft);
    return false;
  }
  if (goneWithSession && aircraft->simState == SimStatus::active)
    gf_log(fmt::format("{} {} lost with the simulator's session on its last extension, not created again",
                       aircraft->callsign, aircraft->registration));
  if (aircraft->simState == SimStatus::liveryrespawn) {
    // Replaced: the update pass creates it anew.
    aircraft->simState = SimStatus::buffer;
    aircraft->throttleStep = 5;
    aircraft->flapsIndex = 4;
    aircraft->objectId = 0;
    return false;
  }
  gf_engineHooks().eraseLiveAc(*aircraft);
  return false;
}

// The simulator's on-ground flag; away from the approach only when the same report's ground lies
// near the aircraft: a stale flag must not pull a climbing flight back onto the runway.
bool lf_reportedOnItsGround(const LiveAc& aircraft, const DelayedSimCommand& command) {
  if (command.hexid != 1) return false;
  if (aircraft.state == FlightPhase::landing) return true;
  const double cg = std::isfinite(aircraft.cgHeightFt) ? std::max(aircraft.cgHeightFt, 0.0) : 0.0;
  return !(aircraft.altitude - command.value1 > cg + kGroundReportReachFt);
}

void lf_groundReport(const DelayedSimCommand& command) {
  LiveAc* aircraft = gf_findLiveAcByObjectId(command.objectId);
  if (!aircraft) return;
  if (lf_reportedOnItsGround(*aircraft, command) && !aircraft->onGround && aircraft->groundCounter < 2)
    lf_touchDown(*aircraft);
  lf_applyGroundReport(*aircraft, command);
  // Its height over the ground drawn from the simulator's own: a rolling one made may roll on.
  if (aircraft->simState == SimStatus::adding2sim && aircraft->onGround && aircraft->cgKnown &&
      std::exchange(aircraft->rollsWhenGrounded, false)) {
    aircraft->movesWhileCreated = true;
    // Made again where it was, it rolls on along the leg its old object was on: moving first off
    // the point it was made on, it planned a straight leg from there, its turn off the runway and
    // the nose's way round lost.
    lf_takeOutTheWait(*aircraft);
  }
}

void lf_staticCg(const DelayedSimCommand& command) {
  if (LiveAc* aircraft = gf_findLiveAcByObjectId(command.objectId)) {
    gf_applyStaticPose(*aircraft, command);
    lf_applyParkedAltitude(*aircraft);
  }
  if (StaticAc* parked = gf_findStaticAcByObjectId(command.objectId)) gf_applyStaticPose(*parked, command);
}

void lf_initialPose(const DelayedSimCommand& command) {
  AiPose pose = command.pose;
  if (!gf_isValidLalo({pose.latitude, pose.longitude}) || !std::isfinite(pose.pitch) || !std::isfinite(pose.bank) ||
      !std::isfinite(pose.heading) || !std::isfinite(pose.altitude))
    return;
  pose.heading = gf_normalizeAngle(pose.heading);
  if (command.objectId == 0) return;
  for (LiveAc& aircraft : g_liveAcs) {
    if (aircraft.objectId != command.objectId || aircraft.simState != SimStatus::adding2sim) continue;
    aircraft.initialPose = pose;
    aircraft.poseKnown = true;
    lf_applyParkedPose(aircraft);
    break;
  }
  if (StaticAc* parked = gf_findStaticAcByObjectId(command.objectId)) {
    parked->initialPose = pose;
    parked->poseKnown = true;
  }
}

// The livery goes on the refused list; a 20th refused livery throws (code 81) and ends the run,
// after the record has gone.
template <class Aircraft, class Erase>
void lf_reportRefused(Aircraft& aircraft, Erase erase) {
  try {
    gf_reportLiveryCreateFailure(aircraft, aircraft.matchedTitle);
  } catch (...) {
    erase(aircraft);
    throw;
  }
  erase(aircraft);
}

// True when a static aircraft's creation went with the simulator's old session.
bool lf_createLostWithSession(const DelayedSimCommand& command) {
  if (command.hexid > kFirstStaticHexid) {
    // Not the livery's fault: the update pass asks the new session for it.
    if (LiveAc* aircraft = gf_findLiveAc(command.hexid); aircraft && aircraft->simState == SimStatus::adding2sim) {
      aircraft->simState = SimStatus::buffer;
      aircraft->objectId = 0;
    }
    return false;
  }
  StaticAc* parked = gf_findStaticAc(command.hexid);
  if (!parked) return false;
  lf_eraseStatic(*parked);
  return true;
}

void lf_createRefused(const DelayedSimCommand& command) {
  if (command.hexid > kFirstStaticHexid) {
    if (LiveAc* aircraft = gf_findLiveAc(command.hexid))
      lf_reportRefused(*aircraft, [](LiveAc& a) { gf_engineHooks().eraseLiveAc(a); });
    return;
  }
  if (StaticAc* parked = gf_findStaticAc(command.hexid)) lf_reportRefused(*parked, lf_eraseStatic);
}

// True when a static aircraft went with the simulator's old session.
bool lf_applyTaken(const DelayedSimCommand& command) {
  switch (command.kind) {
    case 0:
      lf_objectCreated(command);
      break;
    case 1:
      lf_staticObjectCreated(command);
      break;
    case 2:
      return lf_objectRemoved(command);
    case 3:
      lf_groundReport(command);
      break;
    case 4:
      lf_staticCg(command);
      break;
    case 5:
      lf_initialPose(command);
      break;
    case 6:
      if (command.objectId == kGoneWithSession) return lf_createLostWithSession(command);
      lf_createRefused(command);
      break;
    default:
      break;
  }
  return false;
}

}  // namespace

void gf_processDelayedSimCommands() {
  gf_takeDelayedSimCommands(g_takenDelayedCommands);
  bool staticLost = false;
  for (const DelayedSimCommand& command : g_takenDelayedCommands) {
    // One answer that cannot be applied must not cost the others; too many refused liveries
    // end the run.
    try {
      staticLost = lf_applyTaken(command) || staticLost;
    } catch (const jrv::UserRelatedException& e) {
      if (e.code == kTooManyRefusedLiveries) throw;
      gf_reportTrafficException("gf_processDelayedSimCommands");
    } catch (...) {
      gf_reportTrafficException("gf_processDelayedSimCommands");
    }
  }
  g_takenDelayedCommands.clear();
  // Else the park airport would stay empty until the next parking interval.
  if (staticLost) {
    gf_log("Static parked aircraft went with the simulator's session, parking adjustment requested");
    gf_engineHooks().requestParkingAdjustment();
  }
  // In place, keeping the order.
  std::vector<DelayedSimCommand>& pending = g_pendingDelayedCommands;
  const std::size_t count = pending.size();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < count; ++i) {
    DelayedSimCommand command = pending[i];  // an apply step may reach the list
    bool done = true;
    try {
      done = gf_applyDelayedSimCommand(command);
    } catch (...) {
      gf_reportTrafficException("gf_processDelayedSimCommands");
    }
    if (!done) pending[kept++] = command;
  }
  // Whatever an apply step queued meanwhile stays behind the others.
  pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(kept),
                pending.begin() + static_cast<std::ptrdiff_t>(count));
}

bool gf_applyDelayedSimCommand(DelayedSimCommand& command) {
  if (command.age < kFirstApplyAge) {
    const std::int32_t age = command.age++;
    // Lights come up late on some new objects; toggling twice wakes them.
    if (command.kind == 0 && (age == 49 || age == 99)) gf_queueClientEvent(command.objectId, ALL_LIGHTS_TOGGLE, 0);
    return false;
  }
  bool done = false;
  switch (command.kind) {
    case 0:
      done = gf_applyDelayedLiveCommand(command);
      break;
    case 1:
      done = gf_applyDelayedStaticCommand(command);
      break;
    default:
      gf_logWarning(fmt::format("Unexpected delayed SimCommand {} for hexid:{:x}", command.kind, command.hexid));
      return true;
  }
  if (!done) ++command.age;
  return done;
}

bool gf_applyDelayedLiveCommand(const DelayedSimCommand& command) {
  LiveAc* aircraft = gf_findLiveAc(command.hexid);
  if (!aircraft) {
    gf_logWarning(fmt::format("Delayed live command expired: hexid:{:x}, objectid:{} no longer exists", command.hexid,
                              gf_objectIdText(command.objectId)));
    return true;
  }
  const bool ready =
      aircraft->poseKnown && aircraft->cgKnown && (aircraft->parkedAltitudePlaced || aircraft->standGroundAltitudeSet);
  if (aircraft->state == FlightPhase::parked && !aircraft->removeWhenCreated && !ready && command.age < kLastApplyAge)
    return false;
  // Only a parked aircraft is asked for its pose and waits for its stand's ground altitude; one
  // in flight or taxiing lacks nothing once its centre of gravity has come.
  if (aircraft->state == FlightPhase::parked ? !ready : !aircraft->cgKnown)
    gf_logWarning(fmt::format("{} initial simulator pose/CG unavailable; using fallback position", aircraft->callsign));
  lf_finishLiveCreation(*aircraft);
  if (aircraft->removeWhenCreated) gf_engineHooks().removeAircraftFromSim(*aircraft);
  return true;
}

bool gf_applyDelayedStaticCommand(const DelayedSimCommand& command) {
  StaticAc* aircraft = gf_findStaticAc(command.hexid);
  if (!aircraft) {
    gf_logWarning(fmt::format("Delayed static command expired: hexid:{:x}, objectid:{} no longer exists", command.hexid,
                              gf_objectIdText(command.objectId)));
    return true;
  }
  const bool known = aircraft->poseKnown && aircraft->cgKnown;
  if (!aircraft->removeWhenCreated && !known && command.age < kLastApplyAge) return false;
  if (!known)
    gf_logWarning(
        fmt::format("{} static simulator pose/CG unavailable; using simulator placement", aircraft->callsign));
  aircraft->simState = SimStatus::active;
  aircraft->objectId = command.objectId;
  gf_setParkedSystems(*aircraft);
  gf_requestInitialAiPose(command.objectId);
  gf_log(fmt::format("{:14}: {:8} parked static", gf_standName(aircraft->standId), aircraft->callsign));
  ++g_staticParkedCount;
  if (aircraft->removeWhenCreated) removeAircraftFromSim(*aircraft);
  return true;
}

double gf_rollingKt(const LiveAc& aircraft) {
  if (aircraft.stream.empty() || aircraft.stream.front().airborne) return 0.0;
  if (aircraft.state == FlightPhase::parked || aircraft.state == FlightPhase::pushing_back ||
      aircraft.state == FlightPhase::pushed_back)
    return 0.0;
  const double kt = aircraft.stream.front().groundSpeed;
  return std::isfinite(kt) && kt > 2.0 ? kt : 0.0;
}

bool lf_attachCreatedLiveObject(LiveAc& aircraft, const DelayedSimCommand& command) {
  if (command.objectId < kFirstObjectId) return false;
  aircraft.objectId = command.objectId;
  aircraft.movesWhileCreated = !aircraft.onGround && !aircraft.stream.empty() && aircraft.stream.front().airborne;
  aircraft.airStepMetres = -1.0;  // a new object's pace in the air is its leg's, not an earlier object's
  const double rollingKt = gf_rollingKt(aircraft);
  aircraft.rollsWhenGrounded = rollingKt > 0.0;
  if (aircraft.rollsWhenGrounded) aircraft.groundStepMetres = rollingKt * motion::kMetresPerSecondPerKt / 100.0;
  const EngineHooks& hooks = gf_engineHooks();
  if (aircraft.state == FlightPhase::parked && (!hooks.ownsStandReservation(aircraft.standId, aircraft.hexid) ||
                                                hooks.standUseByOtherLiveAc(aircraft.standId, aircraft.hexid) != 0)) {
    gf_log(fmt::format("{:14}: {} created without owning the live stand reservation, will be removed",
                       gf_standName(aircraft.standId), aircraft.callsign));
    aircraft.removeWhenCreated = true;
    return true;
  }
  // It flies from now on: its creation's wait ends here, not at its finish. A flight made anew
  // waited from its first point too: left in, a late machine gave it a first leg of a quarter
  // second to a point already due, climbing there at tens of thousands of feet a minute.
  if (aircraft.movesWhileCreated) lf_takeOutTheWait(aircraft, true);
  if (!aircraft.stream.empty() && !aircraft.stream.front().airborne) hp_handleGroundTraffic(aircraft, false);
  lf_createFlightPlan(aircraft);
  if (aircraft.state == FlightPhase::parked && !aircraft.poseKnown) gf_requestInitialAiPose(aircraft.objectId);
  if (!aircraft.cgKnown) gf_requestStaticCg(aircraft.objectId);
  return true;
}

void lf_takeOutTheWait(LiveAc& aircraft, bool firstFrame) {
  const bool restarted = std::exchange(aircraft.restartedHere, false);
  if (!(restarted || firstFrame) || aircraft.state == FlightPhase::parked || aircraft.stream.empty()) return;
  const std::int64_t wait = static_cast<std::int64_t>(g_engineTime.load()) - aircraft.stream.front().time;
  if (wait <= 0) return;
  for (StreamPoint& point : aircraft.stream) {
    point.time = gf_ticksLater(point.time, wait);
    if (point.feedTime) point.feedTime = gf_ticksLater(*point.feedTime, wait);
  }
  aircraft.reportLagTicks = gf_ticksLater(aircraft.reportLagTicks, wait);
  // The new object stands where the old one went, on the old one's leg: that leg goes on as it
  // was. Planned anew from here, a leg to a point a few metres ahead would be stretched to the
  // shortest leg's time, and a roll's speed profile rebuilt to swing up and brake hard.
  const StreamPoint& front = aircraft.stream.front();
  if (restarted && aircraft.stream.size() >= 2 && front.lalo.lat == aircraft.restartedAt.lat &&
      front.lalo.lon == aircraft.restartedAt.lon)
    aircraft.stream.pop_front();
}

void lf_finishLiveCreation(LiveAc& aircraft) {
  lf_takeOutTheWait(aircraft);
  const bool movedWhileCreated = std::exchange(aircraft.movesWhileCreated, false);
  aircraft.rollsWhenGrounded = false;
  const bool airborne = aircraft.stream.empty() ? !aircraft.onGround : aircraft.stream.front().airborne;
  aircraft.createdAirborne = airborne;
  aircraft.createdTime = g_engineTime.load();
  const std::uint32_t objectId = aircraft.objectId;
  gf_setSpoilers(aircraft, false);
  if (airborne) {
    gf_queueEngineStart(objectId);
    const std::uint32_t landing = aircraft.altitude <= 10000.0 ? 1 : 0;
    const std::uint32_t cabin = aircraft.simAgl >= 2000.0 ? 1 : 0;
    const std::uint32_t lights[7] = {1, 1, landing, 0, 1, landing, cabin};
    gf_queueLightEvents(objectId, lights);
  } else {
    if (aircraft.state != FlightPhase::parked) {
      gf_queueEngineStart(objectId);
      const std::uint32_t taxi = aircraft.state == FlightPhase::taxi ? 1 : 0;
      const std::uint32_t lights[7] = {1, 1, 0, taxi, 0, 1, 1};
      gf_queueLightEvents(objectId, lights);
    } else {
      gf_queueEngineShutdown(objectId);
      const std::uint32_t nav = g_parameterSnapshot.load()->navLightsWhileParked ? 1 : 0;
      const std::uint32_t lights[7] = {nav, 0, 0, 0, 0, 1, 1};
      gf_queueLightEvents(objectId, lights);
    }
    gf_setThrottle(aircraft, aircraft.category == AcCategory::rotorcraft ? 4 : 0);
    gf_setFlaps(aircraft, aircraft.state == FlightPhase::taxi ? 1 : 0);
    // Created where the feed has it rolling: it rolled on at that speed from its object's first
    // frame, instead of starting from standstill behind its feed for the whole taxi.
    if (!movedWhileCreated) {
      const double kt = gf_rollingKt(aircraft);
      aircraft.groundStepMetres = kt * motion::kMetresPerSecondPerKt / 100.0;
    }
  }
  aircraft.simState = SimStatus::active;
}

