#include "traffic/ground_turns.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "feed/traffic_mailbox.h"
#include "traffic/flat_frame.h"
#include "traffic/movement_geometry.h"
#include "traffic/stream_delay.h"
#include "traffic/stream_extension.h"
#include "traffic/stream_prediction.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr double kExitSpeedKt = 65.0;
// m a runway turn's path may run inside the corner of its reported legs: within a taxiway's
// fillet. A path onto or off a runway leaves its first leg's line by its nature; what keeps it on
// the paving is how deep it cuts inside the corner.
constexpr double kRunwayTurnMostCornerCutM = 15.0;
// m between two reports that cut an exit's corner: a few seconds of a roll-out at an exit's pace.
constexpr double kCutCornerMostM = 50.0;
// m shorter than a corner's path needs for a leg of its own: two reports this close that cut a
// taxi corner are one corner, and a report this close after one is no way out for its path.
constexpr double kCutTaxiCornerMostM = 15.0;
// m a taxi corner's way out may run to the report its path ends at: the longest lead of a turn.
constexpr double kWayOutMostM = 90.0;
// Reports before a runway exit the roll-out looks through for it.
constexpr std::size_t kExitReportsAhead = 5;
// m/s a straight leg ends at before a corner turned without a path: a creep (about 5 kt), or
// nearly a stop (about 2 kt) before a turn on the spot.
constexpr double kCreepEntryMps = 2.5;
constexpr double kSpotTurnEntryMps = 1.0;
// Degrees off its way at which a standing aircraft turns on the spot before it rolls.
constexpr double kSpotTurnFirstDeg = 60.0;
// Degrees off its way from which a standing aircraft turns before it rolls straight.
constexpr double kRollingTurnFromDeg = 20.0;
// Degrees of bend at point 1 below a taxi corner's: the way on is as good as straight.
constexpr double kRollingTurnMostBendDeg = 15.0;

double lf_metres(const Lalo& a, const Lalo& b) { return gf_distanceNm(a, b) * motion::kMetresPerNm; }

bool lf_samePlace(const Lalo& a, const Lalo& b) {
  return std::fabs(a.lat - b.lat) < 1e-8 && std::fabs(gf_wrapLongitude(a.lon - b.lon)) < 1e-8;
}

double lf_angleDeg(double radians) { return std::fabs(gf_wrapAngle(radians)) / kDeg; }

// NaN-safe: a speed that is not a number does not count.
double lf_maxSpeed(std::initializer_list<double> speeds) {
  double largest = -std::numeric_limits<double>::infinity();
  for (const double s : speeds)
    if (std::isfinite(s)) largest = std::max(largest, s);
  return largest;
}

// The turn rate of the corner in degrees per second.
double lf_turnRateDegPerS(const LiveAc& aircraft) {
  return gf_turnSpeedFactor(aircraft.stream[0].groundSpeed) * aircraft.defaultTurnPerStep * geo::kRadToDeg * 100.0;
}

// A turn off the runway ahead: 15 to 135 degrees at point 1 while the aircraft heads for it.
bool lf_exitTest(const LiveAc& aircraft) {
  const auto& s = aircraft.stream;
  const double toCorner = gf_bearingRad(aircraft.position, s[1].lalo);
  const double change = lf_angleDeg(gf_bearingRad(s[1].lalo, s[2].lalo) - toCorner);
  return change >= 15.0 && change < 135.0 && lf_angleDeg(toCorner - aircraft.heading) <= 20.0;
}

Lalo lf_between(const Lalo& a, const Lalo& b, double f) {
  return {a.lat + (b.lat - a.lat) * f, gf_wrapLongitude(a.lon + gf_wrapLongitude(b.lon - a.lon) * f)};
}

std::int32_t lf_timeBetween(std::int32_t from, std::int32_t to, double f) {
  const auto t = from + static_cast<std::int64_t>((static_cast<double>(to) - from) * f);
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(t, std::int64_t{from} + 1, std::int64_t{to} - 1));
}

void lf_applyCategoryLimits(TurnRequest& request, AcCategory category) {
  switch (category) {
    case AcCategory::none:
    case AcCategory::high_performance:
      request.minLeg = 10.0, request.minLegSum = 35.0, request.maxCurvature = 5.0;
      break;
    case AcCategory::twoprops:
    case AcCategory::buzjet:
      request.minLeg = 12.0, request.minLegSum = 40.0, request.maxCurvature = 4.0;
      break;
    default:
      break;
  }
}

// Inserts a turn start on the second leg (point 1 to 2) at lead metres from point 1.
bool lf_insertOnSecondLeg(LiveAc& aircraft, double lead, double length) {
  auto& s = aircraft.stream;
  if (!(lead < length) || s[2].time - s[1].time <= 1) return false;
  const double f = std::clamp(lead / length, 0.0, 1.0);
  StreamPoint point = s[1];
  point.lalo = lf_between(s[1].lalo, s[2].lalo, f);
  point.groundSpeed = std::lerp(s[1].groundSpeed, s[2].groundSpeed, f);
  point.time = lf_timeBetween(s[1].time, s[2].time, f);
  point.feedTime = gf_feedTimeBetween(s[1], s[2], f);
  point.repeated = false;
  point.turnStart = true;
  point.fromPosition = true;
  s.insert(s.begin() + 2, point);
  return true;
}

// Standing, or as good as: the speed it goes and the speed reported where its leg begins.
bool lf_stands(const LiveAc& aircraft) {
  const double s0 = aircraft.stream[0].groundSpeed;
  return std::isfinite(s0) && s0 <= 2.0 && !(aircraft.groundStepMetres * 100.0 > 1.0);
}

// The aircraft waits at `stop` before `next`: it takes longer over the gap than a creep would.
bool lf_waitsAt(const StreamPoint& stop, const StreamPoint& next) {
  constexpr double kCreepMps = 2.0 * motion::kMetresPerSecondPerKt;
  const double seconds = (static_cast<double>(next.time) - stop.time) / 100.0;
  return seconds > 0.0 && lf_metres(stop.lalo, next.lalo) < kCreepMps * seconds;
}

// A taxi corner's path ends at the report after the corner: one close after it on the straight
// way out gives the path a short last leg, bent sharply at its end, faster than the nose turns.
// Such reports go while the way out stays within a turn's longest lead; a stop stays.
void lf_lengthenWayOut(LiveAc& aircraft, std::size_t k, double inBearing) {
  auto& s = aircraft.stream;
  if (aircraft.state != FlightPhase::taxi || s.size() < k + 3 || lf_samePlace(s[k + 1].lalo, s[k].lalo))
    return;
  const double out = gf_bearingRad(s[k].lalo, s[k + 1].lalo);
  const double bend = lf_angleDeg(out - inBearing);
  if (!(bend >= 15.0 && bend < 135.0)) return;
  while (s.size() > k + 2) {
    const StreamPoint& next = s[k + 1];
    const StreamPoint& after = s[k + 2];
    if (next.repeated || next.turnStart || !(next.groundSpeed > 0.0) || after.repeated || after.airborne ||
        after.time <= next.time || lf_samePlace(after.lalo, next.lalo) ||
        !(lf_metres(s[k].lalo, next.lalo) < kCutTaxiCornerMostM) ||
        !(lf_metres(s[k].lalo, after.lalo) <= kWayOutMostM) ||
        lf_angleDeg(gf_bearingRad(next.lalo, after.lalo) - out) > 3.0)
      break;
    s.erase(s.begin() + static_cast<std::ptrdiff_t>(k + 1));
  }
}

// Reports may cut a corner: two bends the same way within a short stretch. On a roll-out, the
// first below an exit's angle, they are planned as none and a sharp exit from the second's
// report, and the roll swings round them ahead of its nose. On a taxi, a path through the first
// ends at the second's report, too near the next to plan one through the second, and the nose lags
// the motion round it. Point k moves onto the corner the two cut, where the legs before and after
// meet, and point k + 1 goes; the turn is then planned round that corner, and the roll-out brakes
// for it. Whether it was joined.
bool lf_joinCutCorner(LiveAc& aircraft, std::size_t k) {
  auto& s = aircraft.stream;
  const bool taxi = aircraft.state == FlightPhase::taxi;
  if ((!taxi && aircraft.state != FlightPhase::landing_roll) || s.size() < k + 3) return false;
  for (std::size_t i = k; i <= k + 2; ++i)
    if (s[i].repeated || s[i].airborne || s[i].turnStart || s[i].time <= s[i - 1].time ||
        lf_samePlace(s[i].lalo, i == 1 ? aircraft.position : s[i - 1].lalo))
      return false;
  // A taxi's stop on the corner stays where the feed has it.
  if (taxi ? !(s[k].groundSpeed > 0.0 && s[k + 1].groundSpeed > 0.0) : !(s[k].groundSpeed <= kExitSpeedKt))
    return false;
  const double in = gf_bearingRad(k == 1 ? aircraft.position : s[k - 1].lalo, s[k].lalo);
  const double cutting = gf_bearingRad(s[k].lalo, s[k + 1].lalo);
  const double out = gf_bearingRad(s[k + 1].lalo, s[k + 2].lalo);
  const double first = gf_wrapAngle(cutting - in);
  const double second = gf_wrapAngle(out - cutting);
  const double whole = std::fabs(first + second) / kDeg;
  // A bend of 3 degrees or less is a straight run's wobble, not half of a cut corner: joined with
  // the corner's first half, it left the corner's second half bare.
  if (!(first * second > 0.0) || !(whole >= 15.0 && whole < 135.0) || !(std::fabs(first) / kDeg > 3.0))
    return false;
  if (taxi ? !(std::fabs(second) / kDeg > 3.0) : !(std::fabs(first) / kDeg < 15.0)) return false;
  const LocalFrame frame(s[k].lalo);
  const FlatPoint b = frame.toFlat(s[k + 1].lalo);
  const double cut = b.length();
  if (!(cut <= (taxi ? kCutTaxiCornerMostM : kCutCornerMostM))) return false;
  // Where the leg in, on from point k, meets the leg out, back from point k + 1: both within the cut.
  const FlatPoint din{std::sin(in), std::cos(in)};
  const FlatPoint dout{std::sin(out), std::cos(out)};
  const double det = din.east * dout.north - din.north * dout.east;
  if (!(std::fabs(det) > 1e-9)) return false;
  const double u = (b.east * dout.north - b.north * dout.east) / det;
  const double v = (din.east * b.north - din.north * b.east) / det;
  if (!(u >= 0.0 && v >= 0.0 && u <= cut && v <= cut && u + v > 0.0)) return false;
  const std::optional<Lalo> corner = frame.toLalo(u * din);
  if (!corner) return false;
  const double f = u / (u + v);
  StreamPoint& p = s[k];
  p.feedTime = gf_feedTimeBetween(p, s[k + 1], f);
  p.time = lf_timeBetween(p.time, s[k + 1].time, f);
  p.groundSpeed = std::lerp(p.groundSpeed, s[k + 1].groundSpeed, f);
  p.lalo = *corner;
  s.erase(s.begin() + static_cast<std::ptrdiff_t>(k + 1));
  if (taxi) lf_lengthenWayOut(aircraft, k, in);
  return true;
}

// A taxi corner the aircraft must take on a path at point k: the bend there is 15 to 135
// degrees, between reports that move on from each other.
bool lf_taxiCornerAt(const RingDeque<StreamPoint>& s, std::size_t k) {
  if (k < 1 || k + 1 >= s.size()) return false;
  for (std::size_t i = k; i <= k + 1; ++i)
    if (s[i].repeated || s[i].airborne || lf_samePlace(s[i].lalo, s[i - 1].lalo)) return false;
  const double bend = lf_angleDeg(gf_bearingRad(s[k].lalo, s[k + 1].lalo) - gf_bearingRad(s[k - 1].lalo, s[k].lalo));
  return bend >= 15.0 && bend < 135.0;
}

}  // namespace

double gf_turnLeadMetres(double angleDeg, double turnRateDegPerS, double speedKt) {
  const double seconds = std::clamp(angleDeg / turnRateDegPerS, 1.5, 6.0);
  return std::clamp(seconds * speedKt * motion::kMetresPerSecondPerKt, 12.0, 90.0);
}

double gf_cornerEntrySpeed(const LiveAc& aircraft) {
  constexpr double kFree = std::numeric_limits<double>::infinity();
  const auto& s = aircraft.stream;
  const double rate = 100.0 * aircraft.defaultTurnPerStep;
  if (s.size() < 3 || !(rate > 0.0)) return kFree;
  // A departure's taxi, not its roll: the roll's legs run at its own rate.
  const bool taxi = aircraft.state == FlightPhase::taxi;
  if (!taxi && !(aircraft.state == FlightPhase::takeoff_roll &&
                 lf_maxSpeed({aircraft.speed, s[0].groundSpeed, s[1].groundSpeed, s[2].groundSpeed}) <= 30.0))
    return kFree;
  for (std::size_t i = 1; i <= 2; ++i)
    if (s[i].repeated || s[i].airborne || lf_samePlace(s[i].lalo, s[i - 1].lalo)) return kFree;
  const double inbound = gf_normalizeAngle(gf_bearingRad(s[0].lalo, s[1].lalo));
  if (s.size() >= 4 && !s[3].repeated && !lf_samePlace(s[3].lalo, s[2].lalo)) {
    TurnRequest request;
    request.start = s[1].lalo;
    request.corner = s[2].lalo;
    request.end = s[3].lalo;
    request.startHeading = inbound;
    lf_applyCategoryLimits(request, aircraft.category);
    TurnPlan plan;
    if (plan.build(request)) return plan.fittingSpeed(0.0, rate, kGroundBrakingMps2);
  }
  // Without a path the nose comes round while the aircraft creeps; a sharp one turns on the spot.
  const double a = lf_angleDeg(gf_bearingRad(s[1].lalo, s[2].lalo) - inbound);
  if (!(a > 15.0)) return kFree;
  return a >= 60.0 && taxi ? kSpotTurnEntryMps : kCreepEntryMps;
}

double gf_exitEntrySpeed(const LiveAc& aircraft) {
  constexpr double kFree = std::numeric_limits<double>::infinity();
  const auto& s = aircraft.stream;
  const double rate = 100.0 * aircraft.defaultTurnPerStep;
  if (aircraft.state != FlightPhase::landing_roll || !(rate > 0.0)) return kFree;
  double fastest = kFree;
  double before = 0.0;  // m from point 1 to the exit's start, braked over at a taxi's rate
  // The exit planned from point k - 1: its turn start, or the last report before the corner at k
  // within reach there. Reports a few seconds apart put a few of them before the exit: the
  // roll-out brakes for it from the first, or it comes onto the exit's path too fast for its nose.
  for (std::size_t k = 2; k <= kExitReportsAhead + 1 && k + 1 < s.size(); ++k) {
    const StreamPoint& start = s[k - 1];
    if (start.repeated || start.airborne || lf_samePlace(start.lalo, s[k - 2].lalo)) break;
    if (k > 2) before += lf_metres(s[k - 2].lalo, start.lalo);
    if (s[k].repeated || s[k].airborne || s[k + 1].repeated || s[k + 1].airborne ||
        lf_samePlace(s[k].lalo, start.lalo) || lf_samePlace(s[k + 1].lalo, s[k].lalo))
      break;
    const double inbound = gf_normalizeAngle(gf_bearingRad(s[k - 2].lalo, start.lalo));
    if (!(k == 2 && start.turnStart)) {
      const double toCorner = gf_bearingRad(start.lalo, s[k].lalo);
      const double change = lf_angleDeg(gf_bearingRad(s[k].lalo, s[k + 1].lalo) - toCorner);
      const double lookAhead = gf_lookAheadMetres(lf_maxSpeed({start.groundSpeed, s[k].groundSpeed}));
      if (!(change >= 15.0 && change < 135.0) || lf_angleDeg(toCorner - inbound) > 20.0 ||
          !(start.groundSpeed <= kExitSpeedKt) || lf_metres(start.lalo, s[k].lalo) > lookAhead)
        continue;
    }
    TurnRequest request;
    request.start = start.lalo;
    request.corner = s[k].lalo;
    request.end = s[k + 1].lalo;
    request.startHeading = inbound;
    lf_applyCategoryLimits(request, aircraft.category);
    TurnPlan plan;
    if (!plan.build(request) || plan.cornerTurn) continue;
    const double fits = plan.fittingSpeed(0.0, rate, kGroundBrakingMps2);
    fastest = std::min(fastest, std::sqrt(fits * fits + 2.0 * kGroundBrakingMps2 * before));
    break;
  }
  return fastest;
}

double gf_spotTurnBeforePlanDeg(const LiveAc& aircraft) {
  if (aircraft.state != FlightPhase::taxi || !aircraft.legPlan.hasTurn()) return 0.0;
  const std::optional<GeoPose> start = aircraft.legPlan.turn.evaluate(0.0);
  if (!start) return 0.0;
  const double off = lf_angleDeg(start->heading - aircraft.heading);
  return off >= kSpotTurnFirstDeg ? off : 0.0;
}

bool gf_buildGroundTurn(LiveAc& aircraft) {
  auto& s = aircraft.stream;
  if (s.size() < 2) return false;
  if (s[1].turnStart || (s[0].turnStart && !s[0].fromPosition)) return false;
  // Rolling into a corner it then stands at, the aircraft stops there and turns from there, not
  // through it: a departure rolled through its line-up.
  if (s.size() >= 3 && s[0].groundSpeed > 0.0 && s[1].groundSpeed == 0.0 && lf_waitsAt(s[1], s[2])) return false;
  // Off a stop the leg is timed from standstill: a way out lengthened there held the taxi after
  // it to the pace of the pull-away.
  if (!lf_joinCutCorner(aircraft, 1) && !lf_joinCutCorner(aircraft, 2) && s.size() >= 3 && s[0].groundSpeed > 0.0)
    lf_lengthenWayOut(aircraft, 1, aircraft.heading);
  const double a = s.size() >= 3 ? lf_angleDeg(gf_bearingRad(s[1].lalo, s[2].lalo) - aircraft.heading) : 0.0;
  if (!(a > 3.0)) return false;
  const std::uint32_t state = aircraft.state;
  if (state == FlightPhase::taxi && a <= 12.0) {
    if (gf_straightenJog(aircraft, 3) || gf_straightenJog(aircraft, 4)) return true;
    // Curved through a small bend, the aircraft would come to the corner right after it with the
    // report before it gone, and take that corner without a path.
    if (lf_taxiCornerAt(s, 2)) return false;
  }
  if (state == FlightPhase::takeoff_roll &&
      (a < 10.0 || aircraft.category == AcCategory::rotorcraft ||
       lf_maxSpeed({aircraft.speed, s[0].groundSpeed, s[1].groundSpeed, s[2].groundSpeed}) > 30.0 ||
       s[1].airborne || s[2].airborne))
    return false;

  const bool landingRoll = state == FlightPhase::landing_roll;
  const double d = lf_metres(landingRoll ? aircraft.position : s[0].lalo, s[1].lalo);
  const bool exit = lf_exitTest(aircraft);
  const double lookAhead = gf_lookAheadMetres(lf_maxSpeed({aircraft.speed, s[0].groundSpeed, s[1].groundSpeed}));
  const double r = lf_turnRateDegPerS(aircraft);
  const double s0 = s[0].groundSpeed;
  const double s1 = s[1].groundSpeed;
  const bool slowAtExit = std::isfinite(s1) && s1 <= kExitSpeedKt;

  if (landingRoll && !s[0].fromPosition && exit && d > lookAhead && r > 0.0 && slowAtExit) {
    double lead = gf_turnLeadMetres(a, r, s0);
    // Still fast at point 0: the turn begins where the roll is down to the exit speed.
    if (s0 > kExitSpeedKt && s1 < s0) lead = std::min(lead, (kExitSpeedKt - s1) * d / (s0 - s1));
    if (lead >= 12.0 && gf_insertTurnStart(aircraft, lead, true)) return true;
  }
  if (landingRoll && !s[2].fromPosition && exit && d <= lookAhead) {
    const double second = lf_metres(s[1].lalo, s[2].lalo);
    if (second > lookAhead && r > 0.0 && slowAtExit &&
        lf_insertOnSecondLeg(aircraft, gf_turnLeadMetres(a, r, s1), second))
      return true;
  }
  if (state == FlightPhase::takeoff_roll) return gf_buildTurnIfDistinct(aircraft, a);
  if (s0 > 43.0) return gf_buildTurnIfDistinct(aircraft, a);
  if (!(r > 0.0)) return false;
  // Standing with its nose well off a way on that bends little at point 1, the aircraft turns onto
  // it as it rolls off: the bend lies where it stands. A turn start short of point 1 left it a
  // straight leg off its nose, and it stood turning on the spot where its reports turn rolling.
  const double startOff = lf_angleDeg(gf_bearingRad(s[0].lalo, s[1].lalo) - aircraft.heading);
  if (state == FlightPhase::taxi && lf_stands(aircraft) && startOff >= kRollingTurnFromDeg &&
      startOff < kSpotTurnFirstDeg && !lf_taxiCornerAt(s, 1) && gf_buildTurnIfDistinct(aircraft, a))
    return true;
  const double shortest = s0 >= 10.0 ? 12.0 : 5.0;
  if (d >= shortest) {
    const double lead = gf_turnLeadMetres(a, r, s0);
    if (lead >= 0.75 * d) return gf_buildTurnIfDistinct(aircraft, a);
    if (a > 45.0 || d >= 50.0) return gf_insertTurnStart(aircraft, lead, false);
  }
  const bool planned = makeTurnGnd(aircraft, a);
  if (planned) aircraft.legPlan.legTurnAngle = a;
  return planned;
}

bool gf_buildTurnIfDistinct(LiveAc& aircraft, double angleDeg) {
  const auto& s = aircraft.stream;
  if (s.size() < 3 || lf_samePlace(s[2].lalo, s[0].lalo) || lf_samePlace(s[2].lalo, s[1].lalo)) return false;
  if (!makeTurnGnd(aircraft, angleDeg)) return false;
  aircraft.legPlan.legTurnAngle = angleDeg;
  return true;
}

bool gf_insertTurnStart(LiveAc& aircraft, double distanceM, bool fromPosition) {
  auto& s = aircraft.stream;
  if (s.size() < 2) return false;
  const Lalo start = fromPosition ? aircraft.position : s[0].lalo;
  const std::int32_t startTime = fromPosition ? g_engineTime.load() : s[0].time;
  const double length = lf_metres(start, s[1].lalo);
  if (!std::isfinite(distanceM) || !(distanceM > 0.0) || !(distanceM < length)) return false;
  if (static_cast<std::int64_t>(s[1].time) - startTime < 2) return false;
  const double f = std::clamp((length - distanceM) / length, 0.0, 1.0);
  StreamPoint point = s[0];
  point.lalo = lf_between(start, s[1].lalo, f);
  point.repeated = false;
  point.turnStart = true;
  point.fromPosition = fromPosition;
  if (fromPosition) point.groundSpeed = std::lerp(s[0].groundSpeed, s[1].groundSpeed, f);
  point.time = lf_timeBetween(startTime, s[1].time, f);
  // Due where it lies on the reported leg, not at the first point's time.
  const double leg = lf_metres(s[0].lalo, s[1].lalo);
  point.feedTime = gf_feedTimeBetween(s[0], s[1], leg > 0.0 ? 1.0 - distanceM / leg : 1.0);
  s.insert(s.begin() + 1, point);
  return true;
}

bool gf_straightenJog(LiveAc& aircraft, std::size_t k) {
  auto& s = aircraft.stream;
  // The leg after point k must be known, and point k no corner: its path is planned from the
  // report before it, which straightening would remove.
  if (k < 3 || s.size() <= k + 1 || lf_samePlace(s[k].lalo, aircraft.position) || lf_taxiCornerAt(s, k))
    return false;
  // A stop on the jog stays: straightened away, a departure rolled through its line-up.
  for (std::size_t i = 1; i <= k; ++i)
    if (s[i].repeated || s[i].airborne || lf_samePlace(s[i].lalo, s[i - 1].lalo) || s[i].time <= s[i - 1].time ||
        (i < k && s[i].groundSpeed == 0.0))
      return false;
  const Lalo& position = aircraft.position;
  if (lf_metres(position, s[k].lalo) > 180.0) return false;
  const double b = gf_bearingRad(position, s[k].lalo);
  double along = 0.0;
  for (std::size_t i = 1; i < k; ++i) {
    const RelativeGeometry g = gf_relativeGeometry(position, b, s[i].lalo);
    if (!(g.alongM > along) || std::fabs(g.crossM) > 3.0) return false;
    along = g.alongM;
  }
  const double toFirst = gf_bearingRad(position, s[1].lalo);
  const double firstLeg = gf_bearingRad(s[1].lalo, s[2].lalo);
  const double lastLeg = gf_bearingRad(s[k - 1].lalo, s[k].lalo);
  const double a1 = gf_wrapAngle(firstLeg - toFirst);
  const double a2 = gf_wrapAngle(lastLeg - firstLeg);
  if (std::fabs(a1) > 12.0 * kDeg || std::fabs(a2) > 15.0 * kDeg || !(a1 * a2 < 0.0)) return false;
  if (lf_angleDeg(b - toFirst) > 3.0 || lf_angleDeg(b - lastLeg) > 3.0) return false;
  aircraft.trackToNext = b;
  s.erase(s.begin() + 1, s.begin() + static_cast<std::ptrdiff_t>(k));
  return true;
}

bool makeTurnGnd(LiveAc& aircraft, double angleDeg) {
  auto& s = aircraft.stream;
  if (s.size() < 3) return false;
  aircraft.forcedTurn = false;
  if (s[2].repeated) {
    gf_logWarning(fmt::format("{}: unexpected same at stream[2], {}", "makeTurnGnd", aircraft.callsign));
    return false;
  }
  // A stop the aircraft then stands at keeps its 0 kt: rolled into at the mean speed, the turn ended
  // in a halt from it, short of the line-up point where the departure waited. It stands there when
  // a report repeats the stop, or when the next one moves on from it no faster than a creep (the
  // standing report thinned out).
  const bool standsAtEnd = s.size() > 3 && (s[3].repeated || lf_waitsAt(s[2], s[3]));
  if (s[2].groundSpeed <= 0.1 && !standsAtEnd) s[2].groundSpeed = (s[0].groundSpeed + s[1].groundSpeed) / 2.0;
  LegPlan& leg = aircraft.legPlan;
  leg.reset();
  std::size_t replaceUpTo = 2;  // points 1 .. replaceUpTo - 1 give way to the plan

  const std::uint32_t state = aircraft.state;
  const bool taxi = state == FlightPhase::taxi;
  const bool takeoffRoll = state == FlightPhase::takeoff_roll;
  const double largest = lf_maxSpeed({aircraft.speed, s[0].groundSpeed, s[1].groundSpeed, s[2].groundSpeed});
  const bool exitTurn = state == FlightPhase::landing_roll && lf_exitTest(aircraft) && s[0].groundSpeed <= kExitSpeedKt;
  const bool takeoffTurn = takeoffRoll && angleDeg >= 10.0 && largest <= 30.0 && !s[1].airborne && !s[2].airborne;
  const bool ordinary = !exitTurn && !takeoffTurn;
  const double l1 = lf_metres(aircraft.position, s[1].lalo);
  const double l2 = lf_metres(s[1].lalo, s[2].lalo);

  TurnPlan& plan = leg.turn;
  TurnPlan first;
  bool planned = false;
  bool fromSwing = false;
  if (aircraft.category != AcCategory::rotorcraft && !(ordinary && !taxi)) {
    TurnRequest request;
    request.start = aircraft.position;
    request.corner = s[1].lalo;
    request.end = s[2].lalo;
    request.startHeading = gf_normalizeAngle(aircraft.heading);
    lf_applyCategoryLimits(request, aircraft.category);
    if (gf_isDepartureGate(aircraft) && aircraft.runwayPredicted) {
      const auto stop = std::find_if(s.begin() + 1, s.end(), [](const StreamPoint& p) { return p.repeated; });
      if (stop != s.end() && lf_metres(stop->lalo, s[2].lalo) <= 1.0)
        request.endHeading = gf_normalizeAngle(aircraft.predictedRunwayHeading);
    }
    planned = plan.build(request);
    first = plan;
    TurnRequest used = request;

    // The corner lies at an angle the start can't take: aim further down a straight stretch.
    if (!planned && taxi && first.cornerTurn && first.startMismatch >= 60.0 && s.size() > 3) {
      const double reach = std::clamp(1.5 * first.startMismatch, 90.0, 250.0);
      const double along = gf_bearingRad(s[1].lalo, s[2].lalo);
      for (std::size_t k = 2; k < s.size(); ++k) {
        const StreamPoint& p = s[k];
        const StreamPoint& q = s[k - 1];
        if (p.repeated || p.airborne || lf_samePlace(p.lalo, q.lalo) || p.time <= q.time || q.groundSpeed == 0.0 ||
            lf_angleDeg(gf_bearingRad(q.lalo, p.lalo) - along) > 12.0 || lf_metres(aircraft.position, p.lalo) > 250.0)
          break;
        if (lf_metres(aircraft.position, p.lalo) < reach) continue;
        TurnRequest further = request;
        further.corner = lf_between(aircraft.position, p.lalo, 0.5);
        further.end = p.lalo;
        further.maxEntryAngle = further.maxStartMismatch = 135.0;
        further.cornerRatio = 1.0;
        further.maxCurvature = 10.0;
        further.startTangentScale = 1.0;
        TurnPlan candidate;
        if (candidate.build(further)) {
          plan = candidate;
          used = further;
          planned = true;
          replaceUpTo = k;
        }
        break;
      }
    }

    // Nearly straight ahead but started at an angle: swing onto the line.
    // Standing with its nose off the way on, a taxi swings onto it as it rolls off from a smaller
    // angle, and onto a way that bends a little: it turns on the spot only from further off.
    if ((!planned || takeoffRoll) && first.cornerTurn) {
      const bool rollsOffTurning = taxi && first.startMismatch < kSpotTurnFirstDeg && lf_stands(aircraft);
      const double maxTurn = takeoffRoll ? 8.0 : rollsOffTurning ? kRollingTurnMostBendDeg : 3.0;
      const double minMismatch = taxi && request.endHeading ? 10.0
                                 : takeoffRoll || rollsOffTurning ? kRollingTurnFromDeg
                                                                  : 60.0;
      const bool legsFit = l1 >= 7.0 && l1 <= 35.0 && l2 >= 7.0 && l2 <= 35.0 && l1 + l2 <= 60.0;
      if (first.turnAngle <= maxTurn && first.startMismatch >= minMismatch && first.startMismatch <= 105.0 &&
          legsFit && largest <= (takeoffRoll ? 30.0 : 25.0)) {
        TurnRequest swing = request;
        swing.minLeg = 7.0;
        swing.minLegSum = 14.0;
        swing.maxEntryAngle = swing.maxStartMismatch = 105.0;
        swing.cornerRatio = 0.5;
        swing.maxCurvature = 50.0;
        swing.startTangentScale = first.startMismatch <= 90.0 ? 1.25 : 2.5;
        TurnPlan candidate;
        if (candidate.build(swing) && candidate.maxEndLineOffset <= 5.0) {
          plan = candidate;
          used = swing;
          planned = true;
          fromSwing = true;
        }
      }
    }

    // Standing with its nose well off the way to the corner, the aircraft turns on the spot
    // first: the corner is planned from the heading it will then have. Planned from the heading it
    // stood at, it found no path, and a heavy crept through the corner after its push-back.
    if (!planned && taxi && first.startMismatch >= kSpotTurnFirstDeg && lf_stands(aircraft)) {
      TurnRequest fromSpot = request;
      fromSpot.startHeading = gf_normalizeAngle(gf_bearingRad(aircraft.position, s[1].lalo));
      TurnPlan candidate;
      if (candidate.build(fromSpot)) {
        plan = candidate;
        used = fromSpot;
        planned = true;
      }
    }

    // A plan that swings wide before a sharp next corner ends at this corner instead.
    if (taxi && planned && !plan.cornerTurn && !plan.endAtCorner) {
      const double planL1 = plan.corner.length();
      const double planL2 = (plan.end - plan.corner).length();
      bool again = plan.turnAngle >= 75.0 && planL2 > 100.0 && planL1 <= planL2 / 2.0;
      if (s.size() > 3 && !s[3].repeated && !lf_samePlace(s[1].lalo, s[2].lalo) &&
          !lf_samePlace(s[2].lalo, s[3].lalo) && !lf_samePlace(s[1].lalo, s[3].lalo) &&
          lf_angleDeg(gf_bearingRad(s[2].lalo, s[3].lalo) - gf_bearingRad(s[1].lalo, s[2].lalo)) >= 45.0)
        again = true;
      if (again) {
        TurnRequest atCorner = used;
        atCorner.endAtCorner = true;
        TurnPlan candidate;
        if (candidate.build(atCorner)) plan = candidate;
      }
    }

    if (planned) {
      const double lookAhead = gf_lookAheadMetres(lf_maxSpeed({aircraft.speed, s[0].groundSpeed, s[1].groundSpeed}));
      bool keep = true;
      if (ordinary) {
        leg.planKind = PlanKind::ordinary;
      } else if (takeoffTurn) {
        keep = ((fromSwing && plan.maxEndLineOffset <= 5.0) || (!plan.cornerTurn && plan.startMismatch <= 20.0)) &&
               plan.maxCornerCut <= kRunwayTurnMostCornerCutM;
        leg.planKind = PlanKind::takeoffRoll;
      } else {
        keep = plan.turnAngle >= 15.0 && !plan.cornerTurn && plan.startMismatch <= 20.0 && l1 <= lookAhead &&
               l2 <= lookAhead && plan.maxCornerCut <= kRunwayTurnMostCornerCutM;
        leg.planKind = PlanKind::runwayExit;
      }
      if (!keep) {
        leg.reset();
        planned = false;
        replaceUpTo = 2;
      }
    }
    if (taxi && !planned && first.result == TurnResult::invalidTangent && std::isfinite(angleDeg) &&
        angleDeg >= 90.0 && first.turnAngle >= 30.0 && first.turnAngle <= 70.0 && first.startMismatch >= 35.0 &&
        first.startMismatch < 60.0)
      aircraft.forcedTurn = true;
  }

  if (!planned) {
    if (takeoffRoll || state == FlightPhase::landing_roll || (taxi && first.cornerTurn)) return false;
    if (!(angleDeg <= 120.0)) return false;
    if (!leg.curve.build({aircraft.position, 0.0}, {s[1].lalo, 0.5}, {s[2].lalo, 1.0})) return false;
  }
  if (!(leg.hasTurn() && plan.endAtCorner))
    s.erase(s.begin() + 1, s.begin() + static_cast<std::ptrdiff_t>(replaceUpTo));
  return true;
}
