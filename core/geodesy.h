#pragma once
// Great-circle geometry on a spherical Earth of 3437.7468 NM: one nautical mile is one minute
// of arc. Degrees outside, radians inside.
#include <fmt/format.h>

#include <array>
#include <cmath>
#include <cstddef>

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

namespace geo::detail {
// The cosine and sine of every whole degree of a quarter turn, worked out once by their series in
// extended precision and rounded.
constexpr long double kPiLong = 3.14159265358979323846264338327950288L;
constexpr long double taylorCos(long double x) {
  long double term = 1.0L, sum = 1.0L;
  for (int n = 1; n < 30; ++n) sum += term *= -x * x / ((2 * n - 1) * (2 * n));
  return sum;
}
constexpr long double taylorSin(long double x) {
  long double term = x, sum = x;
  for (int n = 1; n < 30; ++n) sum += term *= -x * x / ((2 * n) * (2 * n + 1));
  return sum;
}
struct WholeDegree {
  double cos = 0.0;
  double sin = 0.0;
};
inline constexpr auto kWholeDegrees = [] {
  std::array<WholeDegree, 91> table{};
  for (int k = 0; k <= 90; ++k)
    table[k] = {static_cast<double>(taylorCos(k * kPiLong / 180.0L)), static_cast<double>(taylorSin(k * kPiLong / 180.0L))};
  return table;
}();
}  // namespace geo::detail

// The cosine of an angle within a quarter turn either way (a latitude): the nearest whole
// degree's from a table, turned by the rest (under half a degree) through short series. As exact
// as std::cos there, without the library call; the tick asks it several times for every aircraft,
// and a longer series took as long as the rest of a distance. Outside that range, std::cos.
inline double gf_cosLatitude(double radians) {
  if (!(radians >= -geo::kPi / 2.0 && radians <= geo::kPi / 2.0)) return std::cos(radians);
  const double degrees = std::fabs(radians) * geo::kRadToDeg;
  const int whole = static_cast<int>(degrees + 0.5);
  const double r = (degrees - whole) * geo::kDegToRad;
  const double r2 = r * r;
  // The first terms left out, r^8/8! and r^7/7!, are under 1e-18 within half a degree.
  const double cosR = 1.0 - r2 * (0.5 - r2 * (1.0 / 24.0 - r2 * (1.0 / 720.0)));
  const double sinR = r * (1.0 - r2 * (1.0 / 6.0 - r2 * (1.0 / 120.0)));
  const geo::detail::WholeDegree& at = geo::detail::kWholeDegrees[static_cast<std::size_t>(whole)];
  return at.cos * cosR - at.sin * sinR;
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
