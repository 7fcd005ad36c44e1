#include "traffic/static_stands.h"

#include <cmath>

#include "simlink/sim_commands.h"
#include "traffic/sim_events.h"

namespace {
constexpr double kDeg = geo::kDegToRad;
}  // namespace

void gf_assignStand(LiveAc& aircraft, const Stand& stand) {
  aircraft.standPos = stand.position;
  aircraft.standHeading = stand.heading;
  aircraft.standId = static_cast<std::int32_t>(stand.id);
  aircraft.standCargo = stand.cargo != 0;
  aircraft.standNoseIn = stand.name.find("GATE") != std::string::npos;
}

void gf_applyStaticPose(AcIdentity& aircraft, bool& cgKnown, const DelayedSimCommand& answer) {
  const double cg = answer.value1;
  if (std::isfinite(cg) && cg >= -1.0 && cg <= 35.0 && cg != 0.0) {
    aircraft.cgHeightFt = cg;
    aircraft.cgHeightFlag = true;
  } else {
    aircraft.cgHeightFt = gf_categoryModel(aircraft.category).cgHeightFt;
    aircraft.cgHeightFlag = false;
  }
  cgKnown = true;
  const double pitch = answer.value2;
  aircraft.refPitch = pitch > -1.0 * kDeg && pitch <= 2.5 * kDeg ? pitch : 0.7 * kDeg;
}

void gf_setParkedSystems(StaticAc& aircraft) {
  gf_setThrottle(aircraft, 0);
  gf_setFlaps(aircraft, 0);
  gf_queueEngineShutdown(aircraft.objectId);
  gf_queueLightSet(aircraft.objectId, gf_parkedLightSet(aircraft.cargo));
}
