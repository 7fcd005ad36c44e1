#include "core/geodesy.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kTwoPi = 2.0 * geo::kPi;
constexpr double kTwiceEarthRadiusNm = 6875.493541569878;
constexpr double kRadiansPerFoot = 4.787404208238998e-8;
// Within 10 NM either way, away from the poles, a distance is measured flat.
constexpr double kFlatSpanDeg = 10.0 / 60.0;
constexpr double kFlatLatitudeDeg = 80.0;

// ((degrees + shift) modulo 360, into [0, 360)) - 180.
double lf_longitudeFrom(double degrees, double shift) {
  double wrapped = std::fmod(degrees + shift, 360.0);
  if (wrapped < 0.0) wrapped += 360.0;
  return wrapped - 180.0;
}

// std::remainder(x, period): x itself within half a period either way (exactly what remainder
// gives there), which is nearly every call and far cheaper than the library's exact division.
double lf_remainder(double x, double period) {
  const double half = period / 2.0;
  if (x >= -half && x <= half) return x;
  return std::remainder(x, period);
}
}  // namespace

double gf_distanceNm(const Lalo& a, const Lalo& b) {
  // Short distances flat, without the haversine's atan2: the tick measures mostly metres, and
  // within these bounds flat is off by less than 2e-5 of the distance.
  const double dLat = b.lat - a.lat;
  const double dLon = lf_remainder(b.lon - a.lon, 360.0);
  if (std::fabs(dLat) < kFlatSpanDeg && std::fabs(a.lat) < kFlatLatitudeDeg && std::fabs(b.lat) < kFlatLatitudeDeg) {
    const double east = dLon * gf_cosLatitude((a.lat + b.lat) * (geo::kDegToRad / 2.0));
    if (std::fabs(east) < kFlatSpanDeg) return std::sqrt(dLat * dLat + east * east) * 60.0;
  }
  const double latA = a.lat * geo::kDegToRad;
  const double latB = b.lat * geo::kDegToRad;
  const double sinHalfDLat = std::sin((latB - latA) / 2.0);
  const double sinHalfDLon = std::sin((b.lon - a.lon) * geo::kDegToRad / 2.0);
  double h = sinHalfDLat * sinHalfDLat + std::cos(latB) * std::cos(latA) * sinHalfDLon * sinHalfDLon;
  // Rounding can push h a hair past 1 near antipodal points; sqrt(1 - h) would be NaN.
  h = std::clamp(h, 0.0, 1.0);
  return std::atan2(std::sqrt(h), std::sqrt(1.0 - h)) * kTwiceEarthRadiusNm;
}

double gf_bearingRad(const Lalo& from, const Lalo& to) {
  const double latFrom = from.lat * geo::kDegToRad;
  const double latTo = to.lat * geo::kDegToRad;
  const double dLon = (to.lon - from.lon) * geo::kDegToRad;
  double theta = std::atan2(std::sin(dLon) * std::cos(latTo),
                            std::cos(latFrom) * std::sin(latTo) - std::sin(latFrom) * std::cos(latTo) * std::cos(dLon));
  if (theta < 0.0) theta += kTwoPi;
  // A tiny negative angle plus 2 pi rounds to 2 pi itself, which is north again.
  if (theta >= kTwoPi) theta = 0.0;
  return theta;
}

Lalo gf_destinationPoint(const Lalo& from, BearingDistance step) {
  const double delta = step.distanceFt * kRadiansPerFoot;
  const double lat1 = from.lat * geo::kDegToRad;
  const double lon1 = from.lon * geo::kDegToRad;
  const double sinLat2 = std::clamp(
      std::sin(lat1) * std::cos(delta) + std::cos(lat1) * std::sin(delta) * std::cos(step.bearingRad), -1.0, 1.0);
  const double lat2 = std::asin(sinLat2);
  const double lon2 = lon1 + std::atan2(std::sin(step.bearingRad) * std::sin(delta) * std::cos(lat1),
                                        std::cos(delta) - std::sin(lat1) * sinLat2);
  return Lalo{lat2 * geo::kRadToDeg, lf_remainder(lon2, kTwoPi) * geo::kRadToDeg};
}

LonSpan gf_lonSpanAround(const Lalo& centre, double distanceFt) {
  LonSpan span{gf_destinationPoint(centre, {-geo::kPi / 2.0, distanceFt}).lon,
               gf_destinationPoint(centre, {geo::kPi / 2.0, distanceFt}).lon};
  if (span.west > centre.lon) span.west = -180.0;
  if (span.east < centre.lon) span.east = 180.0;
  return span;
}

bool gf_isValidLalo(const Lalo& position) {
  if (!(position.lat >= -90.0 && position.lat <= 90.0)) return false;
  if (!(position.lon >= -180.0 && position.lon <= 180.0)) return false;
  return !(std::fabs(position.lat) <= 0.0001 && std::fabs(position.lon) <= 0.0001);
}

void gf_normalizeLalo(Lalo& position) {
  position.lon = lf_longitudeFrom(position.lon, 180.0);
  if (position.lat > 90.0 || position.lat < -90.0) {
    position.lat = position.lat > 90.0 ? 180.0 - position.lat : -180.0 - position.lat;
    position.lon = lf_longitudeFrom(position.lon, 360.0);
  }
}
