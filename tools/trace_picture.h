#pragma once
// The stand-in simulator's trace (standin/sim/sim.h, setTraceFile) read back, counted and drawn:
// a plan view with each object's track coloured by its height over the airport's runways and
// stands, and altitude over time below it.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standin/sim/facility_layout.h"

namespace tracepicture {

struct TraceEvent {
  double t = 0.0;  // simulator seconds
  std::string event;  // "create", "refuse", "pose", "remove"
  std::optional<std::uint32_t> objectId;  // none for a refusal
  std::string title;
  double latitude = 0.0;  // a pose the client left non-finite stays so
  double longitude = 0.0;
  double altitude = 0.0;  // ft
  double heading = 0.0;   // degrees
  bool onGround = false;
  std::string tailNumber;  // empty in traces written without it
  // Attitude and speeds; none in traces written without them.
  std::optional<double> pitch;          // degrees, nose up positive
  std::optional<double> bank;           // degrees
  std::optional<double> verticalSpeed;  // ft/min, as sent
  std::optional<double> groundSpeed;    // kt over the ground since the object's previous line
};

struct Trace {
  std::vector<TraceEvent> events;
};

// Throws std::runtime_error naming the file (or origin) and line of what is wrong: no header,
// no events, a wrong number of fields, an unknown event, a field that is not a number.
Trace parseTrace(std::string_view text, const std::string& origin);
Trace readTrace(const std::filesystem::path& file);

struct TraceCounts {
  std::size_t created = 0;
  std::size_t refused = 0;
  std::size_t removed = 0;
  std::size_t mostAtOnce = 0;  // objects present together at any moment
  std::size_t poses = 0;
  std::size_t nonFinitePoses = 0;
  double firstSecond = 0.0;
  double lastSecond = 0.0;
};
TraceCounts countTrace(const Trace& trace);
// "12 created, 1 refused, 3 removed, at most 9 at once"
std::string countsLine(const TraceCounts& counts);

// What a watcher at the airport saw, counted per object: it went from the air to the ground
// (landed) or back (took off), moved more than 100 m on the ground (taxied), or more than 15 m on
// the ground tail first (pushed back; turning on the spot moves nothing).
struct AirportMoments {
  std::size_t landed = 0;
  std::size_t tookOff = 0;
  std::size_t taxied = 0;
  std::size_t pushedBack = 0;
};
AirportMoments countAirportMoments(const Trace& trace);
// "4 landed, 2 took off, 8 taxied more than 100 m, 3 were pushed back"
std::string momentsLine(const AirportMoments& moments);

// Where an object's wheels first met the ground after flying, against the runways of the airport.
struct TouchDown {
  std::uint32_t objectId = 0;
  std::string tailNumber;
  double t = 0.0;
  double latitude = 0.0;
  double longitude = 0.0;
  double groundSpeedKt = 0.0;  // as the trace has it there; 0 when unknown
  std::string runway;  // the end lined up with its heading nearby; empty: none
  double pastThresholdMetres = 0.0;  // from that end's landing threshold; negative: short of it
  double offCentreMetres = 0.0;
  double landingDistanceMetres = 0.0;  // from the landing threshold to the runway's far end
  bool onRunway = false;  // past the threshold, within the runway's length and width
  bool shortOfRunway() const { return !runway.empty() && pastThresholdMetres < 0.0; }
};
std::vector<TouchDown> touchDowns(const Trace& trace, const standin::sim::FacilityLayout& airport);

// An object taken away while airborne within `feet` of the airport's elevation, on its own (not
// with everything else at once, as a closing or restarting program or simulator does).
struct AirRemoval {
  std::uint32_t objectId = 0;
  std::string tailNumber;
  double t = 0.0;
  double heightFeet = 0.0;
};
std::vector<AirRemoval> removalsInTheAir(const Trace& trace, const standin::sim::FacilityLayout& airport, double feet);
// "0 touch-downs short of a runway, 0 off a runway, 0 aircraft removed in the air within 300 ft of the ground"
std::string landingsLine(const Trace& trace, const standin::sim::FacilityLayout& airport);

// Written under a temporary name and renamed; throws std::runtime_error when it cannot be.
void drawTracePicture(const Trace& trace, const standin::sim::FacilityLayout& airport, const std::filesystem::path& png);

}  // namespace tracepicture
