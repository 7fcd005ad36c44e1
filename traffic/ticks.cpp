#include "traffic/ticks.h"

#include <cmath>
#include <limits>

namespace {
constexpr double kTicksPerHour = 360000.0;
}  // namespace

std::int32_t gf_roundedTicks(double ticks, std::int32_t floorTicks) {
  if (!std::isfinite(ticks) || !(ticks > floorTicks)) return floorTicks;
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  // lround of a count beyond a long is undefined; a duration that long is "never" anyway.
  if (ticks >= kMax) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::lround(ticks));
}

std::int32_t gf_ticksForDistance(double distanceNm, double speedKt, std::int32_t floorTicks) {
  if (!(speedKt > 0.0)) return floorTicks;
  return gf_roundedTicks(distanceNm * kTicksPerHour / speedKt, floorTicks);
}
