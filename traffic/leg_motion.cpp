#include "traffic/leg_motion.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "core/log.h"
#include "feed/traffic_mailbox.h"
#include "refdata/airports.h"
#include "traffic/aircraft_step.h"
#include "traffic/engine_hooks.h"
#include "traffic/flat_frame.h"
#include "traffic/ground_movement.h"
#include "traffic/movement_geometry.h"
#include "traffic/stream_delay.h"
#include "traffic/stream_prediction.h"
#include "traffic/takeoff.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr double kMaxHeadingStep = 0.06283185307179587;  // 3.6 degrees
constexpr double kCurveEnd = 0.999999;
constexpr double kLineUpLimit = 20.0 * geo::kDegToRad;  // nose and motion further apart: a crab
// Rolling faster than a crawl (m per tick), the nose leans toward the runway no further than this
// off the way the aircraft goes.
constexpr double kNoseLeanFromStep = 3.0 * motion::kMetresPerSecondPerKt / 100.0;
constexpr double kNoseLean = 3.0 * geo::kDegToRad;
// A slow aircraft whose nose is more than kSlipFree off its leg slows evenly down to
// kSlipLeastPace of its pace at kSlipFree + kSlipSpan.
constexpr double kSlipPaceBelowKt = 30.0;
constexpr double kSlipFree = 5.0 * geo::kDegToRad;
constexpr double kSlipSpan = 10.0 * geo::kDegToRad;
constexpr double kSlipLeastPace = 0.1;
constexpr double kStopCreepMps = 1.0 * motion::kMetresPerSecondPerKt;  // the last centimetres into a stop
// The most a ground turn brakes where a bend comes too close to slow for it evenly: about 4.5 kt/s.
constexpr double kHardBrakingMps2 = 1.5 * kGroundBrakingMps2;
// Bank limits, categories 0..6.
constexpr std::array<double, 7> kBankLimit{40.0 * kDeg, 37.5 * kDeg, 35.0 * kDeg, 30.0 * kDeg,
                                           20.0 * kDeg, 90.0 * kDeg, 75.0 * kDeg};

Lalo lf_mix(const Lalo& a, const Lalo& b, double f) {
  return {a.lat + (b.lat - a.lat) * f, gf_wrapLongitude(a.lon + gf_wrapLongitude(b.lon - a.lon) * f)};
}

void lf_moveBy(Lalo& position, double dLat, double dLon) {
  position.lat += dLat;
  position.lon = gf_wrapLongitude(position.lon + dLon);
}

double lf_heightAboveRunway(const LiveAc& aircraft) {
  const double elevation = gf_parkAirportElevationFt();
  return std::isnan(elevation) ? aircraft.simAgl : aircraft.altitude - elevation;
}

bool lf_inDepartureClimb(const LiveAc& aircraft) {
  if (aircraft.state == FlightPhase::takeoff) return true;
  return aircraft.state == FlightPhase::flying && aircraft.prevState == FlightPhase::takeoff &&
         g_engineTime.load() - aircraft.stateSince <= 3000;
}

// A ground leg with a speed profile whose easing weights are all used.
bool lf_weightsSpent(const LiveAc& aircraft) {
  return aircraft.onGround && !aircraft.easingWeights.empty() && aircraft.easingCursor >= aircraft.easingWeights.size();
}

// The speed reported at the leg's end point, in metres a tick; NaN without one.
double lf_pointStep(const LiveAc& aircraft) {
  return aircraft.stream.empty() ? NAN : aircraft.stream.front().groundSpeed * motion::kMetresPerSecondPerKt / 100.0;
}

// Gathering speed at a taxi's pace, an aircraft steps no further than its point's own speed takes
// it, or on at the pace it `came` with: catching up past its point, it would otherwise run faster
// than the leg after the point and drop to that leg's speed within a tick.
double lf_capAtPointSpeed(const LiveAc& aircraft, double step, double came) {
  const double pointStep = lf_pointStep(aircraft);
  return std::isfinite(pointStep) && pointStep > 0.0 ? std::min(step, std::max(came, pointStep)) : step;
}

// The share of the leg for this step: the next easing weight of a ground leg with a speed
// profile while weights remain, else the leg's fixed share.
double lf_stepShare(LiveAc& aircraft) {
  if (aircraft.onGround && aircraft.groundKind != 0 && aircraft.easingCursor < aircraft.easingWeights.size())
    return aircraft.easingWeights[aircraft.easingCursor++];
  return aircraft.legPlan.legFractionStep;
}

void lf_towStep(LiveAc& aircraft) {
  const TowPath& tow = aircraft.towPath;
  const double span = std::max(1, tow.endTick - tow.startTick);
  const double f = std::clamp((g_engineTime.load() - tow.startTick) / span, 0.0, 1.0);
  const GeoPose pose = gf_bezierPose(tow.from, tow.to, gf_ease(f, tow.easing));
  aircraft.position = pose.position;
  aircraft.heading = pose.heading;
}

// A ground step that moved only part of its way: the time lost moves the rest of the stream later
// once it adds up to a tick, so that the next leg keeps its own pace instead of rushing.
void lf_fallBehind(LiveAc& aircraft, double lostTicks) {
  if (!(lostTicks > 0.0)) return;
  aircraft.groundLateTicks += lostTicks;
  if (aircraft.groundLateTicks >= 1.0) {
    const auto whole = static_cast<std::int32_t>(aircraft.groundLateTicks);
    aircraft.groundLateTicks -= whole;
    gf_delayStream(aircraft, whole);
  }
}

// On the ground the nose turns no faster than the aircraft's rate: where the planned path bends
// sharper, the aircraft goes slower along it and makes the time up on the rest of the leg, so that
// its nose stays on the path instead of lagging behind it.
double lf_groundTurnShare(const LiveAc& aircraft, double was, double wanted) {
  const double limit = 1.2 * aircraft.defaultTurnPerStep;
  if (!(limit > 0.0)) return wanted;
  return aircraft.legPlan.turn.shareWithinTurn(was, wanted, limit);
}

// A ground turn goes at a pace its bends allow: the aircraft brakes ahead of a bend its nose could
// not follow at speed, no harder than it brakes, and picks its pace up again no faster than an
// airliner speeds up, from the pace it came with (standing, it starts from standstill). Only a bend
// too close to brake for still holds it back at its turn rate, and then by no more than a hard
// brake. The time it falls behind moves the rest of the stream later, so that the next leg keeps
// its own pace instead of making the delay up in a rush. `brakingMps2`: how hard it brakes ahead
// of a bend.
double lf_paceGroundTurnShare(LiveAc& aircraft, double was, double planned,
                              double brakingMps2 = kGroundBrakingMps2) {
  LegPlan& leg = aircraft.legPlan;
  const double length = leg.turn.length;
  double wanted = std::clamp(was + planned, 0.0, 1.0);
  double least = was;
  const double came = leg.lastShare >= 0.0 ? leg.lastShare * length : aircraft.groundStepMetres;
  if (length > 0.0 && std::isfinite(came) && came >= 0.0) {
    const double fits =
        leg.turn.fittingSpeed(was, 100.0 * aircraft.defaultTurnPerStep, brakingMps2) / 100.0;
    const double gathered = std::min((wanted - was) * length, came + kGroundAccelerationMps2 * 1e-4);
    double pace = lf_capAtPointSpeed(aircraft, gathered, came);
    pace = std::max(0.0, std::min(pace, std::max(fits, came - brakingMps2 * 1e-4)));
    wanted = std::min(wanted, was + pace / length);
    least = std::min(wanted, was + std::max(0.0, came - kHardBrakingMps2 * 1e-4) / length);
  }
  wanted = std::max(lf_groundTurnShare(aircraft, was, wanted), least);
  leg.lastShare = wanted - was;
  return wanted;
}

double lf_paceGroundTurn(LiveAc& aircraft, double was, double planned) {
  const double wanted = lf_paceGroundTurnShare(aircraft, was, planned);
  const double taken = wanted - was;
  if (planned > 0.0 && taken < planned && wanted < 1.0) lf_fallBehind(aircraft, 1.0 - taken / planned);
  return wanted;
}

// A roll's turn (off the runway, or onto it in a take-off roll) keeps to its speed profile only as
// fast as the nose follows the path's bends: ahead of a sharper bend it slows as a ground turn
// does, and the time it falls behind the profile moves the rest of the stream later. Still
// braking off its landing, it brakes for the exit's bends as hard as a ground turn brakes at most:
// come onto the path faster than a taxi's braking allows, it swung round ahead of its nose.
void lf_rollStep(LiveAc& aircraft) {
  RollContext& roll = aircraft.rollContext;
  const auto shareAt = [&roll](std::int32_t step) {
    const double covered = roll.profile.positionAt(step / 100.0);
    return roll.profile.distance > 0.0 ? std::clamp(covered / roll.profile.distance, 0.0, 1.0) : 1.0;
  };
  const double before = shareAt(roll.step);
  ++roll.step;
  const double seconds = roll.step / 100.0;
  const double share = shareAt(roll.step);
  aircraft.speed = roll.profile.speedAt(seconds) / motion::kMetresPerSecondPerKt;
  LegPlan& leg = aircraft.legPlan;
  bool linear = true;
  if (leg.hasTurn() && (leg.planKind == PlanKind::runwayExit || leg.planKind == PlanKind::takeoffRoll)) {
    double at = share;
    if (aircraft.onGround) {
      const double was = leg.legFraction;
      const double braking = aircraft.state == FlightPhase::landing_roll ? kHardBrakingMps2 : kGroundBrakingMps2;
      at = lf_paceGroundTurnShare(aircraft, was, std::max(share, was) - was, braking);
      const double taken = at - was;
      // Held back behind its profile: the speed it really goes, and the time it loses this tick.
      if (at < share) {
        aircraft.speed = std::min(aircraft.speed, taken * leg.turn.length * 100.0 / motion::kMetresPerSecondPerKt);
        const double planned = share - before;
        if (planned > 0.0 && taken < planned) lf_fallBehind(aircraft, 1.0 - taken / planned);
      }
      leg.legFraction = at;
    }
    if (const auto pose = leg.turn.evaluate(at)) {
      aircraft.position = pose->position;
      aircraft.heading = pose->heading;
      linear = false;
    } else {
      leg.reset();
    }
  }
  if (linear) aircraft.position = lf_mix(roll.start, roll.end, share);
  if (roll.fromTakeoffRoll) aircraft.speed = std::min(aircraft.speed, gf_referenceSpeed(aircraft, 1) + 30.0);
  if (linear && aircraft.onGround && aircraft.state != FlightPhase::pushing_back)
    gf_turnTowardHeading(aircraft, roll.runwayHeading.value_or(aircraft.trackToNext), false);
}

// Turned on the spot, the aircraft rolls off from standstill over `metres`: it speeds up as an
// airliner does and takes the time that needs. The ticks the leg then has.
std::int32_t lf_rollOffTicks(LiveAc& aircraft, double metres) {
  const auto& s = aircraft.stream;
  // Up to the leg's speed and on at it; without a speed, one even acceleration over the leg.
  const double mps = aircraft.speed * motion::kMetresPerSecondPerKt;
  const double least = std::ceil(100.0 * (std::isfinite(mps) && mps > 0.0
                                              ? metres / mps + mps / (2.0 * kGroundAccelerationMps2)
                                              : std::sqrt(2.0 * metres / kGroundAccelerationMps2)));
  std::int32_t ticks = std::max(25, s.front().time - g_engineTime.load());
  if (least > ticks && least < 1e6) ticks += gf_delayStream(aircraft, static_cast<std::int64_t>(least) - ticks);
  aircraft.groundKind = 1;
  aircraft.easingWeights = EasedShares(ticks, 1, gf_rampShare(metres, ticks / 100.0, kGroundAccelerationMps2));
  aircraft.easingCursor = 0;
  return ticks;
}

// A turn planned from the heading the aircraft will have: it stands and turns its nose onto the
// path's start, then rolls off from standstill within the time left, speeding up as an airliner
// does. Whether it still stands.
bool lf_spotTurnBeforePlan(LiveAc& aircraft) {
  LegPlan& leg = aircraft.legPlan;
  const std::optional<GeoPose> start = leg.turn.evaluate(0.0);
  if (!start) {
    aircraft.turnHold = false;
    return false;
  }
  if (std::fabs(gf_wrapAngle(start->heading - aircraft.heading)) > 5.0 * kDeg) {
    aircraft.speed = 0.0;
    gf_turnTowardHeading(aircraft, start->heading, false);
    return true;
  }
  aircraft.turnHold = false;
  aircraft.speed = gf_engineHooks().acSpeedKt(aircraft);
  if (!aircraft.stream.empty()) leg.legFractionStep = 1.0 / lf_rollOffTicks(aircraft, leg.turn.length);
  return false;
}

// Its weights spent short of a stop at the path's end (held back on the way), an aircraft brakes
// into the stop from its pace, and the stop waits for it instead of falling due metres short.
void lf_brakeIntoTurnsStop(LiveAc& aircraft, double was) {
  LegPlan& leg = aircraft.legPlan;
  const double length = leg.turn.length;
  if (!(length > 0.0) || !(leg.legFraction < 1.0) || lf_pointStep(aircraft) > 0.0) return;
  const double left = (1.0 - was) * length;
  const double most = std::max(std::sqrt(2.0 * kGroundBrakingMps2 * left), kStopCreepMps) / 100.0;
  if (left <= most) {
    leg.legFraction = 1.0;
  } else if ((leg.legFraction - was) * length > most) {
    leg.legFraction = was + most / length;
  }
  leg.lastShare = leg.legFraction - was;
  if (leg.legFraction < 1.0 && aircraft.stream.front().time <= g_engineTime.load() + 1 &&
      (aircraft.state == FlightPhase::taxi || aircraft.state == FlightPhase::takeoff_roll))
    lf_fallBehind(aircraft, 1.0);
}

void lf_turnStep(LiveAc& aircraft) {
  LegPlan& leg = aircraft.legPlan;
  if (aircraft.turnHold && aircraft.onGround && lf_spotTurnBeforePlan(aircraft)) return;
  const double was = leg.legFraction;
  const bool spent = lf_weightsSpent(aircraft) && !aircraft.stream.empty();
  const double share = lf_stepShare(aircraft);
  leg.legFraction = aircraft.onGround ? lf_paceGroundTurn(aircraft, was, share) : std::clamp(was + share, 0.0, 1.0);
  if (spent) lf_brakeIntoTurnsStop(aircraft, was);
  if (const auto pose = leg.turn.evaluate(leg.legFraction)) {
    aircraft.position = pose->position;
    aircraft.heading = pose->heading;
  } else {
    leg.turn.clear();
  }
}

void lf_curveStep(LiveAc& aircraft) {
  LegPlan& leg = aircraft.legPlan;
  const double was = leg.legFraction;
  leg.legFraction = std::clamp(was + lf_stepShare(aircraft), 0.0, kCurveEnd);
  auto pose = leg.curve.evaluate(leg.legFraction);
  if (!pose) {
    gf_log(fmt::format("{} error in curve at index: {:.2F}", aircraft.callsign, leg.legFraction));
    return;
  }
  // Out of a stop or a slow turn into a curve, the aircraft speeds up along it as an airliner does
  // (on the ground: the step is measured only there).
  const double allowed = aircraft.groundStepMetres + kGroundAccelerationMps2 * 1e-4;
  if (aircraft.onGround && std::isfinite(allowed)) {
    const double moved = gf_distanceNm(aircraft.position, pose->position) * motion::kMetresPerNm;
    if (moved > allowed) {
      const double f = allowed / moved;
      leg.legFraction = was + (leg.legFraction - was) * f;
      if (const auto slower = leg.curve.evaluate(leg.legFraction)) pose = slower;
      lf_fallBehind(aircraft, 1.0 - f);
    }
  }
  aircraft.position = pose->position;
  if (aircraft.onGround) {
    aircraft.heading = pose->heading;
    return;
  }
  const double difference = gf_wrapAngle(pose->heading - aircraft.heading);
  if (!(std::fabs(difference) > 0.5 * kDeg)) return;
  const double step = std::copysign(aircraft.maxTurnPerStep, difference);
  if (std::fabs(step) <= kMaxHeadingStep) aircraft.heading = gf_normalizeAngle(aircraft.heading + step);
}

// The way a straight ground leg really goes, from where the aircraft is (it may lag behind its
// last point): the nose follows it. The leg's track when the leg does not move it.
double lf_groundTrack(const LiveAc& aircraft) {
  const Lalo& step = aircraft.groundKind != 0 ? aircraft.legDelta : aircraft.velocity;
  const double east = step.lon * gf_cosLatitude(aircraft.position.lat * kDeg);
  if (!(step.lat * step.lat + east * east > 1e-24)) return aircraft.trackToNext;
  return gf_normalizeAngle(std::atan2(east, step.lat));
}

// Turned on the spot, the aircraft rolls off from standstill along its straight leg.
void lf_rollOffAfterTurn(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  if (s.empty() || s.front().repeated) return;
  const double metres = gf_distanceNm(aircraft.position, s.front().lalo) * motion::kMetresPerNm;
  if (!std::isfinite(metres)) return;
  lf_rollOffTicks(aircraft, metres);
  aircraft.legDelta = {s.front().lalo.lat - aircraft.position.lat,
                       gf_wrapLongitude(s.front().lalo.lon - aircraft.position.lon)};
  aircraft.velocity = {0.0, 0.0};
}

// The ground track of one step, worked out once when first asked for: the metres the step moves
// the aircraft change it by far less than a nose can show.
class StepTrack {
 public:
  explicit StepTrack(const LiveAc& aircraft) : aircraft_(aircraft) {}
  double get() {
    if (!known_) value_ = lf_groundTrack(aircraft_);
    known_ = true;
    return value_;
  }
  void forget() { known_ = false; }  // the leg changed

 private:
  const LiveAc& aircraft_;
  double value_ = 0.0;
  bool known_ = false;
};

// Where the nose of an aircraft on a straight ground leg steers: onto the predicted runway while
// the aircraft stands or once its leg runs along the runway (turned onto it earlier, the aircraft
// would crab toward the centre line), else along the leg. Rolling on a leg still a little across
// the runway, it leans toward it only as far as a nose shows off the motion: swung onto the
// runway there, the aircraft slid into its line-up sideways.
double lf_groundNoseTarget(const LiveAc& aircraft, bool holding, double track) {
  const double off = gf_wrapAngle(aircraft.predictedRunwayHeading - track);
  const bool alongRunway = holding || std::fabs(off) <= kLineUpLimit;
  const bool toRunway = aircraft.runwayPredicted && gf_isDepartureGate(aircraft) && alongRunway;
  if (!toRunway) return track;
  if (holding || !(aircraft.groundStepMetres > kNoseLeanFromStep)) return aircraft.predictedRunwayHeading;
  return gf_normalizeAngle(track + std::clamp(off, -kNoseLean, kNoseLean));
}

// Slow on the ground with the nose well off where it steers (a turn without a path, a line-up
// from a stop across the runway), the aircraft creeps while its nose comes round instead of
// sliding sideways; in a taxi the time it loses moves the rest of the stream later (a departure's
// line-up takes it off the wait that follows).
// It slows to that creep at its braking rate from the pace it came with: a corner without a path
// would otherwise stop it dead within the tick it reaches it.
double lf_slipPace(const LiveAc& aircraft, StepTrack& track, double dLat, double dLon) {
  if (!aircraft.onGround || !(aircraft.speed < kSlipPaceBelowKt)) return 1.0;
  if (aircraft.state != FlightPhase::taxi && aircraft.state != FlightPhase::takeoff_roll) return 1.0;
  const double off = std::fabs(gf_wrapAngle(lf_groundNoseTarget(aircraft, false, track.get()) - aircraft.heading));
  const double f = std::clamp(1.0 - (off - kSlipFree) / kSlipSpan, kSlipLeastPace, 1.0);
  if (!(f < 1.0)) return f;
  const double east = dLon * gf_cosLatitude(aircraft.position.lat * kDeg);
  const double metres = std::hypot(dLat, east) * motion::kMetresPerDegreeLat;
  const double least = aircraft.groundStepMetres - kGroundBrakingMps2 * 1e-4;
  if (!(metres > 0.0) || !std::isfinite(least) || !(least > f * metres)) return f;
  return std::min(1.0, least / metres);
}

void lf_straightStep(LiveAc& aircraft) {
  const bool onGround = aircraft.onGround;
  StepTrack track(aircraft);
  bool holding = false;
  if (aircraft.turnHold) {
    const double off = onGround ? std::fabs(gf_wrapAngle(track.get() - aircraft.heading)) : 0.0;
    if (off > 5.0 * kDeg) {
      holding = true;
      aircraft.speed = 0.0;
    } else {
      aircraft.turnHold = false;
      aircraft.speed = gf_engineHooks().acSpeedKt(aircraft);
      if (onGround) lf_rollOffAfterTurn(aircraft);
      track.forget();
    }
  }
  if (!holding) {
    if (!onGround && aircraft.profileActive && aircraft.profileSteps > 0) {
      aircraft.profileStep = std::min(aircraft.profileSteps, aircraft.profileStep + 1);
      const double f = static_cast<double>(aircraft.profileStep) / aircraft.profileSteps;
      const double nm = gf_distanceNm(aircraft.profileFrom, aircraft.profileTo);
      const Lalo along = gf_destinationPoint(aircraft.profileFrom, {gf_bearingRad(aircraft.profileFrom, aircraft.profileTo),
                                                                    nm * f * geo::kFeetPerNm});
      if (std::isfinite(nm) && gf_isLaloInRange(along) && std::isfinite(along.lat) && std::isfinite(along.lon)) {
        aircraft.position = along;
      } else {
        aircraft.position = lf_mix(aircraft.profileFrom, aircraft.profileTo, f);
        aircraft.profileActive = false;
      }
    } else if (!(onGround && aircraft.groundKind != 0)) {
      const double f = lf_slipPace(aircraft, track, aircraft.velocity.lat, aircraft.velocity.lon);
      if (aircraft.state != FlightPhase::pushed_back) {
        lf_moveBy(aircraft.position, aircraft.velocity.lat * f, aircraft.velocity.lon * f);
        if (aircraft.state == FlightPhase::taxi || aircraft.state == FlightPhase::takeoff_roll) lf_fallBehind(aircraft, 1.0 - f);
      }
    } else {
      // Its weights spent before it reaches its point (held back on the way), the aircraft goes on
      // up to the point and no further: at the fixed share of another leg it overran the point and
      // rolled back to it on the next leg. It picks its pace up again toward the point's speed, and
      // the point waits for it: passed short of it, a stop there froze it metres before its place.
      const bool spent = lf_weightsSpent(aircraft);
      if (spent && !aircraft.stream.empty()) {
        const StreamPoint& point = aircraft.stream.front();
        const double left = gf_distanceNm(aircraft.position, point.lalo) * motion::kMetresPerNm;
        double step = aircraft.groundStepMetres;
        const double pointStep = lf_pointStep(aircraft);
        if (std::isfinite(pointStep) && step < pointStep)
          step = std::min(pointStep, step + kGroundAccelerationMps2 * 1e-4);
        const double f = left > 0.0 ? std::min(1.0, step / left) : 0.0;
        if (std::isfinite(f) && f > 0.0) aircraft.position = lf_mix(aircraft.position, point.lalo, f);
        // A point it rolls through is due once reached: standing there until its time, the aircraft
        // stopped dead for ticks in the middle of its roll off the line-up and then leapt on.
        if (!(left > step) && point.groundSpeed > 0.0 && !point.repeated && point.time > g_engineTime.load() + 1)
          aircraft.stream.front().time = g_engineTime.load() + 1;
        // A stop braked into early (its leg timed slower than the aircraft rolled it) is reached
        // now, and the rest of the stream with it: else the aircraft stood there that long on top
        // of the wait its reports have there, and rolled off a line-up later behind them.
        if (!(left > step) && !(point.groundSpeed > 0.0) && point.time > g_engineTime.load() + 1 &&
            (aircraft.state == FlightPhase::taxi || aircraft.state == FlightPhase::takeoff_roll))
          gf_advanceStream(aircraft, point.time - (g_engineTime.load() + 1));
        if (f < 1.0 && left > 0.0 && point.time <= g_engineTime.load() + 1 &&
            (aircraft.state == FlightPhase::taxi || aircraft.state == FlightPhase::takeoff_roll))
          lf_fallBehind(aircraft, 1.0);
      } else if (!spent) {
        double weight = lf_stepShare(aircraft);
        const double f = lf_slipPace(aircraft, track, aircraft.legDelta.lat * weight, aircraft.legDelta.lon * weight);
        weight *= f;
        if (aircraft.state == FlightPhase::taxi || aircraft.state == FlightPhase::takeoff_roll) lf_fallBehind(aircraft, 1.0 - f);
        lf_moveBy(aircraft.position, aircraft.legDelta.lat * weight, aircraft.legDelta.lon * weight);
      }
    }
  }
  if (onGround && aircraft.state != FlightPhase::pushing_back) {
    const bool smooth = aircraft.state == FlightPhase::taxi && std::isfinite(aircraft.turnAngle) && aircraft.turnAngle <= 6.0;
    gf_turnTowardHeading(aircraft, lf_groundNoseTarget(aircraft, holding, track.get()), smooth);
  } else if (onGround && gf_pushFollowsReports(aircraft)) {
    // Pushed along the reports, the nose trails the motion as the tug swings the tail.
    gf_turnTowardHeading(aircraft, gf_normalizeAngle(track.get() + geo::kPi), false);
  } else if (std::fabs(aircraft.headingRate) <= kMaxHeadingStep) {
    aircraft.heading = gf_normalizeAngle(aircraft.heading + aircraft.headingRate);
  }
}

// A straight ground leg that would have the aircraft speed up faster than an airliner does (a new
// leg faster than the last, a turn that held it back) moves it only as far as that allows; the
// time lost moves the rest of the stream later, so that the next leg keeps its own pace.
// Before a turn it cannot take at speed it brakes evenly, so as to reach the leg's end no faster
// than the turn allows. Returns the metres the step moves.
double lf_limitGroundAcceleration(LiveAc& aircraft, const Lalo& before, double accelerationMps2) {
  const double moved = gf_distanceNm(before, aircraft.position) * motion::kMetresPerNm;
  double allowed = aircraft.groundStepMetres + accelerationMps2 * 1e-4;
  if (accelerationMps2 <= kGroundAccelerationMps2)
    allowed = lf_capAtPointSpeed(aircraft, allowed, aircraft.groundStepMetres);
  // Already no faster than the turn's own pace, it need not measure the way to it.
  if (std::isfinite(aircraft.cornerEntryMps) && aircraft.cornerEntryMps >= 0.0 && !aircraft.stream.empty() &&
      !(allowed <= aircraft.cornerEntryMps / 100.0)) {
    const double left = gf_distanceNm(before, aircraft.stream.front().lalo) * motion::kMetresPerNm;
    const double entry = aircraft.cornerEntryMps;
    const double braked = std::sqrt(entry * entry + 2.0 * kGroundBrakingMps2 * left) / 100.0;
    if (std::isfinite(braked))
      allowed = std::min(allowed, std::max(braked, aircraft.groundStepMetres - kGroundBrakingMps2 * 1e-4));
  }
  if (!std::isfinite(moved) || !(moved > allowed) || !(moved > 0.0)) return moved;
  const double f = allowed / moved;
  aircraft.position = lf_mix(before, aircraft.position, f);
  // The speed it really goes: a roll's speed profile starts from it.
  aircraft.speed = allowed * 100.0 / motion::kMetresPerSecondPerKt;
  lf_fallBehind(aircraft, 1.0 - f);
  return allowed;
}

// A stop still ahead of the roll, a point or more on, with only taxi paces before it: the line-up.
bool lf_stopBeforeRoll(const LiveAc& aircraft) {
  constexpr double kLineUpMostKt = 20.0;
  const auto& s = aircraft.stream;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (gf_stopAhead(aircraft, i)) return true;
    if (s[i].groundSpeed >= kLineUpMostKt) return false;
  }
  return false;
}

// How fast an aircraft on the ground may speed up: at the roll's rate only lined up to roll, not
// on a departure's taxi nor on the legs taxiing into the line-up, even where those already lie on
// the runway's heading.
double lf_rollAcceleration(const LiveAc& aircraft) {
  if (!gf_linedUpToRoll(aircraft)) return kGroundAccelerationMps2;
  if (aircraft.state == FlightPhase::takeoff_roll && aircraft.onGround && lf_stopBeforeRoll(aircraft))
    return kGroundAccelerationMps2;
  return kTakeoffRollAccelerationMps2;
}

// A step by `v` from `from`, measured.
void lf_measureStep(LiveAc::VelocityStep& step, const Lalo& from, const Lalo& v) {
  step.velocity = v;
  step.latitude = from.lat;
  step.metres = gf_distanceNm(from, {from.lat + v.lat, gf_wrapLongitude(from.lon + v.lon)}) * motion::kMetresPerNm;
  const double squareDegrees = v.lat * v.lat + v.lon * v.lon;
  step.perMetre = step.metres > 0.0 ? 1.0 / step.metres : 0.0;
  step.perSquareDegree = squareDegrees > 0.0 ? 1.0 / squareDegrees : 0.0;
}

// One step along the aircraft's velocity, measured again only for a new velocity or once the
// aircraft has gone this far north or south: a degree of longitude is then as long to within
// 3e-4 of itself below 60 degrees of latitude. Measured at every tick, the distance's cosine held
// up each flying aircraft's step.
constexpr double kSameStepDeg = 0.01;
const LiveAc::VelocityStep& lf_velocityStep(LiveAc& aircraft, const Lalo& before) {
  LiveAc::VelocityStep& step = aircraft.velocityStep;
  if (!(aircraft.velocity == step.velocity && std::fabs(before.lat - step.latitude) < kSameStepDeg)) [[unlikely]]
    lf_measureStep(step, before, aircraft.velocity);
  return step;
}

// A straight leg in the air goes at the average pace of its reports' gap, so an aircraft speeding
// up or slowing down steadily would change its pace in one jump where a leg ends: the step changes
// from the one before only as fast as an airliner changes its speed. The metres it falls behind or
// gets ahead by stay small, and the next leg, aimed from where the aircraft is, takes them up.
// `byVelocity`: the step moved it by its velocity. Returns the metres the step moves; NaN while it
// has no pace of its own yet.
double lf_limitAirAcceleration(LiveAc& aircraft, const Lalo& before, double accelerationMps2, bool byVelocity) {
  const double last = aircraft.airStepMetres;
  if (!(last > 0.0) || !std::isfinite(last)) return NAN;  // made in the air: its leg's pace at once
  LiveAc::VelocityStep measured;  // a step put elsewhere (onto its profile's straight line)
  if (!byVelocity) [[unlikely]]
    lf_measureStep(measured, before,
                   {aircraft.position.lat - before.lat, gf_wrapLongitude(aircraft.position.lon - before.lon)});
  const LiveAc::VelocityStep& step = byVelocity ? lf_velocityStep(aircraft, before) : measured;
  const double moved = step.metres;
  if (!std::isfinite(moved) || !(moved > 1e-6)) return moved;
  const double change = accelerationMps2 * 1e-4;
  // Making up a gap to its reports, a flying aircraft gains on their speed no more than it can
  // lose again by the time the gap is closed: aimed at the whole gap at each leg, it overshot
  // and swung 30 kt about its reports' speed for minutes.
  double wanted = moved;
  const auto& s = aircraft.stream;
  // Marked as the common case (the flying aircraft are most of the tick): the compiler took it
  // for a rare one and laid it out as cold code, away from the rest of the step.
  if (!s.empty() && aircraft.state == FlightPhase::flying) [[likely]] {
    const StreamPoint& point = s.front();
    const std::int64_t left = static_cast<std::int64_t>(point.time) - g_engineTime.load();
    if (left > 0 && std::isfinite(point.groundSpeed) && point.groundSpeed > 0.0) [[likely]] {
      const double pace = point.groundSpeed * motion::kMetresPerSecondPerKt / 100.0;
      // The leg runs straight in latitude and longitude: the way to its end in steps of this one.
      const Lalo& v = step.velocity;
      const double along =
          (point.lalo.lat - before.lat) * v.lat + gf_wrapLongitude(point.lalo.lon - before.lon) * v.lon;
      const double steps = along * step.perSquareDegree;
      const double gap = moved * steps - pace * static_cast<double>(left);
      const double most = std::sqrt(2.0 * change * std::fabs(gap));
      if (std::isfinite(most)) wanted = std::min(std::max(moved, pace - most), pace + most);
    }
  }
  // Worked without branches on the outcome (min and max clamp these bounds, never NaN, as
  // std::clamp does): about half the aircraft are held back, and a branch on that came out
  // wrong every other time, only after the whole measure had been worked out.
  const double allowed = std::min(std::max(wanted, std::max(0.0, last - change)), last + change);
  const Lalo mixed = lf_mix(before, aircraft.position, allowed * step.perMetre);
  const std::uint64_t held = 0 - static_cast<std::uint64_t>(allowed != moved);  // all ones where held back
  const auto pick = [held](double ifHeld, double otherwise) {
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(ifHeld) & held) |
                                 (std::bit_cast<std::uint64_t>(otherwise) & ~held));
  };
  aircraft.position = {pick(mixed.lat, aircraft.position.lat), pick(mixed.lon, aircraft.position.lon)};
  return allowed;
}

// Off the ground, the take-off's straight legs go from the roll's pace toward the next report's,
// no faster than the climb-out's rate. At the legs' means (the lift-off's leg is timed at the
// speed the reports had at the roll's end) the climb-out went on at one speed for seconds while
// the roll's reports gathered, or slowed at the rotation; the delay the roll ended with stays.
double lf_climbOutPace(LiveAc& aircraft, const Lalo& before) {
  const double moved = gf_distanceNm(before, aircraft.position) * motion::kMetresPerNm;
  const double last = aircraft.groundStepMetres;
  if (!std::isfinite(moved) || !(moved > 1e-6) || !std::isfinite(last) || !(last > 0.0)) return moved;
  const double change = kClimbOutAccelerationMps2 * 1e-4;
  // Evenly to the point's speed by its time: toward it at once, the climb-out rose in a staircase
  // where its reports come seconds apart.
  const double reported = lf_pointStep(aircraft);
  double wanted = moved;
  if (std::isfinite(reported) && reported > 0.0) {
    const double left = static_cast<double>(aircraft.stream.front().time) - g_engineTime.load();
    wanted = last + (reported - last) / std::max(1.0, left);
  }
  const double allowed = std::clamp(wanted, std::max(0.0, last - change), last + change);
  aircraft.position = lf_mix(before, aircraft.position, allowed / moved);
  return allowed;
}

// A light aircraft's take-off never runs backwards: one tick of travel forward instead. Nor does
// any other departure on the ground go back against its nose: it stands instead, as a leg aimed
// at a stop it had run past would have it roll back along the runway.
void lf_noBackwardSlide(LiveAc& aircraft, const Lalo& before) {
  if (aircraft.category != AcCategory::none) {
    if (!aircraft.onGround || aircraft.state != FlightPhase::takeoff_roll) return;
    const RelativeGeometry g = gf_relativeGeometry(before, aircraft.heading, aircraft.position);
    if (g.distanceM > 0.02 && g.alongM < -0.02) aircraft.position = before;
    return;
  }
  const bool rolling = aircraft.onGround && aircraft.state == FlightPhase::takeoff_roll;
  if (!rolling && (aircraft.onGround || !lf_inDepartureClimb(aircraft))) return;
  const double heading = aircraft.departureRunway ? gf_normalizeAngle(aircraft.departureRunway->headingDeg * kDeg)
                                                  : aircraft.heading;
  const RelativeGeometry g = gf_relativeGeometry(before, heading, aircraft.position);
  if (!(g.distanceM > 0.02 && g.alongM < -0.02)) return;
  double speed = 0.0;
  for (const double v : {aircraft.speed, aircraft.stream.empty() ? 0.0 : aircraft.stream.front().groundSpeed})
    if (std::isfinite(v)) speed = std::max(speed, v);
  aircraft.position = gf_destinationPoint(before, {heading, speed * geo::kFeetPerNm / 360000.0});
}

void lf_verticalStep(LiveAc& aircraft) {
  if (aircraft.state == FlightPhase::flying && lf_inDepartureClimb(aircraft))
    gf_applyVerticalRate(aircraft, gf_cruiseLimit(aircraft, aircraft.verticalRate));
  else if (aircraft.goingAround && (aircraft.state == FlightPhase::flying || aircraft.state == FlightPhase::landing))
    gf_goAroundVerticalStep(aircraft);
  else if (aircraft.state == FlightPhase::flying && aircraft.category == AcCategory::none)
    gf_applyVerticalRate(aircraft, gf_cruiseLimit(aircraft, aircraft.appliedVerticalRate));
  else if (aircraft.state == FlightPhase::landing)
    gf_approachVerticalStep(aircraft);
  else
    aircraft.altitude += aircraft.appliedVerticalRate;
  gf_groundFloorStep(aircraft);
}

void lf_attitudeStep(LiveAc& aircraft) {
  const auto index = static_cast<std::size_t>(aircraft.category);
  const double limit = index < kBankLimit.size() ? kBankLimit[index] : 30.0 * kDeg;
  const bool landing = aircraft.state == FlightPhase::landing;
  if (aircraft.pitchTransition) {
    aircraft.pitch = gf_approachValue(aircraft.pitch, aircraft.refPitch, std::fabs(aircraft.pitchStep));
    if (aircraft.pitch == aircraft.refPitch) {
      aircraft.pitchStep = aircraft.bank = aircraft.bankStep = 0.0;
      aircraft.pitchTransition = false;
      aircraft.attitudeMode = 0;
    }
    aircraft.bank += aircraft.bankStep;
    return;
  }
  if (aircraft.attitudeMode == 0) {
    if (aircraft.onGround) {
      aircraft.pitch = aircraft.refPitch;
      aircraft.bank = 0.0;
      return;
    }
    // Asked only here: the park airport's elevation is read under the neighbours' lock.
    const double bankLimit = gf_bankLimit(limit, landing, lf_heightAboveRunway(aircraft), false);
    aircraft.bank = std::clamp(aircraft.bank + aircraft.bankStep, -bankLimit, bankLimit);
    aircraft.pitch += aircraft.pitchStep;
    lf_verticalStep(aircraft);
    return;
  }
  const double tight = gf_bankLimit(limit, landing, lf_heightAboveRunway(aircraft), true);
  aircraft.bank = std::clamp(aircraft.bank + aircraft.bankStep, -tight, tight);
  aircraft.pitch = gf_approachValue(aircraft.pitch, -4.0 * kDeg, std::fabs(aircraft.pitchStep));
}

// A moving point the aircraft reaches on a straight taxi or roll leg is due then. Passed while its
// time had not come (the slip and the speed-up limit handing time on as delay every tick), the
// aircraft ran on through the points into its line-up, speeding up to 17 kt, and dropped to 4 kt
// within a tick where the leg into the stop began. `moved`: the metres the step moved, NaN while
// not measured or once the aircraft is put on its point.
bool lf_reachedMovingPoint(LiveAc& aircraft, const Lalo& before, double& moved) {
  if (aircraft.stream.empty()) return false;
  StreamPoint& point = aircraft.stream.front();
  if (point.repeated || !(point.groundSpeed > 0.0)) return false;
  if (std::isnan(moved)) moved = gf_distanceNm(before, aircraft.position) * motion::kMetresPerNm;
  if (!(moved > 1e-6)) return false;
  // Within this tick's reach and along the move: from where the move ends, the point lies no
  // further than the move itself, and not aside of it by more than a metre.
  const double toPoint = gf_distanceNm(before, point.lalo) * motion::kMetresPerNm;
  if (!(toPoint > 1e-3 && toPoint <= moved)) return false;
  const double fromEnd = gf_distanceNm(aircraft.position, point.lalo) * motion::kMetresPerNm;
  if (!(fromEnd <= moved && toPoint + fromEnd <= moved + 1.0)) return false;
  aircraft.position = point.lalo;
  moved = NAN;
  const std::int32_t now = g_engineTime.load();
  if (point.time > now + 1) point.time = now + 1;
  return true;
}

}  // namespace

void gf_moveAlongLeg(LiveAc& aircraft) {
  if (aircraft.state == FlightPhase::takeoff_roll && aircraft.onGround && aircraft.takeoffPending &&
      gf_takeoffReadiness(aircraft) != 0) {
    if (const std::int32_t mode = gf_takeoffMode(aircraft); mode != 0) gf_beginTakeoff(aircraft, mode);
  }
  LegPlan& leg = aircraft.legPlan;
  if (!aircraft.onGround || aircraft.state == FlightPhase::pushing_back || leg.hasTurn() || leg.hasCurve())
    aircraft.turnSpeed = 0.0;

  const Lalo before = aircraft.position;
  const bool profiled = aircraft.profileActive;
  const double headingBefore = aircraft.heading;
  const double paceBefore = aircraft.groundStepMetres;
  const bool shaped = (leg.hasTurn() || leg.hasCurve()) && leg.legFraction < kCurveEnd;
  const bool spent = lf_weightsSpent(aircraft);
  const RollContext& roll = aircraft.rollContext;
  const bool rollEnds = roll.valid && roll.profile.endSpeed > 0.0 && (roll.step + 1) / 100.0 > roll.profile.duration;
  const bool towing = aircraft.state == FlightPhase::parking && aircraft.towPath.valid;
  if (towing)
    lf_towStep(aircraft);
  else if (aircraft.rollContext.valid)
    lf_rollStep(aircraft);
  else if (leg.hasTurn())
    lf_turnStep(aircraft);
  else if (leg.hasCurve())
    lf_curveStep(aircraft);
  else
    lf_straightStep(aircraft);

  const bool taxiing = aircraft.state == FlightPhase::taxi || aircraft.state == FlightPhase::parking;
  // A take-off roll without its speed profile (a leg catching up with bunched reports) speeds up
  // no faster than an airliner's roll either, instead of leaping to the leg's speed.
  const bool rolling = aircraft.state == FlightPhase::takeoff_roll || aircraft.state == FlightPhase::takeoff;
  const bool straight = (taxiing || rolling) && !towing && !aircraft.rollContext.valid && !leg.hasTurn() && !leg.hasCurve();
  const bool straightOnGround = aircraft.onGround && straight;
  double metres = NAN;  // how far the step moved the aircraft, once measured
  if (straightOnGround)
    metres = lf_limitGroundAcceleration(aircraft, before, lf_rollAcceleration(aircraft));
  else if (straight && aircraft.state == FlightPhase::takeoff)
    metres = lf_climbOutPace(aircraft, before);
  const bool passed = straightOnGround && aircraft.groundKind == 0 && aircraft.state != FlightPhase::pushed_back &&
                      lf_reachedMovingPoint(aircraft, before, metres);
  // The flare too: floating past the first ground report, the roll-out's leg would take the
  // aircraft from its approach speed to the leg's mean within a tick, feet over the runway.
  const bool airStraight = !aircraft.onGround && !towing && !aircraft.rollContext.valid && !aircraft.profileActive &&
                           !leg.hasTurn() && !leg.hasCurve() &&
                           (aircraft.state == FlightPhase::flying || aircraft.state == FlightPhase::landing);
  if (airStraight) [[likely]]
    metres = lf_limitAirAcceleration(
        aircraft, before, lf_inDepartureClimb(aircraft) ? kClimbOutAccelerationMps2 : kAirAccelerationMps2, !profiled);
  aircraft.groundStepMetres = std::isnan(metres) ? gf_distanceNm(before, aircraft.position) * motion::kMetresPerNm : metres;
  // A turn that ends within this tick moved only its remainder: the next leg speeds up from the
  // pace the aircraft had, not from that remainder.
  // So does a roll's speed profile that ends within it still moving.
  const bool turnEnded = (shaped && (!(leg.hasTurn() || leg.hasCurve()) || leg.legFraction >= kCurveEnd)) || rollEnds;
  if (turnEnded && std::isfinite(paceBefore)) aircraft.groundStepMetres = std::max(aircraft.groundStepMetres, paceBefore);
  // So does a straight leg that reaches its moving point within this tick:
  // the roll built from that remainder started at 4 kt where the aircraft came at 11.
  // Asked only where the answer counts: the comparison waits for the whole step's measure, and a
  // branch on it, wrong for about half the flying aircraft, held every tick up until it was known.
  const bool reached = passed || (spent && !aircraft.stream.empty() && aircraft.stream.front().groundSpeed > 0.0 &&
                                  gf_distanceNm(aircraft.position, aircraft.stream.front().lalo) * motion::kMetresPerNm < 1e-3);
  if (reached && std::isfinite(paceBefore) && aircraft.groundStepMetres < paceBefore)
    aircraft.groundStepMetres = paceBefore;
  aircraft.airStepMetres = aircraft.onGround ? -1.0 : aircraft.groundStepMetres;
  const double limit = 1.2 * aircraft.defaultTurnPerStep;
  if (aircraft.onGround && !towing && std::isfinite(limit) && limit > 0.0) {
    const double change = std::clamp(gf_wrapAngle(aircraft.heading - headingBefore), -limit, limit);
    aircraft.heading = gf_normalizeAngle(headingBefore + change);
  }
  lf_noBackwardSlide(aircraft, before);

  if (aircraft.state == FlightPhase::takeoff) {
    gf_takeoffClimbStep(aircraft);
    return;
  }
  if (aircraft.state == FlightPhase::landing && !aircraft.onGround && lf_heightAboveRunway(aircraft) < 400.0)
    gf_flareStep(aircraft);
  lf_attitudeStep(aircraft);
}
