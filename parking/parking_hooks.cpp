#include "parking/parking_hooks.h"

#include <string_view>
#include <utility>

#include "core/log.h"

namespace {

ParkingHooks& lf_hooks() {
  static ParkingHooks hooks = gf_defaultParkingHooks();
  return hooks;
}

}  // namespace

ParkingHooks gf_defaultParkingHooks() {
  ParkingHooks h;
  h.standNameAtPos = [](const Lalo&) -> std::optional<std::string> {
    gf_logMissingOnce("gf_standNameAtPos");
    return std::nullopt;
  };
  h.updateParkingControls = [] { gf_logMissingOnce("gf_updateParkingControls"); };
  h.staticAcFields = [](StaticAc&) -> std::optional<StaticAcFields> {
    gf_logMissingOnce("the static aircraft's parking fields");
    return std::nullopt;
  };
  return h;
}

const ParkingHooks& gf_parkingHooks() { return lf_hooks(); }

void gf_setParkingHooks(ParkingHooks hooks) {
  const ParkingHooks defaults = gf_defaultParkingHooks();
  if (!hooks.standNameAtPos) hooks.standNameAtPos = defaults.standNameAtPos;
  if (!hooks.updateParkingControls) hooks.updateParkingControls = defaults.updateParkingControls;
  if (!hooks.staticAcFields) hooks.staticAcFields = defaults.staticAcFields;
  lf_hooks() = std::move(hooks);
}
