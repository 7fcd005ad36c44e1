#pragma once
// What the park airport's set-up and stand search ask of code built elsewhere: the engine's stand
// lookup by position, the window's parking controls, and the fields the static aircraft's own
// code adds to its record. app/ installs them at start; an entry nobody installed does nothing
// and says so once in the log. Read on lf_main only; set while the engine does not run.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/geodesy.h"
#include "traffic/static_ac.h"

// The parking fields of one static aircraft that the stand search reads; keepFlag points into the
// record itself, where the search marks the aircraft that the new plan keeps.
struct StaticAcFields {
  std::uint32_t standId = 0;  // its stand's number in g_stands
  std::uint32_t hitKind = 0;  // the hexid of the RealTraffic parked aircraft it stands for; 0 from the file
  std::uint32_t hitFlag = 1;  // 1: placed from the airport stand file, 0: a RealTraffic parked aircraft
  bool* keepFlag = nullptr;
};

struct ParkingHooks {
  // gf_standNameAtPos: the stand within 20 m of the position; none when the user is airborne.
  std::function<std::optional<std::string>(const Lalo& position)> standNameAtPos;
  // gf_updateParkingControls: the enabling of the parking controls after their values changed.
  std::function<void()> updateParkingControls;
  // The static aircraft's parking fields; none: the aircraft is not looked at.
  std::function<std::optional<StaticAcFields>(StaticAc& aircraft)> staticAcFields;
};

// Every entry filled: not installed ones log "{} is not built yet: skipped" once and answer none.
ParkingHooks gf_defaultParkingHooks();
const ParkingHooks& gf_parkingHooks();
void gf_setParkingHooks(ParkingHooks hooks);
