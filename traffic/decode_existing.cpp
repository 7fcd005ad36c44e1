#include "traffic/decode_existing.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>

#include "config/parameter_snapshot.h"
#include "core/log.h"
#include "feed/traffic_mailbox.h"
#include "traffic/engine_hooks.h"
#include "traffic/flat_frame.h"
#include "traffic/live_update.h"
#include "traffic/movement_geometry.h"
#include "traffic/runway_matching.h"
#include "traffic/stream_prediction.h"
#include "traffic/takeoff.h"
#include "traffic/traffic_exceptions.h"

namespace {

constexpr double kMetresPerNm = 1852.0;
constexpr std::size_t kMaxStreamPoints = 200;
constexpr double kStandingRunMaxSeconds = 22.0;
constexpr double kStandingRunMaxKt = 35.0;
constexpr std::int32_t kMinAirborneGapTicks = 25;
constexpr std::int32_t kSlowPointRefreshTicks = 2000;  // 20 s
constexpr double kGoAroundClimbFt = 50.0;
constexpr double kGoAroundRateFtMin = 400.0;
constexpr double kTakeoffFloorKt = 43.0;

bool lf_remove(LiveAc& aircraft) {
  try {
    gf_engineHooks().removeAircraftFromSim(aircraft);
  } catch (...) {
    gf_reportTrafficException("decodeExisting");
  }
  return true;
}

void lf_notLaterThan(StreamPoint& point, const StreamPoint& last) {
  if (point.time <= last.time) point.time = last.time + 1;
}

// The aircraft moves again after standing: the standing points after its last moving one go,
// when it left at taxi speed within 22 s of that point.
void lf_dropStandingRun(RingDeque<StreamPoint>& stream, const StreamPoint& point) {
  const std::size_t size = stream.size();
  if (size <= 2) return;
  const std::size_t lowest = size >= 9 ? size - 7 : 1;
  for (std::size_t k = size - 2; k >= lowest; --k) {
    if (stream[k].repeated) continue;
    const StreamPoint& moving = stream[k];
    // A stop the feed reported lasts as long as the reports on it: dropped, the aircraft rolled
    // on from it at once, and a departure crept along its runway where it waited to take off.
    if (moving.groundSpeed == 0.0) return;
    if (point.time <= moving.time) return;
    const double dt = (static_cast<double>(point.time) - moving.time) / 100.0;
    if (dt <= kStandingRunMaxSeconds && gf_distanceNm(moving.lalo, point.lalo) * 3600.0 / dt <= kStandingRunMaxKt)
      stream.resize(k + 1);
    return;
  }
}

void lf_cleanStandingRuns(RingDeque<StreamPoint>& stream, const StreamPoint& point) {
  if (point.airborne || stream.empty() || !stream.back().repeated) return;
  if (!point.repeated) {
    lf_dropStandingRun(stream, point);
    return;
  }
  if (stream.size() >= 2 && std::all_of(stream.begin(), stream.end(), [](const StreamPoint& p) { return p.repeated; }))
    stream.resize(1);
}

// An airborne leg shorter in time than its distance allows is stretched.
void lf_retimeAirborneLeg(const LiveAc& aircraft, const StreamPoint& last, StreamPoint& point) {
  if (!last.airborne || !point.airborne) return;
  TravelInput input;
  input.distanceM = gf_distanceNm(last.lalo, point.lalo) * kMetresPerNm;
  input.reportedTimeS = (static_cast<double>(point.time) - last.time) / 100.0;
  input.speed1Kt = last.groundSpeed;
  input.speed2Kt = point.groundSpeed;
  input.category = static_cast<std::int32_t>(aircraft.category);
  const TravelTime travel = gf_minTravelTime(input);
  if (!travel.tooFast) return;
  const double ticks = std::ceil(travel.minimumTimeS * 100.0);
  point.time = last.time + (std::isfinite(ticks) && ticks > kMinAirborneGapTicks
                                ? static_cast<std::int32_t>(std::min(ticks, 1e8))
                                : kMinAirborneGapTicks);
}

bool lf_onRunway(const LiveAc& aircraft) {
  return gf_matchRunwayOnCentreline(aircraft.position, gf_normalizeAngle(aircraft.heading)).has_value();
}

// Landing roll of a small aircraft: the slowest recent point is kept, and a clear speed-up from
// it on the runway is a touch-and-go.
void lf_checkTouchAndGo(LiveAc& aircraft, const StreamPoint& last, const StreamPoint& point) {
  if (aircraft.category != AcCategory::none) return;
  if (!aircraft.slowPointSet || point.time > aircraft.slowPoint.time + kSlowPointRefreshTicks ||
      last.groundSpeed < aircraft.slowPoint.groundSpeed) {
    aircraft.slowPoint = last;
    aircraft.slowPointSet = true;
  }
  const bool onRunway = lf_onRunway(aircraft);
  const std::array<ClimbSample, 2> samples{
      ClimbSample{aircraft.slowPoint.groundSpeed, static_cast<std::uint32_t>(aircraft.slowPoint.time)},
      ClimbSample{point.groundSpeed, static_cast<std::uint32_t>(point.time)}};
  if (onRunway && gf_findClimbIndex(samples, gf_referenceSpeed(aircraft, 1))) gf_lineUpForTakeoff(aircraft, true);
}

bool lf_climbsAway(const StreamPoint& last, const StreamPoint& point) {
  return last.airborne && point.airborne && std::isfinite(last.altitude) && std::isfinite(point.altitude) &&
         point.altitude >= last.altitude + kGoAroundClimbFt && std::isfinite(last.verticalRate) &&
         std::isfinite(point.verticalRate) && last.verticalRate >= kGoAroundRateFtMin &&
         point.verticalRate >= kGoAroundRateFtMin;
}

// Both latest ground speeds at take-off pace on a runway.
bool lf_fastOnRunway(const LiveAc& aircraft, const StreamPoint& last, const StreamPoint& point) {
  if (!lf_onRunway(aircraft)) return false;
  const double v = gf_referenceSpeed(aircraft, 1);
  if (!std::isfinite(v) || !(v > 0.0) || !std::isfinite(last.groundSpeed) || !std::isfinite(point.groundSpeed))
    return false;
  const double least = std::max(0.5 * v, kTakeoffFloorKt);
  return last.groundSpeed >= least && point.groundSpeed >= least;
}

void lf_recogniseTakeoff(LiveAc& aircraft, const StreamPoint& last, const StreamPoint& point) {
  if (aircraft.state == FlightPhase::takeoff_roll || !aircraft.onGround || aircraft.simState != SimStatus::active)
    return;
  if (aircraft.state == FlightPhase::landing_roll) {
    if (last.airborne && point.airborne)
      gf_lineUpForTakeoff(aircraft, false);  // a go-around
    else
      lf_checkTouchAndGo(aircraft, last, point);
    return;
  }
  if (aircraft.state == FlightPhase::taxi && aircraft.prevState == FlightPhase::landing_roll &&
      aircraft.arrivalConfirmed && lf_climbsAway(last, point)) {
    gf_lineUpForTakeoff(aircraft, false);
    return;
  }
  if (!aircraft.arrivalConfirmed && aircraft.state == FlightPhase::taxi &&
      (point.airborne || lf_fastOnRunway(aircraft, last, point)))
    gf_startDepartureTaxi(aircraft);
}

void lf_decodeExisting(LiveAc& aircraft, StreamPoint& point) {
  const EngineHooks& hooks = gf_engineHooks();
  RingDeque<StreamPoint>& stream = aircraft.stream;
  if (stream.size() > kMaxStreamPoints) {
    lf_remove(aircraft);
    return;
  }
  if (aircraft.predictActive && aircraft.state == FlightPhase::taxi && !stream.empty()) {
    const double metres = gf_distanceNm(stream.front().lalo, point.lalo) * kMetresPerNm;
    if (metres > g_parameterSnapshot.load()->holdingThresholdMetres) {
      gf_resetPrediction(aircraft);
      lf_remove(aircraft);
      return;
    }
  }
  if (aircraft.state == FlightPhase::birth) {
    if (!stream.empty() && lf_filterGroundPoint(aircraft, point)) {
      lf_notLaterThan(point, stream.back());
      stream.push_back(point);
    }
    return;
  }
  if (!hooks.checkExtendingSituations(aircraft, point)) return;
  if (point.airborne && std::isfinite(point.altitude) && point.altitude > 0.0) {
    aircraft.lastAirborneAlt = point.altitude;
    aircraft.lastAirborneAltSet = true;
  }
  if (gf_deferRunwayStop(aircraft, point)) return;
  lf_cleanStandingRuns(stream, point);
  if (!stream.empty()) {
    const StreamPoint last = stream.back();
    lf_notLaterThan(point, last);
    lf_retimeAirborneLeg(aircraft, last, point);
    lf_recogniseTakeoff(aircraft, last, point);
  }
  stream.push_back(point);
  if (stream.size() == 2 && stream.front().repeated && stream.back().repeated) {
    stream.front().time = g_engineTime.load() + 1;
    stream.front().groundSpeed = stream.back().groundSpeed;
  }
}

}  // namespace

void decodeExisting(LiveAc& aircraft, StreamPoint& point) {
  try {
    lf_decodeExisting(aircraft, point);
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{} exception {}", "decodeExisting", e.what()));
    throw;
  }
}
