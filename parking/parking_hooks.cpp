#include "parking/parking_hooks.h"

#include <utility>

#include "core/log.h"
#include "traffic/stand_names.h"

namespace {

ParkingHooks& lf_hooks() {
  static ParkingHooks hooks = gf_defaultParkingHooks();
  return hooks;
}

}  // namespace

ParkingHooks gf_defaultParkingHooks() {
  ParkingHooks h;
  h.standNameAtPos = gf_standNameAtPos;
  h.updateParkingControls = [] { gf_logMissingOnce("gf_updateParkingControls"); };
  h.disableParkingControls = [] { gf_logMissingOnce("gf_disableParkingControls"); };
  h.parkingGenerationDone = [] { gf_logMissingOnce("gf_parkingGenerationDone"); };
  return h;
}

const ParkingHooks& gf_parkingHooks() { return lf_hooks(); }

void gf_setParkingHooks(ParkingHooks hooks) {
  const ParkingHooks defaults = gf_defaultParkingHooks();
  const auto fill = [](auto& entry, const auto& fallback) {
    if (!entry) entry = fallback;
  };
  fill(hooks.standNameAtPos, defaults.standNameAtPos);
  fill(hooks.updateParkingControls, defaults.updateParkingControls);
  fill(hooks.disableParkingControls, defaults.disableParkingControls);
  fill(hooks.parkingGenerationDone, defaults.parkingGenerationDone);
  lf_hooks() = std::move(hooks);
}
