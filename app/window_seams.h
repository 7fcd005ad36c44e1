#pragma once
// Where the window's handlers meet the parking code's stand files, the RT App link and the
// simulator link; tests install fakes for the parking code's answers. The park-airports
// list (user stands, the front entry) is the parking code's own (parking/park_airports.h).
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/geodesy.h"
#include "core/value_types.h"

// The window's own handlers that once stood here as seams; their callers reach them this way.
#include "app/blocking.h"
#include "app/parking_controls.h"
#include "app/time_shift.h"
#include "parking/park_airports.h"

// Parking code: stand files and the parking pass.
struct ApfStands {
  std::optional<std::vector<std::string>> names;  // none when the file could not be read
  std::string error;
};
// The stand names of the airport's stand file (the parking code's gf_readApfForStands).
ApfStands gf_destinationStandNames(IcaoCode airport);
// A stand file is applied to the park airport (g_airportFileLoaded).
bool gf_parkAirportStandsLoaded();
// The RealTraffic week of the park airport's stand file (g_rtTrafficWeek).
std::int32_t gf_parkingWeekNumber();

struct ParkingNeighbours {
  std::function<ApfStands(IcaoCode)> readApfForStands;
  std::function<bool()> standsLoaded;
  std::function<std::int32_t()> weekNumber;
};
// Tests (GUI thread idle): fakes for the functions above; an empty field keeps its default.
void gf_setParkingNeighboursForTest(ParkingNeighbours neighbours);

// RealTraffic feed (the parked-traffic request itself is the RT App reader's
// gf_requestParkedTraffic).
void gf_closeRTAppServer();
extern std::atomic<bool> g_waitingForRTApp;

// Simulator link: the user picked the other simulator.
extern std::atomic<bool> g_simSwitchRequested;
