#include "traffic/movement_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "traffic/leg_plan.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr double kHalfPi = geo::kPi / 2.0;
constexpr double kKtPerMetrePerSecond = 1.9438444924406046;
constexpr double kGravity = 9.80665;  // m/s^2

bool lf_isHeading(double radians) { return radians >= 0.0 && radians < motion::kTwoPi; }
bool lf_isPositive(double v) { return std::isfinite(v) && v > 0.0; }

// Flat-earth distance in NM at 60 NM per degree, the longitude difference wrapped.
double lf_flatDistanceNm(double dLat, double dLon, double cosLat) {
  const double east = gf_wrapLongitude(dLon) * cosLat * 60.0;
  const double north = dLat * 60.0;
  return std::sqrt(east * east + north * north);
}

Lalo lf_pointAt(const Lalo& from, double bearing, double metres) {
  return gf_destinationPoint(from, {bearing, metres * motion::kFeetPerMetre});
}

bool lf_withinDeg(double a, double b, double limitDeg) { return std::fabs(gf_wrapAngle(a - b)) <= limitDeg * kDeg; }

// The limits a stand approach must meet once the aircraft is close: at most 2 m from the stand,
// not past it, at most 1 m aside and 10 degrees off.
bool lf_isAtStand(const StandAlignment& s) {
  return std::isfinite(s.distanceM) && std::isfinite(s.alongM) && std::isfinite(s.crossM) &&
         std::isfinite(s.headingDifferenceDeg) && s.distanceM <= 2.0 && s.alongM <= 0.0 && std::fabs(s.crossM) <= 1.0 &&
         std::fabs(s.headingDifferenceDeg) <= 10.0;
}

double lf_bernstein(double p0, double p1, double p2, double p3, double t) {
  const double u = 1.0 - t;
  return u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3;
}

double lf_bernsteinSlope(double p0, double p1, double p2, double p3, double t) {
  const double u = 1.0 - t;
  return 3 * u * u * (p1 - p0) + 6 * u * t * (p2 - p1) + 3 * t * t * (p3 - p2);
}

}  // namespace

RelativeGeometry gf_relativeGeometry(const Lalo& origin, double heading, const Lalo& target) {
  const double distance = gf_distanceNm(origin, target) * motion::kMetresPerNm;
  if (distance <= 0.1) return {distance, 0.0, 0.0, 0.0};
  const double rel = gf_wrapAngle(gf_bearingRad(origin, target) - heading);
  return {distance, rel, std::cos(rel) * distance, std::sin(rel) * distance};
}

bool gf_withinRadii(const Lalo& a, double radiusANm, const Lalo& b, double radiusBNm) {
  const double r = radiusANm + radiusBNm;
  if (!(r > 0.0)) return false;
  const double d = lf_flatDistanceNm(a.lat - b.lat, a.lon - b.lon, std::cos(a.lat * kDeg));
  return r * r >= d * d;
}

ConflictResult gf_userConflictTest(const ConflictInput& in) {
  ConflictResult r;
  const auto refuse = [&r](std::uint32_t reason) {
    r.reason = reason;
    return r;
  };
  r.distanceNm = lf_flatDistanceNm(in.latitudeA - in.latitudeB, in.longitudeA - in.longitudeB, in.cosLatitude);
  if (r.distanceNm * r.distanceNm > 16.0) return refuse(1);
  r.altitudeDifference = in.altitudeB - in.altitudeA;
  if (std::fabs(r.altitudeDifference) > 1000.0) return refuse(2);
  const Lalo a{in.latitudeA, in.longitudeA};
  const Lalo b{in.latitudeB, in.longitudeB};
  const double x = gf_wrapAngle(in.headingA - gf_bearingRad(a, b));
  r.alongNm = std::cos(x) * r.distanceNm;
  if (r.distanceNm <= 0.6 && std::fabs(r.altitudeDifference) <= 300.0 && r.alongNm > 0.05) {
    r.verdict = 1;
    return r;
  }
  if (in.phase != 1 && in.phase != 2) return r;
  if (in.phase == 1) {
    if (r.alongNm <= 0.05) return refuse(5);
    if (r.alongNm > 0.6) return refuse(6);
  }
  r.headingDifference = gf_wrapAngle(in.headingA - in.headingB);
  const double maxHeadingDifference = in.phase == 1 ? 25.0 * kDeg : 20.0 * kDeg;
  if (std::fabs(r.headingDifference) > maxHeadingDifference) return refuse(3);
  r.lateralFt = std::fabs(std::sin(x)) * r.distanceNm * geo::kFeetPerNm;
  if (in.phase == 1) {
    r.limitFt = 700.0;
  } else if (r.alongNm < -0.05) {
    // Behind the user: a corridor of 900 ft up to 1.8 NM back.
    r.limitFt = 900.0;
    if (-r.alongNm > 1.8 || r.lateralFt > 900.0) return refuse(4);
    r.verdict = 2;
    return r;
  } else {
    if (r.alongNm <= 0.05) return refuse(5);
    if (r.alongNm > 1.8) return refuse(6);
    r.limitFt = 900.0 + 1900.0 * std::clamp(r.distanceNm * 0.25, 0.0, 1.0);
  }
  if (r.lateralFt > r.limitFt) return refuse(7);
  r.verdict = in.phase == 1 ? 4 : 3;
  return r;
}

double gf_ease(double t, std::uint32_t mode) {
  t = std::clamp(t, 0.0, 1.0);
  switch (mode) {
    case 1: return t * t;
    case 2: return 1.0 - (1.0 - t) * (1.0 - t);
    case 3: return (3.0 - 2.0 * t) * t * t;
    default: return t;
  }
}

double gf_rampEase(double t, std::uint32_t mode, double ramp) {
  if ((mode != 1 && mode != 2) || !(ramp > 0.0 && ramp < 1.0)) return gf_ease(t, mode);
  t = std::clamp(t, 0.0, 1.0);
  // Even acceleration over the ramp, then an even roll: the share covered at t.
  const auto start = [ramp](double f) { return (f < ramp ? f * f / (2.0 * ramp) : f - ramp / 2.0) / (1.0 - ramp / 2.0); };
  return mode == 1 ? start(t) : 1.0 - start(1.0 - t);
}

double gf_rampShare(double metres, double seconds, double accelerationMps2) {
  if (!(metres > 0.0) || !(seconds > 0.0) || !(accelerationMps2 > 0.0)) return 1.0;
  // The ramp r of a leg of d metres in T s that speeds up at a: r (1 - r / 2) = d / (a T^2).
  const double k = metres / (accelerationMps2 * seconds * seconds);
  if (!(k < 0.5)) return 1.0;
  return std::clamp(1.0 - std::sqrt(1.0 - 2.0 * k), 1e-6, 1.0);
}

double EasedShares::operator[](std::size_t i) const {
  const double n = static_cast<double>(m_ticks);
  return gf_rampEase(static_cast<double>(i + 1) / n, m_kind, m_ramp) -
         gf_rampEase(static_cast<double>(i) / n, m_kind, m_ramp);
}

double gf_approachValue(double value, double target, double step) {
  if (!std::isfinite(target)) return std::isfinite(value) ? value : 0.0;
  if (!std::isfinite(value)) return target;
  if (lf_isPositive(step)) return value + std::clamp(target - value, -step, step);
  return value;
}

DescentRateLimit gf_limitDescentRate(double proposedRate, std::span<const double> recentRates, std::int32_t category) {
  const double limit = category == 5 ? 3600.0 : category == 6 ? 1800.0 : 3000.0;
  double sum = 0.0;
  int count = 0;
  for (std::size_t i = 0; i < std::min<std::size_t>(2, recentRates.size()); ++i) {
    if (std::isfinite(recentRates[i])) {
      sum += recentRates[i];
      ++count;
    }
  }
  const double mean = std::clamp(count > 0 ? sum / count : 0.0, -limit, 0.0);
  const double floor = std::max(mean - 1200.0, -limit);
  const double rate = std::clamp(std::isfinite(proposedRate) ? proposedRate : mean, floor, 0.0);
  return {rate, !(rate == proposedRate)};
}

TravelTime gf_minTravelTime(const TravelInput& in) {
  const auto orZero = [](double v) { return std::isfinite(v) && v > 0.0 ? v : 0.0; };
  const double distance = orZero(in.distanceM);
  const double time = orZero(in.reportedTimeS);
  const double speed = 2.0 * std::max(orZero(in.speed1Kt), orZero(in.speed2Kt));
  double lower = 360.0;
  double upper = 700.0;
  switch (in.category) {
    case 0: lower = 180.0, upper = 350.0; break;
    case 1: lower = 250.0, upper = 500.0; break;
    case 5: lower = 900.0, upper = 1500.0; break;
    case 6: lower = 120.0, upper = 220.0; break;
    default: break;
  }
  TravelTime r;
  if (distance > 0.0) r.minimumTimeS = distance * kKtPerMetrePerSecond / std::clamp(speed, lower, upper);
  if (time > 0.0) {
    r.impliedSpeedKt = distance / time * kKtPerMetrePerSecond;
  } else if (distance > 0.0) {
    r.impliedSpeedKt = std::numeric_limits<double>::infinity();
  }
  r.tooFast = distance > 1.0 && r.minimumTimeS > time + 1e-9;
  return r;
}

std::optional<std::size_t> gf_findClimbIndex(std::span<const ClimbSample> samples, double reference) {
  if (!lf_isPositive(reference)) return std::nullopt;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    const ClimbSample& s = samples[i];
    if (!std::isfinite(s.value) || s.value < reference + 10.0) continue;
    for (std::size_t j = 0; j < i; ++j) {
      const ClimbSample& earlier = samples[j];
      const std::int64_t dt = static_cast<std::int64_t>(s.time) - earlier.time;
      if (std::isfinite(earlier.value) && earlier.value >= 40.0 && dt >= 1 && dt <= 2000 &&
          s.value - earlier.value >= 15.0) {
        return i;
      }
    }
  }
  return std::nullopt;
}

DescentCorrection gf_descentCorrection(const DescentInput& in) {
  const auto& q = in.q;
  DescentCorrection r{q[0], q[3], false};
  for (int i = 0; i <= 5; ++i) {
    if (!std::isfinite(q[i])) return r;
  }
  if (q[4] <= 0.0 || q[5] <= 0.0) return r;
  const double h = q[1] - q[2];
  if (h <= 1.0 || h > 250.0 || q[3] >= q[4]) return r;
  if (in.flag && std::isfinite(q[8]) && q[8] >= 50.0 && std::isfinite(q[6]) && q[6] >= 400.0 && std::isfinite(q[7]) &&
      q[7] >= 400.0) {
    return r;
  }
  const double speed = std::clamp(q[5], 40.0, 200.0) * motion::kMetresPerSecondPerKt;
  const double a = std::min(q[4] / 3.0, 1000.0);
  // Where the present rate would bring the aircraft down; nowhere when it does not descend.
  const double reach = q[0] >= 0.0 ? std::numeric_limits<double>::infinity() : q[3] + speed * h * 60.0 / -q[0];
  if (a >= reach) return r;
  const double aim = std::min(std::max(q[3] + 100.0, std::min(a, 600.0)), q[4] - 100.0);
  if (aim <= q[3]) return r;
  const double rate = std::max(-h * 60.0 / ((aim - q[3]) / speed), -1200.0);
  if (rate < q[0]) return {rate, aim, true};
  return {q[0], aim, false};
}

bool gf_isDescentGeometryValid(const std::array<double, 7>& q) {
  for (int i : {0, 1, 3, 4, 5, 6}) {
    if (!std::isfinite(q[i])) return false;
  }
  return q[3] > 1000.0 && q[4] >= q[5] && q[6] > 0.0 && q[1] > q[0] && q[1] >= -q[6];
}

HeadingLinePullResult gf_pullTowardHeadingLine(const HeadingLinePull& in) {
  const bool bothValid = gf_isLaloInRange(in.a) && gf_isLaloInRange(in.b);
  const bool distinct =
      !(std::fabs(in.a.lat - in.b.lat) <= 1e-8 && std::fabs(gf_wrapLongitude(in.a.lon - in.b.lon)) <= 1e-8);
  const double bearingToB = bothValid && distinct ? gf_bearingRad(in.a, in.b) : in.heading;
  HeadingLinePullResult r{in.b, bearingToB, 0.0, 0.0, false};
  if (!bothValid || !distinct || !lf_isHeading(in.heading) || !lf_isPositive(in.bearingLimit) ||
      !lf_isPositive(in.offsetLimitM) || !(in.fraction >= 0.0 && in.fraction <= 1.0)) {
    return r;
  }
  const RelativeGeometry g = gf_relativeGeometry(in.a, in.heading, in.b);
  r.relativeBearing = g.relativeBearing;
  r.crossM = g.crossM;
  if (!(g.alongM > 0.0 && std::fabs(g.relativeBearing) <= in.bearingLimit && std::fabs(g.crossM) <= in.offsetLimitM)) {
    return r;
  }
  const double offset = g.crossM * in.fraction;
  const Lalo onLine = lf_pointAt(in.a, in.heading, g.alongM);
  const Lalo moved =
      lf_pointAt(onLine, gf_normalizeAngle(in.heading + std::copysign(kHalfPi, offset)), std::fabs(offset));
  const double bearing = gf_bearingRad(in.a, moved);
  if (gf_isLaloInRange(moved) && lf_isHeading(bearing)) {
    r.point = moved;
    r.bearing = bearing;
    r.moved = true;
  }
  return r;
}

StraightAheadResult gf_straightAheadHeading(const StraightAhead& in) {
  StraightAheadResult r{in.heading, 0.0, false};
  if (!gf_isLaloInRange(in.position) || !lf_isHeading(in.heading) || !std::isfinite(in.minimumM) ||
      !std::isfinite(in.maximumM) || !(in.minimumM > 0.0) || !(in.minimumM <= in.maximumM) ||
      !(in.angleLimit > 0.0)) {
    return r;
  }
  const Lalo* first = nullptr;
  const Lalo* last = nullptr;
  for (const Lalo& p : in.points) {
    if (!gf_isLaloInRange(p)) break;
    const double d = gf_distanceNm(in.position, p) * motion::kMetresPerNm;
    if (!(d <= in.maximumM)) break;
    if (d <= 1.0) continue;
    if (!first) first = &p;
    last = &p;
    r.distanceM = d;
  }
  if (!first || *first == *last || !(r.distanceM >= in.minimumM)) return r;
  const double b1 = gf_bearingRad(in.position, *first);
  const double b2 = gf_bearingRad(in.position, *last);
  if (lf_isHeading(b1) && lf_isHeading(b2) && std::fabs(gf_wrapAngle(b1 - b2)) <= in.angleLimit &&
      std::fabs(gf_wrapAngle(in.heading - b2)) <= in.angleLimit) {
    r.heading = b2;
    r.found = true;
  }
  return r;
}

TurnStepResult gf_turnStep(const TurnStepInput& in) {
  TurnStepResult r;
  if (!lf_isPositive(in.dt) || !lf_isPositive(in.timeConstant) || !lf_isPositive(in.maxTurnRate) ||
      !lf_isPositive(in.maxBank) || !lf_isPositive(in.maxRollRate)) {
    return r;
  }
  const double maxBank = std::min(std::fabs(in.maxBank), kHalfPi);
  r.bank = std::isfinite(in.bank) ? std::clamp(in.bank, -maxBank, maxBank) : 0.0;
  const double error = std::isfinite(in.heading) && std::isfinite(in.targetHeading)
                           ? std::remainder(in.targetHeading - in.heading, motion::kTwoPi)
                           : 0.0;
  const double v = lf_isPositive(in.speedKt) ? in.speedKt * motion::kMetresPerSecondPerKt : 0.0;
  const double possibleRate = v > 1.0 ? std::tan(maxBank) * kGravity / v : in.maxTurnRate;
  const double cap = std::min(possibleRate, in.maxTurnRate) / in.timeConstant;
  r.turnRate = std::clamp(error / in.dt, -cap, cap);
  if (in.useForced && std::isfinite(in.forcedBank) && std::fabs(in.forcedBank) <= kHalfPi) {
    r.targetBank = std::clamp(in.forcedBank, -maxBank, maxBank);
    r.forced = true;
  } else {
    r.forceRejected = in.useForced;
    const double target = v > 1.0 ? -std::atan(r.turnRate * in.timeConstant * v / kGravity)
                                   : -std::clamp(error, -maxBank, maxBank);
    r.targetBank = std::clamp(target, -maxBank, maxBank);
  }
  r.rollRate = std::clamp((r.targetBank - r.bank) / in.dt, -in.maxRollRate, in.maxRollRate);
  return r;
}

double gf_bankLimit(double bank, bool limited, double heightFt, bool tight) {
  if (!lf_isPositive(bank)) return 0.0;
  const double b = std::min(std::fabs(bank), kHalfPi);
  if (!limited || !std::isfinite(heightFt)) return b;
  if (tight) return std::min(b, 5.0 * kDeg);
  return std::lerp(std::min(b, 10.0 * kDeg), b, std::clamp((heightFt - 100.0) / 900.0, 0.0, 1.0));
}

HermitePose gf_hermitePose(const HermitePoseInput& in) {
  HermitePose r;
  if (!gf_isLaloInRange(in.start) || !gf_isLaloInRange(in.end) || !std::isfinite(in.endHeading) ||
      !std::isfinite(in.angleLimit) || !std::isfinite(in.t)) {
    return r;
  }
  constexpr double kMetresPerDegree = 111319.49;
  const double metresPerDegreeLon = kMetresPerDegree * std::cos((in.start.lat + in.end.lat) / 2.0 * kDeg);
  if (!std::isfinite(metresPerDegreeLon) || metresPerDegreeLon < 1.0) return r;
  const LocalFrame frame(in.start, kMetresPerDegree, metresPerDegreeLon);
  const FlatPoint end = frame.toFlat(in.end);
  const double t = std::clamp(in.t, 0.0, 1.0);
  const double chord = end.length();
  if (chord < 10.0) {
    r.position = {std::lerp(in.start.lat, in.end.lat, t),
                  gf_wrapLongitude(in.start.lon + t * gf_wrapLongitude(in.end.lon - in.start.lon))};
    r.valid = true;
    return r;
  }
  const double c = std::atan2(end.east, end.north);
  const double bearing = gf_bearingRad(in.start, in.end);
  const double d = gf_wrapAngle(in.endHeading - bearing);
  const double k = std::clamp(std::fabs(in.angleLimit), 0.0, kHalfPi);
  const double x = std::fabs(d) <= kHalfPi && k >= 0.5 * kDeg ? std::clamp(d, -k, k) : 0.0;
  r.curved = std::fabs(x) >= 0.5 * kDeg;
  const double e = r.curved ? x + bearing : c;
  const FlatPoint m0 = chord * FlatPoint{std::sin(c), std::cos(c)};
  const FlatPoint m1 = chord * FlatPoint{std::sin(e), std::cos(e)};
  const double t2 = t * t;
  const double t3 = t2 * t;
  const FlatPoint p = (t3 - 2 * t2 + t) * m0 + (3 * t2 - 2 * t3) * end + (t3 - t2) * m1;
  const FlatPoint dp = (3 * t2 - 4 * t + 1) * m0 + (6 * t - 6 * t2) * end + (3 * t2 - 2 * t) * m1;
  if (!p.isFinite() || !dp.isFinite() || dp.length() < 1e-6) return r;
  const std::optional<Lalo> position = frame.toLalo(p);
  if (!position) return r;
  r.position = *position;
  r.heading = r.curved ? gf_flatHeading(dp) : bearing;
  r.valid = true;
  return r;
}

StandAlignment gf_standAlignment(const GeoPose& stand, const Lalo& aircraft, double aircraftHeading) {
  const RelativeGeometry g = gf_relativeGeometry(stand.position, stand.heading, aircraft);
  StandAlignment s;
  s.distanceM = g.distanceM;
  s.alongM = g.alongM;
  s.crossM = g.crossM;
  s.headingDifferenceDeg = gf_wrapAngle(stand.heading - aircraftHeading) / kDeg;
  s.ahead = s.alongM > 3.0;
  s.far = s.distanceM > 15.0;
  s.headingOff = std::fabs(s.headingDifferenceDeg) >= 45.0;
  s.offCentre = std::fabs(s.crossM) > 8.0;
  const bool ok = s.ahead || !(s.far || s.headingOff || s.offCentre);
  // The heading allowed narrows from 10 degrees at 3.5 m to 4 degrees at 12 m.
  const double allowed = std::lerp(4.0, 10.0, std::clamp((12.0 - s.distanceM) / 8.5, 0.0, 1.0));
  s.aligned = ok && s.ahead && s.distanceM <= 12.0 && std::fabs(s.headingDifferenceDeg) <= allowed;
  s.notOk = !ok;
  return s;
}

StandApproachCheck gf_checkStandApproach(const GeoPose& stand, double standRadiusNm, const Lalo& aircraft,
                                         double aircraftHeading, double aircraftRadiusNm) {
  StandApproachCheck r;
  const auto refuse = [&r](std::string_view reason) {
    r.reason = reason;
    return r;
  };
  if (!lf_isPositive(standRadiusNm) || !std::isfinite(aircraftRadiusNm) || !(aircraftRadiusNm >= 0.0) ||
      !std::isfinite(aircraftHeading)) {
    return refuse("invalid stand or aircraft geometry");
  }
  if (std::fabs(gf_wrapAngle(aircraftHeading - stand.heading)) > 10.0 * kDeg) return refuse("heading exceeds 10 deg");
  const RelativeGeometry g = gf_relativeGeometry(stand.position, stand.heading, aircraft);
  r.distanceM = g.distanceM;
  if (!std::isfinite(g.distanceM) || !std::isfinite(g.alongM) || !std::isfinite(g.crossM)) {
    return refuse("invalid stand relative position");
  }
  if (g.distanceM > (standRadiusNm + aircraftRadiusNm) * motion::kMetresPerNm) return refuse("outside stand overlap");
  if (g.alongM > -3.0 && !lf_isAtStand(gf_standAlignment(stand, aircraft, aircraftHeading))) {
    return refuse("too close to or past stand");
  }
  if (std::fabs(g.crossM) > 3.0) {
    const std::optional<double> offset = gf_findApproachOffset(g.alongM, g.crossM);
    const Lalo behind = lf_pointAt(stand.position, gf_normalizeAngle(stand.heading + geo::kPi), 10.0);
    if (!(std::fabs(g.crossM) <= 4.0 && offset == 10.0 &&
          lf_withinDeg(gf_bearingRad(aircraft, behind), aircraftHeading, 15.0))) {
      return refuse("over 3 m from centerline");
    }
  }
  r.ok = true;
  if (lf_isAtStand(gf_standAlignment(stand, aircraft, aircraftHeading))) return r;
  if (g.alongM > -13.0) {
    if (gf_isDirectFinalOk(stand, aircraft, aircraftHeading)) return r;
    r.ok = false;
    return refuse("direct final approach exceeds 15 deg");
  }
  if (gf_findApproachOffset(g.alongM, g.crossM)) return r;
  r.ok = false;
  return refuse("approach turn exceeds 15 deg");
}

GeoPose gf_bezierPose(const GeoPose& a, const GeoPose& b, double t) {
  if (!(t > 0.0)) return a;
  if (t >= 1.0) return b;
  const double third = gf_distanceNm(a.position, b.position) * geo::kFeetPerNm / 3.0;
  const Lalo c1 = gf_destinationPoint(a.position, {a.heading, third});
  const Lalo c2 = gf_destinationPoint(b.position, {gf_normalizeAngle(b.heading + geo::kPi), third});
  // Longitudes as offsets from A's, so that a curve across the date line stays short.
  const double lon1 = gf_wrapLongitude(c1.lon - a.position.lon);
  const double lon2 = gf_wrapLongitude(c2.lon - a.position.lon);
  const double lon3 = gf_wrapLongitude(b.position.lon - a.position.lon);
  const double lat = lf_bernstein(a.position.lat, c1.lat, c2.lat, b.position.lat, t);
  const double lon = lf_bernstein(0.0, lon1, lon2, lon3, t);
  const double dLat = lf_bernsteinSlope(a.position.lat, c1.lat, c2.lat, b.position.lat, t);
  const double dLon = lf_bernsteinSlope(0.0, lon1, lon2, lon3, t);
  return {{lat, gf_wrapLongitude(a.position.lon + lon)},
          gf_normalizeAngle(std::atan2(dLon * std::cos(lat * kDeg), dLat))};
}

bool gf_isDirectFinalOk(const GeoPose& stand, const Lalo& aircraft, double aircraftHeading) {
  const RelativeGeometry g = gf_relativeGeometry(stand.position, stand.heading, aircraft);
  if (!std::isfinite(aircraftHeading) || !std::isfinite(g.alongM) || !std::isfinite(g.crossM)) return false;
  if (!(g.alongM > -13.0 && g.alongM <= -3.0 && std::fabs(g.crossM) <= 3.0)) return false;
  const double bearing = gf_bearingRad(aircraft, stand.position);
  return std::isfinite(bearing) && lf_withinDeg(bearing, aircraftHeading, 15.0) &&
         lf_withinDeg(bearing, stand.heading, 15.0);
}

std::optional<double> gf_findApproachOffset(double alongM, double crossM) {
  if (!std::isfinite(alongM) || !std::isfinite(crossM)) return std::nullopt;
  const double cone = std::tan(15.0 * kDeg);
  for (double offset : {10.0, 5.0}) {
    const double runIn = -alongM - offset;
    if (runIn >= 3.0 && cone * runIn >= std::fabs(crossM)) return offset;
  }
  return std::nullopt;
}
