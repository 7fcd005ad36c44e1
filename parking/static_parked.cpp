#include "parking/static_parked.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "core/log.h"
#include "feed/feed_neighbours.h"
#include "liveries/livery_matching.h"
#include "simlink/stand_table.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/movement_geometry.h"
#include "traffic/removal.h"
#include "traffic/runway_validation.h"
#include "traffic/stand_names.h"
#include "traffic/traffic_exceptions.h"
#include "traffic/user_collisions.h"

std::int32_t g_staticRunningNumber = 0;

namespace {

constexpr std::int32_t kRunningNumbers = 10000;
constexpr double kMetresPerNm = 1852.0;
constexpr double kBeyondRunwayEndM = 1500.0;
constexpr double kRoundingM = 0.001;  // the great-circle distance's rounding, at the boundary

bool lf_holdsStand(const LiveAc& aircraft) {
  switch (aircraft.state) {
    case FlightPhase::pushing_back:
    case FlightPhase::pushed_back:
    case FlightPhase::parking:
    case FlightPhase::parked:
      return true;
    default:
      return false;
  }
}

// "standing here" on the stand itself, "is adjacent" on one that excludes it.
template <class Aircraft>
void lf_logInTheWay(const Stand& stand, const std::string& name1, std::string_view kind, const Aircraft& other) {
  if (other.standId == static_cast<std::int32_t>(stand.id)) {
    gf_log(fmt::format("{:14}: no static parking for {}, {} aircraft {} standing here", stand.name, name1, kind,
                       other.callsign));
    return;
  }
  gf_log(fmt::format("{:14}: no static parking for {}, {} aircraft {} is adjacent at {}, possibly colliding",
                     stand.name, name1, kind, other.callsign, gf_standName(other.standId)));
}

// Something already stands on the stand or on one that excludes it.
bool lf_standInUse(const Stand& stand, const std::string& name1) {
  for (const LiveAc& aircraft : g_liveAcs)
    if (lf_holdsStand(aircraft) && gf_isSameOrAdjacentStand(aircraft.standId, stand.id)) {
      lf_logInTheWay(stand, name1, "live", aircraft);
      return true;
    }
  for (const StaticAc& aircraft : g_staticAcs)
    if (aircraft.simState != SimStatus::removingfromsim && gf_isSameOrAdjacentStand(aircraft.standId, stand.id)) {
      lf_logInTheWay(stand, name1, "static", aircraft);
      return true;
    }
  if (gf_engineHooks().standUseByOtherLiveAc(static_cast<std::int32_t>(stand.id), 0) != 0) {
    gf_log(fmt::format("{:14}: no static parking for {}, live aircraft occupies the stand", stand.name, name1));
    return true;
  }
  return false;
}

bool lf_categoryIncluded(ModelId modelId) {
  const std::string_view name = gf_modelName(modelId);
  return gf_isCategoryIncluded(name.empty() ? gf_categoryOf(modelId) : gf_categoryOfModel(name));
}

std::string lf_withoutTrailingUnderscores(std::string text) {
  while (!text.empty() && text.back() == '_') text.pop_back();
  return text;
}

// The static aircraft on its stand, as it is built for a hit; every other field as constructed.
AiCreateRequest lf_createRequest(const StaticAc& aircraft) {
  AiCreateRequest request;
  request.position.latitude = aircraft.position.lat;
  request.position.longitude = aircraft.position.lon;
  request.position.heading = aircraft.heading * 57.29577951308232;
  request.position.onGround = 1;
  request.tailNumber = aircraft.registration;
  request.containerTitle = std::string(aircraft.matchedTitle);
  request.hexid = aircraft.hexid;
  return request;
}

template <class Aircraft>
bool lf_removeReported(Aircraft& aircraft, std::string_view passName) {
  try {
    if constexpr (std::is_same_v<Aircraft, LiveAc>)
      gf_engineHooks().removeAircraftFromSim(aircraft);
    else
      removeAircraftFromSim(aircraft);
    return true;
  } catch (...) {
    gf_reportTrafficException(passName);
    return false;
  }
}

}  // namespace

std::string lf_determineStaticCallsign(const StandSearchHit& hit) {
  const std::string& first = hit.useName1 ? hit.name1 : hit.name2;
  const std::string& other = hit.useName1 ? hit.name2 : hit.name1;
  if (first.empty() && other.empty()) {
    gf_logWarning(fmt::format("{} callsign is empty..", "lf_determineStaticCallsign"));
    return "";
  }
  return lf_withoutTrailingUnderscores(first.empty() ? other : first);
}

std::int32_t gf_nextStaticRunningNumber() {
  std::int32_t number = g_staticRunningNumber;
  // At most 10000 static aircraft can exist at once; past that a number is taken twice.
  for (std::int32_t tries = 0; tries < kRunningNumbers; ++tries) {
    number = (number + 1) % kRunningNumbers;
    const auto hexid = static_cast<std::uint32_t>(number);
    if (std::none_of(g_staticAcs.begin(), g_staticAcs.end(), [hexid](const StaticAc& a) { return a.hexid == hexid; }))
      break;
  }
  return number;
}

WeekTime gf_parkedWeekTime(WeekTime now, std::uint32_t offset) {
  const std::int64_t slot = static_cast<std::int64_t>(now.slot) - offset;
  if (slot >= 0) return WeekTime{now.day, static_cast<std::uint32_t>(slot)};
  return WeekTime{now.day <= 1 ? 7 : now.day - 1, static_cast<std::uint32_t>(slot + SLOTS_PER_DAY)};
}

void gf_placeStaticAircraft() {
  if (g_standSearchHits.empty()) return;
  const StandSearchHit hit = std::move(g_standSearchHits.back());
  g_standSearchHits.pop_back();
  if (!lf_categoryIncluded(hit.identity.modelId)) return;
  const Stand* stand = gf_standByNumber(g_stands, hit.standId);
  if (!stand) {
    gf_logWarning(fmt::format("stand with id {} not found", hit.standId));
    return;
  }
  if (lf_standInUse(*stand, hit.name1)) return;

  g_staticRunningNumber = gf_nextStaticRunningNumber();
  FeedRecordHead head;
  head.setIdentity(hit.identity);
  head.callsign = hit.name1.empty()
                      ? fmt::format("{}{}", gf_airlineName(hit.identity.airlineId), g_staticRunningNumber)
                      : lf_determineStaticCallsign(hit);
  head.name1 = hit.name1;
  head.name2 = hit.name2;
  head.registration = hit.reg;
  AcIdentity identity(std::move(head));
  identity.hexid = static_cast<std::uint32_t>(g_staticRunningNumber);
  if (!gf_matchStaticLivery(identity, *stand)) return;

  StaticAc& aircraft = g_staticAcs.emplace_back(std::move(identity), static_cast<std::int32_t>(stand->id),
                                                GeoPose{stand->position, stand->heading}, stand->cargo != 0);
  aircraft.hitKind = hit.kind;
  aircraft.hitFlag = hit.flag;
  aircraft.simState = SimStatus::adding2sim;
  aircraft.parkedWeekTime = gf_parkedWeekTime(gf_currentWeekTime(), hit.slotOffset);
  g_staticCreateQueue.push_back(lf_createRequest(aircraft));
}

void gf_checkUserAcGndCollisions() {
  const UserAcPosition& user = g_workerUserAcPosition;
  const Lalo userPosition{user.latitude, user.longitude};
  const double reach = gf_engineHooks().userGroundCollisionTermNm();
  for (LiveAc& aircraft : g_liveAcs) {
    if (!aircraft.onGround || aircraft.simState != SimStatus::active) continue;
    if (gf_withinRadii(userPosition, reach, aircraft.position, aircraft.groundRadius) &&
        lf_removeReported(aircraft, "gf_checkUserAcGndCollisions"))
      return;
  }
  const double cosLat = std::cos(userPosition.lat * geo::kDegToRad);
  for (StaticAc& aircraft : g_staticAcs) {
    if (aircraft.simState != SimStatus::active) continue;
    const double r = reach + aircraft.groundRadius;
    const double dy = (userPosition.lat - aircraft.position.lat) * 60.0;
    const double dx = gf_wrapLongitude(userPosition.lon - aircraft.position.lon) * 60.0 * cosLat;
    if (std::fabs(dy) <= r && std::fabs(dx) <= r && r > 0.0 && r * r >= dx * dx + dy * dy &&
        lf_removeReported(aircraft, "gf_checkUserAcGndCollisions"))
      return;
  }
}

void gf_checkLiveAcUserCollisions() {
  const UserAcPosition& user = g_workerUserAcPosition;
  const double cosLat = std::cos(user.latitude * geo::kDegToRad);
  const bool low = user.altitudeAboveGround <= 500.0;
  // By index: a removal may reach the table.
  for (std::size_t i = 0; i < g_liveAcs.size(); ++i) {
    LiveAc& aircraft = g_liveAcs[i];
    if (aircraft.simState != SimStatus::active) continue;
    // An aircraft on the ground meets the user only on the ground: the air test's corridors
    // would take one standing at its gate a mile behind a user parked on the same track.
    if (aircraft.onGround) {
      if (low && checkUserAirGndCollision(aircraft)) return;
      continue;
    }
    if (!aircraft.stream.empty() && checkUserAirCollision(aircraft, cosLat)) return;
  }
}

bool gf_isNearParkRunway(const Lalo& position) {
  if (!gf_isValidLalo(position)) return false;
  return std::any_of(g_parkRunways.begin(), g_parkRunways.end(), [&](const Runway& runway) {
    if (!gf_isValidLalo(runway.centre) || !std::isfinite(runway.length) || !(runway.length > 0.0)) return false;
    const double reach = runway.length / 2.0 + kBeyondRunwayEndM + kRoundingM;
    return gf_distanceNm(position, runway.centre) * kMetresPerNm <= reach;
  });
}
