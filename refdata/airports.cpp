#include "refdata/airports.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <stdexcept>
#include <system_error>

#include "config/program_folders.h"
#include "core/log.h"
#include "core/text.h"
#include "refdata/enc_xml.h"

std::vector<Airport> g_airports;
std::shared_mutex g_airportsLock;

namespace {

constexpr std::size_t kReservedAirports = 24000;
constexpr double kCandidateNm = 5.0;
constexpr double kNoStandYetNm = 100.0;

std::recursive_mutex g_airportsLoadMutex;
bool g_airportsLoaded = false;  // under g_airportsLoadMutex

std::mutex g_neighboursMutex;
ClosestStandReader g_closestStandReader;
ParkAirportReader g_parkAirportReader;

using AirportsOrError = std::variant<std::vector<Airport>, std::string>;

template <typename Number>
std::optional<Number> lf_wholeNumber(std::string_view text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

AirportsOrError lf_loadAirportsXml() {
  const std::filesystem::path& path = g_airportsEncFile;
  try {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error && error != std::errc::no_such_file_or_directory)
      return fmt::format("Could not check whether {} exists: {}", gf_pathToUtf8(path), error.message());
    if (!std::filesystem::exists(status)) return fmt::format("{} not available", gf_pathToUtf8(path));

    EncReadResult plain = gf_readEncFile(path, kAirportsPlainLimit);
    if (!plain.ok()) return plain.message();
    const auto xml = gf_parseEncXml(std::move(plain.buffer()));
    if (!xml->parse) return fmt::format("{} not loaded: {}", gf_pathToUtf8(path), xml->parse.description());
    const pugi::xml_node root = xml->document.child("root");
    if (!root) return fmt::format("{} has no <{}> root", gf_pathToUtf8(path), "root");
    const pugi::xml_node section = root.child("airports");
    if (!section) return fmt::format("{} has no <{}> section", gf_pathToUtf8(path), "airports");

    std::vector<Airport> airports;
    airports.reserve(kReservedAirports);
    for (const pugi::xml_node node : section.children("ap")) {
      const pugi::xml_attribute c = node.attribute("c");
      if (!c) {
        gf_logWarning("Skipped airport entry with missing ICAO code attribute");
        continue;
      }
      IcaoCode code;
      try {
        code = IcaoCode(c.value());
      } catch (const std::exception& e) {
        gf_log(
            fmt::format("Skipped invalid airport code '{}': {}", gf_escapedText(c.value()), gf_escapedText(e.what())));
        continue;
      }
      if (auto airport = gf_parseAirportElement(node, code)) airports.push_back(*airport);
    }

    std::stable_sort(airports.begin(), airports.end(),
                     [](const Airport& a, const Airport& b) { return a.code < b.code; });
    const auto last = std::unique(airports.begin(), airports.end(),
                                  [](const Airport& a, const Airport& b) { return a.code == b.code; });
    const auto dropped = static_cast<std::size_t>(airports.end() - last);
    airports.erase(last, airports.end());
    if (dropped > 0)
      gf_logWarning(fmt::format("Skipped {} duplicate airport entr{}", dropped, dropped == 1 ? "y" : "ies"));
    if (airports.empty()) return fmt::format("{} contains no valid airports", gf_pathToUtf8(path));
    return airports;
  } catch (const std::exception& e) {
    return fmt::format("{} exception: {}", "lf_loadAirportsXml", e.what());
  }
}

// Degrees of longitude between two meridians, the short way round: 179.9 and -179.9 lie 0.2
// apart, not 359.8.
std::vector<Airport> lf_copyAirports() {
  std::shared_lock lock(g_airportsLock);
  return g_airports;
}

}  // namespace

std::optional<Airport> gf_parseAirportElement(pugi::xml_node node, IcaoCode code) {
  const pugi::xml_attribute la = node.attribute("la");
  const pugi::xml_attribute lo = node.attribute("lo");
  if (!la || !lo) {
    gf_logWarning(fmt::format("Missing latLons for airport '{}'", code));
    return std::nullopt;
  }
  const pugi::xml_attribute a = node.attribute("a");
  if (!a) {
    gf_logWarning(fmt::format("Missing alt for airport '{}'", code));
    return std::nullopt;
  }
  const auto latitude = lf_wholeNumber<double>(la.value());
  const auto longitude = lf_wholeNumber<double>(lo.value());
  const auto altitude = lf_wholeNumber<std::int32_t>(a.value());
  if (!latitude || !longitude || !altitude || !std::isfinite(*latitude) || !std::isfinite(*longitude)) {
    gf_logWarning(fmt::format("Invalid numeric data for airport '{}'", code));
    return std::nullopt;
  }
  Airport airport;
  airport.code = code;
  airport.position = {*latitude, *longitude};
  airport.altitude = *altitude;
  if (const pugi::xml_attribute i = node.attribute("i")) {
    try {
      airport.iata = IataCode(i.value());
    } catch (const std::exception& e) {
      gf_log(fmt::format("Skipped airport '{}' '{}': {}", code, gf_escapedText(i.value()), gf_escapedText(e.what())));
      return std::nullopt;
    }
  }
  if (airport.code.empty() || !gf_isValidLalo(airport.position)) {
    gf_logWarning(fmt::format("Invalid position for airport '{}'", code));
    return std::nullopt;
  }
  return airport;
}

std::variant<std::size_t, std::string> gf_readAirports() {
  std::lock_guard loadLock(g_airportsLoadMutex);
  if (g_airportsLoaded) {
    std::shared_lock lock(g_airportsLock);
    return g_airports.size();
  }
  AirportsOrError loaded = lf_loadAirportsXml();
  if (auto* error = std::get_if<std::string>(&loaded)) return std::move(*error);
  auto& airports = std::get<std::vector<Airport>>(loaded);
  const std::size_t count = airports.size();
  {
    std::unique_lock lock(g_airportsLock);
    g_airports.swap(airports);
  }
  g_airportsLoaded = true;
  gf_log(fmt::format("{:5} airports read", count));
  return count;
}

std::optional<Airport> gf_findAirport(IcaoCode code) {
  std::shared_lock lock(g_airportsLock);
  const auto it = std::lower_bound(g_airports.begin(), g_airports.end(), code,
                                   [](const Airport& airport, IcaoCode key) { return airport.code < key; });
  if (it == g_airports.end() || it->code != code) return std::nullopt;
  return *it;
}

bool gf_isKnownAirport(IcaoCode code) { return gf_findAirport(code).has_value(); }

namespace {

// The airports whose centre lies within 5 NM, the closest first.
std::vector<std::pair<Airport, double>> lf_airportsAround(const Lalo& position) {
  const double cosLat = std::cos(position.lat * geo::kDegToRad);
  const std::vector<Airport> airports = lf_copyAirports();
  std::vector<std::pair<Airport, double>> candidates;
  for (const Airport& airport : airports) {
    const double dy = std::fabs(position.lat - airport.position.lat) * 60.0;
    const double dx = std::fabs(gf_wrapLongitude(position.lon - airport.position.lon)) * 60.0 * cosLat;
    if (dy > kCandidateNm || dx > kCandidateNm) continue;
    const double squared = dx * dx + dy * dy;
    if (squared <= kCandidateNm * kCandidateNm) candidates.emplace_back(airport, squared);
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });
  return candidates;
}

}  // namespace

std::optional<Airport> gf_findClosestAirportCentre(const Lalo& position) {
  std::vector<std::pair<Airport, double>> candidates = lf_airportsAround(position);
  if (candidates.empty()) return std::nullopt;
  return std::move(candidates.front().first);
}

std::optional<Airport> gf_findClosestAirport(const Lalo& position, bool* pending) {
  const std::vector<std::pair<Airport, double>> candidates = lf_airportsAround(position);
  if (candidates.empty()) return std::nullopt;
  if (candidates.size() == 1) return candidates.front().first;

  ClosestStandReader closestStand;
  {
    std::lock_guard lock(g_neighboursMutex);
    closestStand = g_closestStandReader;
  }
  std::size_t best = 0;
  double bestDistance = kNoStandYetNm;
  std::string bestStand;
  if (closestStand) {
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      const ClosestStand stand = closestStand(candidates[i].first, position);
      if (stand.pending && pending) *pending = true;
      if (stand.found && stand.distanceNm < bestDistance) {
        best = i;
        bestDistance = stand.distanceNm;
        bestStand = stand.name;
      }
    }
  }
  if (pending && *pending) return std::nullopt;
  if (best != 0)
    gf_log(fmt::format("Airport {} has the closest center, but stand {} at {} is closer ({:.0f} meters)",
                       candidates.front().first.code, bestStand, candidates[best].first.code, bestDistance * 1852.0));
  return candidates[best].first;
}

namespace {
thread_local const Airport* t_passParkAirport = nullptr;
}  // namespace

ParkAirportPass::ParkAirportPass() : m_park(gf_parkAirportRecord()), m_outer(t_passParkAirport) {
  t_passParkAirport = &m_park;
}

ParkAirportPass::~ParkAirportPass() { t_passParkAirport = m_outer; }

Airport gf_parkAirportRecord() {
  if (t_passParkAirport) return *t_passParkAirport;
  ParkAirportReader parkAirport;
  {
    std::lock_guard lock(g_neighboursMutex);
    parkAirport = g_parkAirportReader;
  }
  return parkAirport ? parkAirport() : Airport{};
}

namespace {
double lf_elevationOf(const Airport& airport) {
  if (airport.code.empty() || !gf_isValidLalo(airport.position)) return NAN;
  return static_cast<double>(airport.altitude);
}

double lf_elevationNear(const Airport& park, const Lalo& position, double withinNm) {
  const double feet = lf_elevationOf(park);
  // No way between two points is shorter than their latitudes apart (60 NM a degree): most
  // aircraft asked about are answered by that alone, without the great circle.
  if (std::isnan(feet) || std::fabs(position.lat - park.position.lat) * 60.0 > withinNm * (1.0 + 1e-9)) return NAN;
  return gf_distanceNm(park.position, position) <= withinNm ? feet : NAN;
}

std::optional<double> lf_known(double feet) {
  if (std::isnan(feet)) return std::nullopt;
  return feet;
}
}  // namespace

// The pass's copy is read in place: these are asked for every aircraft at every tick.
double gf_parkAirportElevationFt() {
  const Airport* inPass = t_passParkAirport;
  return inPass ? lf_elevationOf(*inPass) : lf_elevationOf(gf_parkAirportRecord());
}

double gf_parkAirportElevationNearFt(const Lalo& position, double withinNm) {
  const Airport* inPass = t_passParkAirport;
  return inPass ? lf_elevationNear(*inPass, position, withinNm)
                : lf_elevationNear(gf_parkAirportRecord(), position, withinNm);
}

std::optional<double> gf_parkAirportElevation() { return lf_known(gf_parkAirportElevationFt()); }

std::optional<double> gf_parkAirportElevationNear(const Lalo& position, double withinNm) {
  return lf_known(gf_parkAirportElevationNearFt(position, withinNm));
}

void gf_setAirportsNeighbours(ClosestStandReader closestStand, ParkAirportReader parkAirport) {
  std::lock_guard lock(g_neighboursMutex);
  g_closestStandReader = std::move(closestStand);
  g_parkAirportReader = std::move(parkAirport);
}

void gf_resetAirportsForTest() {
  std::lock_guard loadLock(g_airportsLoadMutex);
  {
    std::unique_lock lock(g_airportsLock);
    g_airports.clear();
  }
  g_airportsLoaded = false;
  gf_setAirportsNeighbours(nullptr, nullptr);
}
