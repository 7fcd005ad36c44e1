#pragma once
// What the parking code asks of code built elsewhere: the engine's stand lookup by position and
// its static stands, and the window's parking controls. app/ installs them at start; an entry
// nobody installed does nothing and says so once in the log (the wanted count keeps one of its
// own). Read on lf_main only; set while the engine does not run.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/geodesy.h"

struct ParkingHooks {
  // gf_standNameAtPos: the stand within 20 m of the position; none when the user is airborne.
  std::function<std::optional<std::string>(const Lalo& position)> standNameAtPos;
  // gf_updateParkingControls: the enabling of the parking controls after their values changed.
  std::function<void()> updateParkingControls;
  // gf_disableParkingControls and gf_parkingGenerationDone: the window's parking controls locked
  // while parking is generated, and unlocked (with the generation flag cleared) after.
  std::function<void()> disableParkingControls;
  std::function<void()> parkingGenerationDone;
  // g_staticTargetCount: the wanted number of parked aircraft (negative: no limit), which the
  // engine reads too. Default: a count of the parking code's own.
  std::function<std::atomic<std::int32_t>&()> staticTargetCount;
  // gf_setStaticTargetCount: the wanted count of g_stands for the parking percentage and the cap,
  // stored in the count above and shown with its share of the stands. Default: lround(percentage
  // x stands / 100), but 1 for at most one stand, and for at most three below 50 %; capped; 0 for
  // a cap of 0 or less.
  std::function<std::int32_t(std::int32_t percentage, std::int32_t cap)> setStaticTargetCount;
  // gf_blockUserStandsForStatic: blocks the named stand and those it excludes for static aircraft.
  std::function<void(std::string_view reason, const std::string& stand)> blockUserStandsForStatic;
};

// Every entry filled: not installed ones log "{} is not built yet: skipped" once and answer none.
ParkingHooks gf_defaultParkingHooks();
const ParkingHooks& gf_parkingHooks();
void gf_setParkingHooks(ParkingHooks hooks);
