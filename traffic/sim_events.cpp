#include "traffic/sim_events.h"

#include "config/parameter_snapshot.h"
#include "config/random.h"
#include "core/log.h"
#include "simlink/sim_commands.h"
#include "simlink/sim_ids.h"

std::array<std::uint32_t, 7> gf_parkedLightSet(bool noCabinLight) {
  const std::uint32_t nav = g_parameterSnapshot.load()->navLightsWhileParked ? 1 : 0;
  const std::uint32_t cabin = noCabinLight ? 0 : (gf_random(10) < 9 ? 1 : 0);
  return {nav, 0, 0, 0, 0, 1, cabin};
}

void gf_queueLightSet(std::uint32_t objectId, const std::array<std::uint32_t, 7>& lights) {
  const std::uint32_t states[7] = {lights[0], lights[1], lights[2], lights[3], lights[4], lights[5], lights[6]};
  gf_queueLightEvents(objectId, states);
}

void gf_setThrottle(std::uint32_t objectId, std::uint32_t& throttleStep, std::uint32_t index) {
  if (index == throttleStep) return;
  if (index < kThrottleValues.size()) gf_queueClientEvent(objectId, THROTTLE_SET, kThrottleValues[index]);
  throttleStep = index;
}

void gf_setFlaps(std::uint32_t objectId, AcCategory category, std::uint32_t& flapsIndex, std::uint32_t index) {
  if (category == AcCategory::rotorcraft || index == flapsIndex) return;
  if (index < kFlapsValues.size())
    gf_queueClientEvent(objectId, FLAPS_SET, kFlapsValues[index]);
  else
    gf_log("gf_setFlaps: invalid flaps index");
  flapsIndex = index;
}

void gf_setSpoilers(std::uint32_t objectId, AcCategory category, bool on) {
  if (category != AcCategory::rotorcraft) gf_queueClientEvent(objectId, SPOILERS_SET, on ? 16383 : 0);
}

void gf_setGear(std::uint32_t objectId, AcCategory category, bool down) {
  if (category != AcCategory::rotorcraft) gf_queueClientEvent(objectId, GEAR_SET, down ? 1 : 0);
}
