#pragma once
// A traffic scenario for the RealTraffic stand-ins: flights with timed track points, parked
// aircraft and METARs, on a clock of seconds after the scenario's start. Both the desktop-app
// peer and the web API stand-in replay it.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rtstandin {

struct TrackPoint {
  double t = 0.0;  // seconds after the scenario's start
  double lat = 0.0;
  double lon = 0.0;
  double altitude = 0.0;  // ft; 0 on the ground
  double gs = 0.0;        // kt
  double track = 0.0;     // deg
  double vs = 0.0;        // ft/min
  double trueHeading = 0.0;  // deg
  double roll = 0.0;         // deg
  double tas = -1.0;         // kt; -1 when unknown
};

struct Flight {
  std::uint32_t hexid = 0;  // 24-bit address
  std::string callsign;
  std::string type;  // ICAO type designator
  std::string registration;
  std::string airline;  // ICAO airline code
  std::string origin;   // IATA
  std::string destination;
  std::string sourceType = "adsb_icao";
  std::string emitterCategory = "A3";
  std::vector<TrackPoint> track;  // ascending t
};

struct ParkedAircraft {
  std::uint32_t hexid = 0;
  std::string callsign;
  std::string type;
  std::string registration;
  std::string stand;
  double lat = 0.0;
  double lon = 0.0;
  double seen = 0.0;  // scenario seconds of the sighting (negative: before the start)
};

struct Metar {
  double t = 0.0;  // valid from
  std::string icao;
  std::string text;
};

struct TrafficScenario {
  std::int64_t startTime = 0;  // UTC seconds since 1970 of scenario time 0
  std::vector<Flight> flights;
  std::vector<ParkedAircraft> parked;
  std::vector<Metar> metars;  // ascending t
};

// JSON text or file to a scenario. Throws std::runtime_error naming what is wrong.
TrafficScenario parseScenario(std::string_view json);
TrafficScenario loadScenario(const std::filesystem::path& file);

// Where a flight is at scenario time t, between track points at speeds changing evenly between
// theirs; none outside its track.
std::optional<TrackPoint> positionAt(const Flight& flight, double t);
// The METAR valid at t: the last one whose time has come, else none.
const Metar* metarAt(const TrafficScenario& scenario, double t);
// The QNH in hPa of a METAR's "Q" group ("Q0985"); none without one.
std::optional<double> qnhOfMetar(std::string_view text);
// The QNH the scenario's barometric altitudes were taken against: its first METAR's with a QNH,
// else the standard 1013.25 hPa.
double scenarioQnhHpa(const TrafficScenario& scenario);
inline constexpr double kStandardQnhHpa = 1013.25;
// Feet a barometric altitude gains when set to this QNH: 30 ft per hPa above the standard.
inline double qnhCorrectionFeet(double qnhHpa) { return (qnhHpa - kStandardQnhHpa) * 30.0; }
// The time of the scenario's last event.
double scenarioEnd(const TrafficScenario& scenario);

// A looped replay: each lap is the scenario to its end, whole seconds, then a pause in which nothing
// is reported. Records carry fresh times: the start time moves on by `shift` seconds each lap, so
// that the feed's clock keeps running with the replay's and the program takes every lap as new traffic.
struct ReplayLap {
  double t = 0.0;           // scenario time within the lap
  std::int64_t shift = 0;   // seconds added to the scenario's start time
};
inline constexpr double kLapPauseSeconds = 60.0;
ReplayLap replayLap(double elapsed, double end);

// Written beside the target and renamed, so a reader never sees half a file. Throws on failure.
void writeTextFileAtomically(const std::filesystem::path& file, const std::string& text);

}  // namespace rtstandin
