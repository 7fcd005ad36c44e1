#include "feed/traffic_store.h"

#include <algorithm>
#include <array>
#include <ctime>

namespace {

constexpr std::array<std::string_view, 5> kNonAircraftEmitters{"B1", "B2", "B4", "C1", "C2"};
constexpr std::array<std::string_view, 5> kNonAircraftTypes3{"FOX", "GND", "RF5", "TWR", "U15"};
constexpr std::array<std::string_view, 16> kNonAircraftTypes4{"ARCP", "AS16", "BALL", "DIMO", "EMER", "GLID",
                                                               "GLIM", "GRND", "JS3E", "PARA", "SERV", "SF25",
                                                               "SHIP", "ULAC", "VENT", "ZZZZ"};

template <std::size_t N>
bool lf_contains(const std::array<std::string_view, N>& list, std::string_view text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

}  // namespace

std::string gf_cleanCallsign(std::string_view callsign) {
  if (callsign.empty() || callsign == "null" || callsign.find('@') != std::string_view::npos) return {};
  if (callsign.size() >= 5 && callsign.find("00000") != std::string_view::npos) return {};
  if (callsign.size() < 3 || callsign.size() > 8) return {};
  if (callsign.front() == '.') {
    callsign.remove_prefix(1);
    if (callsign.size() < 3) return {};
  }
  return std::string(callsign);
}

std::string gf_cleanRegistration(std::string_view registration) {
  if (registration == "null" || registration.size() < 3 || registration.size() > 12) return {};
  return std::string(registration);
}

IataCode gf_iataCodeOrNull(std::string_view code) {
  // An empty field is as absent as "null": refusing it would drop the whole aircraft.
  if (code.empty() || code == "null") return IataCode();
  return IataCode(code);
}

bool gf_isAircraftTraffic(std::string_view typeDesignator, std::string_view emitterCategory) {
  if (typeDesignator.empty() || typeDesignator == "null" || typeDesignator == "0" || typeDesignator == "ZZZZ")
    return false;
  if (lf_contains(kNonAircraftEmitters, emitterCategory)) return false;
  return !gf_isNonAircraftType(typeDesignator);
}

bool gf_isNonAircraftType(std::string_view typeDesignator) {
  switch (typeDesignator.size()) {
    case 2: return false;
    case 3: return lf_contains(kNonAircraftTypes3, typeDesignator);
    case 4: return lf_contains(kNonAircraftTypes4, typeDesignator);
    default: return true;
  }
}

double gf_defaultTasKt(double altitudeFt) {
  if (altitudeFt <= 2000.0) return 180.0;
  if (altitudeFt <= 5000.0) return 220.0;
  if (altitudeFt <= 10000.0) return 250.0;
  if (altitudeFt <= 20000.0) return 350.0;
  return 430.0;
}

std::int32_t gf_parkedHalfHourSlot(std::int64_t timestamp) {
  const std::time_t time = static_cast<std::time_t>(timestamp);
  std::tm utc{};
  if (!::gmtime_r(&time, &utc)) return -1;
  const bool secondHalf = utc.tm_min * 60 + utc.tm_sec >= 29 * 60 + 30;
  return (utc.tm_hour * 2 + (secondHalf ? 1 : 0)) % 48;
}

void gf_correctFeedAltitude(TrafficRecord& record, std::optional<double> parkAirportElevationFt, std::int32_t qnhHpa,
                            double userAltitudeOffsetFt, bool rtDirect) {
  const double alt = record.altitude;
  if (!(alt > 0.0)) {
    record.altitude = 0.0;
    return;
  }
  const double d = (static_cast<double>(qnhHpa) - 1013.25) * 30.0;
  const double low = rtDirect ? alt + d : alt;
  double high = rtDirect ? alt : alt - d;
  high += userAltitudeOffsetFt;
  const double t = std::clamp((alt - 17000.0) / 2000.0, 0.0, 1.0);
  const double s = t * t * (3.0 - 2.0 * t);
  const double w = s * s;
  double corrected = std::max(0.0, low * (1.0 - w) + high * w);
  if (parkAirportElevationFt && corrected > 0.0 && corrected < 14000.0) {
    const double gs = record.gs;
    const double limit = gs > 120.0 ? 0.0 : gs <= 43.0 ? 90.0 : (120.0 - gs) / 77.0 * 45.0 + 45.0;
    const double height = corrected - *parkAirportElevationFt;
    if (height <= 0.0 || height <= limit) corrected = 0.0;
  }
  record.altitude = corrected;
}
