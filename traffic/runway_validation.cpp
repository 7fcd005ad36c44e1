#include "traffic/runway_validation.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "core/log.h"
#include "refdata/airports.h"
#include "simlink/facility_helpers.h"
#include "traffic/runway_matching.h"

std::vector<Runway> g_parkRunways;
std::string g_runwayCheckIcao;
std::string g_runwayCheckPublisher;

namespace {

struct IgnoredRunway {
  std::string_view publisher;
  std::string_view icao;
  std::uint32_t primaryNumber;
  std::uint32_t primaryDesignator;
  std::uint32_t secondaryNumber;
  std::uint32_t secondaryDesignator;
  std::string_view reason;
};

// Runways the simulator still has but the airports no longer use.
constexpr std::array<IgnoredRunway, 2> g_ignoredRunways = {{
    {"stock", "CYUL", 10, 0, 28, 0, "permanently converted to Taxiway C"},
    {"stock", "CYYC", 8, 0, 26, 0, "permanently converted to Taxiway L"},
}};

constexpr double kAltitudeToleranceFt = 100.0;
constexpr double kBearingToleranceDeg = 0.1;
constexpr double kLengthToleranceShare = 0.001;
constexpr double kLengthToleranceMinM = 1.0;
constexpr double kMaxCentreDistanceNm = 10.0;
constexpr double kMetresPerNm = 1852.0;

bool lf_isNearZero(const Lalo& p) { return std::fabs(p.lat) <= 0.0001 && std::fabs(p.lon) <= 0.0001; }

bool lf_numbersReciprocal(const Runway& r) {
  const auto isRunwayNumber = [](std::uint32_t n) { return n >= 1 && n <= 36; };
  if (!isRunwayNumber(r.primaryNumber) || !isRunwayNumber(r.secondaryNumber)) return true;
  return r.secondaryNumber == ((r.primaryNumber + 17) % 36) + 1;
}

bool lf_designatorsReciprocal(const Runway& r) {
  switch (r.primaryDesignator) {
    case 0:
      return r.secondaryDesignator == 0;
    case 1:
      return r.secondaryDesignator == 2;  // L pairs with R
    case 2:
      return r.secondaryDesignator == 1;
    case 3:
      return r.secondaryDesignator == 3;  // C and W pair with themselves
    case 4:
      return r.secondaryDesignator == 4;
    default:
      return true;
  }
}

std::optional<double> lf_startAltitude(const RunwayStart& start, bool present) {
  return present ? std::optional<double>(start.altitude) : std::nullopt;
}

std::optional<std::string> lf_startAltitudeProblem(const Runway& r, bool primary) {
  const bool present = primary ? r.hasPrimaryStart : r.hasSecondaryStart;
  const RunwayStart& own = primary ? r.primaryStart : r.secondaryStart;
  const RunwayStart& other = primary ? r.secondaryStart : r.primaryStart;
  const bool otherPresent = primary ? r.hasSecondaryStart : r.hasPrimaryStart;
  const ElevationChoice choice =
      gf_chooseElevation(r.altitude, lf_startAltitude(own, present), lf_startAltitude(other, otherPresent));
  if (!choice.deviates || !present) return std::nullopt;
  return fmt::format("{} START altitude {:.1f} ft differs from runway center {:.1f} ft; using runway center altitude",
                     primary ? "primary" : "secondary", own.altitude, r.altitude);
}

}  // namespace

std::vector<std::string> gf_runwayProblems(const Runway& r, std::set<std::string>& names, const Lalo& reference) {
  std::vector<std::string> problems;
  const auto check = [&problems](bool passed, std::string_view text) {
    if (!passed) problems.emplace_back(text);
  };
  check(names.insert(gf_runwayPairName(r)).second, "duplicate runway designation");
  const bool endsValid = gf_isValidLalo(r.centre) && gf_isValidLalo(r.primaryEnd) && gf_isValidLalo(r.secondaryEnd);
  check(endsValid, "invalid center or endpoint coordinates");
  check(gf_isRunwayHeadingValid(r.heading), "invalid facility heading");
  check(gf_isRunwayLengthValid(r.length), "implausible runway length");
  check(gf_isRunwayWidthValid(r.width), "implausible runway width");
  check(std::isfinite(r.altitude), "invalid runway altitude");
  check(lf_numbersReciprocal(r), "runway numbers are not reciprocal");
  check(lf_designatorsReciprocal(r), "runway designators are not reciprocal");
  check(r.hasPrimaryStart && r.hasSecondaryStart, "one or both runway START records are missing");
  for (const bool primary : {true, false})
    if (auto problem = lf_startAltitudeProblem(r, primary)) problems.push_back(std::move(*problem));
  if (endsValid && std::isfinite(r.heading)) {
    const double bearing = gf_bearingRad(r.primaryEnd, r.secondaryEnd) * geo::kRadToDeg;
    check(std::fabs(std::remainder(bearing - r.heading, 360.0)) <= kBearingToleranceDeg,
          "endpoint bearing differs from facility heading");
  }
  if (endsValid && std::isfinite(r.length)) {
    const double distance = gf_distanceNm(r.primaryEnd, r.secondaryEnd) * kMetresPerNm;
    check(std::fabs(distance - r.length) <= std::max(kLengthToleranceShare * r.length, kLengthToleranceMinM),
          "endpoint distance differs from facility length");
  }
  if (!lf_isNearZero(reference) && !lf_isNearZero(r.centre))
    check(gf_distanceNm(reference, r.centre) <= kMaxCentreDistanceNm,
          "center is more than 10 NM from airport reference point");
  return problems;
}

std::optional<std::string_view> gf_ignoredRunwayReason(std::string_view publisher, std::string_view icao,
                                                       const Runway& r) {
  for (const IgnoredRunway& e : g_ignoredRunways) {
    if (e.publisher != publisher || e.icao != icao) continue;
    const bool asListed = r.primaryNumber == e.primaryNumber && r.primaryDesignator == e.primaryDesignator &&
                          r.secondaryNumber == e.secondaryNumber && r.secondaryDesignator == e.secondaryDesignator;
    const bool swapped = r.primaryNumber == e.secondaryNumber && r.primaryDesignator == e.secondaryDesignator &&
                         r.secondaryNumber == e.primaryNumber && r.secondaryDesignator == e.primaryDesignator;
    if (asListed || swapped) return e.reason;
  }
  return std::nullopt;
}

namespace {

// The airport and publisher whose runway read is in flight.
struct RunwayCheck {
  std::string icao;
  std::string publisher;
};
std::optional<RunwayCheck> g_pendingRunwayCheck;

void lf_failRunwayCheck(const std::string& icaoText) {
  gf_logWarning(fmt::format("RUNWAY_HEADING: reading runway facilities for {} failed", icaoText));
}

void lf_takeRunways(const RunwayCheck& check, FacilityRunways read) {
  const std::string& icaoText = check.icao;
  const std::string_view publisher = check.publisher;
  if (!read.valid) {
    lf_failRunwayCheck(icaoText);
    return;
  }
  g_runwayCheckIcao = icaoText;
  g_runwayCheckPublisher = check.publisher;
  g_parkRunways = std::move(read.runways);

  // Without a park airport there is no altitude to compare with.
  if (const std::optional<double> parkAltitude = gf_parkAirportElevation();
      parkAltitude && std::fabs(read.altitude - *parkAltitude) > kAltitudeToleranceFt)
    gf_logWarning(fmt::format(
        "RUNWAY_HEADING: {} airport altitude difference too large: Facilities={:.1f} ft, airport file={:.1f} ft, "
        "difference={:+.1f} ft",
        icaoText, read.altitude, *parkAltitude, read.altitude - *parkAltitude));

  std::set<std::string> names;
  for (const Runway& runway : g_parkRunways) {
    const Lalo reference = gf_parkAirportRecord().position;
    const std::string name = gf_runwayPairName(runway);
    for (const std::string& problem : gf_runwayProblems(runway, names, reference))
      gf_logWarning(fmt::format("RUNWAY_HEADING: {} runway {}: {}", icaoText, name, problem));
  }

  std::erase_if(g_parkRunways, [&](const Runway& runway) {
    const std::optional<std::string_view> reason = gf_ignoredRunwayReason(publisher, icaoText, runway);
    if (!reason) return false;
    const std::string name = gf_runwayPairName(runway);
    gf_log(fmt::format("RUNWAY_HEADING: {} {} runway {} ignored: {}", icaoText, publisher, name, *reason));
    names.erase(name);
    return true;
  });

  const std::size_t left = g_parkRunways.size();
  gf_log(fmt::format("RUNWAY_HEADING: {} {} {}: {}", icaoText, left, left == 1 ? "runway" : "runways",
                     fmt::join(names, ", ")));
}

}  // namespace

void gf_checkRunwayFacilities(IcaoCode icao, std::string_view publisher) {
  const std::string icaoText(icao.text());
  if (icaoText == g_runwayCheckIcao && publisher == g_runwayCheckPublisher) return;
  if (g_pendingRunwayCheck && g_pendingRunwayCheck->icao == icaoText && g_pendingRunwayCheck->publisher == publisher)
    return;  // its answer is on the way
  gf_resetParkRunways();
  if (!gf_startFacilityRunwaysRead(icaoText)) {
    lf_failRunwayCheck(icaoText);
    return;
  }
  g_pendingRunwayCheck = RunwayCheck{icaoText, std::string(publisher)};
}

bool gf_pollRunwayFacilities() {
  if (!g_pendingRunwayCheck) return false;
  std::optional<FacilityRunways> read = gf_pollFacilityRunwaysRead();
  if (!read) return true;
  const RunwayCheck check = std::move(*g_pendingRunwayCheck);
  g_pendingRunwayCheck.reset();
  lf_takeRunways(check, std::move(*read));
  return false;
}

bool gf_runwayCheckPending() { return g_pendingRunwayCheck.has_value(); }

void gf_resetParkRunways() {
  if (g_pendingRunwayCheck) {
    g_pendingRunwayCheck.reset();
    gf_dropFacilityRunwaysRead();
  }
  g_parkRunways.clear();
  g_runwayCheckIcao.clear();
  g_runwayCheckPublisher.clear();
}
