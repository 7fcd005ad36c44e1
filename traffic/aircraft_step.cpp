#include "traffic/aircraft_step.h"

#include <algorithm>
#include <cmath>

#include "core/geodesy.h"

void gf_groundStep(LiveAc&) {}

void gf_airStep(LiveAc&) {}

void gf_landingPointAdjust(LiveAc&) {}

double gf_acSpeedKt(const LiveAc& aircraft) {
  const auto& stream = aircraft.stream;
  const double s0 = stream.empty() ? NAN : stream[0].groundSpeed;
  const double s1 = stream.size() < 2 ? NAN : stream[1].groundSpeed;
  const auto usable = [](double s) { return std::isfinite(s) && s > 0.0; };
  if ((aircraft.state == FlightPhase::takeoff_roll || aircraft.state == FlightPhase::landing_roll) &&
      std::isfinite(s0) && std::isfinite(s1) && s0 >= 0.0 && s1 >= 0.0 && (s0 > 0.0 || s1 > 0.0))
    return std::max((s0 + s1) / 2.0, 1.0);
  if (usable(s0)) return usable(s1) ? std::max((s0 + s1) / 2.0, 1.0) : std::max(s0, 1.0);
  if (usable(s1)) return std::max(s1, 1.0);
  double distanceNm = 0.0;
  double ticks = 25.0;
  if (stream.size() >= 2) {
    ticks = std::max(25.0, static_cast<double>(stream[1].time) - static_cast<double>(stream[0].time));
    distanceNm = gf_distanceNm(stream[0].lalo, stream[1].lalo);
  }
  const double speed = distanceNm * 360000.0 / ticks;
  return std::isfinite(speed) && speed > 0.0 ? std::max(speed, 1.0) : 1.0;
}
