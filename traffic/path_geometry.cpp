#include "traffic/path_geometry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr double kMinLegM = 2.0;
constexpr double kMaxLegM = 250.0;
constexpr double kTinySquared = 1e-8;

struct CurveSample {
  FlatPoint position;
  FlatPoint derivative;
};

// Cubic Hermite from the origin to e with tangents m0 and m1.
CurveSample lf_hermite(FlatPoint m0, FlatPoint e, FlatPoint m1, double t) {
  t = std::clamp(t, 0.0, 1.0);
  const double t2 = t * t;
  const double t3 = t2 * t;
  return {(t3 - 2 * t2 + t) * m0 + (3 * t2 - 2 * t3) * e + (t3 - t2) * m1,
          (3 * t2 - 4 * t + 1) * m0 + (6 * t - 6 * t2) * e + (3 * t2 - 2 * t) * m1};
}

FlatPoint lf_unit(double heading) { return {std::sin(heading), std::cos(heading)}; }

// Signed offset of a point to the right of a line through `through` along `direction` (unit).
double lf_rightOffset(FlatPoint point, FlatPoint through, FlatPoint direction) {
  const FlatPoint d = point - through;
  return d.east * direction.north - d.north * direction.east;
}

double lf_orDefault(double value, double fallback) { return value > 0.0 ? value : fallback; }

bool lf_isHeading(double radians) { return radians >= 0.0 && radians < motion::kTwoPi; }

}  // namespace

std::string_view TurnPlan::resultText(TurnResult code) {
  switch (code) {
    case TurnResult::none: return "none";
    case TurnResult::invalidInput: return "invalid input";
    case TurnResult::legTooShort: return "leg too short";
    case TurnResult::legOutOfRange: return "leg out of range";
    case TurnResult::turnTooSmall: return "turn too small";
    case TurnResult::turnTooLarge: return "turn too large";
    case TurnResult::startHeadingMismatch: return "start heading mismatch";
    case TurnResult::invalidTangent: return "invalid tangent";
    case TurnResult::excessiveLength: return "excessive length";
  }
  return "unknown";
}

bool TurnPlan::build(const TurnRequest& rq) {
  *this = TurnPlan{};
  const auto fail = [this](TurnResult code) {
    result = code;
    return false;
  };
  if (!gf_isLaloInRange(rq.start) || !gf_isLaloInRange(rq.corner) || !gf_isLaloInRange(rq.end) ||
      !lf_isHeading(rq.startHeading) || (rq.endHeading && !lf_isHeading(*rq.endHeading))) {
    return fail(TurnResult::invalidInput);
  }
  const double minLeg = lf_orDefault(rq.minLeg, 15.0);
  const double minLegSum = lf_orDefault(rq.minLegSum, 50.0);
  const double maxEntryAngle = lf_orDefault(rq.maxEntryAngle, 60.0);
  const double maxStartMismatch = lf_orDefault(rq.maxStartMismatch, 60.0);
  const double cornerRatio = lf_orDefault(rq.cornerRatio, 0.35);
  const double maxCurvature = lf_orDefault(rq.maxCurvature, 3.0);
  const double startTangentScale = lf_orDefault(rq.startTangentScale, 2.0);

  origin = rq.start;
  endAtCorner = rq.endAtCorner;
  metresPerDegreeLon = motion::kMetresPerDegreeLat * std::cos(origin.lat * geo::kDegToRad);
  const LocalFrame frame(origin, motion::kMetresPerDegreeLat, metresPerDegreeLon);
  corner = frame.toFlat(rq.corner);
  end = frame.toFlat(rq.end);
  const FlatPoint leg2 = end - corner;
  const double l1 = corner.length();
  const double l2 = leg2.length();
  if (!(l1 >= kMinLegM) || !(l2 >= kMinLegM)) return fail(TurnResult::legTooShort);
  if (!(l1 <= kMaxLegM) || !(l2 <= kMaxLegM)) return fail(TurnResult::legOutOfRange);

  const double b1 = gf_flatHeading(corner);
  const double b2 = gf_flatHeading(leg2);
  const double turn = gf_wrapAngle(b2 - b1);
  const double entry = gf_wrapAngle(b2 - rq.startHeading);
  turnAngle = std::fabs(turn) / kDeg;
  startMismatch = std::fabs(gf_wrapAngle(b1 - rq.startHeading)) / kDeg;
  const double entryAngle = std::fabs(entry) / kDeg;

  if (entryAngle <= 5.0) {
    if (turnAngle <= 3.0) return fail(TurnResult::turnTooSmall);
    cornerTurn = false;
  } else if (turnAngle <= 3.0) {
    cornerTurn = true;
  } else {
    // Already heading into the turn: the curve follows the path without rounding the corner.
    cornerTurn = !(entry * turn > 0.0 && startMismatch < 20.0);
  }
  if (turnAngle >= 165.0) return fail(TurnResult::turnTooLarge);
  if (startMismatch > std::max(maxStartMismatch, 70.0)) return fail(TurnResult::startHeadingMismatch);

  FlatPoint e;
  if (endAtCorner) {
    e = corner;
    startTangent = l1 * lf_unit(rq.startHeading);
    endTangent = (l1 / 2.0 / l2) * leg2;
  } else {
    e = end;
    startTangent = (startTangentScale * l1) * lf_unit(rq.startHeading);
    endTangent = rq.endHeading ? (2.0 * l2) * lf_unit(*rq.endHeading) : 2.0 * leg2;
  }
  if (!(startTangent.lengthSquared() > kTinySquared) || !(entryAngle < 175.0)) {
    return fail(TurnResult::invalidTangent);
  }
  if (cornerTurn && !(entryAngle >= 10.0 && entryAngle <= maxEntryAngle && turnAngle <= 60.0 &&
                      startMismatch <= maxStartMismatch && l1 >= minLeg && l2 >= minLeg && l1 + l2 >= minLegSum)) {
    return fail(TurnResult::invalidTangent);
  }

  const double turnSign = turn >= 0.0 ? 1.0 : -1.0;
  const FlatPoint legDirection = (1.0 / l1) * corner;
  const FlatPoint secondDirection = (1.0 / l2) * leg2;
  const FlatPoint endDirection = (1.0 / endTangent.length()) * endTangent;
  const double maxBackTurn = 0.5 * kDeg;
  FlatPoint previous;
  double previousDirection = std::atan2(startTangent.east, startTangent.north);
  double total = 0.0;
  double running = 0.0;
  double runningMax = 0.0;
  double runningMin = 0.0;
  double absoluteSum = 0.0;
  double closestToCorner = l1;
  for (std::size_t k = 1; k <= kSamples; ++k) {
    const CurveSample s = lf_hermite(startTangent, e, endTangent, static_cast<double>(k) / kSamples);
    if (!s.position.isFinite() || !s.derivative.isFinite() || !(s.derivative.lengthSquared() > kTinySquared)) {
      return fail(TurnResult::invalidTangent);
    }
    const double direction = std::atan2(s.derivative.east, s.derivative.north);
    const double change = gf_wrapAngle(direction - previousDirection);
    const double step = (s.position - previous).length();
    if (!cornerTurn) {
      if (change * turnSign < -maxBackTurn) return fail(TurnResult::invalidTangent);
    } else if (std::fabs(change) / kDeg > maxCurvature * step) {
      return fail(TurnResult::invalidTangent);
    }
    total += step;
    lengthShares[k] = total;
    running += change;
    turned[k] = running;
    runningMax = std::max(runningMax, running);
    runningMin = std::min(runningMin, running);
    absoluteSum += std::fabs(change);
    closestToCorner = std::min(closestToCorner, (s.position - corner).length());
    maxTurnOffset = std::max(maxTurnOffset, turnSign * lf_rightOffset(s.position, {}, legDirection));
    maxEndLineOffset = std::max(maxEndLineOffset, std::fabs(lf_rightOffset(s.position, e, endDirection)));
    maxCornerCut = std::max(maxCornerCut, std::min(turnSign * lf_rightOffset(s.position, {}, legDirection),
                                                   turnSign * lf_rightOffset(s.position, corner, secondDirection)));
    previous = s.position;
    previousDirection = direction;
  }

  if (cornerTurn) {
    const double slack = 25.0 * kDeg;
    if (runningMin < std::min(entry, 0.0) - slack || runningMax > std::max(entry, 0.0) + slack ||
        absoluteSum > std::fabs(entry) + 50.0 * kDeg || closestToCorner > cornerRatio * std::min(l1, l2)) {
      return fail(TurnResult::invalidTangent);
    }
  }
  if (!std::isfinite(total) || !(total > 0.0) || total > 1.6 * (l1 + l2)) return fail(TurnResult::excessiveLength);
  for (double& share : lengthShares) share /= total;
  length = total;
  result = TurnResult::none;
  return true;
}

std::optional<GeoPose> TurnPlan::evaluate(double fraction) const {
  if (result != TurnResult::none || !(length > 0.0) || std::isnan(fraction)) return std::nullopt;
  const double t = gf_curveParameter(lengthShares, fraction, &stepSegment);
  const CurveSample s = lf_hermite(startTangent, endAtCorner ? corner : end, endTangent, t);
  if (!(s.derivative.lengthSquared() > kTinySquared) || !s.position.isFinite()) return std::nullopt;
  const std::optional<Lalo> position =
      LocalFrame(origin, motion::kMetresPerDegreeLat, metresPerDegreeLon).toLalo(s.position);
  if (!position) return std::nullopt;
  return GeoPose{*position, gf_flatHeading(s.derivative)};
}

double TurnPlan::shareWithinTurn(double from, double to, double limit) const {
  if (result != TurnResult::none || !(length > 0.0) || !(to > from) || !(limit >= 0.0)) return to;
  // The heading turned runs linearly in the share between two samples.
  const auto turnedAt = [this](std::size_t i, double share) {
    const double step = lengthShares[i] - lengthShares[i - 1];
    const double within = step > 0.0 ? std::clamp((share - lengthShares[i - 1]) / step, 0.0, 1.0) : 1.0;
    return turned[i - 1] + (turned[i] - turned[i - 1]) * within;
  };
  // The first segment from 1 on whose end is not below `share` (the last where none is).
  const auto segmentOf = [this](double share) {
    const std::size_t h = stepSegment;
    if (h >= 1 && h <= kSamples && (h == 1 || lengthShares[h - 1] < share) && share <= lengthShares[h]) return h;
    const auto i = static_cast<std::size_t>(
        std::lower_bound(lengthShares.begin() + 1, lengthShares.end(), share) - lengthShares.begin());
    return std::min(i, kSamples);
  };
  std::size_t i = segmentOf(std::max(from, 0.0));
  const double base = turnedAt(i, from);
  for (double start = from; i <= kSamples; ++i) {
    const double stop = std::min(to, lengthShares[i]);
    const double a = turnedAt(i, start) - base;
    const double b = turnedAt(i, stop) - base;
    if (std::fabs(b) > limit) {
      // Where the turned heading reaches the limit within this segment.
      const double bound = std::copysign(limit, b);
      const double f = std::fabs(b - a) > 0.0 ? std::clamp((bound - a) / (b - a), 0.0, 1.0) : 0.0;
      return start + (stop - start) * f;
    }
    if (stop >= to) break;
    start = stop;
  }
  return to;
}

double TurnPlan::fittingSpeed(double from, double rate, double brakingMps2) const {
  double fastest = std::numeric_limits<double>::infinity();
  if (result != TurnResult::none || !(length > 0.0) || !(rate > 0.0) || !(brakingMps2 >= 0.0)) return fastest;
  const double at = std::clamp(std::isfinite(from) ? from : 0.0, 0.0, 1.0);
  // Segment i's bend taken at the turn rate, without the way to it; NaN where it does not bend.
  const auto bendOf = [&](std::size_t i) {
    FitBend bend{std::numeric_limits<double>::quiet_NaN(), lengthShares[i - 1]};
    const double metres = (lengthShares[i] - lengthShares[i - 1]) * length;
    const double angle = std::fabs(turned[i] - turned[i - 1]);
    if (!(angle > 0.0) || !(metres > 0.0)) return bend;
    const double turning = rate * metres / angle;
    bend.turningSquared = turning * turning;
    return bend;
  };
  // The speed a segment allows at `at`: its bend taken at the turn rate, braked for over the way to it.
  const auto fits = [&](const FitBend& bend) {
    if (std::isnan(bend.turningSquared)) return std::numeric_limits<double>::infinity();
    const double ahead = std::max(0.0, bend.start - at) * length;
    return std::sqrt(bend.turningSquared + 2.0 * brakingMps2 * ahead);
  };
  if (!(rate == fitRate && brakingMps2 == fitBraking)) {
    // Seen from before every segment, one segment lies as far ahead as the other at any share:
    // the order of their speeds is the same from anywhere, so the least from each segment on is
    // found once.
    std::array<double, kSamples + 2> least{};
    least[kSamples + 1] = std::numeric_limits<double>::infinity();
    fitLeast[kSamples + 1] = 0;
    for (std::size_t i = kSamples; i >= 1; --i) {
      const double metres = (lengthShares[i] - lengthShares[i - 1]) * length;
      const double bend = std::fabs(turned[i] - turned[i - 1]);
      double own = std::numeric_limits<double>::infinity();
      if (bend > 0.0 && metres > 0.0) {
        const double turning = rate * metres / bend;
        own = turning * turning + 2.0 * brakingMps2 * lengthShares[i - 1] * length;
      }
      const bool here = own < least[i + 1];
      least[i] = here ? own : least[i + 1];
      fitLeast[i] = here ? static_cast<std::uint8_t>(i) : fitLeast[i + 1];
    }
    fitRate = rate;
    fitBraking = brakingMps2;
    fitWindow = FitWindow{};
  }
  FitWindow& w = fitWindow;
  if (!(w.segment != 0 && w.from <= at && at < w.to)) {
    // The segments that end past `at`: the one `at` lies within, then those wholly ahead.
    std::size_t i = fitSegment;
    while (i > 1 && lengthShares[i - 1] > at) --i;
    while (i <= kSamples && lengthShares[i] <= at) ++i;
    fitSegment = static_cast<std::uint8_t>(i);
    if (i > kSamples) return fastest;
    w.segment = static_cast<std::uint8_t>(i);
    w.from = lengthShares[i - 1];
    w.to = lengthShares[i];
    w.own = bendOf(i);
    w.at = fitLeast[i] != 0 ? bendOf(fitLeast[i]) : FitBend{};
    w.after = i + 1 <= kSamples && fitLeast[i + 1] != 0 ? bendOf(fitLeast[i + 1]) : FitBend{};
  }
  if (w.from < at) return std::min(fits(w.own), fits(w.after));
  return fits(w.at);
}

namespace {

constexpr double kTinyDirectionSquared = 1e-18;

struct BezierSample {
  FlatPoint position;
  FlatPoint direction;
};

// Quadratic Bezier from the origin through c to e.
BezierSample lf_bezier(FlatPoint c, FlatPoint e, double t) {
  const double u = 1.0 - t;
  return {(2.0 * u * t) * c + (t * t) * e, (2.0 * u) * c + (2.0 * t) * (e - c)};
}

bool lf_isCurvePoint(const CurvePoint& p) { return gf_isLaloInRange(p.position) && std::isfinite(p.value); }

}  // namespace

bool PositionCurve::build(const CurvePoint& start, const CurvePoint& controlPoint, const CurvePoint& endPoint) {
  clear();
  if (!lf_isCurvePoint(start) || !lf_isCurvePoint(controlPoint) || !lf_isCurvePoint(endPoint) ||
      !(start.value < endPoint.value)) {
    return false;
  }
  const LocalFrame frame(start.position);
  const FlatPoint c = frame.toFlat(controlPoint.position);
  const FlatPoint e = frame.toFlat(endPoint.position);
  double total = 0.0;
  FlatPoint previous;
  for (std::size_t k = 1; k <= kSamples; ++k) {
    const FlatPoint p = lf_bezier(c, e, static_cast<double>(k) / kSamples).position;
    total += (p - previous).length();
    lengthShares[k] = total;
    previous = p;
  }
  if (!std::isfinite(total) || !(total > 0.0)) {
    clear();
    return false;
  }
  for (double& share : lengthShares) share /= total;
  origin = start.position;
  s0 = start.value;
  s1 = endPoint.value;
  end = e;
  control = c;
  return true;
}

std::optional<GeoPose> PositionCurve::evaluate(double value) const {
  if (!isSet() || !std::isfinite(value) || value < s0 || value > s1 || !(s1 - s0 > 0.0)) return std::nullopt;
  const double t = gf_curveParameter(lengthShares, (value - s0) / (s1 - s0));
  const BezierSample s = lf_bezier(control, end, t);
  FlatPoint direction = s.direction;
  // Where the first derivative vanishes (a control point on an end), the curve still bends
  // the way of its second derivative.
  if (!(direction.lengthSquared() > kTinyDirectionSquared)) direction = 2.0 * (end - 2.0 * control);
  if (!(direction.lengthSquared() > kTinyDirectionSquared) || !s.position.isFinite()) return std::nullopt;
  const std::optional<Lalo> position = LocalFrame(origin).toLalo(s.position);
  if (!position) return std::nullopt;
  return GeoPose{*position, gf_flatHeading(direction)};
}
