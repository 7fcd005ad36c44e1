// The airborne half of the per-aircraft step: vertical rate, pitch, turn, the configuration by
// height, the approach to the park airport and its flare.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "core/geodesy.h"
#include "feed/qnh.h"
#include "feed/traffic_mailbox.h"
#include "refdata/airports.h"
#include "simlink/sim_commands.h"
#include "traffic/aircraft_step.h"
#include "traffic/engine_hooks.h"
#include "traffic/flat_frame.h"
#include "traffic/movement_geometry.h"
#include "traffic/runway_matching.h"
#include "traffic/sim_events.h"
#include "traffic/stream_extension.h"
#include "traffic/takeoff.h"
#include "traffic/touchdown.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr double kFtMinPerRate = 6000.0;  // ft/min in one ft per tick
constexpr double kRateStep = 0.001;       // the most a rate changes in one step
constexpr double kNearParkNm = 10.0;
constexpr double kHighAltitudeFt = 10000.0;
constexpr double kLevelOffFtMin = 601.0;
constexpr double kClearlyAheadM = 50.0;  // the least distance to a touch-down point worth moving to
constexpr double kTouchDownM = 300.0;    // past the threshold, a third of a short runway
constexpr double kFtPerM = 3.2808399;
// The approach floor: 2.5 degrees up from the touch-down point, a little under the usual 3.
const double kFloorSlope = std::tan(2.5 * geo::kDegToRad);
// Near the ground a landing aircraft sinks at most 1500 ft/min; higher up it may sink faster.
constexpr double kNearGroundFt = 200.0;
constexpr double kNearGroundSinkFtMin = 1450.0;
// Reports that go around: a point this far above the lowest before it, climbing at least this
// fast.
constexpr double kGoAroundClimbFt = 50.0;
constexpr double kGoAroundClimbFtMin = 400.0;
constexpr std::int32_t kGoAroundTicks = 3000;  // after leaving the approach, its climb still eases in

// Per category 0..6: the nose-up attitude (degrees) of level flight, the most the pitch turns in
// a second (degrees) and the largest bank of the air step's turns (degrees).
constexpr std::array<double, 7> kLevelPitchDeg{3.0, 3.0, 2.5, 2.5, 2.5, 2.0, 0.0};
constexpr std::array<double, 7> kPitchRateDegPerS{3.0, 3.0, 2.0, 2.0, 1.5, 5.0, 3.0};
constexpr std::array<double, 7> kTurnBankDeg{8.0, 8.0, 8.0, 8.0, 8.0, 12.0, 20.0};

std::size_t lf_index(AcCategory category) { return std::min<std::size_t>(static_cast<std::size_t>(category), 6); }

bool lf_isRotorcraft(const LiveAc& aircraft) { return aircraft.category == AcCategory::rotorcraft; }

// The park airport's field elevation (ft) while the aircraft is near it.
std::optional<double> lf_nearParkAltitude(const LiveAc& aircraft) {
  return gf_parkAirportElevationNear(aircraft.position, kNearParkNm);
}

// Height for the configuration: over the park airport's field near it, else the point's altitude.
double lf_configHeight(const LiveAc& aircraft) {
  if (const auto park = lf_nearParkAltitude(aircraft)) return aircraft.altitude - *park;
  return aircraft.stream[0].altitude;
}

double lf_flapsHeight(const LiveAc& aircraft) {
  const auto c = aircraft.category;
  return c == AcCategory::buzjet || c == AcCategory::large || c == AcCategory::heavy ? 2050.0 : 625.0;
}

double lf_vs(const StreamPoint& p) { return std::isfinite(p.verticalRate) ? p.verticalRate : 0.0; }

double lf_streamClimbSum(const LiveAc& aircraft) {
  double sum = 0.0;
  for (const StreamPoint& p : aircraft.stream) sum += lf_vs(p);
  return sum;
}

void lf_setLimits(LiveAc& aircraft, std::int32_t ticks) { aircraft.predictLimitA = aircraft.predictLimitB = ticks; }

// A ground point of the approach that lies more than 50 m before the threshold while the
// aircraft is still in the air.
bool lf_shortOfRunway(const LiveAc& aircraft, const StreamPoint& point) {
  if (aircraft.state != FlightPhase::landing || point.airborne) return false;
  if (!(aircraft.simAgl > aircraft.cgHeightFt + 1.0)) return false;
  const auto match = gf_approachRunwayAt(aircraft, point.lalo);
  return match && match->fromThreshold && *match->fromThreshold < -50.0;
}

double lf_cg(const LiveAc& aircraft) {
  return std::isfinite(aircraft.cgHeightFt) ? std::max(aircraft.cgHeightFt, 0.0) : 0.0;
}

// The runway ahead of an approach as the floor sees it: the ground the simulator draws there,
// and where a point lies from the threshold and the touch-down point.
struct ApproachFrame {
  double groundFt = 0.0;
  double fromThresholdM = 0.0;
  double aimM = 0.0;  // the touch-down point past the threshold
};

std::optional<ApproachFrame> lf_approachFrame(const LiveAc& aircraft, const Lalo& at) {
  const auto match = gf_approachRunwayAt(aircraft, at);
  if (!match || !match->fromThreshold || !match->landingLength || !std::isfinite(match->elevation)) return std::nullopt;
  double ground = match->elevation;
  if (std::isfinite(aircraft.simGroundFt)) ground = std::max(ground, aircraft.simGroundFt);
  return ApproachFrame{ground, *match->fromThreshold, std::min(kTouchDownM, *match->landingLength / 3.0)};
}

// The lowest altitude of an approach at a point: on a shallow path down to the touch-down
// point, on the ground beyond it.
double lf_floorFt(const ApproachFrame& frame, double cg) {
  return frame.groundFt + cg + std::max(0.0, frame.aimM - frame.fromThresholdM) * kFloorSlope * kFtPerM;
}

// The fastest sink (ft/min, positive) a landing aircraft shows at this height over the ground.
double lf_sinkLimitFtMin(double heightFt) {
  if (!std::isfinite(heightFt)) return std::numeric_limits<double>::infinity();
  return std::clamp(kNearGroundSinkFtMin + (heightFt - kNearGroundFt) * 1.875, kNearGroundSinkFtMin, 3000.0);
}

// A slow aircraft's report barely over the field comes airborne but without a height: the feed
// cannot tell it from the ground.
bool lf_heightKnown(const StreamPoint& p) { return std::isfinite(p.altitude) && p.altitude > 0.0; }

// The first report ahead that climbs away before any is on the ground; `bottom` is the lowest
// known height up to it (the aircraft's own before any).
std::optional<std::size_t> lf_climbAwayIndex(const LiveAc& aircraft, double& bottom) {
  const auto& s = aircraft.stream;
  if (s.empty() || !s[0].airborne) return std::nullopt;
  bottom = lf_heightKnown(s[0]) ? s[0].altitude : aircraft.altitude;
  for (std::size_t i = 1; i < s.size(); ++i) {
    const StreamPoint& p = s[i];
    if (!p.airborne) return std::nullopt;
    if (!lf_heightKnown(p)) continue;
    bottom = std::min(bottom, p.altitude);
    if (p.altitude >= bottom + kGoAroundClimbFt && lf_vs(p) >= kGoAroundClimbFtMin) {
      if (!std::isfinite(bottom)) return std::nullopt;
      return i;
    }
  }
  return std::nullopt;
}

// Going around, a report without a height lies between the known heights around it in time:
// flown as the ground, it would put the aircraft on the runway its reports never reach.
void lf_fillUnknownHeights(LiveAc& aircraft, std::size_t climb) {
  auto& s = aircraft.stream;
  double fromFt = aircraft.altitude;
  double fromTime = g_engineTime.load();
  for (std::size_t i = 0; i < climb; ++i) {
    if (lf_heightKnown(s[i])) {
      fromFt = s[i].altitude;
      fromTime = s[i].time;
      continue;
    }
    std::size_t known = i + 1;
    while (known < climb && !lf_heightKnown(s[known])) ++known;
    const double span = std::max(1.0, s[known].time - fromTime);
    s[i].altitude = fromFt + (s[known].altitude - fromFt) * std::clamp((s[i].time - fromTime) / span, 0.0, 1.0);
  }
}

// Set as a leg begins, and on the way down to a flare as reports come: on the approach whose
// reports go around, and for a while after any approach was left, the aircraft flies the reports
// with its climb easing in.
void lf_updateGoAround(LiveAc& aircraft) {
  const bool left = aircraft.state == FlightPhase::flying && aircraft.prevState == FlightPhase::landing &&
                    g_engineTime.load() - aircraft.stateSince <= kGoAroundTicks;
  double bottom = std::numeric_limits<double>::quiet_NaN();
  std::optional<std::size_t> climb;
  if (aircraft.state == FlightPhase::landing || left) climb = lf_climbAwayIndex(aircraft, bottom);
  const bool ahead = climb.has_value();
  if (ahead) {
    lf_fillUnknownHeights(aircraft, *climb);
    for (std::size_t i = 0; i < *climb; ++i) bottom = std::min(bottom, aircraft.stream[i].altitude);
  }
  aircraft.goingAround = ahead || left;
  aircraft.goAroundBottomFt = ahead ? bottom : std::numeric_limits<double>::quiet_NaN();
  // A flare begun toward reports that now climb away is given up.
  if (aircraft.goingAround) aircraft.flareStage = 0;
}


double lf_liftOffRate(const LiveAc& aircraft, std::int32_t ticks) {
  double rate = (aircraft.stream[1].altitude - aircraft.altitude) / ticks;
  if (!(rate > 0.0)) rate = 0.0;
  if (aircraft.state == FlightPhase::takeoff) rate = std::max(rate, aircraft.verticalRate);
  return rate;
}

// The aircraft flies toward a ground point: the touch-down, or a lift-off further on.
double lf_touchDownSearch(LiveAc& aircraft, std::int32_t& ticks) {
  gf_setGear(aircraft, true);
  auto& stream = aircraft.stream;
  if (aircraft.state == FlightPhase::landing || lf_streamClimbSum(aircraft) <= 100.0)
    return gf_descentRate(aircraft) / kFtMinPerRate;
  const std::size_t last = std::min<std::size_t>(10, stream.size() - 1);
  for (std::size_t k = 2; k <= last; ++k) {
    if (!stream[k].airborne) continue;
    // The ground points up to the one before the lift-off go; that one is flown to directly.
    stream.erase(stream.begin() + 1, stream.begin() + static_cast<std::ptrdiff_t>(k - 1));
    const double metres = gf_distanceNm(aircraft.position, stream[1].lalo) * 1852.0;
    const double speedMps = gf_acSpeedKt(aircraft) * motion::kMetresPerSecondPerKt;
    const double legTicks = metres / speedMps * 100.0;
    gf_retimeNextPoint(aircraft, std::isfinite(legTicks) ? static_cast<std::int32_t>(std::max(25.0, legTicks)) : 25);
    ticks = gf_ticksToNextPoint(aircraft);
    return lf_liftOffRate(aircraft, ticks);
  }
  stream[1].verticalRate = std::max(lf_vs(stream[1]), kLevelOffFtMin);
  return stream[1].verticalRate / kFtMinPerRate;
}

// The vertical rate of the leg; none where the rate stays as it was.
std::optional<double> lf_legRate(LiveAc& aircraft, std::int32_t& ticks) {
  auto& stream = aircraft.stream;
  const StreamPoint& current = stream[0];
  const StreamPoint& next = stream[1];
  if (!current.airborne && !lf_shortOfRunway(aircraft, current)) {
    if (next.airborne) return lf_liftOffRate(aircraft, ticks);
    return lf_touchDownSearch(aircraft, ticks);
  }
  if (lf_shortOfRunway(aircraft, next)) {
    gf_setGear(aircraft, true);
    return gf_descentRate(aircraft) / kFtMinPerRate;
  }
  if (current.airborne && !next.airborne) {
    const bool liftOffAhead =
        aircraft.state == FlightPhase::takeoff &&
        std::any_of(stream.begin() + 2, stream.end(), [](const StreamPoint& p) { return p.airborne; });
    if (liftOffAhead) return std::nullopt;
    gf_setGear(aircraft, true);
    if (g_qnh.load() > kStandardQnh) return gf_descentRate(aircraft) / kFtMinPerRate;
    if (const auto elevation = gf_parkAirportElevation())
      return (*elevation + aircraft.cgHeightFt - aircraft.altitude) / ticks;
    return -kLevelOffFtMin / kFtMinPerRate;
  }
  if (!current.airborne || !next.airborne) return std::nullopt;
  double target = next.altitude;
  if (!aircraft.goingAround && !gf_justTookOff(aircraft)) target += gf_qnhLagFt(aircraft, next.time);
  if (aircraft.state == FlightPhase::landing) {
    // A report under the known ground or the approach's floor is no place to fly to; going
    // around, the reports leave the approach's path and are flown as they are.
    if (const auto ground = gf_knownGroundFt(aircraft)) target = std::max(target, *ground + lf_cg(aircraft));
    const auto frame = aircraft.goingAround ? std::nullopt : lf_approachFrame(aircraft, next.lalo);
    if (frame) target = std::max(target, lf_floorFt(*frame, lf_cg(aircraft)));
  }
  double rate = (target - aircraft.altitude) / ticks;
  if (aircraft.state == FlightPhase::takeoff && aircraft.simAgl <= 1000.0) rate = std::max(rate, 0.2);
  // Right after the take-off or in a go-around the climb follows the feed's; a leg that would
  // make up a lag in one go is held to half again the feed's own rate.
  if (gf_justTookOff(aircraft) || aircraft.goingAround) {
    const double reported = std::max(lf_vs(current), lf_vs(next));
    if (reported > 0.0) rate = std::min(rate, 1.5 * reported / kFtMinPerRate);
  }
  if (aircraft.state == FlightPhase::landing && !aircraft.goingAround && next.altitude == current.altitude &&
      aircraft.simAgl <= 1000.0 && lf_vs(current) + lf_vs(next) <= 100.0)
    rate = gf_descentRate(aircraft) / kFtMinPerRate;
  return rate;
}

// Nose up with the climb, down with the descent, around the category's level attitude.
double lf_pitchTarget(const LiveAc& aircraft, double verticalFtMin) {
  const double degrees = kLevelPitchDeg[lf_index(aircraft.category)] + std::clamp(verticalFtMin / 500.0, -4.0, 8.0);
  return -degrees * kDeg;
}

void lf_verticalAndPitch(LiveAc& aircraft, std::int32_t& ticks) {
  if (aircraft.flareStage != 0) return;
  double shownFtMin = lf_vs(aircraft.stream[1]);
  if (const std::optional<double> rate = lf_legRate(aircraft, ticks); rate && std::isfinite(*rate)) {
    // The climb-out and a go-around aim and the step blends toward the aim, a take-off's
    // hand-over included.
    if (gf_justTookOff(aircraft) || aircraft.goingAround)
      aircraft.verticalRate = *rate;
    else
      aircraft.appliedVerticalRate = *rate;
    // In flight the simulator is shown the climb the aircraft flies, not the report's; the nose
    // of a go-around leads its climb.
    if (aircraft.state == FlightPhase::flying || aircraft.goingAround) {
      shownFtMin = *rate * kFtMinPerRate;
      aircraft.pendingNextValue = aircraft.goingAround ? aircraft.appliedVerticalRate * kFtMinPerRate : shownFtMin;
    }
  }
  if (aircraft.state == FlightPhase::takeoff) return;
  const double limit = kPitchRateDegPerS[lf_index(aircraft.category)] * kDeg / 100.0;
  const double step = (lf_pitchTarget(aircraft, shownFtMin) - aircraft.pitch) / ticks;
  aircraft.pitchStep = std::isfinite(step) ? std::clamp(step, -limit, limit) : 0.0;
}

// The runway's extended centre line, from the approach points that follow, with 5 degrees bank.
std::optional<double> lf_approachCourse(const LiveAc& aircraft) {
  std::array<Lalo, 6> points;
  std::size_t count = 0;
  for (std::size_t i = 1; i < aircraft.stream.size() && count < points.size(); ++i) {
    const StreamPoint& p = aircraft.stream[i];
    if (p.airborne && !p.repeated) points[count++] = p.lalo;
  }
  const StraightAheadResult r = gf_straightAheadHeading(
      {aircraft.position, {points.data(), count}, gf_normalizeAngle(aircraft.heading), 300.0, 20000.0, 30.0 * kDeg});
  if (!r.found) return std::nullopt;
  return r.heading;
}

void lf_turn(LiveAc& aircraft, std::int32_t ticks) {
  const auto& stream = aircraft.stream;
  double course = stream.size() >= 3 ? gf_bearingRad(stream[1].lalo, stream[2].lalo)
                                     : gf_bearingRad(aircraft.position, stream[1].lalo);
  double maxBankDeg = kTurnBankDeg[lf_index(aircraft.category)];
  if (aircraft.state == FlightPhase::landing && aircraft.simAgl < 2000.0) {
    if (const auto approach = lf_approachCourse(aircraft)) {
      course = *approach;
      maxBankDeg = 5.0;
    }
  }
  TurnStepInput in;
  in.heading = aircraft.heading;
  in.targetHeading = course;
  in.bank = aircraft.bank;
  in.speedKt = gf_acSpeedKt(aircraft);
  in.dt = ticks / 100.0;
  in.timeConstant = 1.0;
  in.maxTurnRate = 3.0 * kDeg;  // a standard-rate turn
  in.maxBank = maxBankDeg * kDeg;
  in.maxRollRate = 3.0 * kDeg;
  const TurnStepResult r = gf_turnStep(in);
  aircraft.bank = r.bank;
  aircraft.bankStep = r.rollRate / 100.0;
  aircraft.headingRate = r.turnRate / 100.0;
}

void lf_highAltitudeConfiguration(LiveAc& aircraft) {
  if (aircraft.highConfigDone) return;
  aircraft.highConfigDone = true;
  gf_queueLightEvents(aircraft.objectId, lightset::kAbove10000);
  gf_setThrottle(aircraft, lf_isRotorcraft(aircraft) ? 4 : 3);
  gf_setGear(aircraft, false);
  gf_setFlaps(aircraft, 0);
  lf_setLimits(aircraft, 900);
}

// Too high over the runway to land from here.
bool lf_highOnApproach(const LiveAc& aircraft) {
  const auto match = gf_approachRunwayAt(aircraft, aircraft.position);
  return match && match->fromStart - match->startZone > 100.0 && aircraft.altitude - match->elevation > 250.0;
}

void lf_clean(LiveAc& aircraft) {
  gf_setThrottle(aircraft, 4);
  gf_setGear(aircraft, false);
  gf_setFlaps(aircraft, 0);
  aircraft.flareStage = 0;
  aircraft.cleanClimb = true;
}

double lf_fieldElevation(const LiveAc& aircraft) {
  if (const auto ground = gf_knownGroundFt(aircraft)) return *ground;
  return aircraft.altitude - aircraft.simAgl;
}

}  // namespace

bool gf_justTookOff(const LiveAc& aircraft) {
  if (aircraft.state == FlightPhase::takeoff) return true;
  return aircraft.state == FlightPhase::flying && aircraft.prevState == FlightPhase::takeoff &&
         g_engineTime.load() - aircraft.stateSince <= 3000;
}

double gf_descentRate(const LiveAc& aircraft) {
  if (aircraft.simAgl <= 100.0 || aircraft.stream.size() < 2) return -600.0;
  const double mean = (lf_vs(aircraft.stream[0]) + lf_vs(aircraft.stream[1])) / 2.0;
  return std::min(mean - (g_qnh.load() - 1013.25) * 6.0, -kLevelOffFtMin);
}

double gf_cruiseLimit(LiveAc& aircraft, double rate) {
  const bool climbing = aircraft.state == FlightPhase::takeoff || aircraft.state == FlightPhase::flying;
  if (!climbing || aircraft.category != AcCategory::none || !std::isfinite(aircraft.cruiseAltitude)) return rate;
  if (rate < 0.0) return std::max(rate, -1200.0 / kFtMinPerRate);
  const double above = aircraft.altitude - aircraft.cruiseAltitude;
  if (above > 650.0) return -600.0 / kFtMinPerRate;
  if (above >= 500.0) return std::min(rate, 0.0);
  return rate;
}

void gf_applyVerticalRate(LiveAc& aircraft, double rate) {
  aircraft.appliedVerticalRate = gf_approachValue(aircraft.appliedVerticalRate, rate, kRateStep);
  aircraft.altitude += aircraft.appliedVerticalRate;
  aircraft.nextValue = aircraft.appliedVerticalRate * kFtMinPerRate;
}

double gf_approachDescentRate(LiveAc& aircraft, double rate) {
  if (aircraft.state != FlightPhase::landing || aircraft.onGround || aircraft.stream.size() < 2) return rate;
  const auto match = gf_approachRunwayAt(aircraft, aircraft.position);
  if (!match || !match->fromThreshold) return rate;
  const StreamPoint& next = aircraft.stream[1];
  const double seconds = gf_ticksToNextPoint(aircraft) / 100.0;
  const double neededKt = gf_distanceNm(aircraft.position, next.lalo) * 3600.0 / seconds;
  // The faster of the two: the stream's timing may ask for more than the aircraft flies.
  double speedKt = std::isfinite(aircraft.speed) && aircraft.speed > 0.0 ? aircraft.speed : 0.0;
  if (std::isfinite(neededKt) && neededKt > speedKt) speedKt = neededKt;
  DescentInput in;
  in.q = {rate * kFtMinPerRate,
          aircraft.altitude,
          std::max(match->elevation, std::isfinite(aircraft.simGroundFt) ? aircraft.simGroundFt : match->elevation) +
              aircraft.cgHeightFt,
          *match->fromThreshold,
          match->landingLength.value_or(match->length),
          std::min(speedKt, 200.0),
          0.0,
          0.0,
          0.0};
  const DescentCorrection r = gf_descentCorrection(in);
  if (r.corrected) aircraft.approachCapped = true;
  return r.rate / kFtMinPerRate;
}

void gf_approachVerticalStep(LiveAc& aircraft) {
  // The flare sets its own rates; the glide path has had its say by then.
  double rate = aircraft.flareStage != 0 ? aircraft.appliedVerticalRate
                                         : gf_approachDescentRate(aircraft, aircraft.appliedVerticalRate);
  const std::optional<double> ground = gf_knownGroundFt(aircraft);
  const double cg = lf_cg(aircraft);
  if (ground && !aircraft.onGround) {
    // No dive near the ground, whatever the reports or the solver ask.
    const double limit = -lf_sinkLimitFtMin(aircraft.altitude - cg - *ground) / kFtMinPerRate;
    rate = std::max(rate, limit);
    aircraft.appliedVerticalRate = std::max(aircraft.appliedVerticalRate, limit);
  }
  const std::optional<ApproachFrame> before =
      aircraft.onGround ? std::nullopt : lf_approachFrame(aircraft, aircraft.position);
  const double altitudeBefore = aircraft.altitude;
  gf_applyVerticalRate(aircraft, rate);
  if (!before) return;
  // On the approach's floor it slides down the floor; below it (it came in low) it holds its height
  // until the floor comes down to it.
  const double floorBefore = lf_floorFt(*before, cg);
  const auto after = lf_approachFrame(aircraft, aircraft.position);
  const double floorNow = after ? lf_floorFt(*after, cg) : floorBefore;
  const double lowest = altitudeBefore >= floorBefore - 0.5 ? floorNow : altitudeBefore;
  if (aircraft.altitude < lowest) {
    aircraft.altitude = lowest;
    aircraft.appliedVerticalRate = lowest - altitudeBefore;
    aircraft.nextValue = aircraft.appliedVerticalRate * kFtMinPerRate;
  }
}

void gf_goAroundVerticalStep(LiveAc& aircraft) {
  double rate = aircraft.verticalRate;
  // Down to the reports' lowest point no faster than it can level off there at the step's limit.
  const double above = aircraft.altitude - aircraft.goAroundBottomFt;
  if (std::isfinite(above)) rate = std::max(rate, -std::sqrt(2.0 * kRateStep * std::max(above, 0.0)));
  gf_applyVerticalRate(aircraft, gf_cruiseLimit(aircraft, rate));
}

void gf_flareStep(LiveAc& aircraft) {
  // The reports of a go-around may come while the aircraft is on its way down to them: it goes on
  // from the rate it flies.
  if (!aircraft.goingAround) {
    lf_updateGoAround(aircraft);
    if (aircraft.goingAround) aircraft.verticalRate = aircraft.appliedVerticalRate;
  }
  if (aircraft.goingAround) return;
  constexpr double kFlarePitch = -4.0 * kDeg;
  struct Stage {
    double aboveCgFt;
    double rateFtMin;
  };
  constexpr std::array<Stage, 4> kStages{{{30.0, -600.0}, {20.0, -450.0}, {10.0, -300.0}, {3.0, -150.0}}};
  const double height = aircraft.altitude - lf_fieldElevation(aircraft);
  if (aircraft.flareStage < kStages.size()) {
    const Stage& stage = kStages[aircraft.flareStage];
    if (std::isfinite(height) && height <= aircraft.cgHeightFt + stage.aboveCgFt) {
      if (aircraft.flareStage == 0)
        aircraft.pitchStep = (kFlarePitch - aircraft.pitch) / std::max(1, aircraft.flareSteps);
      if (aircraft.flareStage == 2) gf_setThrottle(aircraft, 0);
      aircraft.appliedVerticalRate = stage.rateFtMin / kFtMinPerRate;
      if (!aircraft.stream.empty())
        aircraft.stream[0].verticalRate = aircraft.flareStage == 0 ? -kLevelOffFtMin : stage.rateFtMin;
      ++aircraft.flareStage;
    }
  }
  // The nose stops at the flare attitude.
  if (aircraft.flareStage != 0) {
    const double left = kFlarePitch - aircraft.pitch;
    if (std::fabs(left) <= std::fabs(aircraft.pitchStep) || left * aircraft.pitchStep < 0.0) aircraft.pitchStep = left;
  }
}

void gf_approachTransitions(LiveAc& aircraft) {
  const StreamPoint& current = aircraft.stream[0];
  const StreamPoint& next = aircraft.stream[1];
  const bool lower = next.altitude < current.altitude - 10.0;
  const bool descending =
      (lower && lf_vs(current) <= -250.0 && lf_vs(next) <= -250.0) ||
      (!next.airborne && (lf_vs(current) <= -250.0 || lower || aircraft.appliedVerticalRate * kFtMinPerRate <= -250.0));
  // Reports that go around leave the approach at their lowest, as soon as they climb.
  const bool climbing =
      next.airborne && ((next.altitude >= current.altitude + 50.0 && lf_vs(current) >= 400.0 && lf_vs(next) >= 400.0) ||
                        (aircraft.goingAround && next.altitude > current.altitude && lf_vs(next) >= 400.0));
  const bool nearPark = lf_nearParkAltitude(aircraft).has_value();
  if (aircraft.state == FlightPhase::landing && (climbing || !nearPark || lf_highOnApproach(aircraft))) {
    gf_changeState(aircraft, FlightPhase::flying);
    lf_clean(aircraft);
    lf_setLimits(aircraft, 900);
    return;
  }
  if (!descending) {
    if (lf_vs(current) > 600.0 && !aircraft.cleanClimb) lf_clean(aircraft);
    return;
  }
  if (aircraft.state == FlightPhase::flying && nearPark) {
    gf_changeState(aircraft, FlightPhase::landing);
    gf_setThrottle(aircraft, lf_isRotorcraft(aircraft) ? 4 : 1);
    gf_setFlaps(aircraft, 3);
    gf_setGear(aircraft, true);
    aircraft.reservedStandId = 0;
    aircraft.hasReservation = false;
    aircraft.cleanClimb = false;
    lf_setLimits(aircraft, 2700);
  }
}

void gf_lowAltitudeConfiguration(LiveAc& aircraft, double height) {
  if (!aircraft.lowLightsSent) {
    aircraft.lowLightsSent = true;
    gf_queueLightEvents(aircraft.objectId, lightset::kBelow10000);
  }
  const double flapsHeight = lf_flapsHeight(aircraft);
  if (aircraft.state != FlightPhase::landing && height > flapsHeight) {
    const double vs = lf_vs(aircraft.stream[0]);
    if (lf_isRotorcraft(aircraft))
      gf_setThrottle(aircraft, 4);
    else if (vs <= -250.0 && aircraft.throttleStep == 3)
      gf_setThrottle(aircraft, 2);
    else if (vs > 400.0 && aircraft.throttleStep == 4)
      gf_setThrottle(aircraft, 3);
    if (height >= 2400.0) {
      gf_setFlaps(aircraft, 0);
      gf_setGear(aircraft, false);
    } else if (vs <= 100.0) {
      if (aircraft.flapsIndex == 0)
        gf_setFlaps(aircraft, 1);
      else if (height < 2000.0 && aircraft.flapsIndex == 1)
        gf_setFlaps(aircraft, 2);
    }
    gf_queueCabinLights(aircraft.objectId, 1);
  }
  if (height <= flapsHeight || aircraft.state == FlightPhase::landing) gf_approachTransitions(aircraft);
}

void gf_airStep(LiveAc& aircraft) {
  if (aircraft.stream.size() < 2) return;
  std::int32_t ticks = gf_ticksToNextPoint(aircraft);
  const StreamPoint& next = aircraft.stream[1];
  aircraft.pendingNextValue = std::isfinite(next.verticalRate) ? next.verticalRate : aircraft.nextValue;
  aircraft.pendingSpeed = gf_acSpeedKt(aircraft);

  lf_updateGoAround(aircraft);
  // Flying its reports as they come, its legs take up what is left of a QNH change at once.
  if (aircraft.goingAround || gf_justTookOff(aircraft)) aircraft.qnhLagFt = 0.0;
  lf_verticalAndPitch(aircraft, ticks);
  lf_turn(aircraft, ticks);

  const double height = lf_configHeight(aircraft);
  if (height < kHighAltitudeFt)
    gf_lowAltitudeConfiguration(aircraft, height);
  else
    lf_highAltitudeConfiguration(aircraft);

  if (aircraft.state == FlightPhase::landing && !aircraft.onGround && aircraft.stream[0].airborne) {
    if (auto match = gf_approachRunwayAt(aircraft, aircraft.position)) {
      aircraft.approachRunway = std::move(match);
      aircraft.approachCapturePos = aircraft.position;
    }
  }
}

std::optional<RunwayCandidate> gf_approachRunwayAt(const LiveAc& aircraft, const Lalo& at) {
  return gf_matchRunwayForApproach(at, gf_normalizeAngle(aircraft.heading),
                                   aircraft.approachRunway ? &*aircraft.approachRunway : nullptr);
}

namespace {
// gf_knownGroundFt as a number, NaN where it answers none: asked for every flying aircraft every tick.
double lf_knownGroundFt(const LiveAc& aircraft) {
  double ground = NAN;
  if (aircraft.approachRunway && std::isfinite(aircraft.approachRunway->elevation))
    ground = aircraft.approachRunway->elevation;
  else
    ground = gf_parkAirportElevationNearFt(aircraft.position, kNearParkNm);
  // The simulator draws its own ground: where it lies higher, that one holds.
  if (std::isfinite(aircraft.simGroundFt) && (std::isnan(ground) || aircraft.simGroundFt > ground))
    ground = aircraft.simGroundFt;
  return ground;
}
}  // namespace

std::optional<double> gf_knownGroundFt(const LiveAc& aircraft) {
  const double ground = lf_knownGroundFt(aircraft);
  if (std::isnan(ground)) return std::nullopt;
  return ground;
}

void gf_groundFloorStep(LiveAc& aircraft) {
  if (aircraft.onGround || aircraft.state == FlightPhase::takeoff) return;
  const double ground = lf_knownGroundFt(aircraft);
  if (std::isnan(ground)) return;
  const double cg = std::isfinite(aircraft.cgHeightFt) ? std::max(aircraft.cgHeightFt, 0.0) : 0.0;
  const double floor = ground + cg;
  // Its wheels on the runway: landed now, whatever the feed's last point says, as the simulator
  // would have it at its next report.
  if (aircraft.state == FlightPhase::landing && !aircraft.goingAround && aircraft.altitude <= floor + kGearReachFt &&
      lf_touchDownOnItsWheels(aircraft, ground))
    return;
  // A NaN altitude is left to the pose check; it is no height to compare.
  if (!(aircraft.altitude <= floor)) return;
  aircraft.altitude = floor;
  aircraft.appliedVerticalRate = std::max(aircraft.appliedVerticalRate, 0.0);
  aircraft.nextValue = std::max(aircraft.nextValue, 0.0);
  // The feed has it on the ground at the end of this leg: it lands here, runway known or not.
  if (aircraft.state == FlightPhase::landing && !aircraft.stream.empty() && !aircraft.stream.front().airborne)
    lf_touchDown(aircraft);
}

void gf_landingPointAdjust(LiveAc& aircraft) {
  auto& stream = aircraft.stream;
  if (aircraft.state != FlightPhase::landing || aircraft.onGround || stream.size() < 2 || stream[1].airborne) return;
  const auto here = gf_approachRunwayAt(aircraft, aircraft.position);
  auto there = gf_approachRunwayAt(aircraft, stream[1].lalo);
  if (!here || !there || here->runwayName != there->runwayName || here->endName != there->endName) return;
  if (!here->fromThreshold || !there->fromThreshold || !there->landingLength) return;
  // The touch-down zone: 300 m past the threshold, a third of a short runway.
  const double touchDown = std::min(300.0, *there->landingLength / 3.0);
  const double span = *there->fromThreshold - *here->fromThreshold;
  if (!(span > 1.0)) return;
  // Only a touch-down point clearly ahead is worth aiming for: at or past it, the flare is
  // under way and the feed's own ground point is where it lands.
  const double aheadM = touchDown - *here->fromThreshold;
  const double speedMps = std::isfinite(aircraft.speed) ? aircraft.speed * motion::kMetresPerSecondPerKt : 0.0;
  if (!(aheadM > std::max(kClearlyAheadM, 2.0 * speedMps))) return;
  const double fraction = std::clamp(aheadM / span, 0.0, 1.0);
  const std::int64_t left = static_cast<std::int64_t>(stream[1].time) - g_engineTime.load();
  const double metres = gf_distanceNm(aircraft.position, stream[1].lalo) * 1852.0;
  stream[1].lalo = gf_destinationPoint(
      aircraft.position, {gf_bearingRad(aircraft.position, stream[1].lalo), metres * fraction * 3.2808399});
  // The same speed over the shorter leg, but no steeper than 1500 ft/min for the height left.
  const double heightToLose = aircraft.altitude - (there->elevation + aircraft.cgHeightFt);
  double ticks = std::max(25.0, static_cast<double>(left) * fraction);
  if (heightToLose > 0.0) ticks = std::max(ticks, heightToLose / (1500.0 / kFtMinPerRate));
  gf_retimeNextPoint(aircraft, static_cast<std::int32_t>(std::min(ticks, 360000.0)));
  aircraft.approachRunway = std::move(there);
  aircraft.approachCapturePos = aircraft.position;
}
