#include "traffic/flat_frame.h"

#include <algorithm>

// Both give the result the library's division would, paying for it only far out of range.
double gf_wrapFarAngle(double radians) {
  // The difference of two headings: one turn off, and the subtraction is exact there.
  if (radians > motion::kTwoPi / 2.0 && radians < 1.4 * motion::kTwoPi) return radians - motion::kTwoPi;
  if (radians < -motion::kTwoPi / 2.0 && radians > -1.4 * motion::kTwoPi) return radians + motion::kTwoPi;
  return std::remainder(radians, motion::kTwoPi);
}

double gf_normalizeFarAngle(double radians) {
  if (!std::isfinite(radians)) return 0.0;
  double a = std::fmod(radians, motion::kTwoPi);
  if (a < 0.0) a += motion::kTwoPi;
  // A tiny negative remainder plus 2 pi rounds to 2 pi itself.
  return a >= motion::kTwoPi ? 0.0 : a;
}

double gf_flatHeading(FlatPoint direction) { return gf_normalizeAngle(std::atan2(direction.east, direction.north)); }

bool gf_isLaloInRange(const Lalo& position) {
  return position.lat >= -90.0 && position.lat <= 90.0 && position.lon >= -180.0 && position.lon <= 180.0;
}

LocalFrame::LocalFrame(const Lalo& origin)
    : LocalFrame(origin, motion::kMetresPerDegreeLat,
                 motion::kMetresPerDegreeLat * std::cos(origin.lat * geo::kDegToRad)) {}

LocalFrame::LocalFrame(const Lalo& origin, double metresPerDegreeLat, double metresPerDegreeLon)
    : origin_(origin), metresPerDegreeLat_(metresPerDegreeLat), metresPerDegreeLon_(metresPerDegreeLon) {}

FlatPoint LocalFrame::toFlat(const Lalo& position) const {
  return {gf_wrapLongitude(position.lon - origin_.lon) * metresPerDegreeLon_,
          (position.lat - origin_.lat) * metresPerDegreeLat_};
}

std::optional<Lalo> LocalFrame::toLalo(FlatPoint point) const {
  if (!(std::fabs(metresPerDegreeLon_) >= 1e-9 * metresPerDegreeLat_)) return std::nullopt;
  const Lalo p{point.north / metresPerDegreeLat_ + origin_.lat,
               gf_wrapLongitude(point.east / metresPerDegreeLon_ + origin_.lon)};
  if (!gf_isLaloInRange(p)) return std::nullopt;
  return p;
}

double gf_curveParameter(std::span<const double> lengthShares, double fraction, std::uint8_t* hint) {
  const std::size_t n = lengthShares.size();
  if (n < 2) return 0.0;
  const double f = std::clamp(fraction, 0.0, 1.0);
  // The first entry not below f: the hinted one or the next, where f lies between it and the one before.
  const auto bounds = [&](std::size_t k) { return k >= 1 && k < n && lengthShares[k - 1] < f && f <= lengthShares[k]; };
  std::size_t i = 0;
  if (hint && bounds(*hint))
    i = *hint;
  else if (hint && bounds(*hint + std::size_t{1}))
    i = *hint + std::size_t{1};
  else
    i = std::lower_bound(lengthShares.begin(), lengthShares.end(), f) - lengthShares.begin();
  if (hint && i >= 1 && i < n && i <= 255) *hint = static_cast<std::uint8_t>(i);
  if (i == 0) return 0.0;
  if (i == n) return 1.0;
  const double step = lengthShares[i] - lengthShares[i - 1];
  const double within = step > 0.0 ? (f - lengthShares[i - 1]) / step : 0.0;
  return (static_cast<double>(i - 1) + within) / static_cast<double>(n - 1);
}
