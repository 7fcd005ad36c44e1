#pragma once
// A seeded generator of real-looking traffic around a facility-fixture airport, in the traffic
// scenario format of the RealTraffic stand-ins: arrivals on a 3-degree path over the threshold at
// about 40 ft, a flare and touch-down about 340 m past it, a landing roll to a high-speed exit (some
// on to a stand), departures from a standing start climbing out, overflights, and taxiing flights
// between stands and runways, each reported every 2 to 10 s as RealTraffic does, altitudes as
// pressure altitudes (the web API's; the desktop app stand-in sends them set to the QNH). The
// runways are kept as a tower keeps them (lf_keepRunwaysApart).
// The same seed and inputs give the same scenario, byte for byte.
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "standin/realtraffic/traffic_scenario.h"
#include "standin/sim/facility_layout.h"

namespace trafficgen {

// ArrivalToStand: an arrival that taxis on from its runway exit to a free stand and stops there.
// DepartureFromStand: pushed back from a stand, it taxis out, lines up and takes off.
enum class FlightKind { Arrival, Departure, Overflight, TaxiOut, TaxiIn, ArrivalToStand, DepartureFromStand };

// An aircraft as the reference data knows it.
struct Airframe {
  std::string registration;
  std::string airline;  // ICAO code
  std::string type;     // ICAO type designator
};

// What the generator takes from the reference data set (data/dbase.xml) and the airports list.
struct Fleet {
  std::vector<Airframe> airframes;   // the registrations the data set lists, first
  std::vector<std::string> airlines;  // ICAO codes, for airframes made up beyond those
  std::set<std::string> types;
  std::set<std::string> heavy;
  std::set<std::string> cargoOperators;
  std::vector<std::string> iataCodes;  // of other airports, for origins and destinations
  std::string homeIata = "null";       // the generated airport's own
};

// Throws std::runtime_error naming the file and what is wrong.
Fleet readFleet(const std::filesystem::path& dbaseXml, const std::filesystem::path& airportsXml,
                const std::string& homeIcao);

struct Options {
  std::uint64_t seed = 24;
  double durationSeconds = 1200.0;  // the scenario's span; flights run through its start and end
  // Per kind, seconds its flights' reports go on past the scenario's end (an extra flight's own
  // when that is longer).
  std::map<FlightKind, double> pastEndSeconds;
  int arrivals = 8;
  int departures = 6;
  int overflights = 5;
  int taxiOut = 2;
  int taxiIn = 2;
  int arrivalsToStand = 0;
  int departuresFromStand = 0;
  // A kind given a window here has its flights' moments spread evenly over it (seconds after the
  // scenario's start), instead of its flights over the whole span: an arrival's touch-down, a
  // departure's lift-off, a taxi-out's push-back, a taxi-in's stop on its stand, an overflight's
  // middle.
  std::map<FlightKind, std::pair<double, double>> momentWindows;
  // Seconds a flight leaving a stand waits there before its push-back, and a departure before its
  // roll: lined up on the runway, or at the holding point when it taxis on.
  std::pair<double, double> standWaitSeconds{10.0, 25.0};
  std::pair<double, double> lineUpWaitSeconds{15.0, 35.0};
  double pushBackMetres = 45.0;
  // Departures first seen taxiing up to the holding point, where they wait clear of the runway,
  // then on to it; not standing on it.
  bool departuresTaxiOn = false;
  // Stands only of a size the aircraft fits (a heavy on a heavy gate of 30 m or more, others on
  // smaller gates), where such a stand is free, and none overlapping a parked aircraft's stand.
  bool fittingStands = false;
  // The QNH the reports' pressure altitudes are taken against: the scenario's, its first METAR's
  // (generateScenarioText); the desktop app stand-in sets them back to it.
  double qnhHpa = rtstandin::kStandardQnhHpa;
  // Runway ends by designator ("14"); empty: every end of the airport.
  std::vector<std::string> arrivalRunways;
  std::vector<std::string> departureRunways;
  // Flights added after all the others, one an entry: their draws come after the others', which
  // stay as they were without them, and they give way to the others on the runways.
  struct ExtraFlight {
    FlightKind kind = FlightKind::Arrival;
    std::vector<std::string> runways;  // empty: the kind's runways above
    std::string airline;  // ICAO; with `type`, an airframe of these made up; empty: the next one drawn
    std::string type;
    std::pair<double, double> window{0.0, 0.0};  // its moment, as momentWindows
    // Its reports stop `gapAfter` s after its moment (negative: before it) for `gapSeconds`, as a
    // feed loses an aircraft for a while; an infinite gap: its reports end there.
    double gapAfter = 0.0;
    double gapSeconds = 0.0;
    // A departure first seen taxiing up to its holding point (as departuresTaxiOn), whatever the
    // others do.
    bool taxiOn = false;
    // A departure's wait lined up on the runway before its roll; 0: a rolling take-off, on to the
    // runway and away without stopping. Not a number: as the other departures.
    double lineUpSeconds = std::numeric_limits<double>::quiet_NaN();
    // Seconds its reports go on past the scenario's end, as the feed follows a flight still in range.
    double pastEndSeconds = 0.0;
    // The other flights give way to it on the runways, where it would give way to them.
    bool keepsItsPlace = false;
    // Placed at its window whatever the others do, and the others take no notice of it: for a
    // flight set where its runway is free of them while the feed lasts.
    bool asPlaced = false;
    // A departure that lines up right behind the landing of the extra flight of this index (an
    // earlier entry, an arrival on its runway): placed to roll `behindSeconds` after that one has
    // left the runway, it waits lined up while the other rolls out ahead of it.
    std::optional<std::size_t> linesUpBehind;
    double behindSeconds = 5.0;
  };
  std::vector<ExtraFlight> extraFlights;
};

struct GeneratedFlight {
  FlightKind kind = FlightKind::Arrival;
  std::string runway;  // the end landed on or taken off from, or the one taxied to or from
  std::string stand;   // taxiing flights and arrivals to a stand: the stand left or reached
  // Flights that leave a stand: when the push-back starts, seconds on the scenario's clock
  // (before 0 when it came before the scenario began); not a number for the others.
  double pushbackAt = std::numeric_limits<double>::quiet_NaN();
  bool extra = false;  // one of the options' extra flights
  rtstandin::Flight flight;
};

// Stands within this distance of a parked aircraft are taken.
inline constexpr double kOccupiedStandMetres = 25.0;

// Hexids in `takenHexids` and stands under `parked` aircraft are left alone.
std::vector<GeneratedFlight> generateTraffic(const standin::sim::FacilityLayout& airport, const Fleet& fleet,
                                             const Options& options, const std::set<std::uint32_t>& takenHexids,
                                             const std::vector<rtstandin::ParkedAircraft>& parked);

// The scenario text: the base scenario's start, flights, parked aircraft and METARs as they
// stand (JSON text; empty for none), the generated flights after its own. Throws
// std::runtime_error on a base that is not a scenario.
std::string scenarioText(const std::string& baseJson, const std::vector<GeneratedFlight>& flights,
                         const std::string& remark);

// The whole run as the tool makes it: layout, fleet and base read, traffic generated, text
// returned. Throws std::runtime_error naming what could not be read.
struct Inputs {
  std::filesystem::path facility;  // data/sim/facilities/<ICAO>.json
  std::filesystem::path dbase;     // data/dbase.xml
  std::filesystem::path airports;  // data/airports.xml
  std::filesystem::path base;      // a scenario whose contents are kept; empty for none
};
std::string generateScenarioText(const Inputs& inputs, const Options& options);

// The settings data/realtraffic/sample_scenario.json is written with: Zurich's arrivals on 14
// and 28, departures from 16 and 28.
Options sampleOptions();

// The settings data/realtraffic/demo_scenario.json is written with: a few of each kind at Zurich,
// their moments between 45 s and 150 s after the replay starts with the program's connection,
// timed so that a run of four minutes shows them.
Options demoOptions();

}  // namespace trafficgen
