#include "traffic/next_position.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <stdexcept>

#include "core/log.h"
#include "feed/traffic_mailbox.h"
#include "traffic/aircraft_step.h"
#include "traffic/engine_hooks.h"
#include "traffic/flat_frame.h"
#include "traffic/ground_movement.h"
#include "traffic/live_update.h"
#include "traffic/movement_geometry.h"
#include "traffic/runway_matching.h"
#include "traffic/stand_arrival.h"
#include "traffic/stream_delay.h"
#include "traffic/stream_extension.h"
#include "traffic/stream_prediction.h"
#include "traffic/takeoff.h"
#include "traffic/ticks.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr double kMetresPerNm = 1852.0;
constexpr double kKtPerMetrePerSecond = 1.9438444924406046;
constexpr std::int32_t kGuardPasses = 32;
constexpr std::int32_t kMinLegTicks = 25;
constexpr std::int32_t kBaseWindow = 900;     // ticks: the arrival window at rest
constexpr double kSamePlaceDeg = 1e-8;
constexpr std::int32_t kClimbOutTicks = 3000;  // a take-off still counts for 30 s after state 5
constexpr std::int64_t kMostLineUpCut = 800;  // ticks a late line-up may take off its wait
constexpr std::int64_t kLineUpWindow = 4500;   // the most a line-up's wait moves the stream later

constexpr std::array<std::string_view, 11> kPhaseNames{
    "pushing_back", "pushed_back", "taxi", "takeoff_roll", "takeoff", "flying",
    "landing",      "landing_roll", "parking", "parked", "birth"};
constexpr std::array<std::string_view, 5> kStatusNames{"buffer", "adding2sim", "active", "liveryrespawn",
                                                       "removingfromsim"};

std::int32_t lf_now() { return g_engineTime.load(); }

double lf_metres(const Lalo& a, const Lalo& b) { return gf_distanceNm(a, b) * kMetresPerNm; }

bool lf_samePlace(const Lalo& a, const Lalo& b) {
  return std::fabs(a.lat - b.lat) < kSamePlaceDeg && std::fabs(gf_wrapLongitude(a.lon - b.lon)) < kSamePlaceDeg;
}

// Phase names inside log lines of a failing step: a bad value must not hide the first fault.
std::string_view lf_phaseText(std::uint32_t phase) { return phase < kPhaseNames.size() ? kPhaseNames[phase] : "?"; }
std::string_view lf_statusText(std::uint32_t status) {
  return status < kStatusNames.size() ? kStatusNames[status] : "?";
}

// A take-off roll of a light aircraft whose next point crowds its position while the one after
// lies well ahead: the crowded point would stall the roll.
bool lf_thinTakeoffRoll(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  if (aircraft.category != AcCategory::none || aircraft.state != FlightPhase::takeoff_roll || !aircraft.onGround ||
      s.size() < 3 || !(aircraft.speed >= 35.0))
    return false;
  const double heading =
      aircraft.departureRunway ? gf_normalizeAngle(aircraft.departureRunway->headingDeg * kDeg) : aircraft.heading;
  const RelativeGeometry ahead = gf_relativeGeometry(aircraft.position, heading, s[2].lalo);
  if (!(lf_metres(aircraft.position, s[1].lalo) < 12.0 && ahead.alongM > 30.0)) return false;
  s.erase(s.begin() + 1);
  return true;
}

bool lf_inClimbOut(const LiveAc& aircraft) {
  if (aircraft.state == FlightPhase::takeoff) return true;
  return aircraft.state == FlightPhase::flying && aircraft.prevState == FlightPhase::takeoff &&
         lf_now() - aircraft.stateSince <= kClimbOutTicks;
}

// Right after lift-off a report far slower than the aircraft flies is noise: the stream is cut
// and the aircraft flies on extended points until a plausible report comes.
bool lf_cutImplausibleClimb(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  if (!lf_inClimbOut(aircraft) || aircraft.extensionCount > 0) return false;
  const std::int32_t dt = std::max(kMinLegTicks, s[1].time - lf_now());
  const double metres = lf_metres(aircraft.position, s[1].lalo);
  const double seconds = dt / 100.0;
  const double current = s[0].groundSpeed;
  const bool light = aircraft.category == AcCategory::none;
  const double speedLimit = light ? 35.0 : 100.0;
  const double leastCurrent = light ? 55.0 : 120.0;
  if (!std::isfinite(metres) || !std::isfinite(current) || metres <= 1.0 || seconds < 5.0 || current < leastCurrent)
    return false;
  const double needed = metres / seconds * kKtPerMetrePerSecond;
  if (!(needed < speedLimit && needed < 0.65 * current)) return false;
  if (s.size() > 1) s.resize(1);
  aircraft.extensionFlag = true;
  return true;
}

// A stationary point after the last one, due one extension later: the stand check asks again then.
void lf_appendStandingPoint(LiveAc& aircraft) {
  StreamPoint point;
  if (aircraft.stream.empty()) {
    point.lalo = aircraft.position;
    point.altitude = aircraft.altitude;
    point.track = aircraft.heading * geo::kRadToDeg;
    point.time = lf_now();
  } else {
    point = aircraft.stream.back();
  }
  point.groundSpeed = 0.0;
  point.verticalRate = 0.0;
  point.airborne = false;
  point.repeated = true;
  point.turnStart = point.fromPosition = false;
  point.time = std::max(point.time, lf_now()) + kExtensionTicks;
  point.feedTime.reset();  // a wait of our own, not the feed's
  aircraft.stream.push_back(point);
}

void lf_giveUpStand(LiveAc& aircraft) {
  gf_log(fmt::format("          {:8} gives up stand {} after {} tries", aircraft.callsign, aircraft.standId,
                     kStandArrivalTries));
  aircraft.standId = 0;
  aircraft.standPos = Lalo{};
  aircraft.standHeading = 0.0;
  aircraft.standCargo = false;
  aircraft.standNoseIn = false;
  aircraft.standApproach = false;
  if (aircraft.state != FlightPhase::taxi) gf_changeState(aircraft, FlightPhase::taxi);
}

enum class StandOutcome { settled, tryAgain };

// The stand check at the end of the stream of an aircraft driving into its stand. A "not yet" is
// tried again on a standing point 3 s later, a bounded number of times; then the stand is given
// up and the aircraft taxis on. It never leaves the simulator for a "not yet".
StandOutcome lf_standCheck(LiveAc& aircraft) {
  if (gf_arrivedAtStand(aircraft)) {
    aircraft.standArrivalTries = 0;
    // The parked (or taxiing) aircraft counts its own extensions from here.
    aircraft.extensionCount = 0;
    return StandOutcome::settled;
  }
  if (++aircraft.standArrivalTries <= kStandArrivalTries) {
    lf_appendStandingPoint(aircraft);
    return StandOutcome::tryAgain;
  }
  aircraft.standArrivalTries = 0;
  lf_giveUpStand(aircraft);
  aircraft.extensionCount = 0;
  return StandOutcome::settled;
}

// An aircraft that leaves in the air says why: near the ground that is no ordinary end.
void lf_logRemovedInAir(const LiveAc& aircraft, std::string_view why) {
  gf_log(fmt::format("{:8} removed in the air at {:.0f} ft ({:.0f} ft over the ground), fs:{}: {}", aircraft.callsign,
                     aircraft.altitude, aircraft.simAgl, lf_phaseText(aircraft.state), why));
}

// A flight that runs out of stream says why, on the ground or in the air at any height: an
// arrival vanishing from the runway is no ordinary end either.
void lf_logStreamEnd(const LiveAc& aircraft, std::string_view why) {
  if (aircraft.onGround)
    gf_log(fmt::format("{:8} {} removed on the ground at {:.0f} kt, fs:{}: {}", aircraft.callsign,
                       aircraft.registration, aircraft.speed, lf_phaseText(aircraft.state), why));
  else
    lf_logRemovedInAir(aircraft, why);
}

// Step for a stream of fewer than 2 points: true when a point was appended, false when the
// aircraft was removed.
bool lf_extendDryStream(LiveAc& aircraft) {
  if (aircraft.state == FlightPhase::parking && lf_standCheck(aircraft) == StandOutcome::tryAgain) return true;
  const std::int32_t budget = aircraft.extensionCount;
  std::int32_t allowed = 0;
  if (budget < 0) {
    lf_logStreamEnd(aircraft, "its extensions are used up");
    noMoreNextPos(aircraft);
    return false;
  }
  if (budget == 1) {
    aircraft.extensionCount = -1;
    lf_logStreamEnd(aircraft, "its extensions are used up");
    noMoreNextPos(aircraft);
    return false;
  }
  allowed = budget > 1 ? budget - 1 : gf_extensionBudget(aircraft);
  if (allowed < 1) {
    lf_logStreamEnd(aircraft, "its reports ended");
    noMoreNextPos(aircraft);
    return false;
  }
  gf_extendStream(aircraft, allowed);
  // Made by the program: no feed time to be late against.
  if (!aircraft.stream.empty()) aircraft.stream.back().feedTime.reset();
  return true;
}

void lf_nextPosMain(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  for (std::int32_t guard = 0;; ++guard) {
    if (guard >= kGuardPasses) {
      gf_logWarning(fmt::format("{}: guard exceeded {}, sz:{}, fs:{}, st:{}", "nextPosMain", aircraft.toString(),
                                s.size(), gf_flightPhaseName(aircraft.state), gf_simStatusName(aircraft.simState)));
      noMoreNextPos(aircraft);
      return;
    }
    if (s.size() >= 2) {
      if (!aircraft.onGround && s[1].repeated && aircraft.category != AcCategory::rotorcraft) {
        s.erase(s.begin() + 1);
        continue;
      }
      if (gf_checkStreamHead(aircraft) || lf_thinTakeoffRoll(aircraft) || lf_cutImplausibleClimb(aircraft)) continue;
      gf_advanceStream(aircraft);
      return;
    }
    if (!lf_extendDryStream(aircraft)) return;
  }
}

void lf_nextPosAir(LiveAc& aircraft) {
  const EngineHooks& hooks = gf_engineHooks();
  auto& s = aircraft.stream;
  const bool rotorcraft = aircraft.category == AcCategory::rotorcraft;
  if (s.size() >= 2 && s[1].repeated) {
    if (rotorcraft) {
      gf_holdAtPoint(aircraft);
    } else {
      lf_logRemovedInAir(aircraft, "its next report does not move");
      hooks.removeAircraftFromSim(aircraft);
    }
    return;
  }
  const double legNm = s.size() >= 2 ? gf_distanceNm(s[0].lalo, s[1].lalo) : 0.0;
  if (!rotorcraft) {
    const double seconds = s.size() >= 2 ? std::max(kMinLegTicks, s[1].time - s[0].time) / 100.0 : 0.25;
    // Below 0.4 kt an aircraft of wings does not fly.
    if (legNm * 360000.0 / seconds < 40.0) {
      lf_logRemovedInAir(aircraft, "its next leg is slower than 0.4 kt");
      hooks.removeAircraftFromSim(aircraft);
      return;
    }
  }
  double speed = 100.0;
  const bool landingOnto = aircraft.state == FlightPhase::landing && s.size() >= 2 && !s[1].airborne;
  if (landingOnto) {
    if (s[0].groundSpeed > 0.0) speed = s[0].groundSpeed;
  } else if (const double legSpeed = hooks.acSpeedKt(aircraft); legSpeed > 1.0) {
    speed = legSpeed;
  }
  gf_retimeNextPoint(aircraft, gf_roundedTicks(legNm * 360000.0 / speed, kMinLegTicks));
}

// The runway a prediction matched, as the take-off keeps it.
void lf_keepTakeoffRunway(LiveAc& aircraft, const RunwayCandidate& match) {
  aircraft.departureRunway = DepartureRunway{match.endName, match.farEnd, match.heading, match.length};
}

}  // namespace

std::string_view gf_flightPhaseName(std::uint32_t phase) {
  if (phase >= kPhaseNames.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
  return kPhaseNames[phase];
}

std::string_view gf_simStatusName(std::uint32_t status) {
  if (status >= kStatusNames.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
  return kStatusNames[status];
}

void nextPosMain(LiveAc& aircraft) {
  try {
    lf_nextPosMain(aircraft);
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", aircraft.toString(), e.what(),
                              aircraft.stream.size(), lf_phaseText(aircraft.state), lf_statusText(aircraft.simState)));
    throw;
  }
}

void gf_advanceStream(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  aircraft.turnHold = false;
  aircraft.turnHoldTicks = 0;
  aircraft.profileStep = 0;
  aircraft.profileActive = false;
  gf_landingPointAdjust(aircraft);
  aircraft.legPlan.reset();
  const bool rolling = aircraft.onGround && (aircraft.state == FlightPhase::takeoff_roll ||
                                             aircraft.state == FlightPhase::landing_roll);
  if (!rolling) aircraft.rollContext.reset();
  if (s.size() < 2) return;

  if (!s[1].repeated) {
    if (lf_samePlace(s[0].lalo, s[1].lalo))
      s[1].repeated = true;
    else
      aircraft.trackToNext = gf_bearingRad(s[0].lalo, s[1].lalo);
  }
  if (aircraft.onGround)
    nextPosGround(aircraft);
  else
    nextPosAir(aircraft);
  if (s.size() < 2) {
    // The handlers left no next point: stand still until the stream is extended.
    aircraft.velocity = Lalo{0.0, 0.0};
    return;
  }

  if (s[1].repeated) {
    // Not at a line-up: cutting that wait short starts the roll from the speed the aircraft
    // arrived with, and its profile ran it back past the stop.
    if (aircraft.onGround && aircraft.state == FlightPhase::taxi) gf_makeUpStandingDelay(aircraft);
    aircraft.rollContext.reset();
    aircraft.velocity = Lalo{0.0, 0.0};
    if (aircraft.predictLimitA > kBaseWindow) aircraft.predictLimitA = std::max(kBaseWindow, aircraft.predictLimitA - 100);
    if (aircraft.predictLimitB > kBaseWindow) aircraft.predictLimitB = std::max(kBaseWindow, aircraft.predictLimitB - 100);
  } else {
    const std::int32_t ahead = s[1].time - lf_now();
    const double dt = aircraft.turnHold ? std::max<double>(kMinLegTicks, aircraft.turnHoldTicks)
                                        : (ahead >= kMinLegTicks ? ahead : kMinLegTicks);
    // The short way round: a leg across 180 degrees must not circle the globe.
    aircraft.velocity = Lalo{(s[1].lalo.lat - aircraft.position.lat) / dt,
                             gf_wrapLongitude(s[1].lalo.lon - aircraft.position.lon) / dt};
    if (!std::isfinite(aircraft.velocity.lat) || !std::isfinite(aircraft.velocity.lon))
      aircraft.velocity = Lalo{0.0, 0.0};
    if (aircraft.onGround)
      gf_groundStep(aircraft);
    else
      gf_airStep(aircraft);
  }
  if (!s.empty()) s.pop_front();
}

void nextPosAir(LiveAc& aircraft) {
  try {
    lf_nextPosAir(aircraft);
  } catch (const std::exception& e) {
    gf_logWarning(
        fmt::format("{}: {}, {}, sz:{}", "nextPosAir", aircraft.toString(), e.what(), aircraft.stream.size()));
    throw;
  }
}

namespace {

// A predicted departure that may take its runway: from a stand, or leaving the park airport.
bool lf_mayTakeRunway(const LiveAc& aircraft) {
  const bool fromStand =
      aircraft.prevState == FlightPhase::pushed_back || aircraft.prevPrevState == FlightPhase::parked;
  const bool held = aircraft.standDepartureHold && !fromStand;
  return aircraft.predictedRunway && aircraft.state == FlightPhase::taxi && aircraft.onGround &&
         (fromStand || gf_departsParkAirport(aircraft)) && !held;
}

std::optional<RunwayCandidate> lf_predictedRunwayHere(const LiveAc& aircraft) {
  std::optional<RunwayCandidate> match = gf_matchRunway(
      aircraft.position, gf_normalizeAngle(aircraft.predictedRunwayHeading), false, kRunwayMinHalfCorridor);
  if (match && !(match->headingDiff <= 75.0)) match.reset();
  return match;
}

// A departure that comes to stand lined up on its predicted runway waits there for take-off: a
// leg that reached the line-up late (its short stop before the runway dropped as it rolled on)
// never starts a leg along the runway before the roll itself.
void lf_lineUpAtStop(LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  if (!lf_mayTakeRunway(aircraft) || !(lf_metres(aircraft.position, s[1].lalo) < 1.0)) return;
  const double offDeg = std::fabs(gf_wrapAngle(aircraft.heading - aircraft.predictedRunwayHeading)) / kDeg;
  if (!(offDeg <= 10.0)) return;
  const std::optional<RunwayCandidate> match = lf_predictedRunwayHere(aircraft);
  if (!match) return;
  aircraft.predictedRunway.reset();
  aircraft.runwayPredicted = false;
  aircraft.pointBehindDropped = false;
  gf_startDepartureTaxi(aircraft);
  lf_keepTakeoffRunway(aircraft, *match);
}

}  // namespace

bool gf_checkStreamHead(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  if (!aircraft.runwayPredicted || !aircraft.onGround || s.size() < 2) return false;
  if (s[1].repeated) {
    lf_lineUpAtStop(aircraft);
    return false;
  }
  const double metres = lf_metres(aircraft.position, s[1].lalo);
  const double bearing = gf_bearingRad(aircraft.position, s[1].lalo);
  const double offDeg = std::fabs(gf_wrapAngle(bearing - aircraft.predictedRunwayHeading)) / kDeg;
  if (!aircraft.pointBehindDropped && std::isfinite(metres) && metres <= 150.0 && std::isfinite(offDeg) &&
      offDeg > 90.0) {
    s.erase(s.begin() + 1);
    aircraft.pointBehindDropped = true;
    return true;
  }

  const bool tryMatch = lf_mayTakeRunway(aircraft) && metres >= 5.0 && offDeg <= 30.0;
  std::optional<RunwayCandidate> match;
  if (tryMatch) match = lf_predictedRunwayHere(aircraft);
  aircraft.predictedRunway.reset();
  aircraft.runwayPredicted = false;
  aircraft.pointBehindDropped = false;
  if (match) {
    gf_startDepartureTaxi(aircraft);
    lf_keepTakeoffRunway(aircraft, *match);
  } else {
    aircraft.departureRunway.reset();
  }
  return false;
}

namespace {

// The roll off a line-up: the aircraft stands until it can reach the first moving point on time,
// speeding up as an airliner does. Left earlier, it crept over the metres its reports moved after
// the wait, then leapt to the speed of the next point.
std::int64_t lf_rollOffFromStand(const LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  if (s.size() < 3 || s[2].repeated || !(s[2].groundSpeed > 0.0)) return 0;
  return std::int64_t{s[2].time} - gf_rollOffTicks(lf_metres(s[1].lalo, s[2].lalo), s[2].groundSpeed);
}

}  // namespace

void gf_holdAtPoint(LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  if (s.empty()) return;
  const std::int64_t now = lf_now();
  const std::int64_t interval = s.size() >= 2 ? std::max<std::int64_t>(kMinLegTicks, std::int64_t{s[1].time} - s[0].time)
                                              : kMinLegTicks;
  std::int64_t end = interval + s[0].time;
  if (aircraft.onGround && s.size() >= 2) {
    // Arrived at the stop: the wait is measured from here, whatever the standing points say later.
    if (!s[0].repeated || !aircraft.stopFeedTime) {
      aircraft.stopReachedTick = static_cast<std::int32_t>(now);
      aircraft.stopFeedTime = s[0].feedTime.value_or(s[0].time);
    }
    const std::int64_t leaves = s[1].feedTime.value_or(s[1].time);
    const std::int64_t wait = leaves - *aircraft.stopFeedTime;
    const std::int64_t late = std::int64_t{aircraft.stopReachedTick} - *aircraft.stopFeedTime;
    // A standing point of our own (the stand before a roll off) already holds the lateness.
    if (aircraft.state == FlightPhase::takeoff_roll && wait > 0 && s[1].feedTime) {
      // A late line-up still waits: it gives up a quarter of its wait at most, so that a busy
      // machine does not roll it through the line-up its reports have it stand at.
      const std::int64_t given = std::clamp<std::int64_t>(late, 0, std::min<std::int64_t>(wait / 4, kMostLineUpCut));
      end = std::max(end, std::int64_t{aircraft.stopReachedTick} + wait - given);
      // The window of re-timing opens as far as that takes, as for a stand ahead of a roll.
      const std::int64_t later = std::min<std::int64_t>(end - s[1].time, kLineUpWindow);
      if (later > aircraft.predictLimitB) aircraft.predictLimitB = static_cast<std::int32_t>(later);
    }
    // Nor does it leave a stop before its reports do.
    end = std::max(end, leaves);
    if (aircraft.state == FlightPhase::takeoff_roll) end = std::max(end, lf_rollOffFromStand(aircraft));
  }
  const std::int64_t ticks = std::clamp<std::int64_t>(end - now, kMinLegTicks, 1 << 30);
  gf_retimeNextPoint(aircraft, static_cast<std::int32_t>(ticks));
}

std::int32_t gf_rollOffTicks(double metres, double kt) {
  const double mps = kt * motion::kMetresPerSecondPerKt;
  const double a = kGroundAccelerationMps2;
  if (!std::isfinite(metres) || !std::isfinite(mps) || !(metres > 0.0) || !(mps > 0.0)) return kMinLegTicks;
  // Evenly up to the point's speed and on at it, or evenly all the way when that speed lies beyond.
  const double seconds = mps * mps / (2.0 * a) >= metres ? std::sqrt(2.0 * metres / a)
                                                          : mps / a + (metres - mps * mps / (2.0 * a)) / mps;
  return static_cast<std::int32_t>(std::clamp<double>(std::round(seconds * 100.0), kMinLegTicks, 1e6));
}

void gf_resetTurnState(LiveAc& aircraft) {
  aircraft.turnHold = false;
  aircraft.turnHoldTicks = 0;
  aircraft.turnSpeed = 0.0;
}
