#include "traffic/takeoff.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "appbase/gui.h"
#include "config/parameter_snapshot.h"
#include "core/log.h"
#include "core/utc_time.h"
#include "feed/traffic_mailbox.h"
#include "refdata/airports.h"
#include "refdata/model_ids.h"
#include "simlink/sim_commands.h"
#include "traffic/aircraft_step.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/flat_frame.h"
#include "traffic/movement_geometry.h"
#include "traffic/next_position.h"
#include "traffic/runway_matching.h"
#include "traffic/sim_events.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr double kFtPerMinPerRate = 6000.0;  // ft/min in one ft per tick
constexpr double kRunwayHeadingToleranceDeg = 75.0;
constexpr double kLinedUpDeg = 10.0;  // nose this close to the runway's heading: lined up
constexpr double kLongRunwayM = 1800.0;
constexpr double kSteepClimbFtMin = 2000.0;
constexpr double kTakeoffRunEndM = 300.0;
constexpr double kFullRunM = 1200.0;
constexpr std::int32_t kSmoothClimbSteps = 300;
constexpr std::int32_t kLowestTakeoffStep = -1000;
constexpr std::int32_t kGearUpStep = -299;

// Category speeds (kt) of phase 1, categories 0..6.
constexpr std::array<double, 7> kCategorySpeedsKt{80.0, 95.0, 110.0, 140.0, 150.0, 220.0, 0.0};
// ft/min right after lift-off, categories 0..6.
constexpr std::array<double, 7> kInitialClimbFtMin{700.0, 1200.0, 2500.0, 2000.0, 1800.0, 4000.0, 800.0};

void lf_enterState(LiveAc& aircraft, std::uint32_t state) {
  if (aircraft.state != state) gf_changeState(aircraft, state);
}

// The model's pitches, at least 2.5 and 5 degrees nose up (negative).
double lf_takeoffPitch(const LiveAc& aircraft) { return std::min(aircraft.takeoffPitch, -2.5 * kDeg); }
double lf_climbPitch(const LiveAc& aircraft) { return std::min(aircraft.climbPitch, -5.0 * kDeg); }

// The current speed field, else the current point's.
double lf_currentSpeed(const LiveAc& aircraft) {
  if (std::isfinite(aircraft.speed) && aircraft.speed > 0.0) return aircraft.speed;
  return aircraft.stream.empty() ? 0.0 : aircraft.stream.front().groundSpeed;
}

bool lf_anyAirborne(const LiveAc& aircraft) {
  return std::any_of(aircraft.stream.begin(), aircraft.stream.end(), [](const StreamPoint& p) { return p.airborne; });
}

double lf_largestClimb(const LiveAc& aircraft) {
  double largest = -std::numeric_limits<double>::infinity();
  for (const StreamPoint& p : aircraft.stream)
    if (std::isfinite(p.verticalRate)) largest = std::max(largest, p.verticalRate);
  return largest;
}

bool lf_climbsSteeply(const LiveAc& aircraft) { return lf_largestClimb(aircraft) > kSteepClimbFtMin; }

// Whether every point after the current one passes the test; false with fewer than two points.
template <class Test>
bool lf_allLater(const LiveAc& aircraft, Test test) {
  return aircraft.stream.size() >= 2 && std::all_of(aircraft.stream.begin() + 1, aircraft.stream.end(), test);
}

double lf_lowered(double speed) { return std::max(1.0, speed - 5.0); }

// Ticks to the next point, at least 25.
double lf_ticksToNext(const LiveAc& aircraft) {
  if (aircraft.stream.size() < 2) return 25.0;
  return std::max(25.0, static_cast<double>(aircraft.stream[1].time) - g_engineTime.load());
}

double lf_heightAboveGround(const LiveAc& aircraft) {
  const Airport park = gf_parkAirportRecord();
  if (!park.code.empty() && gf_isValidLalo(park.position) && gf_distanceNm(park.position, aircraft.position) <= 10.0)
    return aircraft.altitude - park.altitude;
  return aircraft.simAgl;
}

// The rule of the runway logic: the run has come to the runway's end with a take-off due.
bool lf_takeoffRunEnded(double along, std::optional<double> nextAlong, bool airborneAhead, double largestClimb,
                        double speedKt, double lowestTakeoffKt, double limitM) {
  const bool takeoffDue = speedKt >= lowestTakeoffKt || airborneAhead || largestClimb > kSteepClimbFtMin;
  const bool atEnd = along >= -limitM || (nextAlong && *nextAlong >= 0.0);
  return takeoffDue && atEnd;
}

// The climb-out's rate (ft per tick): the one that meets the feed's next point on time, no
// less than the leg's aim, and no more than half again the feed's own climb. Followed step by
// step, so that the hand-over finds the aircraft where the feed has it.
double lf_climbAim(const LiveAc& aircraft) {
  double aim = aircraft.verticalRate;
  const auto& s = aircraft.stream;
  if (s.size() < 2 || !s[1].airborne || !std::isfinite(s[1].altitude)) return aim;
  // A report that came in while the aircraft ran behind its feed holds the feed's time until its
  // leg begins: it is due no sooner after the point before it than the feed has it.
  double ticks = lf_ticksToNext(aircraft);
  if (s[0].feedTime && s[1].feedTime)
    ticks = std::max(ticks, static_cast<double>(s[0].time) + (*s[1].feedTime - *s[0].feedTime) - g_engineTime.load());
  const double meet = (s[1].altitude - aircraft.altitude) / ticks;
  if (std::isfinite(meet)) aim = meet;
  double reported = 0.0;
  for (const StreamPoint* p : {&s[0], &s[1]})
    if (std::isfinite(p->verticalRate)) reported = std::max(reported, p->verticalRate);
  if (reported > 0.0) aim = std::min(aim, 1.5 * reported / kFtPerMinPerRate);
  return std::max(aim, 0.0);
}

double lf_initialClimbRateCapped(const LiveAc& aircraft) {
  const double rate = gf_initialClimbRate(aircraft.category);
  return aircraft.category == AcCategory::none ? std::min(rate, 0.2) : rate;
}

}  // namespace

double gf_referenceSpeed(const LiveAc& aircraft, std::int32_t phase) {
  if (aircraft.category == AcCategory::heavy) {
    if (phase == 3) return 135.0;
    if (phase == 2) return 140.0;
  }
  if (aircraft.isLightTwin) return 80.0;
  if (aircraft.isLightSingle) return 65.0;
  const auto index = static_cast<std::size_t>(aircraft.category);
  const double start = aircraft.isRegional ? 130.0 : index < kCategorySpeedsKt.size() ? kCategorySpeedsKt[index] : 0.0;
  if (!(start > 0.0)) return start;
  if (phase == 2) return std::max(1.0, start - 10.0);
  if (phase == 3) return std::max(1.0, start - 20.0);
  return start;
}

double gf_initialClimbRate(AcCategory category) {
  const auto index = static_cast<std::size_t>(category);
  return (index < kInitialClimbFtMin.size() ? kInitialClimbFtMin[index] : 1500.0) / kFtPerMinPerRate;
}

void gf_startDepartureTaxi(LiveAc& aircraft) {
  if (aircraft.towed) gf_log(fmt::format("towed aircraft takes-off? {}", aircraft));
  aircraft.departureRunway.reset();
  lf_enterState(aircraft, FlightPhase::takeoff_roll);
  gf_setThrottle(aircraft, 0);
  gf_setSpoilers(aircraft, false);
  gf_setFlaps(aircraft, 1);
  gf_queueLightEvents(aircraft.objectId, lightset::kDepartureTaxi);
  aircraft.predictLimitA = 2700;
  aircraft.predictLimitB = 4500;
}

void gf_lineUpForTakeoff(LiveAc& aircraft, bool rolling) {
  aircraft.rolling = rolling;
  aircraft.takeoffPending = false;
  aircraft.departureRunway.reset();
  lf_enterState(aircraft, FlightPhase::takeoff_roll);
  gf_setThrottle(aircraft, 3);
  gf_setSpoilers(aircraft, true);
  gf_setFlaps(aircraft, 1);
  gf_queueLightEvents(aircraft.objectId, lightset::kDepartureTaxi);
  aircraft.cleanClimb = false;
  aircraft.predictLimitA = 2700;
  aircraft.predictLimitB = 4500;
}

const DepartureRunway* gf_departureRunway(LiveAc& aircraft) {
  if (!aircraft.departureRunway) {
    const auto match =
        gf_matchRunway(aircraft.position, gf_normalizeAngle(aircraft.heading), false, kRunwayMinHalfCorridor);
    if (!match || match->headingDiff > kRunwayHeadingToleranceDeg) return nullptr;
    aircraft.departureRunway = DepartureRunway{match->endName, match->farEnd, match->heading, match->length};
  }
  return &*aircraft.departureRunway;
}

std::optional<double> gf_alongRunway(LiveAc& aircraft, const Lalo& point) {
  const DepartureRunway* runway = gf_departureRunway(aircraft);
  if (!runway || !(runway->headingDeg >= 0.0 && runway->headingDeg < 360.0)) return std::nullopt;
  const double metres = gf_distanceNm(runway->runwayEnd, point) * 1852.0;
  if (metres <= 0.0) return 0.0;
  return metres * std::cos(gf_bearingRad(runway->runwayEnd, point) - runway->headingDeg * kDeg);
}

bool gf_isOnRunway(LiveAc& aircraft, double limitM) {
  const std::optional<double> along = gf_alongRunway(aircraft, aircraft.position);
  if (!along || *along < -limitM || *along > 10.0) return false;
  const DepartureRunway& runway = *aircraft.departureRunway;
  if (std::fabs(gf_wrapAngle(aircraft.heading - runway.headingDeg * kDeg)) > 20.0 * kDeg) return false;
  const double metres = gf_distanceNm(runway.runwayEnd, aircraft.position) * 1852.0;
  const double cross = metres * std::sin(gf_bearingRad(runway.runwayEnd, aircraft.position) - runway.headingDeg * kDeg);
  return std::fabs(cross) <= 15.0;
}

std::int32_t gf_takeoffReadiness(LiveAc& aircraft) {
  const RingDeque<StreamPoint>& stream = aircraft.stream;
  if (stream.size() < 2) return 0;
  if (aircraft.rolling) return stream[1].airborne ? 1 : 2;
  const auto airborne = [](const StreamPoint& p) { return p.airborne; };
  if (std::all_of(stream.begin(), stream.end(), [](const StreamPoint& p) { return p.verticalRate > 256.0; })) {
    if (lf_allLater(aircraft, airborne)) return 1;
    if (stream.back().airborne) return 2;
  }
  const double lowest = gf_referenceSpeed(aircraft, 3);
  const auto fast = [lowest](const StreamPoint& p) { return p.groundSpeed >= lowest; };
  if (lf_allLater(aircraft, [&](const StreamPoint& p) { return p.airborne && fast(p); })) return 2;
  if (lf_climbsSteeply(aircraft)) return 2;
  const DepartureRunway* runway = gf_departureRunway(aircraft);
  if (!runway || runway->length > kLongRunwayM) return 0;
  return lf_allLater(aircraft, fast) ? 2 : 0;
}

std::int32_t gf_takeoffMode(LiveAc& aircraft) {
  const RingDeque<StreamPoint>& stream = aircraft.stream;
  if (stream.size() < 2) return 0;
  const double speed = lf_currentSpeed(aircraft);
  double liftOff = gf_referenceSpeed(aircraft, 1);
  double fullRun = gf_referenceSpeed(aircraft, 2);
  double lowest = gf_referenceSpeed(aircraft, 3);
  const auto firstAirborne =
      std::find_if(stream.begin(), stream.end(), [](const StreamPoint& p) { return p.airborne; });
  if (firstAirborne != stream.end()) {
    if (aircraft.rolling) liftOff = lf_lowered(liftOff);
    const double metres = gf_distanceNm(aircraft.position, firstAirborne->lalo) * 1852.0;
    const double ticks = static_cast<double>(firstAirborne->time) - g_engineTime.load();
    if (speed >= liftOff && metres <= 600.0 && ticks <= std::max(1, aircraft.rotationSteps) + 300) return 1;
    if (lf_climbsSteeply(aircraft)) {
      fullRun = lf_lowered(fullRun);
      lowest = lf_lowered(lowest);
    }
    if (speed >= fullRun && metres <= kFullRunM && ticks <= 1500 && gf_isOnRunway(aircraft, kFullRunM)) return 2;
    if (speed >= lowest && gf_isOnRunway(aircraft, kTakeoffRunEndM)) return 3;
    return 0;
  }
  if (aircraft.rolling && speed >= liftOff + 10.0 && stream.front().groundSpeed >= liftOff + 10.0 &&
      gf_matchRunway(aircraft.position, gf_normalizeAngle(aircraft.heading), false, kRunwayMinHalfCorridor))
    return 1;
  const DepartureRunway* runway = gf_departureRunway(aircraft);
  const bool shortRunwayRun = runway && runway->length <= kLongRunwayM &&
                              lf_allLater(aircraft, [lowest](const StreamPoint& p) { return p.groundSpeed >= lowest; });
  if (!lf_climbsSteeply(aircraft) && !shortRunwayRun) return 0;
  if (gf_isOnRunway(aircraft, kFullRunM) && speed >= fullRun) return 2;
  if (gf_isOnRunway(aircraft, kTakeoffRunEndM) && speed >= lowest) return 3;
  return 0;
}

void gf_beginTakeoff(LiveAc& aircraft, std::int32_t mode) {
  aircraft.takeoffPending = false;
  if (mode == 1) {
    double rate = 0.0;
    if (aircraft.stream.size() >= 2)
      rate = (aircraft.stream[1].altitude - aircraft.altitude) / lf_ticksToNext(aircraft);
    aircraft.verticalRate = rate >= 0.1 ? rate : 0.1;  // at least 600 ft/min
  } else {
    aircraft.verticalRate = lf_initialClimbRateCapped(aircraft);
  }
  gf_takeoff(aircraft, mode);
}

void gf_takeoff(LiveAc& aircraft, std::int32_t mode) {
  aircraft.takeoffPending = false;
  aircraft.mode2ClimbRate = mode == 2 ? aircraft.verticalRate : 0.0;
  aircraft.recentRates.clear();
  aircraft.takeoffSteps = std::max(1, aircraft.rotationSteps);
  aircraft.pitchStep = (lf_takeoffPitch(aircraft) - aircraft.pitch) / aircraft.takeoffSteps;
  aircraft.bank = 0.0;
  aircraft.bankStep = 0.0;
  gf_changeState(aircraft, FlightPhase::takeoff);
  gf_postFlightMessage(gf_takeoffMessage(aircraft));
  gf_resetTurnState(aircraft);
  aircraft.bankStep = 0.0;
  const bool touchAndGo =
      aircraft.prevState == FlightPhase::landing_roll ||
      (aircraft.prevState == FlightPhase::taxi && aircraft.prevPrevState == FlightPhase::landing_roll);
  if (touchAndGo) {
    gf_setThrottle(aircraft, 4);
    gf_setSpoilers(aircraft, true);
    gf_setFlaps(aircraft, 1);
  }
}

void gf_takeoffClimbStep(LiveAc& aircraft) {
  if (aircraft.takeoffSteps > 0) {
    // Rotation: the nose comes up on the ground roll.
    aircraft.onGround = false;
    aircraft.pitch = gf_approachValue(aircraft.pitch, lf_takeoffPitch(aircraft), std::fabs(aircraft.pitchStep));
    --aircraft.takeoffSteps;
    // Still on its main wheels: the simulator's ground reports raise it so the tail clears the
    // runway, and do not land it again. Lifted off, they leave its climb alone.
    aircraft.groundCounter = aircraft.takeoffSteps > 0 ? 2 : 1;
    return;
  }
  const std::int32_t startCount = aircraft.takeoffSteps;
  aircraft.takeoffSteps = std::max(kLowestTakeoffStep, aircraft.takeoffSteps - 1);
  aircraft.bank = std::clamp(aircraft.bank + aircraft.bankStep, -geo::kPi, geo::kPi);
  const double climbPitch = lf_climbPitch(aircraft);
  const double pitchStep = std::fabs(climbPitch - lf_takeoffPitch(aircraft)) / std::max(1, aircraft.climbPitchSteps);
  aircraft.pitch = gf_approachValue(aircraft.pitch, climbPitch, pitchStep);
  if (aircraft.takeoffSteps < 0) {
    double targetFtMin = std::max(0.0, std::isfinite(aircraft.nextValue) ? aircraft.nextValue : 0.0);
    const double aim = lf_climbAim(aircraft);
    if (aim > 0.0) {
      const double s = std::clamp(static_cast<double>(1 - aircraft.takeoffSteps) / kSmoothClimbSteps, 0.0, 1.0);
      targetFtMin = (3.0 - 2.0 * s) * s * s * aim * kFtPerMinPerRate;
    }
    gf_applyVerticalRate(aircraft, gf_cruiseLimit(aircraft, targetFtMin / kFtPerMinPerRate));
    aircraft.pendingNextValue = aircraft.nextValue;
  }
  if (startCount == kGearUpStep) gf_setGear(aircraft, false);
  if (aircraft.takeoffSteps < -kSmoothClimbSteps && aircraft.pitch == climbPitch) {
    aircraft.pitchStep = 0.0;
    const double handOverFt = aircraft.category == AcCategory::none ? 300.0 : 800.0;
    if (lf_heightAboveGround(aircraft) >= handOverFt) {
      gf_setThrottle(aircraft, aircraft.category == AcCategory::rotorcraft ? 4 : 3);
      aircraft.cleanClimb = true;
      gf_changeState(aircraft, FlightPhase::flying);
      aircraft.takeoffSteps = 1;
    }
  }
}

bool gf_runwayEndCheck(LiveAc& aircraft) {
  const std::optional<double> along = gf_alongRunway(aircraft, aircraft.position);
  if (!along) return false;
  std::optional<double> nextAlong;
  if (aircraft.stream.size() >= 2) nextAlong = gf_alongRunway(aircraft, aircraft.stream[1].lalo);
  const bool airborneAhead = lf_anyAirborne(aircraft);
  const double largestClimb = lf_largestClimb(aircraft);
  const double speed = lf_currentSpeed(aircraft);
  const double lowest = gf_referenceSpeed(aircraft, 3);
  const bool ended = lf_takeoffRunEnded(*along, nextAlong, airborneAhead, largestClimb, speed, lowest, kTakeoffRunEndM);
  const DepartureRunway& runway = *aircraft.departureRunway;
  if (ended && (gf_isOnRunway(aircraft, kTakeoffRunEndM) || gf_isOnRunway(aircraft, kFullRunM) ||
                (gf_isOnRunway(aircraft, runway.length) && speed >= gf_referenceSpeed(aircraft, 1)))) {
    aircraft.verticalRate = lf_initialClimbRateCapped(aircraft);
    gf_takeoff(aircraft, 2);
    return false;
  }
  const bool steep = largestClimb > kSteepClimbFtMin;
  if (!airborneAhead && !steep && speed < lowest && *along >= -300.0 && *along <= 100.0 && nextAlong &&
      *nextAlong > -50.0) {
    // Too slow where the runway ends and no lift-off in sight: it taxis off instead.
    aircraft.departureRunway.reset();
    lf_enterState(aircraft, FlightPhase::taxi);
    return false;
  }
  if (*along <= 100.0 && (airborneAhead || steep || ended || !nextAlong || *nextAlong <= -50.0)) return false;
  gf_engineHooks().removeAircraftFromSim(aircraft);
  return true;
}

void gf_vacateRunway(LiveAc& aircraft) {
  gf_setFlaps(aircraft, 0);
  if (aircraft.state != FlightPhase::taxi) gf_changeState(aircraft, FlightPhase::taxi);
  aircraft.runwayHeading = std::numeric_limits<double>::quiet_NaN();
  aircraft.landingRollEnded = true;
  gf_setThrottle(aircraft, aircraft.category == AcCategory::rotorcraft ? 4 : 0);
  gf_setSpoilers(aircraft, false);
  if (aircraft.category != AcCategory::none) gf_queueReverseThrust(aircraft.objectId, false, aircraft.reverseThrust);
  gf_queueLightEvents(aircraft.objectId, lightset::kRunwayVacated);
}

std::optional<PositionAirport> gf_airportCodesOfPosition(const LiveAc& aircraft) {
  const Airport park = gf_parkAirportRecord();
  if (!park.code.empty() && gf_isValidLalo(park.position) && gf_distanceNm(park.position, aircraft.position) <= 5.0)
    return PositionAirport{std::string(park.code.text()), park.iata};
  if (!aircraft.origin.empty()) return PositionAirport{std::string(aircraft.origin.text()), aircraft.origin};
  // A message is built within an engine step: no stand file is read for it.
  if (const auto nearest = gf_findClosestAirportCentre(aircraft.position))
    return PositionAirport{std::string(nearest->code.text()), nearest->iata};
  return std::nullopt;
}

std::optional<std::string> gf_airportOfPosition(const LiveAc& aircraft) {
  std::optional<PositionAirport> airport = gf_airportCodesOfPosition(aircraft);
  if (!airport) return std::nullopt;
  return std::move(airport->text);
}

void gf_postFlightMessage(const std::string& text) {
  if (g_parameterSnapshot.load()->flightMessages) Gui::showMessage(text, true);
}

std::string gf_takeoffMessage(LiveAc& aircraft) {
  const std::optional<PositionAirport> origin = gf_airportCodesOfPosition(aircraft);
  const std::string from = origin ? fmt::format(" from {}", origin->text) : "";
  // The destination is an IATA code: it is compared with the origin's IATA code, whatever the
  // origin's text shows; an origin without one ("XXX") differs from every destination.
  const bool sameAirport = origin && origin->iata != g_defaultIataCode && origin->iata == aircraft.destination;
  const std::string to = !aircraft.destination.empty() && aircraft.destination != g_defaultIataCode && !sameAirport
                             ? fmt::format(" to {}", aircraft.destination.text())
                             : "";
  std::optional<std::string> runwayName;
  if (aircraft.departureRunway)
    runwayName = aircraft.departureRunway->designator;
  else
    runwayName = gf_matchRunwayEndName(aircraft.position, gf_normalizeAngle(aircraft.heading));
  const std::string runway = runwayName ? fmt::format(" runway {}", *runwayName) : "";
  std::string airline(gf_airlineName(aircraft.airlineId));
  if (aircraft.secondAirlineId != 0) airline += fmt::format(",{}", gf_airlineName(aircraft.secondAirlineId));
  return fmt::format("{} {} {} {} {} take off{}{}{} ...", gf_timeStampHm(), aircraft.callsign, aircraft.registration,
                     airline, gf_modelName(aircraft.modelId), from, runway, to);
}

bool gf_linedUpToRoll(const LiveAc& aircraft) {
  if (aircraft.state == FlightPhase::takeoff) return true;
  if (aircraft.state != FlightPhase::takeoff_roll) return false;
  std::optional<double> runway;
  if (aircraft.departureRunway)
    runway = aircraft.departureRunway->headingDeg * kDeg;
  else if (aircraft.runwayPredicted)
    runway = aircraft.predictedRunwayHeading;
  return runway && std::fabs(gf_wrapAngle(*runway - aircraft.heading)) <= kLinedUpDeg * kDeg;
}
