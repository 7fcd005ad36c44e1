#pragma once
// Great-circle geometry on a spherical Earth of 3437.7468 NM: one nautical mile is one minute
// of arc. Degrees outside, radians inside.
#include <fmt/format.h>

#include <cmath>

namespace geo {
inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;
inline constexpr double kEarthRadiusNm = 3437.7468;
inline constexpr double kFeetPerNm = 6076.11549;
}  // namespace geo

// Latitude then longitude, degrees.
struct Lalo {
  double lat = 0.0;
  double lon = 0.0;
  friend bool operator==(const Lalo&, const Lalo&) = default;
};

// Where to go from a point: initial bearing (radians, clockwise from true north) and distance (feet).
struct BearingDistance {
  double bearingRad = 0.0;
  double distanceFt = 0.0;
};

// The cosine of an angle within a quarter turn either way (a latitude), by its series: as exact
// as std::cos there, without the library call and its rounding-mode saves, which the tick would
// make several times for every aircraft. Outside that range, std::cos.
inline double gf_cosLatitude(double radians) {
  if (!(radians >= -geo::kPi / 2.0 && radians <= geo::kPi / 2.0)) return std::cos(radians);
  // 1 - x^2/2! + x^4/4! - ... up to x^20/20!: the first term left out is under 2e-17 here.
  const double x2 = radians * radians;
  double sum = 1.0 / 2432902008176640000.0;  // 1/20!
  constexpr double kInverseFactorials[] = {1.0 / 6402373705728000.0, 1.0 / 20922789888000.0, 1.0 / 87178291200.0,
                                           1.0 / 479001600.0, 1.0 / 3628800.0, 1.0 / 40320.0, 1.0 / 720.0,
                                           1.0 / 24.0, 1.0 / 2.0, 1.0};
  for (const double c : kInverseFactorials) sum = c - x2 * sum;
  return sum;
}

double gf_distanceNm(const Lalo& a, const Lalo& b);
// Initial bearing in [0, 2 pi).
double gf_bearingRad(const Lalo& from, const Lalo& to);
// The longitude comes back in [-180, 180].
Lalo gf_destinationPoint(const Lalo& from, BearingDistance step);

// A longitude, or a difference of two, into [-180, 180]: 179.98 - -179.92 is -0.1, not 359.9.
// Every flat-earth test and local frame subtracts longitudes through this, and a longitude with
// a difference added to it comes back through it too.
// In the header: the tick wraps several longitudes for every aircraft, nearly all already in range.
inline double gf_wrapLongitude(double degrees) {
  return degrees >= -180.0 && degrees <= 180.0 ? degrees : std::remainder(degrees, 360.0);
}

// West and east longitudes of the points a distance due west and due east of a centre. A span
// that would cross the 180th meridian stops at it on the far side, so west <= east always.
struct LonSpan {
  double west = 0.0;
  double east = 0.0;
};
LonSpan gf_lonSpanAround(const Lalo& centre, double distanceFt);

// A position from outside: latitude -90..90, longitude -180..180, and not 0/0, which the
// feed and the simulator use for "not known yet".
bool gf_isValidLalo(const Lalo& position);

// In place: the longitude into [-180, 180); a latitude beyond a pole folds back over it, the
// longitude then turned by 180 degrees (latitude 95, longitude 10 is 85, -170).
void gf_normalizeLalo(Lalo& position);

template <>
struct fmt::formatter<Lalo> : fmt::formatter<double> {
  template <typename FormatContext>
  auto format(const Lalo& p, FormatContext& ctx) const {
    return fmt::format_to(ctx.out(), "{:.6f},{:.6f}", p.lat, p.lon);
  }
};
