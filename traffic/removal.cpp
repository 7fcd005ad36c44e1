#include "traffic/removal.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <string_view>

#include "core/log.h"
#include "feed/traffic_mailbox.h"
#include "traffic/flight_plans.h"
#include "traffic/engine_state.h"

namespace {

constexpr double kSamePlaceDeg = 1e-8;

bool lf_samePlace(const Lalo& a, const Lalo& b) {
  return std::fabs(a.lat - b.lat) <= kSamePlaceDeg && std::fabs(gf_wrapLongitude(a.lon - b.lon)) <= kSamePlaceDeg;
}

// A creation that has not gone to the simulator link yet; a live one may still wait on the
// adding stack for its create request.
bool lf_cancelQueuedCreation(std::uint32_t hexid, bool live) {
  bool found =
      gf_removeFromAddingDeque(g_liveCreateQueue, hexid) || gf_removeFromAddingDeque(g_staticCreateQueue, hexid);
  if (live) found = std::erase(g_addingStack, hexid) > 0 || found;
  return found;
}

// What both kinds of aircraft share; true when the record is now marked for erasing.
template <class Aircraft>
bool lf_remove(Aircraft& aircraft, bool live) {
  switch (aircraft.simState) {
    case SimStatus::removingfromsim:
      gf_log(fmt::format("{} {} duplicate remove blocked", aircraft.callsign, aircraft.registration));
      return false;
    case SimStatus::buffer:
      aircraft.dropFromRegistry = true;
      return true;
    default:
      break;
  }
  if (aircraft.removeWhenCreated && aircraft.simState != SimStatus::active) return false;
  if (aircraft.simState == SimStatus::adding2sim) {
    if (lf_cancelQueuedCreation(aircraft.hexid, live)) {
      aircraft.createCancelled = true;
      return true;
    }
    aircraft.removeWhenCreated = true;  // the object is on its way: it goes as soon as its id arrives
    return false;
  }
  if (aircraft.objectId != 0) {
    // A respawn queued the object's removal already: only the re-creation is called off.
    if (aircraft.simState != SimStatus::liveryrespawn) g_removeStack.push_back(aircraft.objectId);
    aircraft.simState = SimStatus::removingfromsim;
    return false;
  }
  gf_log(fmt::format("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim", aircraft.toString()));
  aircraft.dropFromRegistry = true;
  return true;
}

}  // namespace

void removeAircraftFromSim(LiveAc& aircraft) { lf_remove(aircraft, true); }

void removeAircraftFromSim(StaticAc& aircraft) {
  // The update pass compacts g_staticAcs only when told to.
  if (lf_remove(aircraft, false)) g_staticDropPending = true;
}

namespace {

// The stream restarts at the aircraft's current place and attitude, one tick from now. A parked
// aircraft standing on: the stand point alone, unless its later points (a departure already
// begun) are to be kept.
void lf_restartStreamHere(LiveAc& aircraft, bool keepParkedPoints) {
  const std::int32_t now = g_engineTime.load();
  if (aircraft.stream.empty()) {
    StreamPoint here;
    here.lalo = aircraft.position;
    here.altitude = aircraft.altitude;
    here.airborne = !aircraft.onGround;
    aircraft.stream.push_back(here);
  }
  StreamPoint point;
  if (aircraft.state == FlightPhase::parked && keepParkedPoints) {
    point = aircraft.stream.front();
    point.lalo = aircraft.position;
    point.repeated = true;
    point.groundSpeed = 0.0;
    point.track = aircraft.heading * geo::kRadToDeg;
  } else if (aircraft.state == FlightPhase::parked) {
    aircraft.stream.resize(1);
    StreamPoint& parked = aircraft.stream.front();
    parked.repeated = true;
    parked.groundSpeed = 0.0;
    parked.track = aircraft.heading * geo::kRadToDeg;
    point = parked;
  } else {
    StreamPoint& current = aircraft.stream.front();
    point = current;
    point.lalo = aircraft.position;
    point.altitude = aircraft.altitude;
    point.track = aircraft.heading * geo::kRadToDeg;
    if (std::isfinite(aircraft.speed)) point.TAS = aircraft.speed;
    // Standing on it, the aircraft stays there. Not in the air: a repeated point is dropped there,
    // and extended from one, every new point stood too and was dropped at once, till none was left.
    const bool canStand = aircraft.onGround || aircraft.category == AcCategory::rotorcraft;
    if (canStand && lf_samePlace(current.lalo, aircraft.position)) current.repeated = true;
  }
  // The re-created object starts with the attitude the old one had.
  point.trueHeadingRad = aircraft.heading;
  point.rollRad = aircraft.bank;
  point.time = now + 1;
  aircraft.stream.push_front(point);
  aircraft.restartedHere = true;
  aircraft.restartedAt = point.lalo;
  // The stream's times move by the new object's wait: a stop is measured again from its reports.
  aircraft.stopFeedTime.reset();
}

void lf_readyForCreation(LiveAc& aircraft) {
  aircraft.simState = SimStatus::buffer;
  aircraft.throttleStep = 5;
  aircraft.flapsIndex = 4;
}

}  // namespace

void liveryRespawn(LiveAc& aircraft) noexcept {
  try {
    lf_restartStreamHere(aircraft, false);
    aircraft.simState = SimStatus::liveryrespawn;
    if (aircraft.objectId != 0) {
      g_removeStack.push_back(aircraft.objectId);
      return;
    }
    gf_log(fmt::format("{} removing act {} with objectid=0 ?", "liveryRespawn", aircraft.toString()));
    // No object will be reported removed: the record is ready for its new creation now.
    lf_readyForCreation(aircraft);
  } catch (const std::exception& e) {
    gf_log(fmt::format("{}: {}", "liveryRespawn", e.what()));
  } catch (...) {
    gf_log(fmt::format("{}: {}", "liveryRespawn", "unknown exception"));
  }
}

void gf_recreateLostLiveAc(LiveAc& aircraft) noexcept {
  try {
    if (aircraft.hasFlightPlan && aircraft.objectId != 0) gf_removeFlightPlan(aircraft.objectId);
    aircraft.hasFlightPlan = false;
    lf_restartStreamHere(aircraft, true);
    aircraft.objectId = 0;
    lf_readyForCreation(aircraft);
    gf_log(fmt::format("{} {} lost with the simulator's session, created again", aircraft.callsign,
                       aircraft.registration));
  } catch (const std::exception& e) {
    gf_log(fmt::format("{}: {}", "gf_recreateLostLiveAc", e.what()));
  } catch (...) {
    gf_log(fmt::format("{}: {}", "gf_recreateLostLiveAc", "unknown exception"));
  }
}

bool gf_removeFromAddingDeque(std::deque<AiCreateRequest>& deque, std::uint32_t hexid) {
  return std::erase_if(deque, [hexid](const AiCreateRequest& request) { return request.hexid == hexid; }) > 0;
}
