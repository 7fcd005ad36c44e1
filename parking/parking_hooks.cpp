#include "parking/parking_hooks.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/gui.h"
#include "core/log.h"
#include "simlink/facility_stand.h"

namespace {

ParkingHooks& lf_hooks() {
  static ParkingHooks hooks = gf_defaultParkingHooks();
  return hooks;
}

std::atomic<std::int32_t>& lf_ownTargetCount() {
  static std::atomic<std::int32_t> count{0};
  return count;
}

std::int32_t lf_setStaticTargetCount(std::int32_t percentage, std::int32_t cap) {
  const auto stands = static_cast<std::int64_t>(g_stands.size());
  std::int64_t target = 0;
  if (cap > 0) {
    if (stands <= 1 || (stands <= 3 && percentage < 50))
      target = 1;
    else
      target = std::lround(static_cast<double>(percentage) * static_cast<double>(stands) / 100.0);
    target = std::min<std::int64_t>(target, cap);
  }
  const auto count = static_cast<std::int32_t>(target);
  gf_parkingHooks().staticTargetCount() = count;
  const auto percent =
      stands > 0 ? static_cast<std::int32_t>(std::lround(static_cast<double>(count) * 100.0 / stands)) : 0;
  Gui::enqueueUpdate(gui::SetStaticTarget{count, percent});
  return count;
}

}  // namespace

ParkingHooks gf_defaultParkingHooks() {
  ParkingHooks h;
  h.standNameAtPos = [](const Lalo&) -> std::optional<std::string> {
    gf_logMissingOnce("gf_standNameAtPos");
    return std::nullopt;
  };
  h.updateParkingControls = [] { gf_logMissingOnce("gf_updateParkingControls"); };
  h.disableParkingControls = [] { gf_logMissingOnce("gf_disableParkingControls"); };
  h.parkingGenerationDone = [] { gf_logMissingOnce("gf_parkingGenerationDone"); };
  h.staticTargetCount = []() -> std::atomic<std::int32_t>& { return lf_ownTargetCount(); };
  h.setStaticTargetCount = lf_setStaticTargetCount;
  h.blockUserStandsForStatic = [](std::string_view, const std::string&) {
    gf_logMissingOnce("gf_blockUserStandsForStatic");
  };
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
  fill(hooks.staticTargetCount, defaults.staticTargetCount);
  fill(hooks.setStaticTargetCount, defaults.setStaticTargetCount);
  fill(hooks.blockUserStandsForStatic, defaults.blockUserStandsForStatic);
  lf_hooks() = std::move(hooks);
}
