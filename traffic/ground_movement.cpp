#include "traffic/ground_movement.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include "core/log.h"
#include "feed/traffic_mailbox.h"
#include "liveries/ac_stands.h"
#include "simlink/facility_stand.h"
#include "simlink/sim_commands.h"
#include "traffic/engine_hooks.h"
#include "traffic/ground_turns.h"
#include "traffic/movement_geometry.h"
#include "traffic/next_position.h"
#include "traffic/sim_events.h"
#include "traffic/stand_conflicts.h"
#include "traffic/stand_names.h"
#include "traffic/stream_delay.h"
#include "traffic/stream_extension.h"
#include "traffic/stream_prediction.h"
#include "traffic/takeoff.h"
#include "traffic/ticks.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr std::uint32_t kAllLightsOn[7] = {1, 1, 1, 1, 1, 1, 1};
constexpr std::int32_t kMinLegTicks = 25;
constexpr std::int32_t kMinStandLegTicks = 100;
constexpr double kSlideLimitDeg = 20.0;  // nose and motion further apart than this: a slide
constexpr double kTailFirstDeg = 90.0;   // a report further off the nose lies behind it
constexpr double kPushbackMostKt = 8.0;  // no tug pushes faster
constexpr double kSpotTurnLimit = 1.2;   // the nose turns at most this many times the base rate
constexpr double kMostStandKt = 6.0;     // no arrival takes a stand faster

bool lf_samePlace(const Lalo& a, const Lalo& b) {
  return std::fabs(a.lat - b.lat) < 1e-8 && std::fabs(gf_wrapLongitude(a.lon - b.lon)) < 1e-8;
}

// The flat-earth distance of the ground tests: 60 NM per degree, longitude at a's latitude.
double lf_flatNm(const Lalo& a, const Lalo& b) {
  const double north = (b.lat - a.lat) * 60.0;
  const double east = gf_wrapLongitude(b.lon - a.lon) * 60.0 * std::cos(a.lat * kDeg);
  return std::sqrt(north * north + east * east);
}

void lf_enterState(LiveAc& aircraft, std::uint32_t state) {
  if (aircraft.state != state) gf_changeState(aircraft, state);
}

std::int32_t lf_now() { return g_engineTime.load(); }

// Sets point 1's arrival `ticks` from now within the aircraft's window.
void lf_setArrival(LiveAc& aircraft, std::int32_t ticks) { gf_retimeNextPoint(aircraft, ticks); }

// A new point at `where` after point 0, reached at the speed from the aircraft's position.
StreamPoint lf_pointAt(const LiveAc& aircraft, const Lalo& where, double speedKt, std::int32_t floorTicks) {
  StreamPoint point = aircraft.stream.front();
  point.lalo = where;
  point.groundSpeed = 0.0;
  point.repeated = false;
  point.turnStart = point.fromPosition = false;
  point.trueHeadingRad.reset();
  point.time = static_cast<std::int32_t>(std::min<std::int64_t>(
      std::int64_t{lf_now()} + gf_ticksForDistance(gf_distanceNm(aircraft.position, where), speedKt, floorTicks),
      std::numeric_limits<std::int32_t>::max()));
  return point;
}

void lf_cutToFirst(LiveAc& aircraft) {
  if (aircraft.stream.size() > 1) aircraft.stream.resize(1);
}

void lf_endPushback(LiveAc& aircraft) {
  aircraft.trackToNext = aircraft.heading;
  gf_queueEngineStart(aircraft.objectId);
  gf_setThrottle(aircraft, 0);
  gf_setFlaps(aircraft, 1);
  aircraft.standDepartureHold = false;
  lf_enterState(aircraft, FlightPhase::pushed_back);
  aircraft.pushbackTurnHeading = 900.0;
  aircraft.extensionCount = 0;
  aircraft.departureStarted = false;
  aircraft.departureTick = lf_now();
  aircraft.groundKind = 0;
}

bool lf_allSlow(const LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  for (std::size_t i = 0; i + 1 < s.size(); ++i)
    if (!(s[i].groundSpeed <= 6.0)) return false;
  return true;
}

// The corner rule for a leg that ends the movement: room to turn at point 1 or a split.
bool lf_turnAtLastCorner(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  if (s[0].turnStart && s[1].turnStart) return false;
  const double a = std::fabs(gf_wrapAngle(gf_bearingRad(aircraft.position, s[1].lalo) - aircraft.heading)) / kDeg;
  if (!(a > 15.0)) return false;
  const double k = std::clamp((a - 15.0) / 75.0, 0.0, 1.0);
  const double room = 0.02429805615550756 - 0.018898488120950324 * k * k;  // 45 m down to 10 m
  if (!(lf_flatNm(s[0].lalo, s[1].lalo) >= room)) return false;
  gf_insertMidPoint(aircraft);
  return gf_buildGroundTurn(aircraft);
}

void lf_try2Park(LiveAc& aircraft) {
  if (aircraft.stream.empty()) {
    gf_log(fmt::format("{} empty sz?", "try2Park"));
    return;
  }
  double distance = 0.0;
  Stand* stand = gf_nearestStand(g_stands, aircraft.stream.back().lalo, aircraft, distance, true);
  if (stand) lf_takeStand(aircraft, *stand, true);
}

std::uint32_t lf_groundKind(const LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  if (s.size() < 2 || s[1].repeated) return 0;
  const double s0 = s[0].groundSpeed;
  const double s1 = s[1].groundSpeed;
  if (!std::isfinite(s0) || !std::isfinite(s1)) return 0;
  if (aircraft.state == FlightPhase::parking) {
    if (s0 == 0.0 && s1 == 0.0) return 3;
    if (s0 > 2.0 && s1 == 0.0) return 2;
    return 0;
  }
  if (aircraft.state == FlightPhase::taxi || aircraft.state == FlightPhase::takeoff_roll) {
    // A start from standstill only when the aircraft stands: a report of 0 kt amid a roll is none.
    if (s0 == 0.0 && s1 > 2.0 && !(gf_measuredSpeedKt(aircraft) > 2.0)) return 1;
    // Point 1 ends the movement when point 2 stands on it, whatever speed was reported there.
    if (s0 > 2.0 && (s1 == 0.0 || (s.size() >= 3 && s[2].repeated))) return 2;
  }
  return 0;
}

void lf_movingGround(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  aircraft.forcedTurn = false;
  const bool fromStand = aircraft.prevState == FlightPhase::pushed_back || aircraft.prevState == FlightPhase::parked;
  gf_predictRunwayAtHold(aircraft);
  const bool arrivalWish =
      aircraft.state == FlightPhase::taxi && !fromStand && lf_allSlow(aircraft) && gf_engineHooks().parkAirportReady();

  if (s.size() >= 2 && !s[1].repeated && aircraft.onGround) {
    bool built = false;
    if (s.size() >= 3 && !s[2].repeated)
      built = gf_buildGroundTurn(aircraft);
    else
      built = lf_turnAtLastCorner(aircraft);
    if (!built) gf_splitForSpeedChange(aircraft, arrivalWish);
    const LegPlan& leg = aircraft.legPlan;
    if (!leg.hasTurn() && !leg.hasCurve()) {
      aircraft.turnAngle = std::fabs(gf_wrapAngle(aircraft.trackToNext - aircraft.heading)) / kDeg;
      aircraft.turnPending = aircraft.turnAngle > 3.0;
      if (aircraft.turnPending) gf_predictLineUp(aircraft);
    } else {
      aircraft.turnPending = false;
    }
  } else {
    aircraft.turnPending = false;
  }

  if (arrivalWish && !s.empty() && s.back().groundSpeed <= 0.5) lf_try2Park(aircraft);
  aircraft.groundKind = lf_groundKind(aircraft);
  gf_groundLegTiming(aircraft);
}

// The push the reports drive goes on while the next report moves slowly and tail first: behind
// the nose it reports, or without one, behind the nose the aircraft shows.
bool lf_reportedPushGoesOn(const LiveAc& aircraft) {
  const StreamPoint& next = aircraft.stream[1];
  if (next.repeated || !(next.groundSpeed <= kPushbackMostKt)) return false;
  const bool reported = next.trueHeadingRad && std::isfinite(*next.trueHeadingRad);
  const double nose = reported ? *next.trueHeadingRad : aircraft.heading;
  return std::fabs(gf_wrapAngle(gf_bearingRad(aircraft.position, next.lalo) - nose)) > kTailFirstDeg * kDeg;
}

// Its end hands over to the taxi the reports go on with: a stop holds it there, and the first leg
// away turns the nose from where the tug left it before it rolls.
void lf_endReportedPush(LiveAc& aircraft) {
  const double track = aircraft.trackToNext;
  aircraft.pushFromReports = false;
  lf_endPushback(aircraft);
  aircraft.trackToNext = track;
  lf_enterState(aircraft, FlightPhase::taxi);
  lf_movingGround(aircraft);
}

void lf_nextPosGround(LiveAc& aircraft) {
  switch (aircraft.state) {
    case FlightPhase::pushing_back:
      if (gf_pushFollowsReports(aircraft)) {
        if (!lf_reportedPushGoesOn(aircraft)) {
          lf_endReportedPush(aircraft);
          return;
        }
        gf_groundLegTiming(aircraft);
        return;
      }
      // Created again short of the push's end (the simulator's new session, a new livery): on to it.
      if (aircraft.stream.size() >= 2 && !aircraft.stream[1].repeated) {
        gf_groundLegTiming(aircraft);
        return;
      }
      lf_endPushback(aircraft);
      gf_groundLegTiming(aircraft);
      return;
    case FlightPhase::parked: {
      aircraft.predictLimitA = aircraft.predictLimitB = 2700;
      if (aircraft.departureStarted) {
        if (aircraft.departureKind == 1)
          gf_pullOut(aircraft);
        else
          initiatePushBack(aircraft);
        aircraft.groundKind = aircraft.state == FlightPhase::pushing_back ? 3 : 0;
      } else if (aircraft.stream.size() >= 2 && lf_samePlace(aircraft.stream[0].lalo, aircraft.stream[1].lalo)) {
        aircraft.stream[1].repeated = true;
      }
      gf_groundLegTiming(aircraft);
      return;
    }
    default:
      lf_movingGround(aircraft);
      return;
  }
}

// Roll, runway and exit heading of a landing roll that turns back on its own runway.
void lf_checkRunwayExit(LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  if (aircraft.state != FlightPhase::landing_roll || aircraft.category != AcCategory::none || s[1].airborne) return;
  if (aircraft.legPlan.hasTurn() || aircraft.extensionCount > 0) return;
  if (!(std::isfinite(aircraft.turnAngle) && aircraft.turnAngle >= 150.0)) return;
  double fastest = -1.0;
  for (const double v : {aircraft.speed, s[0].groundSpeed, s[1].groundSpeed})
    if (std::isfinite(v)) fastest = std::max(fastest, v);
  if (!(fastest >= 0.0 && fastest <= 30.0)) return;
  const double heading = std::isfinite(aircraft.runwayHeading) ? aircraft.runwayHeading : aircraft.heading;
  const auto here = gf_matchRunway(aircraft.position, gf_normalizeAngle(heading), false, 75.0);
  const auto ahead = gf_matchRunway(s[1].lalo, gf_normalizeAngle(heading), false, 75.0);
  if (here && ahead && gf_runwayMatchName(*here) == gf_runwayMatchName(*ahead)) gf_vacateRunway(aircraft);
}

// A roll off a line-up whose leg leaves more time than speeding up to its point takes stands the
// rest of it first, as its reports did: spread over the whole leg, it crept for seconds, then
// leapt toward the speed of the next point.
void lf_standBeforeRollOff(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  const LegPlan& leg = aircraft.legPlan;
  if (aircraft.state != FlightPhase::takeoff_roll || s.size() < 2 || s[1].repeated || leg.hasTurn() || leg.hasCurve())
    return;
  if (!(s[0].repeated || s[0].groundSpeed == 0.0) || !(s[1].groundSpeed > 0.0) || gf_measuredSpeedKt(aircraft) > 2.0)
    return;
  const double metres = gf_distanceNm(aircraft.position, s[1].lalo) * motion::kMetresPerNm;
  const std::int64_t until = std::int64_t{s[1].time} - gf_rollOffTicks(metres, s[1].groundSpeed);
  if (until - lf_now() < 100) return;  // within a second of it: off at once
  StreamPoint still = s[0];
  still.lalo = aircraft.position;
  still.groundSpeed = 0.0;
  still.repeated = true;
  still.turnStart = still.fromPosition = false;
  still.time = static_cast<std::int32_t>(until);
  still.feedTime.reset();  // a wait of our own
  s.insert(s.begin() + 1, still);
  aircraft.groundKind = 0;
}

// A start from standstill whose leg lies well aside of the nose turns first: rolling off while
// turning would slide the aircraft sideways.
bool lf_startsTurned(const LiveAc& aircraft) {
  const double s0 = aircraft.stream[0].groundSpeed;
  return std::isfinite(s0) && s0 <= 2.0 && aircraft.turnAngle >= kSlideLimitDeg;
}

// A start from standstill or a stop takes at least the time an airliner needs to speed up to its
// rolling speed and roll on, or to roll and brake from it within the leg.
std::int32_t lf_easedLegTicks(const LiveAc& aircraft, double legNm, std::int32_t ticks) {
  if (aircraft.groundKind != 1 && aircraft.groundKind != 2) return ticks;
  const double acceleration = aircraft.groundKind == 2 ? kGroundBrakingMps2 : kGroundAccelerationMps2;
  const double metres = legNm * motion::kMetresPerNm;
  const double kt = aircraft.groundKind == 2 ? aircraft.stream[0].groundSpeed : aircraft.stream[1].groundSpeed;
  double least = std::ceil(100.0 * std::sqrt(2.0 * metres / acceleration));
  if (std::isfinite(kt) && kt > 0.0) {
    const double mps = kt * motion::kMetresPerSecondPerKt;
    least = std::ceil(100.0 * (metres / mps + mps / (2.0 * acceleration)));
  }
  return std::isfinite(least) && least > ticks ? static_cast<std::int32_t>(std::min(least, 1e9)) : ticks;
}

// A sharper turn than the leg's length allows: the rate follows the time the leg takes.
void lf_shapeTurnRate(LiveAc& aircraft, double legNm, std::int32_t legTicks) {
  const LegPlan& leg = aircraft.legPlan;
  double& rate = aircraft.maxTurnPerStep;
  if (!(leg.hasTurn() || leg.hasCurve() || aircraft.turnPending) || !(std::isfinite(rate) && rate > 0.0)) return;
  const double angleDeg = aircraft.turnPending ? aircraft.turnAngle : leg.legTurnAngle;
  const double angle = angleDeg * kDeg;
  if (!(angle > 0.0) || !(legNm > 0.0)) return;
  const double turnTicks = std::max(25.0, static_cast<double>(std::lround(angle / rate)));
  const double ratio = legTicks / turnTicks;
  if (angleDeg <= 45.0) {
    // A pending turn has no path: the aircraft rolls along the leg while its nose comes round, so
    // a slowed turn would slide it sideways. Its rate may only rise.
    if (aircraft.turnPending) {
      if (std::isfinite(ratio) && ratio > 0.0 && ratio < 1.0) rate /= ratio;
      return;
    }
    if (ratio >= 1.2) {
      const double divisor = std::min({ratio, ratio * 10.0 / angleDeg, ratio * 30.0 * kNmPerMetre / legNm});
      const double shaped = rate / divisor;
      if (std::isfinite(shaped) && shaped > 0.0) rate = shaped;
    } else if (std::isfinite(ratio) && ratio > 0.0) {
      rate /= ratio;
    }
    return;
  }
  rate *= std::clamp(1.0 / ratio, 1.0, std::min(angleDeg, 90.0) / 30.0);
  const double k = std::clamp((angleDeg - 30.0) / 70.0, 0.0, 1.0);
  const double later = aircraft.state == FlightPhase::takeoff_roll ? 5.0 : 3.0;
  aircraft.predictLimitA =
      std::max(aircraft.predictLimitA, static_cast<std::int32_t>(std::lround((2.0 * k + 1.0) * 900.0)));
  aircraft.predictLimitB =
      std::max(aircraft.predictLimitB, static_cast<std::int32_t>(std::lround(((later - 1.0) * k + 1.0) * 900.0)));
}

// Whether a stand check would have the aircraft already in place.
bool lf_atStand(const StandAlignment& g) {
  return std::isfinite(g.distanceM) && std::isfinite(g.alongM) && std::isfinite(g.crossM) &&
         std::isfinite(g.headingDifferenceDeg) && g.distanceM <= 2.0 && g.alongM <= 0.0 && std::fabs(g.crossM) <= 1.0 &&
         std::fabs(g.headingDifferenceDeg) <= 10.0;
}

}  // namespace

bool gf_stopAhead(const LiveAc& aircraft, std::size_t end) {
  const auto& s = aircraft.stream;
  if (end >= s.size() || s[end].repeated) return false;
  if (s[end].groundSpeed == 0.0) return true;
  return end + 1 < s.size() && (s[end + 1].repeated || s[end + 1].groundSpeed == 0.0);
}

void nextPosGround(LiveAc& aircraft) {
  try {
    lf_nextPosGround(aircraft);
  } catch (const std::exception& e) {
    gf_log(fmt::format("{}: {}, {}, sz:{}", "nextPosGround", aircraft.callsign, e.what(), aircraft.stream.size()));
    throw;
  }
}

bool gf_pushFollowsReports(const LiveAc& aircraft) {
  return aircraft.state == FlightPhase::pushing_back && aircraft.pushFromReports;
}

void initiatePushBack(LiveAc& aircraft) {
  aircraft.extensionCount = 0;
  aircraft.runwayPredicted = false;
  aircraft.pointBehindDropped = false;
  aircraft.lineUpRotate = false;
  const Stand* stand = gf_standByNumber(g_stands, aircraft.standId);
  if (!stand || !(stand->radius > 0.0)) {
    gf_logWarning(fmt::format("{} cancelled pushback, invalid stand radius for stand {}, callsign {}",
                              "initiatePushBack", gf_standName(aircraft.standId), aircraft.callsign));
    aircraft.departureStarted = false;
    return;
  }
  auto& s = aircraft.stream;
  if (s.empty()) return;
  const double back = gf_normalizeAngle(aircraft.standHeading + geo::kPi);
  const Lalo end = gf_destinationPoint(aircraft.position, {back, 2.5 * stand->radius * geo::kFeetPerNm});
  s.front().groundSpeed = 0.0;
  aircraft.trackToNext = aircraft.heading;
  lf_cutToFirst(aircraft);
  StreamPoint a = lf_pointAt(aircraft, end, aircraft.pushbackSpeedKt, kMinLegTicks);
  StreamPoint b = a;
  b.repeated = true;
  s.push_back(a);
  s.push_back(b);
  gf_queueLightEvents(aircraft.objectId, kAllLightsOn);
  aircraft.standDepartureHold = false;
  lf_enterState(aircraft, FlightPhase::pushing_back);
}

void gf_pullOut(LiveAc& aircraft) {
  aircraft.departureStarted = false;
  aircraft.extensionCount = 0;
  auto& s = aircraft.stream;
  if (s.empty()) return;
  // wingspan is the half span: one full span clears the stand.
  const Lalo ahead = gf_destinationPoint(aircraft.standPos, {gf_normalizeAngle(aircraft.standHeading),
                                                             2.0 * aircraft.wingspan * geo::kFeetPerNm});
  s.front().groundSpeed = 0.0;
  StreamPoint point = lf_pointAt(aircraft, ahead, aircraft.pushbackSpeedKt, kMinLegTicks);
  point.groundSpeed = aircraft.pushbackSpeedKt;
  lf_cutToFirst(aircraft);
  s.push_back(point);
  lf_enterState(aircraft, FlightPhase::taxi);
  aircraft.trackToNext = aircraft.heading;
  gf_queueLightEvents(aircraft.objectId, kAllLightsOn);
  gf_queueEngineStart(aircraft.objectId);
  gf_setThrottle(aircraft, 0);
  gf_setFlaps(aircraft, 1);
  gf_log(fmt::format("{:14}: {:8} pulling out", gf_standName(aircraft.standId), aircraft.callsign));
}

double gf_reportsPaceKt(const LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  double nm = 0.0;
  Lalo from = aircraft.position;
  std::size_t end = 0;
  for (std::size_t i = 1; i < s.size(); ++i) {
    // A point that repeats the one before it is a wait there: the stop came one point earlier.
    if (s[i].repeated) break;
    nm += gf_distanceNm(from, s[i].lalo);
    from = s[i].lalo;
    end = i;
    if (s[i].groundSpeed <= 0.5) break;
  }
  if (end == 0) return NAN;
  const double ticks = static_cast<double>(s[end].time) - lf_now();
  // Under a second ahead says nothing of a pace.
  if (!(ticks >= 100.0) || !(nm > 0.0)) return NAN;
  return nm * 360000.0 / ticks;
}

void drive2Stand(LiveAc& aircraft, const GeoPose& stand, bool checkAtStand, double paceKt) {
  auto& s = aircraft.stream;
  if (s.size() != 1) {
    gf_logWarning(fmt::format("{} unexpected stream size: {}, {}", "drive2Stand", s.size(), aircraft.callsign));
    lf_cutToFirst(aircraft);
    if (s.empty()) return;
  }
  const StandAlignment g = gf_standAlignment(stand, aircraft.position, aircraft.heading);
  const bool valid = std::isfinite(g.distanceM) && std::isfinite(g.alongM) && std::isfinite(g.crossM) &&
                     std::isfinite(g.headingDifferenceDeg);
  if (valid && !(checkAtStand && lf_atStand(g))) {
    const double reposition = gf_findApproachOffset(g.alongM, g.crossM).value_or(10.0);
    const bool pastStand = g.ahead;
    // Close to the stand or beyond it but not in place: straight back into it.
    const bool corrective = g.alongM > -3.0 && !lf_atStand(g);
    const bool needsReposition =
        !corrective && !pastStand && g.alongM <= -(reposition + 3.0) && std::fabs(g.crossM) >= 1.0;
    // An arrival keeps to its reports' pace into the stand, as fast as one enters a stand at
    // most: at the slow pace of a stand manoeuvre it fell further behind them with every metre.
    const double slow = 0.8 * aircraft.pushbackSpeedKt;
    const double speed = std::isfinite(paceKt) ? std::clamp(paceKt, slow, std::max(slow, kMostStandKt)) : slow;
    std::int32_t duration = 0;
    if (!needsReposition) {
      duration = gf_ticksForDistance(g.distanceM * kNmPerMetre, speed, kMinStandLegTicks);
      if (pastStand) {
        gf_log(fmt::format(
            "{:14}: {} drive2stand plans corrective move from past stand, distance {:.1f} m, along {:.1f} m, "
            "lateral {:.1f} m",
            gf_standName(aircraft.standId), aircraft.callsign, g.distanceM, g.alongM, g.crossM));
        s.back().groundSpeed = 0.0;
      }
    } else {
      const Lalo behind = gf_destinationPoint(
          stand.position, {gf_normalizeAngle(stand.heading + geo::kPi), reposition * motion::kFeetPerMetre});
      StreamPoint r = s.front();
      r.lalo = behind;
      r.altitude = aircraft.altitude;
      r.groundSpeed = speed;
      r.track = stand.heading * geo::kRadToDeg;
      r.repeated = r.turnStart = r.fromPosition = false;
      r.trueHeadingRad.reset();
      r.time = s.front().time +
               gf_ticksForDistance(gf_distanceNm(aircraft.position, behind), speed, kMinStandLegTicks);
      s.push_back(r);
      aircraft.predictLimitA = 2700;
      aircraft.predictLimitB = aircraft.state == FlightPhase::takeoff_roll ? 4500 : 2700;
      duration = gf_ticksForDistance(reposition * kNmPerMetre, speed, kMinStandLegTicks);
    }
    StreamPoint stop = s.back();
    stop.lalo = stand.position;
    stop.altitude = aircraft.altitude;
    stop.groundSpeed = 0.0;
    stop.track = stand.heading * geo::kRadToDeg;
    stop.repeated = stop.turnStart = stop.fromPosition = false;
    stop.trueHeadingRad.reset();
    stop.time = s.back().time + duration;
    s.push_back(stop);
    if (corrective)
      aircraft.correctiveMove = {aircraft.position, aircraft.heading, s.front().time, stop.time, true};
  }
  StreamPoint still = s.back();
  still.repeated = true;
  still.feedTime.reset();
  still.time += 50;
  s.push_back(still);
  aircraft.trackToNext = stand.heading;
  if (aircraft.extensionCount > 0) {
    aircraft.extensionCount = 0;
    aircraft.predictLimitA = 2700;
    aircraft.predictLimitB = aircraft.state == FlightPhase::takeoff_roll ? 4500 : 2700;
    aircraft.holdingStart = 0;
    aircraft.predictActive = false;
  }
}

void gf_predictLineUp(LiveAc& aircraft) {
  if (aircraft.state != FlightPhase::taxi || !aircraft.onGround || aircraft.prevState == FlightPhase::landing_roll ||
      !gf_departsParkAirport(aircraft))
    return;
  const std::optional<RunwayCandidate> runway = gf_predictionRunway(aircraft.position, aircraft.heading);
  if (!runway || std::fabs(runway->crossTrack) > 7.5 || runway->fromStart < -700.0 ||
      runway->fromStart > runway->length)
    return;
  const double runwayHeading = runway->heading * kDeg;
  if (!std::isfinite(aircraft.trackToNext) || !std::isfinite(aircraft.heading) || !std::isfinite(runwayHeading)) return;
  const double d1 = std::remainder(aircraft.trackToNext - aircraft.heading, motion::kTwoPi);
  const double d2 = std::remainder(runwayHeading - aircraft.heading, motion::kTwoPi);
  const double d3 = std::remainder(aircraft.trackToNext - runwayHeading, motion::kTwoPi);
  const double least = 3.0 * kDeg;
  if (std::fabs(d1) < least || std::fabs(d2) < least || std::fabs(d3) < least) return;
  if (!(d1 * d2 > 0.0) || !(d1 * d3 > 0.0)) return;
  // The turn to the next point runs past the runway heading: the aircraft lines up on the way.
  if (!(std::fabs(d1) + 0.5 * kDeg >= std::fabs(d3) + std::fabs(d2))) return;
  aircraft.predictedRunway = gf_runwayMatchName(*runway);
  aircraft.predictedRunwayHeading = gf_normalizeAngle(runwayHeading);
  aircraft.runwayPredicted = true;
  aircraft.pointBehindDropped = false;
  aircraft.turnAngle = runway->headingDiff;
  aircraft.turnPending = aircraft.turnAngle > 3.0;
}

void gf_splitForSpeedChange(LiveAc& aircraft, bool arrivalWish) {
  const auto& s = aircraft.stream;
  if (s.size() < 2) return;
  const double s0 = s[0].groundSpeed;
  const double s1 = s[1].groundSpeed;
  if (s0 <= 0.0 && s1 <= 0.0) return;
  if (aircraft.state == FlightPhase::takeoff_roll || aircraft.state == FlightPhase::landing_roll) return;
  if (s.size() < 3 && aircraft.extensionCount > 0) return;
  double splitM = 0.0;
  if (arrivalWish) {
    splitM = aircraft.prevState == FlightPhase::landing_roll ? 40.0 : 50.0;
  } else {
    if (!(std::fabs(s0 - s1) > 5.0)) return;
    splitM = std::lerp(60.0, 120.0, std::clamp(std::max(s0, s1) / 25.0, 0.0, 1.0));
  }
  if (lf_flatNm(s[0].lalo, s[1].lalo) >= splitM * kNmPerMetre) gf_insertMidPoint(aircraft);
}

void gf_groundLegTiming(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  if (s.size() < 2) return;
  const EngineHooks& hooks = gf_engineHooks();
  lf_standBeforeRollOff(aircraft);
  if (s[1].repeated) {
    gf_holdAtPoint(aircraft);
    return;
  }
  // It leaves its stop: the next one's wait is measured from that stop's own reports.
  aircraft.stopFeedTime.reset();
  aircraft.maxTurnPerStep = gf_turnSpeedFactor(s[0].groundSpeed) * aircraft.defaultTurnPerStep;
  const LegPlan& leg = aircraft.legPlan;
  const double legNm = leg.hasTurn() ? leg.turn.length * kNmPerMetre : gf_distanceNm(s[0].lalo, s[1].lalo);
  const double speed = hooks.acSpeedKt(aircraft);
  if (!(std::isfinite(legNm) && legNm > 0.0) || !(std::isfinite(speed) && speed > 0.0)) {
    lf_setArrival(aircraft, kMinLegTicks);
    return;
  }
  const std::int32_t legTicks = lf_easedLegTicks(aircraft, legNm, gf_ticksForDistance(legNm, speed, kMinLegTicks));
  lf_shapeTurnRate(aircraft, legNm, legTicks);
  lf_checkRunwayExit(aircraft);

  const double rate = aircraft.maxTurnPerStep;
  // A turn planned from the heading the aircraft will have turns on the spot first too.
  const double beforePlan = gf_spotTurnBeforePlanDeg(aircraft);
  const bool pending = !leg.hasTurn() && !leg.hasCurve() && aircraft.turnPending &&
                       (aircraft.turnAngle >= 60.0 || aircraft.forcedTurn || lf_startsTurned(aircraft));
  if (aircraft.state == FlightPhase::taxi && (pending || beforePlan > 0.0) && aircraft.extensionCount <= 0 &&
      std::isfinite(rate) && rate > 0.0) {
    // Turn on the spot first, then drive the leg in its own time. The turn takes as long as the
    // nose really needs: timed at a shaped rate the nose cannot reach, the leg fell due while the
    // aircraft still turned, and it rolled off on the next one with its nose far off the motion.
    const double turn = std::max(0.0, (pending ? aircraft.turnAngle : beforePlan) - 5.0) * kDeg;
    const double reachable = std::min(rate, kSpotTurnLimit * aircraft.defaultTurnPerStep);
    const auto turnTicks = static_cast<std::int32_t>(std::max(25.0, std::ceil(turn / reachable)));
    aircraft.turnHold = true;
    aircraft.turnHoldTicks = static_cast<std::uint32_t>(legTicks);
    const std::int64_t total = std::int64_t{turnTicks} + legTicks;
    const std::int64_t due = lf_now() + total;
    const std::int32_t was = s[1].time;
    if (was < due && due <= std::numeric_limits<std::int32_t>::max()) {
      gf_delayStream(aircraft, due - was, 1);
    } else {
      lf_setArrival(aircraft, static_cast<std::int32_t>(std::min<std::int64_t>(total, 1 << 30)));
    }
    return;
  }
  if (aircraft.state == FlightPhase::takeoff_roll) {
    // A departure keeps to its reports' own times, as the traffic sharing its runway does: a
    // leg timed by speed alone falls behind on every stop and start and runs ahead on the roll.
    // Points bunched by an earlier delay are caught up at no more than three times the leg's speed,
    // and never above the speed the type's roll can reach: a roll at three times a fast leg's
    // speed showed an airliner at 300 kt on the runway.
    const double capKt = gf_referenceSpeed(aircraft, 1) + 30.0;
    const std::int32_t capTicks =
        std::isfinite(capKt) && capKt > 0.0 ? gf_ticksForDistance(legNm, capKt, kMinLegTicks) : kMinLegTicks;
    // A leg that taxis into a stop (the line-up) is no roll: it keeps its own pace, late or not.
    const std::int32_t least = gf_stopAhead(aircraft, 1) ? legTicks : legTicks / 3;
    lf_setArrival(aircraft, std::max({kMinLegTicks, s[1].time - lf_now(), least, capTicks}));
    return;
  }
  lf_setArrival(aircraft, legTicks);
  if (aircraft.state == FlightPhase::parking && aircraft.correctiveMove.valid)
    aircraft.correctiveMove.arrivalTick = s[1].time;
}
