#pragma once
// The conventions of the movement geometry: angles in radians clockwise from north, points in
// metres east and north of an origin position.
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>

#include "core/geodesy.h"

namespace motion {
inline constexpr double kTwoPi = 2.0 * geo::kPi;
inline constexpr double kMetresPerDegreeLat = 111132.95;  // the movement code's flat frame
inline constexpr double kMetresPerNm = 1852.0;
inline constexpr double kFeetPerMetre = 3.2808399;
inline constexpr double kMetresPerSecondPerKt = 0.5144444444444445;
}  // namespace motion

struct FlatPoint {
  double east = 0.0;   // m
  double north = 0.0;  // m

  double lengthSquared() const { return east * east + north * north; }
  double length() const { return std::sqrt(lengthSquared()); }
  bool isFinite() const { return std::isfinite(east) && std::isfinite(north); }
  friend FlatPoint operator+(FlatPoint a, FlatPoint b) { return {a.east + b.east, a.north + b.north}; }
  friend FlatPoint operator-(FlatPoint a, FlatPoint b) { return {a.east - b.east, a.north - b.north}; }
  friend FlatPoint operator*(double k, FlatPoint a) { return {k * a.east, k * a.north}; }
};

// A position with a heading in radians clockwise from north.
struct GeoPose {
  Lalo position;
  double heading = 0.0;
};

// The two below, for an angle out of their range.
double gf_wrapFarAngle(double radians);
double gf_normalizeFarAngle(double radians);
// An angle difference in [-pi, pi]; NaN stays NaN. In the header, as the one below: the tick asks
// both many times for every aircraft, nearly always of an angle already in range.
inline double gf_wrapAngle(double radians) {
  return radians >= -motion::kTwoPi / 2.0 && radians <= motion::kTwoPi / 2.0 ? radians : gf_wrapFarAngle(radians);
}
// An angle in [0, 2 pi); a non-finite angle gives 0.
inline double gf_normalizeAngle(double radians) {
  return radians >= 0.0 && radians < motion::kTwoPi ? radians : gf_normalizeFarAngle(radians);
}
// The heading of a flat direction, in [0, 2 pi).
double gf_flatHeading(FlatPoint direction);
// Finite, latitude in [-90, 90] and longitude in [-180, 180]. Unlike gf_isValidLalo, 0/0 counts:
// the geometry has no notion of "not known yet".
bool gf_isLaloInRange(const Lalo& position);

// Metres east and north of an origin. Longitude differences are wrapped, so a frame at the
// date line reaches across it, and positions converted back have a normalised longitude.
class LocalFrame {
 public:
  // The movement code's frame: 111132.95 m per degree of latitude, longitude scaled by the cosine
  // of the origin's latitude.
  explicit LocalFrame(const Lalo& origin);
  LocalFrame(const Lalo& origin, double metresPerDegreeLat, double metresPerDegreeLon);

  FlatPoint toFlat(const Lalo& position) const;
  // None where a degree of longitude has no length (at a pole) or the latitude leaves [-90, 90].
  std::optional<Lalo> toLalo(FlatPoint point) const;

 private:
  Lalo origin_;
  double metresPerDegreeLat_;
  double metresPerDegreeLon_;
};

// The curve parameter in [0, 1] at a share of a curve's length, from its table of cumulative
// length shares at equal parameter steps (first entry 0, last 1). `hint`: the entry the last
// call found, tried first and updated (a curve followed step by step stays near it).
double gf_curveParameter(std::span<const double> lengthShares, double fraction, std::uint8_t* hint = nullptr);
