#include "traffic/user_collisions.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "core/log.h"
#include "feed/feed_neighbours.h"
#include "refdata/model_ids.h"
#include "simlink/user_aircraft.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/flat_frame.h"
#include "traffic/movement_geometry.h"
#include "traffic/traffic_exceptions.h"

namespace {

constexpr double kDeg = geo::kDegToRad;

// The user's phase of the conflict test: 2 low and level, 1 low, 0 otherwise.
std::uint32_t lf_userPhase(const UserAcPosition& user) {
  const double bank = std::fabs(user.bank);
  if (user.altitudeAboveGround <= 4000.0 && user.verticalSpeed <= 300.0 && bank <= 5.0 * kDeg) return 2;
  if (user.altitudeAboveGround <= 7000.0 && bank <= 15.0 * kDeg) return 1;
  return 0;
}

// Removed whatever the removal does: the caller takes the aircraft as gone.
bool lf_remove(LiveAc& aircraft, std::string_view caller) noexcept {
  try {
    gf_log(fmt::format("{} {} removed: in the way of the user's aircraft ({})", aircraft.callsign,
                       aircraft.registration, caller));
    gf_engineHooks().removeAircraftFromSim(aircraft);
  } catch (...) {
    gf_reportTrafficException(caller);
  }
  return true;
}

double lf_b738HalfSpanNm() {
  const double span = gf_wingspanOf(gf_modelIdOf("B738"));
  if (!(span > 0.0)) throw std::out_of_range("the dbase has no wingspan for B738");
  return span;
}

}  // namespace

bool checkUserAirCollision(LiveAc& aircraft, double cosUserLatitude) noexcept {
  try {
    const UserAcPosition& user = g_workerUserAcPosition;
    ConflictInput input;
    input.phase = lf_userPhase(user);
    input.latitudeA = user.latitude;
    input.longitudeA = user.longitude;
    input.latitudeB = aircraft.position.lat;
    input.longitudeB = aircraft.position.lon;
    input.cosLatitude = cosUserLatitude;
    input.headingA = user.gpsTrack * kDeg;
    input.headingB = aircraft.stream.empty() ? aircraft.heading : aircraft.stream.front().track * kDeg;
    input.altitudeA = user.altitude;
    input.altitudeB = aircraft.altitude;
    if (gf_userConflictTest(input).verdict == 0) return false;
    return lf_remove(aircraft, "checkUserAirCollision");
  } catch (...) {
    gf_reportTrafficException("checkUserAirCollision");
    return false;
  }
}

bool checkUserAirGndCollision(LiveAc& aircraft) noexcept {
  try {
    const UserAcPosition& user = g_workerUserAcPosition;
    const Lalo userAt{user.latitude, user.longitude};
    const double north = (aircraft.position.lat - user.latitude) * 60.0;
    const double east = gf_wrapLongitude(aircraft.position.lon - user.longitude) * 60.0 * std::cos(user.latitude * kDeg);
    if (!(north * north + east * east <= 1.0)) return false;
    if (user.altitudeAboveGround > 500.0) return false;
    const double feet = gf_distanceNm(userAt, aircraft.position) * geo::kFeetPerNm;
    const double off = gf_wrapAngle(user.heading - gf_bearingRad(userAt, aircraft.position));
    if (std::fabs(std::sin(off)) * feet > 50.0 || !(std::cos(off) * feet > 0.0)) return false;
    return lf_remove(aircraft, "checkUserAirGndCollision");
  } catch (...) {
    gf_reportTrafficException("checkUserAirGndCollision");
    return false;
  }
}

double lf_userGroundCollisionTermNm() noexcept {
  double span = g_userHalfWingspanNm.load();
  if (!(std::isfinite(span) && span > 0.0)) {
    try {
      span = lf_b738HalfSpanNm();
    } catch (...) {
      // Once a run: this is asked every second while the user is on the ground.
      if (!g_userSpanFallbackReported) gf_reportTrafficException("lf_userGroundCollisionTermNm");
      g_userSpanFallbackReported = true;
      span = g_maxHalfWingspanNm;
    }
  }
  if (!std::isfinite(span) || span < 0.0) span = 0.0;
  const double speed = g_workerUserAcPosition.groundSpeed;
  const double metres =
      std::isfinite(speed) && speed > 0.0 ? std::min(speed * motion::kMetresPerSecondPerKt * 0.75, 15.0) : 0.0;
  return span + metres / motion::kMetresPerNm;
}
