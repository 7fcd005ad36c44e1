#include "standin/realtraffic/traffic_scenario.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace rtstandin {

namespace {

using nlohmann::json;

[[noreturn]] void lf_fail(const std::string& where, const std::string& what) {
  throw std::runtime_error(fmt::format("traffic scenario: {}: {}", where, what));
}

double lf_number(const json& object, const char* key, const std::string& where, std::optional<double> fallback = {}) {
  const auto member = object.find(key);
  if (member == object.end()) {
    if (fallback) return *fallback;
    lf_fail(where, fmt::format("\"{}\" missing", key));
  }
  if (!member->is_number()) lf_fail(where, fmt::format("\"{}\" is not a number", key));
  const double value = member->get<double>();
  if (!std::isfinite(value)) lf_fail(where, fmt::format("\"{}\" is not finite", key));
  return value;
}

std::string lf_text(const json& object, const char* key, const std::string& where, const char* fallback = nullptr) {
  const auto member = object.find(key);
  if (member == object.end()) {
    if (fallback) return fallback;
    lf_fail(where, fmt::format("\"{}\" missing", key));
  }
  if (!member->is_string()) lf_fail(where, fmt::format("\"{}\" is not a text", key));
  return member->get<std::string>();
}

// Hex ids are written as the feed shows them ("4840D6"); 24 bits at most.
std::uint32_t lf_hexid(const json& object, const std::string& where) {
  const std::string text = lf_text(object, "hexid", where);
  if (text.empty() || text.size() > 6) lf_fail(where, fmt::format("hexid \"{}\" is not 1 to 6 hex digits", text));
  std::uint32_t value = 0;
  for (char c : text) {
    const bool digit = c >= '0' && c <= '9';
    const bool lower = c >= 'a' && c <= 'f';
    const bool upper = c >= 'A' && c <= 'F';
    if (!digit && !lower && !upper) lf_fail(where, fmt::format("hexid \"{}\" is not 1 to 6 hex digits", text));
    value = value * 16 + static_cast<std::uint32_t>(digit ? c - '0' : lower ? c - 'a' + 10 : c - 'A' + 10);
  }
  return value;
}

const json& lf_array(const json& root, const char* key) {
  static const json empty = json::array();
  const auto member = root.find(key);
  if (member == root.end()) return empty;
  if (!member->is_array()) lf_fail(key, "not a list");
  return *member;
}

}  // namespace

TrafficScenario parseScenario(std::string_view text) {
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {
    lf_fail("JSON", e.what());
  }
  if (!root.is_object()) lf_fail("JSON", "the scenario is not an object");
  TrafficScenario scenario;
  const double start = lf_number(root, "start", "scenario");
  if (start < 1 || start > 4102444800.0) lf_fail("scenario", "\"start\" is not a time between 1970 and 2100");
  scenario.startTime = static_cast<std::int64_t>(start);

  const json& flights = lf_array(root, "flights");
  for (std::size_t i = 0; i < flights.size(); ++i) {
    const json& item = flights[i];
    std::string where = fmt::format("flights[{}]", i);
    if (!item.is_object()) lf_fail(where, "not an object");
    Flight flight;
    flight.hexid = lf_hexid(item, where);
    flight.callsign = lf_text(item, "callsign", where);
    where = fmt::format("flights[{}] {}", i, flight.callsign);
    flight.type = lf_text(item, "type", where);
    flight.registration = lf_text(item, "registration", where, "");
    flight.airline = lf_text(item, "airline", where, "");
    flight.origin = lf_text(item, "origin", where, "null");
    flight.destination = lf_text(item, "destination", where, "null");
    flight.sourceType = lf_text(item, "source", where, "adsb_icao");
    flight.emitterCategory = lf_text(item, "category", where, "A3");
    const auto track = item.find("track");
    if (track == item.end() || !track->is_array() || track->empty()) lf_fail(where, "\"track\" needs at least one point");
    for (std::size_t p = 0; p < track->size(); ++p) {
      const json& point = (*track)[p];
      const std::string at = fmt::format("{} track[{}]", where, p);
      if (!point.is_object()) lf_fail(at, "not an object");
      TrackPoint tp;
      tp.t = lf_number(point, "t", at);
      tp.lat = lf_number(point, "lat", at);
      tp.lon = lf_number(point, "lon", at);
      if (tp.lat < -90 || tp.lat > 90 || tp.lon < -180 || tp.lon > 180) lf_fail(at, "position outside the globe");
      tp.altitude = lf_number(point, "alt", at);
      tp.gs = lf_number(point, "gs", at);
      tp.track = lf_number(point, "track", at);
      tp.vs = lf_number(point, "vs", at, 0.0);
      tp.trueHeading = lf_number(point, "heading", at, tp.track);
      tp.roll = lf_number(point, "roll", at, 0.0);
      tp.tas = lf_number(point, "tas", at, -1.0);
      if (!flight.track.empty() && tp.t <= flight.track.back().t) lf_fail(at, "times must increase");
      flight.track.push_back(tp);
    }
    scenario.flights.push_back(std::move(flight));
  }

  const json& parked = lf_array(root, "parked");
  for (std::size_t i = 0; i < parked.size(); ++i) {
    const json& item = parked[i];
    const std::string where = fmt::format("parked[{}]", i);
    if (!item.is_object()) lf_fail(where, "not an object");
    ParkedAircraft aircraft;
    aircraft.hexid = lf_hexid(item, where);
    aircraft.callsign = lf_text(item, "callsign", where, "");
    aircraft.type = lf_text(item, "type", where);
    aircraft.registration = lf_text(item, "registration", where, "");
    aircraft.stand = lf_text(item, "stand", where);
    aircraft.lat = lf_number(item, "lat", where);
    aircraft.lon = lf_number(item, "lon", where);
    aircraft.seen = lf_number(item, "seen", where, 0.0);
    scenario.parked.push_back(std::move(aircraft));
  }

  const json& metars = lf_array(root, "metars");
  for (std::size_t i = 0; i < metars.size(); ++i) {
    const json& item = metars[i];
    const std::string where = fmt::format("metars[{}]", i);
    if (!item.is_object()) lf_fail(where, "not an object");
    Metar metar{lf_number(item, "t", where, 0.0), lf_text(item, "icao", where, ""), lf_text(item, "metar", where)};
    if (!scenario.metars.empty() && metar.t < scenario.metars.back().t) lf_fail(where, "times must not decrease");
    scenario.metars.push_back(std::move(metar));
  }
  return scenario;
}

TrafficScenario loadScenario(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(fmt::format("traffic scenario: cannot read {}", file.string()));
  std::ostringstream text;
  text << in.rdbuf();
  return parseScenario(text.str());
}

std::optional<TrackPoint> positionAt(const Flight& flight, double t) {
  const auto& track = flight.track;
  if (track.empty() || t < track.front().t || t > track.back().t) return std::nullopt;
  const auto next = std::upper_bound(track.begin(), track.end(), t, [](double time, const TrackPoint& p) { return time < p.t; });
  if (next == track.end()) return track.back();
  const TrackPoint& b = *next;
  const TrackPoint& a = *(next - 1);
  const double dt = b.t - a.t;
  const double f = (t - a.t) / dt;
  auto mix = [f](double x, double y) { return x + (y - x) * f; };
  // Along the segment the aircraft moves at its reported speeds, changing evenly between them, as
  // the real service's positions do: evenly spaced positions under a changing speed showed a
  // take-off roll at constant speed between reports and then a leap to the next one's.
  double along = f;
  const double meanGs = (a.gs + b.gs) / 2.0;
  if (a.gs >= 0.0 && b.gs >= 0.0 && meanGs > 0.0) {
    const double s = t - a.t;
    along = std::clamp((a.gs * s + (b.gs - a.gs) * s * s / (2.0 * dt)) / (meanGs * dt), 0.0, 1.0);
  }
  // Angles turn the short way round.
  auto mixAngle = [f](double x, double y) {
    double delta = std::fmod(y - x + 540.0, 360.0) - 180.0;
    double value = std::fmod(x + delta * f + 360.0, 360.0);
    return value;
  };
  TrackPoint p;
  p.t = t;
  p.lat = a.lat + (b.lat - a.lat) * along;
  p.lon = a.lon + (b.lon - a.lon) * along;
  p.altitude = mix(a.altitude, b.altitude);
  p.gs = mix(a.gs, b.gs);
  p.track = mixAngle(a.track, b.track);
  p.vs = mix(a.vs, b.vs);
  p.trueHeading = mixAngle(a.trueHeading, b.trueHeading);
  p.roll = mix(a.roll, b.roll);
  p.tas = a.tas < 0 || b.tas < 0 ? -1.0 : mix(a.tas, b.tas);
  return p;
}

const Metar* metarAt(const TrafficScenario& scenario, double t) {
  const Metar* found = nullptr;
  for (const Metar& metar : scenario.metars)
    if (metar.t <= t) found = &metar;
  return found;
}

std::optional<double> qnhOfMetar(std::string_view text) {
  std::istringstream words{std::string(text)};
  for (std::string word; words >> word;)
    if (word.size() == 5 && word[0] == 'Q' &&
        std::all_of(word.begin() + 1, word.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::stod(word.substr(1));
  return std::nullopt;
}

double scenarioQnhHpa(const TrafficScenario& scenario) {
  for (const Metar& metar : scenario.metars)
    if (const auto qnh = qnhOfMetar(metar.text)) return *qnh;
  return kStandardQnhHpa;
}

double scenarioEnd(const TrafficScenario& scenario) {
  double end = 0.0;
  for (const Flight& flight : scenario.flights) end = std::max(end, flight.track.back().t);
  for (const Metar& metar : scenario.metars) end = std::max(end, metar.t);
  return end;
}

ReplayLap replayLap(double elapsed, double end) {
  if (!(end > 0.0) || !(elapsed >= 0.0)) return {elapsed, 0};
  const double lap = std::ceil(end) + kLapPauseSeconds;
  const double laps = std::floor(elapsed / lap);
  return {elapsed - laps * lap, static_cast<std::int64_t>(laps * lap)};
}

void writeTextFileAtomically(const std::filesystem::path& file, const std::string& text) {
  const std::filesystem::path temporary = file.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + temporary.string());
  }
  std::filesystem::rename(temporary, file);
}

}  // namespace rtstandin
