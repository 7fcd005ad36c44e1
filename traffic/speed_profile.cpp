#include "traffic/speed_profile.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSpeedSlack = 1e-9;
constexpr double kAccelerationSlack = -1e-10;

bool lf_isPositive(double v) { return std::isfinite(v) && v > 0.0; }

}  // namespace

bool SpeedProfile::build(double d, double t, double vs, double ve) {
  clear();
  if (!lf_isPositive(d) || !lf_isPositive(t) || !std::isfinite(vs) || !std::isfinite(ve)) return false;
  const double mean = d / t;
  double a = std::max(vs, 0.0) / mean;
  double b = std::max(ve, 0.0) / mean;
  // Tangents inside the circle of radius 3 keep the Hermite curve monotone.
  const double r2 = a * a + b * b;
  if (r2 > 9.0) {
    const double k = 3.0 / std::sqrt(r2);
    a *= k;
    b *= k;
  }
  distance = d;
  duration = t;
  startSpeed = a * mean;
  endSpeed = b * mean;
  valid = true;
  return true;
}

bool SpeedProfile::buildAccelerating(double d, double t, double vs, double ve, double vmax) {
  clear();
  if (!lf_isPositive(vmax) || !lf_isPositive(d)) return false;
  // Acceptable: the start speed was not scaled down, no speed above the highest, and no
  // slowing at either end.
  const auto acceptable = [&](double wantedStart) {
    return startSpeed + kSpeedSlack >= wantedStart && maxSpeed() <= vmax + kSpeedSlack &&
           startAcceleration() >= kAccelerationSlack && endAcceleration() >= kAccelerationSlack;
  };
  if (lf_isPositive(t) && std::isfinite(vs) && std::isfinite(ve) && build(d, t, vs, ve) && acceptable(vs)) {
    return true;
  }
  clear();
  if (!lf_isPositive(t) || !std::isfinite(vs) || vs < 0.0) return false;
  const double mean = d / t;
  if (vs > mean + kSpeedSlack) return false;
  if (build(d, t, vs, std::max(2.0 * mean - vs, vs)) && acceptable(vs)) return true;
  clear();
  return false;
}

double SpeedProfile::normalizedTime(double t) const {
  if (!valid || std::isnan(t)) return 0.0;
  if (std::isinf(t)) return t > 0.0 ? 1.0 : 0.0;
  return std::clamp(t / duration, 0.0, 1.0);
}

double SpeedProfile::positionAt(double t) const {
  if (!valid) return 0.0;
  const double u = normalizedTime(t);
  const double u2 = u * u;
  const double u3 = u2 * u;
  return (u3 - 2 * u2 + u) * duration * startSpeed + (3 * u2 - 2 * u3) * distance +
         (u3 - u2) * duration * endSpeed;
}

double SpeedProfile::speedAt(double t) const {
  if (!valid) return 0.0;
  const double u = normalizedTime(t);
  const double u2 = u * u;
  const double v = ((6 * u - 6 * u2) * distance + (3 * u2 - 4 * u + 1) * duration * startSpeed +
                    (3 * u2 - 2 * u) * duration * endSpeed) /
                   duration;
  return std::max(v, 0.0);
}

double SpeedProfile::extremeTime() const {
  if (!valid) return -1.0;
  const double k = (3 * duration * startSpeed - 6 * distance + 3 * duration * endSpeed) / duration;
  if (std::fabs(k) <= 1e-12) return -1.0;
  return -((6 * distance - 4 * duration * startSpeed - 2 * duration * endSpeed) / duration) / (2 * k);
}

double SpeedProfile::minSpeed() const {
  if (!valid) return 0.0;
  const double m = std::min(startSpeed, endSpeed);
  const double u = extremeTime();
  return u > 0.0 && u < 1.0 ? std::min(m, speedAt(u * duration)) : m;
}

double SpeedProfile::startAcceleration() const {
  return (6 * distance - 4 * duration * startSpeed - 2 * duration * endSpeed) / (duration * duration);
}

double SpeedProfile::endAcceleration() const {
  return (2 * duration * startSpeed - 6 * distance + 4 * duration * endSpeed) / (duration * duration);
}

double SpeedProfile::maxAcceleration() const {
  if (!valid || !(duration > 0.0)) return 0.0;
  return std::max(std::fabs(startAcceleration()), std::fabs(endAcceleration()));
}

double SpeedProfile::maxSpeed() const {
  if (!valid) return 0.0;
  const double m = std::max(startSpeed, endSpeed);
  const double u = extremeTime();
  return u > 0.0 && u < 1.0 ? std::max(m, speedAt(u * duration)) : m;
}
