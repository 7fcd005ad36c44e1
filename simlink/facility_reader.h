#pragma once
// The facility data reader: an airport's stands, helipads and runways, read from the simulator's
// facility data over a short connection of its own, "PARKING_DATA_RDR", on the calling thread.
// It shares nothing with the SimClient thread. Its users (the airport scan and the park
// airport's runway check) all run on lf_main, one after the other, so its connection state
// needs no lock.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/geodesy.h"
#include "simlink/facility_stand.h"

// Client-side numbers on the reader's connection.
inline constexpr std::uint32_t FACILITY_DEFINITION_PARKING = 1001;
inline constexpr std::uint32_t FACILITY_DEFINITION_RUNWAYS = 1002;
inline constexpr std::uint32_t REQUEST_PARKING_FACILITY = 2001;
inline constexpr std::uint32_t REQUEST_RUNWAY_FACILITY = 2002;

inline constexpr double kFeetPerMetre = 3.2808399;

// Reads the airport's stands and helipads into out (code, reference point, name, altitude,
// stands in arrival order; helipads named "HELIPAD 1", "HELIPAD 2", ...). False on any failure,
// after a warning; a failed answer closes the connection, a refused request leaves it open.
// Waits at most 30 seconds. An invalid ICAO text throws std::invalid_argument.
bool gf_readFacilityStands(const std::string& icao, std::string_view icaoText, std::string_view region, BglAirport& out,
                           std::uint32_t& helipadCount);

// Closes "PARKING_DATA_RDR" when it is open; the next read opens it again.
void gf_closeParkingDataReader();

struct RunwayStart {
  Lalo position;
  double altitude = 0.0;  // feet
  double heading = 0.0;   // degrees
};

struct RunwayThreshold {
  double length = 0.0;  // metres
  double width = 0.0;
  bool enabled = false;
};

// One runway of an airport as the simulator describes it, with the start of each end.
struct Runway {
  Lalo centre;
  Lalo primaryEnd;                      // half the length behind the centre (heading + 180 degrees)
  Lalo secondaryEnd;                    // half the length ahead along the heading
  double altitude = 0.0;                // feet
  double heading = 0.0;                 // degrees
  double length = 0.0;                  // metres
  double width = 0.0;                   // metres
  std::uint32_t primaryNumber = 0;      // 1..36, or 37..44 for N, NE, ... NW
  std::uint32_t primaryDesignator = 0;  // 0 none, 1..6 L, R, C, W, A, B
  std::uint32_t secondaryNumber = 0;
  std::uint32_t secondaryDesignator = 0;
  RunwayStart primaryStart;
  std::uint32_t primaryStartType = 0;
  bool hasPrimaryStart = false;
  RunwayStart secondaryStart;
  std::uint32_t secondaryStartType = 0;
  bool hasSecondaryStart = false;
  RunwayThreshold primaryThreshold;
  RunwayThreshold secondaryThreshold;
};

// A runway start as it arrives, before it is joined to its runway end.
struct FacilityStart {
  std::int32_t number = 0;
  std::int32_t designator = 0;
  Lalo position;
  double altitude = 0.0;   // feet
  double heading = 0.0;    // degrees
  std::uint32_t type = 0;  // 1: a runway start
};

struct FacilityRunways {
  double altitude = 0.0;  // the airport's, feet
  std::vector<Runway> runways;
  bool valid = false;
};

// Reads and checks the airport's runways. Not valid after any failure (one warning line, each
// beginning "RUNWAY_HEADING: "); a failure also closes the connection, so that nothing of a
// failed answer reaches the next read. Waits at most 10 seconds. Never throws for these cases.
FacilityRunways gf_readFacilityRunways(std::string_view icao);

// Tests: the steady clock that the deadlines count on (an empty function restores the real
// one); whether the connection is open; back to a closed connection and the real clock.
void gf_setFacilityClockForTest(std::function<std::chrono::steady_clock::time_point()> now);
bool gf_isParkingDataReaderOpen();
void gf_resetFacilityReaderForTest();
