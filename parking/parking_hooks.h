#pragma once
// What the parking code asks of code built elsewhere: the engine's stand lookup by position and
// the window's parking controls. app/ installs them at start; an entry nobody installed does
// nothing and says so once in the log. Read on lf_main only; set while the engine does not run.
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
};

// Every entry filled: the stand name is the engine's own; the window's entries, until app/ installs
// them, log "{} is not built yet: skipped" once and do nothing.
ParkingHooks gf_defaultParkingHooks();
const ParkingHooks& gf_parkingHooks();
void gf_setParkingHooks(ParkingHooks hooks);
