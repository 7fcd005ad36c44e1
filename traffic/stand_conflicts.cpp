#include "traffic/stand_conflicts.h"

#include <fmt/format.h>

#include <cmath>
#include <optional>
#include <string>

#include "core/log.h"
#include "feed/traffic_mailbox.h"
#include "simlink/user_aircraft.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/ground_movement.h"
#include "traffic/live_registry.h"
#include "traffic/spawning.h"
#include "traffic/stand_names.h"
#include "traffic/static_stands.h"
#include "traffic/traffic_exceptions.h"

namespace {

constexpr double kSamePlaceDeg = 1e-8;

bool lf_holdsStand(const LiveAc& aircraft, std::int32_t standId) {
  if (aircraft.standId != standId) return false;
  return aircraft.state == FlightPhase::pushing_back || aircraft.state == FlightPhase::pushed_back ||
         aircraft.state == FlightPhase::parking || aircraft.state == FlightPhase::parked;
}

bool lf_samePlace(const Lalo& a, const Lalo& b) {
  return std::fabs(a.lat - b.lat) <= kSamePlaceDeg && std::fabs(a.lon - b.lon) <= kSamePlaceDeg;
}

bool lf_endsInUnderscore(const std::string& callsign) { return !callsign.empty() && callsign.back() == '_'; }

std::string lf_shortened(const std::string& callsign) {
  return callsign.empty() ? callsign : callsign.substr(0, callsign.size() - 1);
}

void lf_remove(LiveAc& aircraft, const char* functionName) {
  try {
    gf_engineHooks().removeAircraftFromSim(aircraft);
  } catch (...) {
    gf_reportTrafficException(functionName);
  }
}

std::string lf_name(std::int32_t standId) { return gf_standName(standId); }

}  // namespace

bool lf_takeStand(LiveAc& aircraft, const Stand& stand, bool arrivalMode) {
  const EngineHooks& hooks = gf_engineHooks();
  const auto standId = static_cast<std::int32_t>(stand.id);
  const bool rotorcraft = aircraft.category == AcCategory::rotorcraft;
  // The half span: fitsAircraft measures it against the stand's half width.
  if (aircraft.stream.empty() || stand.blocked != 0 || (stand.heli != 0) != rotorcraft ||
      !stand.fitsAircraft(aircraft.category, aircraft.wingspan) || hooks.isUserStand(stand, aircraft, 0) ||
      !lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(stand, aircraft) ||
      !lf_standReservable(standId, aircraft.hexid))
    return false;

  lf_makeWayAtStand(aircraft, stand, false);
  aircraft.standApproach = false;
  gf_assignStand(aircraft, stand);

  RingDeque<StreamPoint>& stream = aircraft.stream;
  const double paceKt = arrivalMode ? gf_reportsPaceKt(aircraft) : NAN;
  stream.resize(1);
  StreamPoint& first = stream.front();
  if (arrivalMode || (lf_samePlace(first.lalo, aircraft.standPos) && !lf_samePlace(aircraft.position, aircraft.standPos))) {
    first.lalo = aircraft.position;
    first.time = g_engineTime.load();
    first.repeated = false;
  }
  aircraft.standTaken = false;
  if (aircraft.state != FlightPhase::parking) gf_changeState(aircraft, FlightPhase::parking);
  drive2Stand(aircraft, GeoPose{aircraft.standPos, aircraft.standHeading}, arrivalMode, paceKt);
  if (stream.size() >= 2 && !stream[1].repeated && lf_samePlace(stream[1].lalo, stream[0].lalo))
    stream[1].repeated = true;
  return true;
}

bool lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(const Stand& stand, LiveAc& aircraft) {
  const auto standId = static_cast<std::int32_t>(stand.id);
  LiveAc* parked = nullptr;
  for (LiveAc& other : g_liveAcs) {
    if (other.hexid == aircraft.hexid || other.standId != standId) continue;
    if (other.state == FlightPhase::parking || other.state == FlightPhase::pushing_back ||
        other.state == FlightPhase::pushed_back)
      return false;
    if (other.state == FlightPhase::parked) {
      parked = &other;
      break;
    }
  }
  if (parked) {
    if (parked->simState != SimStatus::active) return false;
    gf_log(fmt::format("{:14}: {:8} removed, {} wants to park there", lf_name(standId), parked->callsign,
                       aircraft.callsign));
    lf_remove(*parked, "lf_checkStandOrExcludedIsOccupiedByLiveParkedTry");
    return false;
  }
  for (const std::int32_t excluded : stand.excludes)
    if (!lf_checkExcludedStandIsAvailableForLiveParkingTry(excluded, aircraft, stand)) return false;
  return true;
}

bool lf_checkExcludedStandIsAvailableForLiveParkingTry(std::int32_t excludedId, LiveAc& aircraft,
                                                       const Stand& wanted) {
  LiveAc* occupant = nullptr;
  for (LiveAc& other : g_liveAcs) {
    if (lf_isStandOccupantColliding(other, excludedId, aircraft, wanted)) {
      occupant = &other;
      break;
    }
  }
  if (!occupant) return true;
  if (occupant->simState != SimStatus::active) return false;
  if (occupant->state != FlightPhase::pushing_back && occupant->state != FlightPhase::parking &&
      occupant->state != FlightPhase::parked)
    return false;
  gf_log(fmt::format("{:14}: {:8} removed by parking {} at colliding adjacent stand {}", lf_name(excludedId),
                     occupant->callsign, aircraft.callsign, wanted.name));
  lf_remove(*occupant, "lf_checkExcludedStandIsAvailableForLiveParkingTry");
  return false;
}

bool lf_isStandOccupantColliding(const LiveAc& occupant, std::int32_t standId, const LiveAc& aircraft,
                                 const Stand& wanted) {
  if (occupant.hexid == aircraft.hexid || !lf_holdsStand(occupant, standId)) return false;
  const Stand* stand = gf_standByNumber(g_stands, standId);
  if (!stand || (stand->position.lat == 0.0 && stand->position.lon == 0.0)) return false;
  const double reach = occupant.groundRadius + aircraft.groundRadius;
  if (!(reach > 0.0)) return false;
  const double dy = (stand->position.lat - wanted.position.lat) * 60.0;
  const double dx = gf_wrapLongitude(stand->position.lon - wanted.position.lon) * 60.0 *
                    std::cos(stand->position.lat * geo::kDegToRad);
  return std::hypot(dx, dy) <= reach;
}

bool lf_checkStandIsNotUsedByOtherLiveAircraftSub(std::int32_t standId, LiveAc& aircraft) {
  LiveAc* holder = nullptr;
  for (LiveAc& other : g_liveAcs) {
    if (other.hexid != aircraft.hexid && lf_holdsStand(other, standId)) {
      holder = &other;
      break;
    }
  }
  if (!holder) return true;
  constexpr const char* kName = "lf_checkStandIsNotUsedByOtherLiveAircraftSub";
  const std::string& mine = aircraft.callsign;
  const std::string& theirs = holder->callsign;
  const auto ghostLine = [&] {
    gf_log(fmt::format("{:14}: {:8} ghost, replace by {}", lf_name(standId), theirs, mine));
  };
  if (theirs == mine) {
    gf_log(fmt::format("{:14}: {:8} ac with same callsign {} wants it, remove existing ... ", lf_name(standId), theirs,
                       mine));
  } else if (lf_shortened(mine) == theirs) {
    return false;  // this one is the ghost
  } else if (mine == lf_shortened(theirs)) {
    ghostLine();
  } else if (lf_endsInUnderscore(theirs) && !lf_endsInUnderscore(mine)) {
    ghostLine();
  } else if (lf_endsInUnderscore(mine) && !lf_endsInUnderscore(theirs)) {
    return false;
  } else if (holder->atStandSeen) {
    return false;
  } else {
    gf_log(fmt::format("{:14}: {:8} removed because another live {} wants the stand ...", lf_name(standId), theirs,
                       mine));
  }
  lf_remove(*holder, kName);
  // The removed aircraft holds the stand until its record is erased.
  return gf_engineHooks().standUseByOtherLiveAc(standId, 0) == 0;
}

bool gf_isUserStand(const Stand& stand, std::string_view destinationGate) {
  if (!destinationGate.empty() && gf_standNameMatches(stand, destinationGate)) return true;
  const UserAcPosition user = gf_getUserAcPosition();
  const std::optional<std::string> here = gf_standNameAtPos(Lalo{user.latitude, user.longitude});
  return here && gf_standNameMatches(stand, *here);
}
