#pragma once
// The airports list: ICAO and IATA code, reference position and altitude of every airport the
// program knows, read once from the data set "airports.enc" in the input folder. Loaded on
// lf_main during set-up; looked up from lf_main, the airport scan and the feed threads.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <pugixml.hpp>
#include <shared_mutex>
#include <string>
#include <variant>
#include <vector>

#include "core/geodesy.h"
#include "core/value_types.h"

inline constexpr std::uint64_t kAirportsPlainLimit = 8388608;

struct Airport {
  IcaoCode code;                      // the list is sorted by its packed key
  IataCode iata = g_defaultIataCode;  // "XXX" when the list gives none
  Lalo position;
  std::int32_t altitude = 0;  // feet
};

// Sorted by code, no duplicate codes; exclusive to replace, shared to read.
extern std::vector<Airport> g_airports;
extern std::shared_mutex g_airportsLock;

// The number of airports, or the text of what went wrong. Loads once per process: later calls
// only return the count. A failure leaves the list as it was.
std::variant<std::size_t, std::string> gf_readAirports();

// One "ap" element with its checked code; none (after a warning) when it is unusable.
std::optional<Airport> gf_parseAirportElement(pugi::xml_node node, IcaoCode code);

std::optional<Airport> gf_findAirport(IcaoCode code);
bool gf_isKnownAirport(IcaoCode code);

// The airport for a position: of those whose centre lies within 5 NM, the one with the closest
// centre, unless another of them has a stand nearer to the position than any stand of the
// others. Longitudes compare across the 180-degree meridian. pending given: none, and it set,
// while a candidate's stand file is on its way; not given, such a candidate is judged by its centre.
std::optional<Airport> gf_findClosestAirport(const Lalo& position, bool* pending = nullptr);
// Of the airports whose centre lies within 5 NM, the one with the closest centre; no stand file
// is asked.
std::optional<Airport> gf_findClosestAirportCentre(const Lalo& position);

// The park airport's elevation (feet) when a park airport with a valid position is set.
std::optional<double> gf_parkAirportElevation();
// The same, only while the park airport lies within withinNm of the position.
std::optional<double> gf_parkAirportElevationNear(const Lalo& position, double withinNm);
// The two above in feet, NaN where they answer none: for the tick, which asks for every aircraft,
// where an optional handed back stalls on reading its flag.
double gf_parkAirportElevationFt();
double gf_parkAirportElevationNearFt(const Lalo& position, double withinNm);
// A copy of the park airport through the installed reader; code 0 when none is set or no
// reader is installed. While a ParkAirportPass lives on the calling thread, the copy it took.
Airport gf_parkAirportRecord();

// One read of the park airport for a pass over every aircraft, which would otherwise take the
// reader's locks several times per aircraft. A change made meanwhile shows at the next pass.
class ParkAirportPass {
 public:
  ParkAirportPass();
  ~ParkAirportPass();
  ParkAirportPass(const ParkAirportPass&) = delete;
  ParkAirportPass& operator=(const ParkAirportPass&) = delete;

 private:
  Airport m_park;
  const Airport* m_outer;
};

// What the airports list asks of the parking subsystem, until that subsystem provides it:
struct ClosestStand {
  std::string name;
  double distanceNm = 0.0;
  bool found = false;
  bool pending = false;  // the airport's stand file is on its way: ask again later
};
// The stand of an airport's stand file closest to a position (gf_readDestApfForClosestStand).
using ClosestStandReader = std::function<ClosestStand(const Airport& airport, const Lalo& position)>;
// A copy of the park airport (g_parkAirport under g_parkAirportLock); code 0 when none is set.
using ParkAirportReader = std::function<Airport()>;
void gf_setAirportsNeighbours(ClosestStandReader closestStand, ParkAirportReader parkAirport);

// Tests: an empty, unloaded list and no neighbours.
void gf_resetAirportsForTest();
