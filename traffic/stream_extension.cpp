#include "traffic/stream_extension.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "config/parameter_snapshot.h"
#include "feed/feed_neighbours.h"
#include "feed/traffic_mailbox.h"
#include "traffic/aircraft_step.h"
#include "traffic/flat_frame.h"
#include "traffic/ground_movement.h"
#include "traffic/movement_geometry.h"
#include "traffic/stream_delay.h"
#include "traffic/takeoff.h"

namespace {

constexpr std::int32_t kOneMinute = 20;  // extensions
constexpr double kLowestDescentFt = 1000.0;  // over the ground, for a descent without reports
// The most an aircraft of wings slows in the 3 s of one extension: a knot a second, as an airliner
// at idle does; a tenth at a time braked a climbing jet by 20 kt in a second.
constexpr double kMostSlowingPerExtensionKt = 3.0;

// Taking off or landing.
bool lf_isRunwayState(std::uint32_t state) {
  return state == FlightPhase::takeoff_roll || state == FlightPhase::takeoff || state == FlightPhase::landing ||
         state == FlightPhase::landing_roll;
}

// The slowest an aircraft flies on without reports.
double lf_minimumAirSpeedKt(AcCategory category) {
  switch (category) {
    case AcCategory::none:
      return 25.0;
    case AcCategory::twoprops:
      return 45.0;
    case AcCategory::high_performance:
      return 90.0;
    default:
      return 70.0;
  }
}

bool lf_withinUserRange(const Lalo& position) {
  const UserAcPosition& user = g_workerUserAcPosition;
  if (std::fabs(user.latitude) <= 0.0001 && std::fabs(user.longitude) <= 0.0001) return true;  // not known yet
  const double reach = g_parameterSnapshot.load()->rangeNm - 0.5;
  const double dy = (position.lat - user.latitude) * 60.0;
  const double dx = gf_wrapLongitude(position.lon - user.longitude) * 60.0 * std::cos(user.latitude * geo::kDegToRad);
  return reach > 0.0 && dx * dx + dy * dy <= reach * reach;
}

double lf_atLeast(double value, double floor) { return value >= floor ? value : floor; }

// An airborne aircraft slows by the factor, but no faster than it can, never below a speed it can
// fly, nor faster than it was; a rotorcraft may slow to a hover.
double lf_slowedAirSpeed(const LiveAc& aircraft, double speedKt, double factor) {
  double slowed = lf_atLeast(speedKt * factor, 1.0);
  if (aircraft.category != AcCategory::rotorcraft && std::isfinite(speedKt)) {
    const double flyable = std::max(lf_minimumAirSpeedKt(aircraft.category), gf_referenceSpeed(aircraft, 1));
    slowed = std::max({slowed, std::min(speedKt, flyable), speedKt - kMostSlowingPerExtensionKt});
  }
  return slowed;
}

// Per extension of 3 s (kt): a landing roll slows harder when fast, a take-off roll gains less.
double lf_rollOutStep(double speedKt) {
  return speedKt >= 120.0 ? 6.0 : speedKt >= 80.0 ? 5.0 : speedKt >= 40.0 ? 4.0 : 2.5;
}
double lf_takeoffRollStep(double speedKt) { return speedKt < 60.0 ? 4.0 : speedKt < 120.0 ? 3.0 : 2.0; }

// What a take-off roll gains over one extension (kt): as its speed profile gains at its end, within
// a third of the step above and the step, so that a roll without reports still comes to take off.
// At the step's 4 kt a second a roll whose reports gather half that runs ahead of them, until their
// next report lies behind it.
double lf_takeoffRollGain(const LiveAc& aircraft, double speedKt) {
  const double most = 3.0 * lf_takeoffRollStep(speedKt);
  const RollContext& roll = aircraft.rollContext;
  if (!roll.valid || !roll.fromTakeoffRoll) return most;
  const double gain = 3.0 * roll.profile.endAcceleration() / motion::kMetresPerSecondPerKt;
  return std::isfinite(gain) ? std::clamp(gain, most / 3.0, most) : most;
}

// The point's speed after one extension; 0 stops it.
void lf_advancePoint(const LiveAc& aircraft, std::int32_t count, StreamPoint& point) {
  if (!aircraft.onGround) {
    if (aircraft.state != FlightPhase::landing) {
      // A climb keeps its speed to the end: an aircraft climbing away does not slow down.
      const bool climbing = aircraft.state == FlightPhase::takeoff || point.verticalRate > 0.0;
      point.groundSpeed = lf_slowedAirSpeed(aircraft, point.groundSpeed, climbing ? 1.0 : 0.9);
      if (aircraft.state == FlightPhase::takeoff) {
        point.altitude += 75.0;
        point.verticalRate = 1500.0;
      } else {
        // A climb or descent goes on as last reported, so that the height matches the vertical
        // speed shown and the reports, when they come back, find the aircraft where they are; a
        // descent levels off 1000 ft over the known ground, or at once where none is known.
        const double climbFt = std::isfinite(point.verticalRate) ? point.verticalRate * kExtensionTicks / 6000.0 : 0.0;
        const std::optional<double> ground = gf_knownGroundFt(aircraft);
        if (climbFt > 0.0 || (climbFt < 0.0 && ground && point.altitude + climbFt >= *ground + kLowestDescentFt))
          point.altitude += climbFt;
        else
          point.verticalRate = 0.0;
      }
    } else {
      if (count >= 4) point.groundSpeed = lf_slowedAirSpeed(aircraft, point.groundSpeed, 0.94);
      if (aircraft.flareStage == 0) {
        point.altitude -= 31.6825;
        point.verticalRate = -633.65;
      }
    }
    point.airborne = point.altitude > 0.0;
    if (!point.airborne) point.altitude = 0.0;
    return;
  }
  const double speed = std::isfinite(point.groundSpeed) ? point.groundSpeed : 0.0;
  if (aircraft.state == FlightPhase::landing_roll) {
    point.groundSpeed = std::max(0.0, speed - 3.0 * lf_rollOutStep(speed));
    point.verticalRate = 0.0;
  } else if (aircraft.state == FlightPhase::takeoff_roll) {
    point.groundSpeed = std::min(180.0, speed + lf_takeoffRollGain(aircraft, speed));
    // A roll without reports must still take off: the stream is given a climb.
    if (point.groundSpeed == 140.0)
      point.verticalRate = 600.0;
    else if (point.groundSpeed > 140.0 && point.groundSpeed <= 170.0)
      point.verticalRate = 1200.0;
    else if (point.groundSpeed > 170.0)
      point.verticalRate = 2400.0;
  } else {
    point.groundSpeed = 0.0;
  }
}

}  // namespace

std::int32_t gf_extensionBudget(LiveAc& aircraft) {
  if (!gf_isCategoryIncluded(aircraft.category)) return 0;
  if (lf_isRunwayState(aircraft.state)) return kOneMinute;
  switch (aircraft.state) {
    case FlightPhase::parked:
      return 1;
    case FlightPhase::pushing_back:
      // A push the reports drive stops where they fall silent, and holds there as a taxi does.
      if (!gf_pushFollowsReports(aircraft)) return 0;
      [[fallthrough]];
    case FlightPhase::pushed_back:
    case FlightPhase::taxi:
      aircraft.holdingStart = g_engineTime.load();
      aircraft.predictActive = true;
      return static_cast<std::int32_t>(g_parameterSnapshot.load()->maxHoldingMinutes) * kOneMinute;
    case FlightPhase::flying:
      if (aircraft.category != AcCategory::rotorcraft) {
        if (aircraft.stream.empty()) return 0;
        const double speed = aircraft.stream.back().groundSpeed;
        if (!(std::isfinite(speed) && speed >= lf_minimumAirSpeedKt(aircraft.category))) return 0;
      }
      return lf_withinUserRange(aircraft.position) ? kOneMinute : 0;
    default:
      return 0;
  }
}

namespace {

// A taxiing aircraft whose reports end while it rolls brakes to a stop ahead of its last point, as
// an airliner can, instead of halting dead on it; the next extension then stands there.
bool lf_brakeToAStop(const LiveAc& aircraft, StreamPoint& point) {
  // A point without a speed: the aircraft's own.
  const double kt = std::isfinite(point.groundSpeed) ? point.groundSpeed : aircraft.speed;
  if (!aircraft.onGround || aircraft.state != FlightPhase::taxi || !std::isfinite(kt) || !(kt > 2.0)) return false;
  const double mps = kt * motion::kMetresPerSecondPerKt;
  const double metres = mps * mps / (2.0 * kGroundAccelerationMps2);
  point.lalo = gf_destinationPoint(point.lalo, {aircraft.heading, metres * motion::kFeetPerMetre});
  point.groundSpeed = 0.0;
  point.verticalRate = 0.0;
  point.repeated = point.turnStart = point.fromPosition = false;
  point.time += static_cast<std::int32_t>(std::ceil(100.0 * mps / kGroundAccelerationMps2));
  return true;
}

}  // namespace

void gf_extendStream(LiveAc& aircraft, std::int32_t count) {
  aircraft.extensionCount = count;
  StreamPoint point;
  if (aircraft.stream.empty()) {
    point.lalo = aircraft.position;
    point.altitude = aircraft.altitude;
    point.groundSpeed = aircraft.speed;
    point.track = aircraft.heading * geo::kRadToDeg;
    point.airborne = !aircraft.onGround;
    point.time = g_engineTime.load();
  } else {
    point = aircraft.stream.back();
  }
  const std::int32_t lastTime = point.time;
  const bool parked = aircraft.state == FlightPhase::parked;
  if (!point.repeated && !parked && lf_brakeToAStop(aircraft, point)) {
    aircraft.stream.push_back(point);
    return;
  }
  if (!point.repeated && !parked) {
    const double lastKt = point.groundSpeed;
    const double lastFt = point.altitude;
    lf_advancePoint(aircraft, count, point);
    point.feedAltitude += point.altitude - lastFt;  // as if the feed had reported it
    if (point.groundSpeed > 0.0) {
      if (aircraft.state == FlightPhase::takeoff && aircraft.fullPower)
        point.groundSpeed = std::min(210.0, point.groundSpeed * 1.015);
      // A roll changes its speed evenly over the 3 s: at the new speed all the way the point would
      // lie short of (or beyond) it, and the aircraft braked twice as hard, then sped up again.
      const bool roll = aircraft.onGround && std::isfinite(lastKt) &&
                        (aircraft.state == FlightPhase::landing_roll || aircraft.state == FlightPhase::takeoff_roll);
      const double kt = roll ? (lastKt + point.groundSpeed) / 2.0 : point.groundSpeed;
      const double feet = kt * 3.0 * geo::kFeetPerNm / 3600.0;
      point.lalo = gf_destinationPoint(point.lalo, {aircraft.heading, feet});
      point.repeated = false;
      point.time = lastTime + kExtensionTicks;
      aircraft.stream.push_back(point);
      return;
    }
  }
  // Standing still: the point stays where the last one is.
  point.groundSpeed = 0.0;
  point.verticalRate = 0.0;
  point.repeated = true;
  point.time = lastTime + (parked ? kParkedExtensionTicks : kExtensionTicks);
  if (parked) aircraft.standApproach = false;
  aircraft.stream.push_back(point);
}

void gf_retimeNextPoint(LiveAc& aircraft, std::int32_t offsetTicks) {
  if (aircraft.extensionCount > 0 || aircraft.stream.size() < 2) return;
  const std::int64_t now = g_engineTime.load();
  const std::int64_t was = aircraft.stream[1].time;
  std::int64_t wanted = std::clamp<std::int64_t>(now + offsetTicks, was - aircraft.predictLimitA,
                                                 std::max(was - aircraft.predictLimitA, was + aircraft.predictLimitB));
  wanted = std::max(wanted, now + 1);
  wanted = std::min<std::int64_t>(wanted, std::numeric_limits<std::int32_t>::max());
  aircraft.stream[1].time = static_cast<std::int32_t>(wanted);
  const std::int64_t later = wanted - was;
  if (later > 0 && aircraft.stream.size() >= 3 && wanted >= aircraft.stream[2].time) {
    for (std::size_t i = 2; i < aircraft.stream.size(); ++i) {
      const std::int64_t shifted = aircraft.stream[i].time + later;
      aircraft.stream[i].time =
          static_cast<std::int32_t>(std::min<std::int64_t>(shifted, std::numeric_limits<std::int32_t>::max()));
    }
  }
}

void gf_insertMidPoint(LiveAc& aircraft) {
  if (aircraft.stream.size() < 2) return;
  const StreamPoint& a = aircraft.stream[0];
  const StreamPoint& b = aircraft.stream[1];
  StreamPoint mid = a;
  mid.lalo.lat = (a.lalo.lat + b.lalo.lat) / 2.0;
  mid.lalo.lon = gf_wrapLongitude(a.lalo.lon + gf_wrapLongitude(b.lalo.lon - a.lalo.lon) / 2.0);
  mid.altitude = (a.altitude + b.altitude) / 2.0;
  mid.feedAltitude = (a.feedAltitude + b.feedAltitude) / 2.0;
  mid.groundSpeed = (a.groundSpeed + b.groundSpeed) / 2.0;
  mid.time = static_cast<std::int32_t>(std::lround((static_cast<double>(a.time) + b.time) / 2.0));
  mid.airborne = mid.altitude > 0.0;
  if (!mid.airborne) mid.altitude = 0.0;
  mid.repeated = false;
  mid.trueHeadingRad.reset();  // a fixed heading belongs to the reported point alone
  mid.feedTime = gf_feedTimeBetween(a, b, 0.5);
  aircraft.stream.insert(aircraft.stream.begin() + 1, mid);
}

double gf_lookAheadMetres(double speedKt) {
  if (!(std::isfinite(speedKt) && speedKt > 0.0)) return 100.0;
  return std::clamp(speedKt * motion::kMetresPerSecondPerKt * 7.0, 100.0, 160.0);
}

double gf_turnSpeedFactor(double turnDeg) {
  const double turn = std::fabs(turnDeg);
  if (turn <= 8.0) return 1.2;
  if (turn <= 15.0) return std::lerp(1.2, 1.0, (turn - 8.0) / 7.0);
  if (turn <= 20.0) return 1.0;
  if (turn <= 30.0) return std::lerp(1.0, 0.6, (turn - 20.0) / 10.0);
  return 0.6;  // also for a turn that is not a number
}
