#pragma once
// The facility data reader: an airport's stands, helipads and runways, read from the simulator's
// facility data over a short connection of its own, "PARKING_DATA_RDR", on the calling thread.
// It shares nothing with the SimClient thread. Its users (the airport scan and the park
// airport's runway check, polled at the worker's ticks) all run on lf_main, so its connection
// state needs no lock.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
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

// The airport's runways, read in steps so that the worker never waits for the simulator. The
// start sends the request (a read still in flight is dropped first); false after a failure. Each
// poll takes what has arrived, without waiting: nothing while the answer is under way, then the
// runways, checked, or a result that is not valid after any failure, after 10 seconds from the
// start, or with no read in flight. A failure logs one warning line beginning "RUNWAY_HEADING: "
// and closes the connection, so that nothing of a failed answer reaches the next read. Never
// throws for these cases. A stand read, or closing the connection, drops the read in flight.
bool gf_startFacilityRunwaysRead(std::string_view icao);
std::optional<FacilityRunways> gf_pollFacilityRunwaysRead();
bool gf_facilityRunwaysReadPending();
void gf_dropFacilityRunwaysRead();

// Tests: the steady clock that the deadlines count on (an empty function restores the real
// one); whether the connection is open; back to a closed connection and the real clock.
void gf_setFacilityClockForTest(std::function<std::chrono::steady_clock::time_point()> now);
bool gf_isParkingDataReaderOpen();
void gf_resetFacilityReaderForTest();
