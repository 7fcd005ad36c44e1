#include "traffic/stream_prediction.h"

#include <algorithm>
#include <cmath>

#include "feed/traffic_mailbox.h"
#include "refdata/airports.h"
#include "traffic/flat_frame.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr double kMetresPerNm = motion::kMetresPerNm;
constexpr double kCorridorM = 75.0;
constexpr double kMaxAbsoluteStep = 0.06283185307179587;  // 3.6 degrees: a larger step is a jump
constexpr double kSmoothRateLimit = 0.00034906585039886593;  // 0.02 degrees per tick
constexpr double kTurnAcceleration = 6.981317007977318e-6;  // radians per tick squared
constexpr std::int32_t kConfirmTicks = 300;
constexpr std::int32_t kWindowTicks = 200;

double lf_metres(const Lalo& a, const Lalo& b) { return gf_distanceNm(a, b) * kMetresPerNm; }

bool lf_samePlace(const Lalo& a, const Lalo& b) {
  return std::fabs(a.lat - b.lat) < 1e-8 && std::fabs(gf_wrapLongitude(a.lon - b.lon)) < 1e-8;
}

// On the runway's centre line (7.5 m), from 700 m before its start to its far end.
bool lf_onRunwayLine(const RunwayCandidate& runway) {
  return std::fabs(runway.crossTrack) <= 7.5 && runway.fromStart >= -700.0 && runway.fromStart <= runway.length;
}

// Lined up or turning onto it: within 90 degrees; a prediction from a hold also wants 3 degrees
// at least (a smaller angle is lined up already).
bool lf_isAligned(const RunwayCandidate& runway, bool lineUpCounts) {
  return lf_onRunwayLine(runway) && runway.headingDiff <= 90.0 && (lineUpCounts || runway.headingDiff >= 3.0);
}

void lf_dropCandidate(LiveAc& aircraft) {
  aircraft.runwayCandidate.reset();
  aircraft.runwayCandidateSeen = false;
  aircraft.runwayCandidateTick = 0;
}

void lf_dropPrediction(LiveAc& aircraft) {
  aircraft.predictedRunway.reset();
  aircraft.runwayPredicted = false;
  aircraft.pointBehindDropped = false;
  aircraft.lineUpRotate = false;
}

void lf_clearPrediction(LiveAc& aircraft) {
  lf_dropPrediction(aircraft);
  aircraft.predictedAtHold = false;
  lf_dropCandidate(aircraft);
}

void lf_storePrediction(LiveAc& aircraft, const RunwayCandidate& runway, bool atHold) {
  aircraft.predictedRunway = gf_runwayMatchName(runway);
  aircraft.predictedRunwayHeading = gf_normalizeAngle(runway.heading * kDeg);
  aircraft.runwayPredicted = true;
  aircraft.pointBehindDropped = false;
  aircraft.lineUpRotate = !atHold;
  if (atHold) aircraft.predictedAtHold = true;
  lf_dropCandidate(aircraft);
}

void lf_lineUp(LiveAc& aircraft) {
  if (!aircraft.lineUpRotate || !aircraft.runwayPredicted || !gf_isDepartureGate(aircraft)) return;
  aircraft.maxTurnPerStep = aircraft.defaultTurnPerStep;
  gf_turnTowardHeading(aircraft, aircraft.predictedRunwayHeading, false);
}

void lf_measureSpeed(LiveAc& aircraft) {
  const std::int32_t now = g_engineTime.load();
  if (!aircraft.onGround) {
    aircraft.trackActive = false;
    aircraft.trackTick = now;
    aircraft.trackMetres = 0.0;
    aircraft.windowMetres = std::numeric_limits<double>::quiet_NaN();
    aircraft.windowSeconds = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  if (!aircraft.trackActive) {
    aircraft.trackLalo = aircraft.position;
    aircraft.trackActive = true;
    aircraft.trackTick = now;
    aircraft.trackMetres = 0.0;
    return;
  }
  // A standing aircraft (every parked one, each tick) moved nothing: no need for the great circle.
  const bool stood = aircraft.trackLalo.lat == aircraft.position.lat && aircraft.trackLalo.lon == aircraft.position.lon;
  const double moved = stood ? 0.0 : lf_metres(aircraft.trackLalo, aircraft.position);
  if (std::isfinite(moved)) aircraft.trackMetres += moved;
  aircraft.trackLalo = aircraft.position;
  if (now - aircraft.trackTick >= kWindowTicks) {
    aircraft.windowMetres = aircraft.trackMetres;
    aircraft.windowSeconds = (now - aircraft.trackTick) / 100.0;
    aircraft.trackTick = now;
    aircraft.trackMetres = 0.0;
  }
}

// No further reports: standing lined up (or turning onto) a runway.
void lf_predictWithoutFuture(LiveAc& aircraft) {
  const double speed = gf_measuredSpeedKt(aircraft);
  const bool stands = std::isfinite(speed) && speed <= 0.5;
  const std::optional<RunwayCandidate> runway = gf_predictionRunway(aircraft.position, aircraft.heading);
  if (!stands || !runway || !lf_isAligned(*runway, true)) {
    lf_dropCandidate(aircraft);
    if (aircraft.lineUpRotate) lf_dropPrediction(aircraft);
    return;
  }
  const std::string name = gf_runwayMatchName(*runway);
  const bool confirmed =
      aircraft.predictedRunway == name || gf_confirmRunwayCandidate(aircraft, name, aircraft.position);
  if (!confirmed) {
    if (aircraft.lineUpRotate) lf_dropPrediction(aircraft);
    return;
  }
  if (runway->headingDiff >= 3.0) lf_storePrediction(aircraft, *runway, false);
  lf_lineUp(aircraft);
}

}  // namespace

bool gf_isDepartureGate(const LiveAc& aircraft) {
  return aircraft.onGround && (aircraft.state == FlightPhase::takeoff_roll ||
                               (aircraft.state == FlightPhase::taxi && aircraft.prevState != FlightPhase::landing_roll));
}

bool gf_departsParkAirport(const LiveAc& aircraft) {
  // "XXX" stands for no code at all: two airports without one are not the same airport.
  if (aircraft.origin.empty() || aircraft.origin == g_defaultIataCode) return false;
  const Airport park = gf_parkAirportRecord();
  return !park.code.empty() && park.iata == aircraft.origin;
}

std::optional<RunwayCandidate> gf_predictionRunway(const Lalo& position, double headingRad) {
  return gf_matchRunway(position, gf_normalizeAngle(headingRad), true, kCorridorM);
}

std::string gf_runwayMatchName(const RunwayCandidate& runway) { return runway.runwayName + ":" + runway.endName; }

double gf_measuredSpeedKt(const LiveAc& aircraft) {
  if (!std::isfinite(aircraft.windowMetres) || !std::isfinite(aircraft.windowSeconds) ||
      !(aircraft.windowSeconds > 0.0))
    return std::numeric_limits<double>::quiet_NaN();
  return aircraft.windowMetres / aircraft.windowSeconds / motion::kMetresPerSecondPerKt;
}

void gf_predictDepartureRunway(LiveAc& aircraft) {
  lf_measureSpeed(aircraft);
  if (!gf_isDepartureGate(aircraft)) {
    lf_clearPrediction(aircraft);
    return;
  }
  if (aircraft.stream.size() >= 2) {
    if (aircraft.stream[1].repeated)
      gf_predictRunwayAtHold(aircraft);
    else
      lf_dropCandidate(aircraft);
    return;
  }
  lf_predictWithoutFuture(aircraft);
}

void gf_predictRunwayAtHold(LiveAc& aircraft) {
  const auto& stream = aircraft.stream;
  if (stream.size() < 2) {
    lf_clearPrediction(aircraft);
    return;
  }
  std::size_t stop = 1;
  while (stop < stream.size() && !stream[stop].repeated) ++stop;
  const bool holding = stream[1].repeated;
  const bool stopNear = stop < stream.size() && lf_metres(aircraft.position, stream[stop].lalo) <= 50.0;
  if ((!holding && !stopNear) || !gf_isDepartureGate(aircraft)) {
    lf_clearPrediction(aircraft);
    return;
  }
  const Lalo reference = stream[stop].lalo;
  const std::optional<RunwayCandidate> runway = gf_predictionRunway(reference, aircraft.heading);
  if (!runway) {
    lf_clearPrediction(aircraft);
    return;
  }
  const std::string name = gf_runwayMatchName(*runway);
  const bool aligned = lf_isAligned(*runway, false);

  // Where the path goes after the stop: along the runway, or off it.
  bool movesOn = false;
  bool continues = true;
  if (holding) {
    for (std::size_t i = stop + 1; i < stream.size(); ++i) {
      if (stream[i].repeated || !(lf_metres(reference, stream[i].lalo) > 1.0)) continue;
      const double turn =
          std::fabs(gf_wrapAngle(gf_bearingRad(reference, stream[i].lalo) - runway->heading * kDeg)) / kDeg;
      movesOn = true;
      continues = turn <= 30.0 || turn >= 135.0;
      break;
    }
  }

  bool accepted = false;
  if (!holding || !aligned || aircraft.predictedRunway == name) {
    lf_dropCandidate(aircraft);
    accepted = aligned && continues;
  } else if (!movesOn) {
    accepted = gf_confirmRunwayCandidate(aircraft, name, reference);
  } else {
    lf_dropCandidate(aircraft);
    accepted = continues;
  }
  if (accepted) {
    lf_storePrediction(aircraft, *runway, true);
  } else if (aircraft.predictedRunway && *aircraft.predictedRunway != name) {
    lf_dropPrediction(aircraft);
    aircraft.predictedAtHold = false;
  }
}

bool gf_confirmRunwayCandidate(LiveAc& aircraft, const std::string& name, const Lalo& position) {
  const std::int32_t now = g_engineTime.load();
  if (aircraft.runwayCandidate == name && aircraft.runwayCandidateSeen &&
      lf_metres(aircraft.runwayCandidateLalo, position) <= 2.0)
    return now - aircraft.runwayCandidateTick >= kConfirmTicks;
  aircraft.runwayCandidate = name;
  aircraft.runwayCandidateLalo = position;
  aircraft.runwayCandidateSeen = true;
  aircraft.runwayCandidateTick = now;
  return false;
}

void gf_turnTowardHeading(LiveAc& aircraft, double target, bool smooth) {
  const double d = gf_wrapAngle(target - aircraft.heading);
  const double rate = aircraft.maxTurnPerStep;
  if (!std::isfinite(d) || !(std::isfinite(rate) && rate > 0.0)) {
    aircraft.turnSpeed = 0.0;
    return;
  }
  double step = 0.0;
  if (smooth && std::fabs(d) <= 6.0 * kDeg) {
    const double limit = std::min(kSmoothRateLimit, rate);
    if (aircraft.turnSpeed * d < 0.0) aircraft.turnSpeed = 0.0;
    if (!(limit > 0.0) || d == 0.0) {
      aircraft.turnSpeed = 0.0;
    } else {
      const double sign = d > 0.0 ? 1.0 : -1.0;
      // The speed from which the turn can still stop within |d|.
      const double stoppable = std::sqrt(std::fabs(d) * 2.0 * kTurnAcceleration + kTurnAcceleration * kTurnAcceleration) -
                               kTurnAcceleration;
      const double wanted = sign * std::min(stoppable, limit);
      const double speed =
          aircraft.turnSpeed + std::clamp(wanted - aircraft.turnSpeed, -kTurnAcceleration, kTurnAcceleration);
      step = sign * std::min(std::fabs(d), std::fabs(speed));
      aircraft.turnSpeed = step;
    }
  } else {
    aircraft.turnSpeed = 0.0;
    step = std::clamp(d, -rate, rate);
  }
  if (std::fabs(step) > kMaxAbsoluteStep) return;
  aircraft.heading = gf_normalizeAngle(aircraft.heading + step);
}

bool gf_deferRunwayStop(LiveAc& aircraft, const StreamPoint& point) {
  auto& stream = aircraft.stream;
  if (aircraft.deferredPending) {
    if (point.repeated && lf_metres(point.lalo, aircraft.deferredPoint.lalo) <= 1.0) {
      StreamPoint held = aircraft.deferredPoint;
      if (!stream.empty() && held.time <= stream.back().time) held.time = stream.back().time + 1;
      stream.push_back(held);
    }
    aircraft.deferredPending = false;
  }
  if (!point.repeated || stream.size() < 2 || stream.back().repeated || aircraft.state != FlightPhase::taxi ||
      !aircraft.onGround || aircraft.simState != SimStatus::active)
    return false;
  if (!gf_departsParkAirport(aircraft)) return false;
  const std::optional<RunwayCandidate> runway = gf_predictionRunway(point.lalo, aircraft.heading);
  if (!runway) return false;
  const StreamPoint& last = stream.back();
  const StreamPoint& before = stream[stream.size() - 2];
  const double travel = lf_samePlace(before.lalo, last.lalo) ? aircraft.heading : gf_bearingRad(before.lalo, last.lalo);
  const double difference = std::fabs(gf_wrapAngle(runway->heading * kDeg - travel)) / kDeg;
  const double speed = last.groundSpeed;
  if (!gf_isDepartureGate(aircraft) || !std::isfinite(speed) || speed < 2.0 || speed > 35.0 || difference > 15.0 ||
      !lf_onRunwayLine(*runway))
    return false;
  aircraft.deferredPoint = point;
  aircraft.deferredDue = g_engineTime.load();
  aircraft.deferredPending = true;
  return true;
}
