#include "traffic/aircraft_step.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/geodesy.h"
#include "core/log.h"
#include "feed/traffic_mailbox.h"
#include "simlink/sim_commands.h"
#include "traffic/engine_hooks.h"
#include "traffic/flat_frame.h"
#include "traffic/ground_movement.h"
#include "traffic/ground_turns.h"
#include "traffic/movement_geometry.h"
#include "traffic/runway_matching.h"
#include "traffic/sim_events.h"
#include "traffic/stream_delay.h"
#include "traffic/takeoff.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr double kMps = motion::kMetresPerSecondPerKt;
constexpr std::int32_t kMinLegTicks = 25;
constexpr std::int32_t kUnreadyTakeoffTicks = 12000;  // 2 minutes at take-off speed without a lift-off
constexpr double kTakeoffCheckKt = 43.0;
constexpr double kTakeoffRollFromKt = 20.0;  // a line-up is slower
constexpr double kTaxiLegMostKt = 30.0;      // a departure's legs below it are its taxi
constexpr double kTaxiLegMostGain = 1.2;     // share of the taxi's acceleration a taxi leg's profile may reach
constexpr double kHardStopMps2 = 1.5 * kGroundBrakingMps2;  // the most an even braking to a stop takes
constexpr double kRunwayTurnOffDeg = 15.0;
// A roll-out brakes no harder than this (5 kt a second): a report that has the aircraft slower
// sooner moves the points after it later instead.
constexpr double kRollOutBrakingMps2 = 5.0 * kMps;
// An even roll-out starts no slower than a taxi's pace: from a crawl it would take minutes over
// a leg of metres, and move every later report as far.
constexpr double kLeastRollOutMps = 5.0 * kMps;

bool lf_usable(double v) { return std::isfinite(v) && v > 0.0; }

void lf_shrinkLimit(std::int32_t& limit) {
  if (limit > 900) limit = std::max(900, limit - 100);
}

// Taxi and take-off roll in state 3: idle to 2 while slow, full power once rolling fast.
std::uint32_t lf_rollThrottle(double currentKt, double nextKt) {
  if (!(currentKt < 25.0 && nextKt < 30.0)) return 4;
  if (currentKt >= 20.0 || nextKt >= 25.0) return 2;
  if (currentKt >= 15.0 || nextKt >= 20.0) return 1;
  return 0;
}

// The landing roll's runway heading, from the captured runway or, on the first leg of the roll,
// the aircraft's own heading: a roll never goes on without one.
double lf_rollRunwayHeading(LiveAc& aircraft) {
  if (!std::isfinite(aircraft.runwayHeading))
    aircraft.runwayHeading =
        aircraft.approachRunway ? gf_normalizeAngle(aircraft.approachRunway->heading * kDeg) : aircraft.heading;
  return aircraft.runwayHeading;
}

void lf_groundControls(LiveAc& aircraft) {
  const bool rotorcraft = aircraft.category == AcCategory::rotorcraft;
  const StreamPoint& current = aircraft.stream[0];
  const StreamPoint& next = aircraft.stream[1];
  switch (aircraft.state) {
    case FlightPhase::taxi:
      gf_setThrottle(aircraft, rotorcraft ? 4 : 0);
      return;
    case FlightPhase::takeoff_roll:
      gf_setThrottle(aircraft, rotorcraft ? 4 : lf_rollThrottle(current.groundSpeed, next.groundSpeed));
      return;
    case FlightPhase::landing_roll: {
      const double off = std::fabs(gf_wrapAngle(aircraft.heading - lf_rollRunwayHeading(aircraft))) / kDeg;
      if (!(off < kRunwayTurnOffDeg)) {
        gf_vacateRunway(aircraft);
        return;
      }
      const double speed = current.groundSpeed;
      if (speed > 90.0) return;
      if (speed > 30.0) {
        gf_setSpoilers(aircraft, false);
        if (aircraft.category != AcCategory::none)
          gf_queueReverseThrust(aircraft.objectId, false, aircraft.reverseThrust);
        gf_setFlaps(aircraft, 1);
      } else if (speed <= 30.0) {
        gf_setFlaps(aircraft, 0);
      }
      return;
    }
    default:
      return;
  }
}

// The start speed of the leg's profile, m/s; NaN when none is known.
double lf_profileStartSpeed(const LiveAc& aircraft) {
  const RollContext& previous = aircraft.rollContext;
  const bool sameState = previous.fromTakeoffRoll == (aircraft.state == FlightPhase::takeoff_roll);
  if (previous.valid && sameState && lf_usable(aircraft.speed)) return aircraft.speed * kMps;
  const double pointKt = aircraft.stream[0].groundSpeed;
  const bool fromPoint = aircraft.state == FlightPhase::landing_roll ||
                         (aircraft.state == FlightPhase::takeoff_roll && aircraft.category == AcCategory::none &&
                          aircraft.prevState == FlightPhase::landing_roll);
  if (fromPoint || !lf_usable(aircraft.speed)) return pointKt * kMps;
  // A roll out of a leg run without a profile starts from the pace it really went: the speed set
  // for that leg was its point's, and a profile from it leapt from a crawl to the roll's speed.
  if (aircraft.state == FlightPhase::takeoff_roll && aircraft.onGround && aircraft.groundStepMetres > 0.0 &&
      std::isfinite(aircraft.groundStepMetres))
    return std::min(aircraft.speed * kMps, aircraft.groundStepMetres * 100.0);
  return aircraft.speed * kMps;
}

double lf_legMetres(const LiveAc& aircraft) {
  const LegPlan& leg = aircraft.legPlan;
  if (leg.hasTurn()) return leg.turn.length * (1.0 - std::clamp(leg.legFraction, 0.0, 1.0));
  return gf_distanceNm(aircraft.position, aircraft.stream[1].lalo) * motion::kMetresPerNm;
}

// How far the profile's speed overshoots the span from start to end speed, kt. (Measured against
// the end and start speeds as such, every slowing roll would count its whole slowdown as swing.)
double lf_speedSwingKt(const SpeedProfile& profile, double startMps, double endMps) {
  return std::max(
             {0.0, profile.maxSpeed() - std::max(startMps, endMps), std::min(startMps, endMps) - profile.minSpeed()}) /
         kMps;
}

struct ProfileLeg {
  SpeedProfile profile;
  Lalo end;
  double startMps = 0.0;
  double endMps = 0.0;
};

// The take-off roll toward the first later point a steady acceleration reaches, short of a stop.
std::optional<ProfileLeg> lf_takeoffRollProfile(const LiveAc& aircraft, double startMps) {
  const std::int32_t now = g_engineTime.load();
  const double capMps = (gf_referenceSpeed(aircraft, 1) + 30.0) * kMps;
  const auto& stream = aircraft.stream;
  for (std::size_t i = 1; i < stream.size(); ++i) {
    const StreamPoint& p = stream[i];
    // A wait at the line-up comes first: run past it, the roll overshot the point and halted.
    if (p.repeated || p.groundSpeed == 0.0) return std::nullopt;
    const double metres = gf_distanceNm(aircraft.position, p.lalo) * motion::kMetresPerNm;
    if (!(metres > 1.0) || !lf_usable(p.groundSpeed)) continue;
    const double seconds = std::max(kMinLegTicks, p.time - now) / 100.0;
    ProfileLeg leg{{}, p.lalo, startMps, p.groundSpeed * kMps};
    if (leg.profile.buildAccelerating(metres, seconds, startMps, leg.endMps, capMps)) return leg;
  }
  return std::nullopt;
}

// A take-off roll at its own rate from the speed it has to the next point on a straight leg, where
// a roll profile would have it catch up with the reports; the stream moves later by the time that
// takes longer. Not the line-up, nor faster than the point's speed.
std::optional<ProfileLeg> lf_lateRollProfile(LiveAc& aircraft, double startMps) {
  const StreamPoint& next = aircraft.stream[1];
  if (aircraft.legPlan.hasTurn() || aircraft.legPlan.hasCurve() || !(startMps >= 0.0) ||
      !(next.groundSpeed >= kTakeoffRollFromKt))
    return std::nullopt;
  const double metres = gf_distanceNm(aircraft.position, next.lalo) * motion::kMetresPerNm;
  const double a = kTakeoffRollAccelerationMps2;
  if (!(metres > 1.0)) return std::nullopt;
  const double seconds = (std::sqrt(startMps * startMps + 2.0 * a * metres) - startMps) / a;
  const double endMps = startMps + a * seconds;
  const double mostMps = std::min(next.groundSpeed + 5.0, gf_referenceSpeed(aircraft, 1) + 30.0) * kMps;
  if (!std::isfinite(seconds) || !(endMps <= mostMps)) return std::nullopt;
  const std::int32_t ticks = gf_ticksToNextPoint(aircraft);
  if (!(seconds * 100.0 >= ticks)) return std::nullopt;  // not late: it would stand at the point
  ProfileLeg leg{{}, next.lalo, startMps, endMps};
  if (!leg.profile.build(metres, seconds, startMps, endMps)) return std::nullopt;
  gf_delayStream(aircraft, static_cast<std::int64_t>(seconds * 100.0) - ticks, 1);
  return leg;
}

// The acceleration the roll's reports show over the leg (m/s^2), by the times the feed gave them;
// out of a stand, over the leg after it, as when the roll began within the gap is not known.
// NaN when none shows.
double lf_reportedRollMps2(const LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  std::size_t i = 0;
  if (s[0].repeated || !(s[0].groundSpeed >= 1.0)) {
    if (s.size() < 3 || s[2].repeated) return NAN;
    i = 1;
  }
  const auto feedTime = [](const StreamPoint& p) { return p.feedTime.value_or(p.time); };
  const double seconds = (static_cast<double>(feedTime(s[i + 1])) - feedTime(s[i])) / 100.0;
  const double a = (s[i + 1].groundSpeed - s[i].groundSpeed) * kMps / seconds;
  return seconds > 0.0 && std::isfinite(a) && a > 0.0 ? a : NAN;
}

// Lined up after its wait, the take-off roll gathers speed evenly, near the rate its reports show
// and from the speed it has: to the next report's place at its speed and on time, where that keeps
// the speed-up within a band about that rate. Late, it speeds up evenly to the report's speed (at
// the band's top, toward it) and the reports from the next on move later by the time that takes;
// early, it gains less on the way, toward the even speed-up that keeps the time. Caught up at the
// roll's own rate instead, a roll whose reports gather half that went in spurts, standing at each
// leg's mean speed for seconds in between.
std::optional<ProfileLeg> lf_evenTakeoffRoll(LiveAc& aircraft, double startMps, double metres) {
  constexpr double kMostRollMps2 = 5.0 * kMps;
  constexpr double kBandMps2 = 1.0 * kMps;  // the least the band spreads either way
  auto& s = aircraft.stream;
  const StreamPoint& next = s[1];
  if (!gf_linedUpToRoll(aircraft) || next.repeated || !lf_usable(next.groundSpeed) || !(metres > 1.0) ||
      !(startMps >= 0.0) || !std::isfinite(startMps))
    return std::nullopt;
  // Not the legs into the line-up: a stop lies ahead before the roll is fast.
  for (std::size_t i = 1; i < s.size() && !s[i].airborne && s[i].groundSpeed < kTaxiLegMostKt; ++i)
    if (gf_stopAhead(aircraft, i)) return std::nullopt;
  const double capMps = (gf_referenceSpeed(aircraft, 1) + 30.0) * kMps;
  const std::int64_t now = g_engineTime.load();
  const std::int64_t ticks = std::max<std::int64_t>(1, std::int64_t{next.time} - now);
  const double seconds = ticks / 100.0;
  const double wantedMps = std::min(next.groundSpeed * kMps, capMps);
  const double meetMps2 = 2.0 * (metres - startMps * seconds) / (seconds * seconds);
  const double reported = lf_reportedRollMps2(aircraft);
  const double rate = std::clamp(std::isfinite(reported) ? reported : meetMps2, 0.0, kMostRollMps2);
  const double highest = std::min(kMostRollMps2, std::max(1.5 * rate, rate + kBandMps2));
  const double lowest = std::max(0.0, std::min(0.5 * rate, rate - kBandMps2));
  const auto within = [&](const SpeedProfile& p) {
    return p.startSpeed >= startMps - 1e-9 && std::min(p.startAcceleration(), p.endAcceleration()) >= lowest - 1e-9 &&
           std::max(p.startAcceleration(), p.endAcceleration()) <= highest + 1e-9;
  };
  ProfileLeg leg{{}, next.lalo, startMps, wantedMps};
  if (leg.profile.build(metres, seconds, startMps, wantedMps) && within(leg.profile)) return leg;

  // Late: evenly to the report's speed, no faster than the band's top, nor slowing.
  double gain = (wantedMps * wantedMps - startMps * startMps) / (2.0 * metres);
  double needed = 2.0 * metres / (startMps + wantedMps);
  if (gain > highest) {
    gain = highest;
    needed = (std::sqrt(startMps * startMps + 2.0 * gain * metres) - startMps) / gain;
  } else if (gain < 0.0) {
    gain = 0.0;
    needed = metres / startMps;
  }
  if (std::isfinite(needed) && needed > seconds) {
    const auto wanted = static_cast<std::int64_t>(std::ceil(needed * 100.0));
    const std::int64_t got = ticks + gf_delayStream(aircraft, wanted - ticks, 1);
    // In whole ticks: a profile ending within a tick moved the aircraft only its remainder there.
    // Beyond the aircraft's window the leg ends before it gets there, and the next one takes it
    // on from where it is.
    const double taken = got >= wanted ? got / 100.0 : needed;
    if (got >= wanted) gain = std::max(0.0, 2.0 * (metres - startMps * taken) / (taken * taken));
    leg.endMps = std::min(startMps + gain * taken, capMps);
    if (!leg.profile.build(metres, taken, startMps, leg.endMps)) return std::nullopt;
    return leg;
  }

  // Early: from the report's speed toward the even speed-up that keeps its time, the first within
  // the band, else that even speed-up.
  const double meetEndMps = startMps + meetMps2 * seconds;
  for (const double share : {0.25, 0.5, 0.75}) {
    leg.endMps = wantedMps + share * (meetEndMps - wantedMps);
    if (leg.endMps <= capMps && leg.profile.build(metres, seconds, startMps, leg.endMps) && within(leg.profile))
      return leg;
  }
  if (meetMps2 >= 0.0) {
    leg.endMps = std::min(meetEndMps, capMps);
    if (!leg.profile.build(metres, seconds, startMps, leg.endMps)) return std::nullopt;
    return leg;
  }
  // Early even at the speed it has: the report comes due sooner, but not before the time the feed
  // gave it; it slows evenly to keep that time, the reports' positions running slower than their
  // speeds, but to no less than half its speed or the report's, and then gets there sooner.
  const std::int64_t earliest =
      std::max<std::int64_t>({now + 1, std::int64_t{s[0].time} + 1, next.feedTime.value_or(next.time)});
  const auto due = static_cast<std::int64_t>(std::ceil(metres / startMps * 100.0));
  s[1].time = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(now + due, std::min(earliest, std::int64_t{s[1].time}), s[1].time));
  double left = std::max<std::int64_t>(1, s[1].time - now) / 100.0;
  const double floorMps = 0.5 * std::min(startMps, wantedMps);
  leg.endMps = std::min(startMps, 2.0 * metres / left - startMps);
  if (leg.endMps < floorMps) {
    leg.endMps = floorMps;
    const std::int64_t reached =
        now + std::max<std::int64_t>(1, std::llround(200.0 * metres / (startMps + floorMps)));
    s[1].time = static_cast<std::int32_t>(std::clamp<std::int64_t>(reached, now + 1, s[1].time));
    left = (s[1].time - now) / 100.0;
  }
  if (!leg.profile.build(metres, left, startMps, leg.endMps)) return std::nullopt;
  return leg;
}

bool lf_accelerationAhead(const LiveAc& aircraft, double startMps) {
  const double startKt = startMps / kMps;
  return std::any_of(aircraft.stream.begin() + 1, aircraft.stream.end(),
                     [startKt](const StreamPoint& p) { return p.airborne || p.groundSpeed > startKt + 1.0; });
}

// The runway a roll runs on, heading in radians; the landing roll captures it.
std::optional<double> lf_rollRunway(LiveAc& aircraft) {
  if (aircraft.state == FlightPhase::takeoff_roll) {
    const DepartureRunway* runway = gf_departureRunway(aircraft);
    if (!runway) return std::nullopt;
    return gf_normalizeAngle(runway->headingDeg * kDeg);
  }
  if (!aircraft.approachRunway) {
    aircraft.approachRunway =
        gf_matchRunway(aircraft.position, gf_normalizeAngle(aircraft.heading), false, kRunwayMinHalfCorridor);
    if (!aircraft.approachRunway) return std::nullopt;
    aircraft.approachCapturePos = aircraft.position;
  }
  return gf_normalizeAngle(aircraft.approachRunway->heading * kDeg);
}

// A fast roll's end point (stream point `target`) is pulled toward the runway's centre line.
void lf_alignWithRunway(LiveAc& aircraft, std::size_t target) {
  const std::optional<double> heading = lf_rollRunway(aircraft);
  if (!heading) return;
  double fastest = 0.0;
  for (const double v : {aircraft.speed, aircraft.stream[0].groundSpeed, aircraft.stream[target].groundSpeed})
    if (std::isfinite(v)) fastest = std::max(fastest, v);
  if (fastest < (aircraft.state == FlightPhase::takeoff_roll ? 30.0 : 45.0)) return;
  RollContext& roll = aircraft.rollContext;
  const HeadingLinePullResult pulled =
      gf_pullTowardHeadingLine({roll.start, roll.end, *heading, 2.0 * kDeg, 18.0, 0.15});
  if (!pulled.moved) return;
  roll.end = pulled.point;
  roll.runwayHeading = *heading;
}

// Braking harder than a roll-out does somewhere on the profile, or than a taxi does into a stop.
bool lf_brakesHard(const SpeedProfile& profile, bool stop) {
  const double most = stop ? kGroundBrakingMps2 : kRollOutBrakingMps2;
  return profile.valid && std::min(profile.startAcceleration(), profile.endAcceleration()) < -most - 1e-9;
}

// A stop at a roll-out's stream point: it stands there, or the reports stand after it.
bool lf_rollOutStop(const LiveAc& aircraft, std::size_t index) {
  const auto& s = aircraft.stream;
  return index < s.size() && !s[index].repeated &&
         (s[index].groundSpeed == 0.0 || (index + 1 < s.size() && s[index + 1].repeated));
}

// The most speed the roll-out may reach point 1 with (m/s): with its stop next, as fast as the
// taxi's braking stops it there; before its runway exit, as fast as its nose follows the exit's
// bends; else no bound.
double lf_rollOutEntryMps(const LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  const double exit = gf_exitEntrySpeed(aircraft);
  if (s.size() < 3 || s[1].repeated || !lf_rollOutStop(aircraft, 2)) return exit;
  return std::min(exit, std::sqrt(2.0 * kGroundBrakingMps2 * gf_distanceNm(s[1].lalo, s[2].lalo) * motion::kMetresPerNm));
}

// A roll-out leg over `metres` to stream point `target` that brakes evenly from startMps toward
// the point's speed, never speeding up and never harder than a roll-out brakes. The target comes
// due when the aircraft gets there: the points from it on move later (or the target earlier),
// within the aircraft's window; where the window does not reach, the braking evens out over the
// time there is. Empty when no speed is known.
std::optional<SpeedProfile> lf_evenRollOut(LiveAc& aircraft, std::size_t target, double metres, double startMps,
                                           double mostEndMps = std::numeric_limits<double>::infinity()) {
  auto& s = aircraft.stream;
  // Into its stop the aircraft brakes evenly to a stand at the point, whatever that takes: run
  // into it, it stopped dead.
  const bool stop = lf_rollOutStop(aircraft, target);
  const double wantedMps = stop ? 0.0 : std::min(s[target].groundSpeed * kMps, mostEndMps);
  if (!lf_usable(startMps) || !(metres > 1.0) || !(wantedMps >= 0.0)) return std::nullopt;
  startMps = std::max(startMps, kLeastRollOutMps);
  double endMps = std::min(wantedMps, startMps);
  if (!stop && startMps * startMps - endMps * endMps > 2.0 * kRollOutBrakingMps2 * metres)
    endMps = std::sqrt(startMps * startMps - 2.0 * kRollOutBrakingMps2 * metres);
  double seconds = 2.0 * metres / (startMps + endMps);
  const std::int64_t now = g_engineTime.load();
  // The leg's own time, however short: held to whole ticks of a short leg, the braking would
  // swing by the speed of a tick's worth of its distance.
  const std::int64_t ticks = std::max<std::int64_t>(1, std::int64_t{s[target].time} - now);
  // Due at the last whole tick before it gets there: the next leg takes it on from there at the
  // speed reached, where a tick spent waiting at the point would show as a stop.
  const auto wanted = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::floor(seconds * 100.0)));
  std::int64_t got = ticks;
  if (wanted > ticks) {
    got += gf_delayStream(aircraft, wanted - ticks, target);
  } else if (wanted < ticks && aircraft.extensionCount < 1) {
    const std::int64_t was = s[target].time;
    const std::int64_t earliest = std::max({was - aircraft.predictLimitA, now + 1,
                                            target > 0 ? std::int64_t{s[target - 1].time} + 1 : now + 1});
    s[target].time = static_cast<std::int32_t>(std::clamp(now + wanted, earliest, was));
    got = std::max<std::int64_t>(1, s[target].time - now);
  }
  if (got != wanted) {
    seconds = got / 100.0;
    endMps = 2.0 * metres / seconds - startMps;
    if (endMps > startMps) {
      // Too late to keep its time even at its speed: on at that speed, after the point's time.
      endMps = startMps;
      seconds = metres / startMps;
    } else if (endMps < 0.0) {
      endMps = 0.0;
      seconds = 2.0 * metres / startMps;
    }
  }
  SpeedProfile profile;
  if (!profile.build(metres, seconds, startMps, endMps)) return std::nullopt;
  return profile;
}

// The runway roll of states 3 and 7: a speed profile to the next point (or, accelerating, to a
// later one), kept only while it does not swing the speed about.
void lf_buildRollProfile(LiveAc& aircraft, std::int32_t ticks) {
  const bool takeoffRoll = aircraft.state == FlightPhase::takeoff_roll;
  const double startMps = lf_profileStartSpeed(aircraft);
  aircraft.rollContext.reset();
  const auto& stream = aircraft.stream;
  const StreamPoint& next = stream[1];
  const LegPlan& leg = aircraft.legPlan;
  const double metres = lf_legMetres(aircraft);
  const bool startValid = std::isfinite(startMps) && startMps >= 0.0;

  const bool straightRoll = takeoffRoll && aircraft.onGround && aircraft.category != AcCategory::rotorcraft &&
                            !leg.hasTurn() && !leg.hasCurve() && startValid;
  std::optional<ProfileLeg> built = straightRoll ? lf_evenTakeoffRoll(aircraft, startMps, metres) : std::nullopt;
  const bool evenRoll = built.has_value();
  if (!built && straightRoll && aircraft.extensionCount < 1 && !next.repeated && lf_accelerationAhead(aircraft, startMps))
    built = lf_takeoffRollProfile(aircraft, startMps);
  if (!built) {
    const double endMps = next.groundSpeed * kMps;
    const bool endValid = std::isfinite(endMps) && endMps >= 0.0 && !(takeoffRoll && endMps == 0.0);
    if (next.repeated || !(metres > 1.0) || !startValid || !endValid) return;
    ProfileLeg plain{{}, next.lalo, startMps, endMps};
    if (!plain.profile.build(metres, ticks / 100.0, startMps, endMps)) return;
    built = plain;
  }
  const double swing = lf_speedSwingKt(built->profile, built->startMps, built->endMps);
  const double drop = (built->startMps - aircraft.speed * kMps) / kMps;
  double entryMps = NAN;  // the most the roll-out may reach point 1 with, once asked
  // A roll late on its reports would catch up in a surge, or swing its speed about to keep their
  // times: it then speeds up evenly at the roll's rate and takes the time that needs. Legs at their
  // mean speeds stood at each one's speed, and slowed where a mean lay below the speed reached.
  const bool refused = takeoffRoll ? !(swing < 5.0) : !(swing < 0.5 || drop < 0.5);
  // A departure's taxi leg (not yet lined up) gathers speed as a taxi does: no profile, the leg
  // then runs at the taxi's rate.
  if (evenRoll) {
    // Even already, within its band.
  } else if (takeoffRoll && aircraft.onGround && !gf_linedUpToRoll(aircraft) &&
      std::max(built->startMps, built->endMps) < kTaxiLegMostKt * kMps &&
      built->profile.maxAcceleration() > kTaxiLegMostGain * kGroundAccelerationMps2)
    return;
  if (takeoffRoll && aircraft.onGround &&
      (refused || built->profile.maxAcceleration() > 1.5 * kTakeoffRollAccelerationMps2)) {
    built = lf_lateRollProfile(aircraft, startMps);
    if (!built) return;
  } else if (!takeoffRoll && (refused || lf_brakesHard(built->profile, lf_rollOutStop(aircraft, 1)) ||
                              built->profile.endSpeed > (entryMps = lf_rollOutEntryMps(aircraft)) + 1e-9)) {
    // Without a profile the leg ran at one speed and the next began at its report's: a step.
    if (std::isnan(entryMps)) entryMps = lf_rollOutEntryMps(aircraft);
    const std::optional<SpeedProfile> even = lf_evenRollOut(aircraft, 1, metres, startMps, entryMps);
    if (!even) return;
    built->profile = *even;
  } else if (refused) {
    return;
  }

  RollContext& roll = aircraft.rollContext;
  roll.profile = built->profile;
  roll.start = aircraft.position;
  roll.end = built->end;
  roll.fromTakeoffRoll = takeoffRoll;
  roll.valid = true;
  if (!leg.hasTurn()) lf_alignWithRunway(aircraft, 1);
}

// The shares of an eased leg, one per tick: a start or a stop changes speed only as fast as an
// airliner does and rolls evenly over the rest of the leg.
void lf_buildEasingWeights(LiveAc& aircraft, std::int32_t ticks) {
  const double metres = gf_distanceNm(aircraft.position, aircraft.stream[1].lalo) * motion::kMetresPerNm;
  const double acceleration = aircraft.groundKind == 2 ? kGroundBrakingMps2 : kGroundAccelerationMps2;
  double ramp = gf_rampShare(metres, ticks / 100.0, acceleration);
  // A stop rolls on at the speed the aircraft comes with and then brakes evenly, no harder than an
  // airliner does, taking the time that needs: the braking constant's ramp alone would start the
  // leg slower (a drop of knots within one tick) or stop it hard at its point.
  const double entry = aircraft.groundStepMetres * 100.0;
  const LegPlan& leg = aircraft.legPlan;
  if (aircraft.groundKind == 2 && entry > 0.5 && metres > 0.0 && !leg.hasTurn() && !leg.hasCurve()) {
    const double needed = metres / entry + entry / (2.0 * kGroundBrakingMps2);
    if (needed * 100.0 > ticks && needed < ticks / 100.0 + 30.0) {
      ticks += gf_delayStream(aircraft, static_cast<std::int64_t>(std::ceil(needed * 100.0)) - ticks, 1);
    }
    // Even braking over the whole leg when it is too slow for rolling on at that speed: it starts
    // nearer the speed it comes with than the braking constant's ramp does.
    const double f = metres / (entry * ticks / 100.0);
    if (f < 1.0) ramp = std::min(1.0, 2.0 * (1.0 - f));
    // A leg so long in time that even braking over all of it starts below the speed the aircraft
    // comes with (a drop of knots within one tick): it rolls on at that speed, brakes to its stop
    // as an airliner does, gets there early and waits: braking evenly over the whole way would
    // creep into the stop and spend the wait its reports have there.
    if (f < 0.5 && entry * entry / (2.0 * metres) <= kHardStopMps2) {
      const double rolling = std::max(0.0, metres / entry - entry / (2.0 * kGroundBrakingMps2));
      const double braking = 2.0 * (metres - entry * rolling) / entry;
      ticks = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::ceil(100.0 * (rolling + braking))));
      ramp = braking / (rolling + braking);
    }
  }
  aircraft.easingWeights = EasedShares(ticks, aircraft.groundKind, ramp);
  aircraft.easingCursor = 0;
}

// At take-off speed in state 3: the take-off starts, waits for its mode, or never comes.
// The 2 minutes count from the first leg at take-off speed that is not ready, not from the
// line-up: a wait there is no failed take-off.
void lf_takeoffTrigger(LiveAc& aircraft) {
  if (aircraft.state != FlightPhase::takeoff_roll || !(aircraft.stream[0].groundSpeed >= kTakeoffCheckKt)) {
    aircraft.unreadySince.reset();
    return;
  }
  const std::int32_t readiness = gf_takeoffReadiness(aircraft);
  if (readiness == 0) {
    const std::int32_t now = g_engineTime.load();
    if (!aircraft.unreadySince) aircraft.unreadySince = now;
    if (now - *aircraft.unreadySince >= kUnreadyTakeoffTicks) {
      gf_log(fmt::format("{:8} removed: {:.0f} s at take-off speed without lifting off", aircraft.callsign,
                         (now - *aircraft.unreadySince) / 100.0));
      gf_engineHooks().removeAircraftFromSim(aircraft);
    }
    return;
  }
  aircraft.unreadySince.reset();
  if (aircraft.state != FlightPhase::takeoff_roll || !aircraft.onGround) return;
  if (gf_takeoffMode(aircraft) == 0)
    aircraft.takeoffPending = true;
  else
    gf_beginTakeoff(aircraft, readiness);
}

}  // namespace

std::int32_t gf_ticksToNextPoint(const LiveAc& aircraft) {
  if (aircraft.stream.size() < 2) return kMinLegTicks;
  const std::int64_t ticks = static_cast<std::int64_t>(aircraft.stream[1].time) - g_engineTime.load();
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(ticks, kMinLegTicks, std::numeric_limits<std::int32_t>::max()));
}

void gf_groundStep(LiveAc& aircraft) {
  if (aircraft.stream.size() < 2) return;
  const std::int32_t ticks = gf_ticksToNextPoint(aircraft);

  lf_groundControls(aircraft);
  if (aircraft.state == FlightPhase::takeoff_roll && gf_runwayEndCheck(aircraft)) return;
  if (aircraft.state != FlightPhase::takeoff_roll && aircraft.state != FlightPhase::landing_roll) {
    lf_shrinkLimit(aircraft.predictLimitA);
    lf_shrinkLimit(aircraft.predictLimitB);
  }
  // The nose still coming down after the touch-down is left to come down.
  if (aircraft.flareStage == 0 && aircraft.state != FlightPhase::takeoff && !aircraft.pitchTransition) {
    aircraft.pitch = aircraft.refPitch;
    aircraft.pitchStep = 0.0;
    aircraft.bank = 0.0;
    aircraft.bankStep = 0.0;
  }

  // Only the runway rolls run on a speed profile; any other ground leg drops one left over.
  if (aircraft.state == FlightPhase::takeoff_roll || aircraft.state == FlightPhase::landing_roll)
    lf_buildRollProfile(aircraft, ticks);
  else
    aircraft.rollContext.reset();

  if (aircraft.groundKind != 0) lf_buildEasingWeights(aircraft, ticks);
  const StreamPoint& next = aircraft.stream[1];
  LegPlan& leg = aircraft.legPlan;
  aircraft.cornerEntryMps = leg.hasTurn() || leg.hasCurve() ? std::numeric_limits<double>::infinity()
                                                            : gf_cornerEntrySpeed(aircraft);
  if (leg.hasTurn() || leg.hasCurve()) {
    leg.legFractionStep = 1.0 / ticks;
  } else {
    aircraft.headingRate = 0.0;
    if (aircraft.groundKind != 0) {
      aircraft.legDelta = {next.lalo.lat - aircraft.position.lat,
                           gf_wrapLongitude(next.lalo.lon - aircraft.position.lon)};
      aircraft.velocity = {0.0, 0.0};
    }
  }

  const double speed = std::isfinite(next.groundSpeed) ? next.groundSpeed : gf_acSpeedKt(aircraft);
  aircraft.pendingSpeed = aircraft.state == FlightPhase::pushing_back ? -std::fabs(speed) : speed;
  aircraft.pendingNextValue = 0.0;

  lf_takeoffTrigger(aircraft);
}

void gf_beginRollOut(LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  const LegPlan& leg = aircraft.legPlan;
  if (aircraft.state != FlightPhase::landing_roll || !aircraft.onGround || s.empty() || s.front().repeated ||
      leg.hasTurn() || leg.hasCurve())
    return;
  // The pace it really comes with: the approach leg's speed is the point's it flies to.
  double startMps = aircraft.groundStepMetres * 100.0;
  if (!lf_usable(startMps)) startMps = aircraft.speed * kMps;
  const double metres = gf_distanceNm(aircraft.position, s.front().lalo) * motion::kMetresPerNm;
  const std::optional<SpeedProfile> profile = lf_evenRollOut(aircraft, 0, metres, startMps);
  if (!profile) return;
  RollContext& roll = aircraft.rollContext;
  roll.reset();
  roll.profile = *profile;
  roll.start = aircraft.position;
  roll.end = s.front().lalo;
  roll.valid = true;
  aircraft.speed = startMps / kMps;
  lf_alignWithRunway(aircraft, 0);
}

double gf_acSpeedKt(const LiveAc& aircraft) {
  const auto& stream = aircraft.stream;
  const double s0 = stream.empty() ? NAN : stream[0].groundSpeed;
  const double s1 = stream.size() < 2 ? NAN : stream[1].groundSpeed;
  if ((aircraft.state == FlightPhase::takeoff_roll || aircraft.state == FlightPhase::landing_roll) &&
      std::isfinite(s0) && std::isfinite(s1) && s0 >= 0.0 && s1 >= 0.0 && (s0 > 0.0 || s1 > 0.0))
    return std::max((s0 + s1) / 2.0, 1.0);
  if (lf_usable(s0)) return lf_usable(s1) ? std::max((s0 + s1) / 2.0, 1.0) : std::max(s0, 1.0);
  if (lf_usable(s1)) return std::max(s1, 1.0);
  double distanceNm = 0.0;
  double ticks = 25.0;
  if (stream.size() >= 2) {
    ticks = std::max(25.0, static_cast<double>(stream[1].time) - static_cast<double>(stream[0].time));
    distanceNm = gf_distanceNm(stream[0].lalo, stream[1].lalo);
  }
  const double speed = distanceNm * 360000.0 / ticks;
  return std::isfinite(speed) && speed > 0.0 ? std::max(speed, 1.0) : 1.0;
}
