// The layout of a facility fixture, read with the parser the stand-in simulator serves it from.
#include "standin/sim/facility_layout.h"

#include <fmt/format.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <variant>

#include "standin/sim/sim_internal.h"

namespace standin::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthRadiusMetres = 6371008.8;
constexpr double kRad = kPi / 180.0;

double lf_number(const detail::FacilityObject& object, const char* field) {
  auto it = object.fields.find(field);
  if (it == object.fields.end() || !std::holds_alternative<double>(it->second)) return 0.0;
  return std::get<double>(it->second);
}

std::string lf_text(const detail::FacilityObject& object, const char* field) {
  auto it = object.fields.find(field);
  if (it == object.fields.end() || !std::holds_alternative<std::string>(it->second)) return {};
  return std::get<std::string>(it->second);
}

const detail::FacilityObject* lf_child(const detail::FacilityObject& object, const char* kind) {
  auto it = object.children.find(kind);
  return it == object.children.end() || it->second.empty() ? nullptr : &it->second.front();
}

std::string lf_designator(double number, double designator) {
  static constexpr const char* kLetters[] = {"", "L", "R", "C", "W", "A", "B"};
  const int letter = static_cast<int>(designator);
  return fmt::format("{:02d}{}", static_cast<int>(number), letter >= 0 && letter < 7 ? kLetters[letter] : "");
}

// GATE_A .. GATE_Z are 12 .. 37; the other names carry no letter worth showing.
std::string lf_standName(double name, double number) {
  const int code = static_cast<int>(name);
  const std::string prefix = code >= 12 && code <= 37 ? std::string(1, static_cast<char>('A' + code - 12)) : "";
  return fmt::format("{}{}", prefix, static_cast<long long>(number));
}

double lf_normalised(double degrees) {
  const double value = std::fmod(degrees, 360.0);
  return value < 0.0 ? value + 360.0 : value;
}

void lf_requireFinite(double value, const std::string& origin, const char* what) {
  if (!std::isfinite(value)) throw std::runtime_error(fmt::format("{}: {} is not a finite number", origin, what));
}

}  // namespace

double distanceMetres(double lat1, double lon1, double lat2, double lon2) {
  const double p1 = lat1 * kRad;
  const double p2 = lat2 * kRad;
  const double dp = p2 - p1;
  const double dl = (lon2 - lon1) * kRad;
  const double a = std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
  return 2.0 * kEarthRadiusMetres * std::asin(std::min(1.0, std::sqrt(a)));
}

double bearingDeg(double lat1, double lon1, double lat2, double lon2) {
  const double p1 = lat1 * kRad;
  const double p2 = lat2 * kRad;
  const double dl = (lon2 - lon1) * kRad;
  const double y = std::sin(dl) * std::cos(p2);
  const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
  return lf_normalised(std::atan2(y, x) / kRad);
}

void offsetPosition(double& lat, double& lon, double bearing, double metres) {
  const double d = metres / kEarthRadiusMetres;
  const double b = bearing * kRad;
  const double p1 = lat * kRad;
  const double l1 = lon * kRad;
  const double p2 = std::asin(std::sin(p1) * std::cos(d) + std::cos(p1) * std::sin(d) * std::cos(b));
  const double l2 = l1 + std::atan2(std::sin(b) * std::sin(d) * std::cos(p1), std::cos(d) - std::sin(p1) * std::sin(p2));
  lat = p2 / kRad;
  lon = std::remainder(l2 / kRad, 360.0);
}

FacilityLayout facilityLayoutFromJson(const std::string& json, const std::string& origin) {
  const detail::FacilityAirport airport = detail::parseFacilityAirport(json, origin);
  const detail::FacilityObject& top = airport.airport;
  FacilityLayout layout;
  layout.icao = lf_text(top, "ICAO");
  layout.name = lf_text(top, "NAME");
  layout.latitude = lf_number(top, "LATITUDE");
  layout.longitude = lf_number(top, "LONGITUDE");
  layout.elevationMetres = lf_number(top, "ALTITUDE");
  lf_requireFinite(layout.latitude + layout.longitude + layout.elevationMetres, origin, "the airport's position");
  if (auto runways = top.children.find("RUNWAY"); runways != top.children.end()) {
    for (const auto& object : runways->second) {
      LayoutRunway runway;
      runway.latitude = lf_number(object, "LATITUDE");
      runway.longitude = lf_number(object, "LONGITUDE");
      runway.altitudeMetres = lf_number(object, "ALTITUDE");
      runway.headingDeg = lf_normalised(lf_number(object, "HEADING"));
      runway.lengthMetres = lf_number(object, "LENGTH");
      runway.widthMetres = lf_number(object, "WIDTH");
      lf_requireFinite(runway.latitude + runway.longitude + runway.headingDeg + runway.lengthMetres, origin, "a runway");
      if (runway.lengthMetres <= 0.0) throw std::runtime_error(fmt::format("{}: a runway without length", origin));
      runway.primary.designator = lf_designator(lf_number(object, "PRIMARY_NUMBER"), lf_number(object, "PRIMARY_DESIGNATOR"));
      runway.secondary.designator =
          lf_designator(lf_number(object, "SECONDARY_NUMBER"), lf_number(object, "SECONDARY_DESIGNATOR"));
      runway.primary.headingDeg = runway.headingDeg;
      runway.secondary.headingDeg = lf_normalised(runway.headingDeg + 180.0);
      runway.primary.latitude = runway.secondary.latitude = runway.latitude;
      runway.primary.longitude = runway.secondary.longitude = runway.longitude;
      offsetPosition(runway.primary.latitude, runway.primary.longitude, runway.secondary.headingDeg, runway.lengthMetres / 2);
      offsetPosition(runway.secondary.latitude, runway.secondary.longitude, runway.headingDeg, runway.lengthMetres / 2);
      // Only an enabled threshold is displaced.
      if (const auto* threshold = lf_child(object, "PRIMARY_THRESHOLD"); threshold && lf_number(*threshold, "ENABLE") != 0)
        runway.primary.displacedMetres = lf_number(*threshold, "LENGTH");
      if (const auto* threshold = lf_child(object, "SECONDARY_THRESHOLD"); threshold && lf_number(*threshold, "ENABLE") != 0)
        runway.secondary.displacedMetres = lf_number(*threshold, "LENGTH");
      layout.runways.push_back(runway);
    }
  }
  if (auto stands = top.children.find("TAXI_PARKING"); stands != top.children.end()) {
    for (const auto& object : stands->second) {
      LayoutStand stand;
      stand.name = lf_standName(lf_number(object, "NAME"), lf_number(object, "NUMBER"));
      stand.latitude = layout.latitude;
      stand.longitude = layout.longitude;
      const double east = lf_number(object, "BIAS_X");
      const double north = lf_number(object, "BIAS_Z");
      lf_requireFinite(east + north, origin, "a stand's offset");
      // East first, then north: the simulator's own order for a stand's offset.
      offsetPosition(stand.latitude, stand.longitude, east >= 0 ? 90.0 : 270.0, std::fabs(east));
      offsetPosition(stand.latitude, stand.longitude, north >= 0 ? 0.0 : 180.0, std::fabs(north));
      stand.headingDeg = lf_normalised(lf_number(object, "HEADING"));
      stand.radiusMetres = lf_number(object, "RADIUS");
      stand.type = static_cast<int>(lf_number(object, "TYPE"));
      layout.stands.push_back(stand);
    }
  }
  return layout;
}

FacilityLayout readFacilityLayout(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(fmt::format("cannot open {}", file.string()));
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return facilityLayoutFromJson(text, file.string());
}

}  // namespace standin::sim
