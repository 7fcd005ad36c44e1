#pragma once
// Where the window's handlers meet subsystems that are wired in later: the parking code's park
// airports and stand files, the RT App link and the simulator link. Until the parking code
// exists, its functions here answer "nothing known" and log nothing; tests install fakes.
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

// Parking code: the park-airports list, stand files and the parking pass.
struct ApfStands {
  std::optional<std::vector<std::string>> names;  // none when the file could not be read
  std::string error;
};
// Stores the stand as the user stand of the airport in the park-airports list; false when the
// airport is not in the list.
bool gf_storeUserStand(std::string_view airport, std::string_view stand);
// The user stand kept for the airport; none when the airport is not listed or has none.
std::optional<std::string> gf_getUserStandOf(IcaoCode airport);
// The stand names of the airport's stand file.
ApfStands gf_readApfForStands(IcaoCode airport);
// The airport becomes the front entry of the park-airport queue.
void gf_moveParkAirportToFront(IcaoCode airport, const Lalo& position);
bool gf_parkAirportStandsLoaded();
// The current week number of the parking code.
std::int32_t gf_parkingWeekNumber();

struct ParkingNeighbours {
  std::function<bool(std::string_view, std::string_view)> storeUserStand;
  std::function<std::optional<std::string>(IcaoCode)> getUserStandOf;
  std::function<ApfStands(IcaoCode)> readApfForStands;
  std::function<void(IcaoCode, const Lalo&)> moveParkAirportToFront;
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
