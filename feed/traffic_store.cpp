#include "feed/traffic_store.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <ctime>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <unordered_set>

#include "config/sim_choice.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/feed_neighbours.h"
#include "refdata/registration.h"

namespace {

constexpr std::array<std::string_view, 5> kNonAircraftEmitters{"B1", "B2", "B4", "C1", "C2"};
constexpr std::array<std::string_view, 5> kNonAircraftTypes3{"FOX", "GND", "RF5", "TWR", "U15"};
constexpr std::array<std::string_view, 16> kNonAircraftTypes4{"ARCP", "AS16", "BALL", "DIMO", "EMER", "GLID",
                                                               "GLIM", "GRND", "JS3E", "PARA", "SERV", "SF25",
                                                               "SHIP", "ULAC", "VENT", "ZZZZ"};

constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kGroundRadiusSquaredNm = 25.0;  // ground traffic only within 5 NM of the park airport

// Flat-earth distance in NM, squared: good enough at the few tens of miles compared here.
double lf_flatDistanceSquaredNm(const Lalo& centre, double cosLat, const Lalo& position) {
  const double dLat = (centre.lat - position.lat) * 60.0;
  const double dLon = gf_wrapLongitude(centre.lon - position.lon) * cosLat * 60.0;
  return dLat * dLat + dLon * dLon;
}

// Heavy, large and business jets always come; the other categories by the user's switches.
bool lf_isCategoryIncluded(AcCategory category, const ParameterSnapshot& snapshot) {
  switch (category) {
    case AcCategory::none: return snapshot.lightAircraft;
    case AcCategory::twoprops: return snapshot.twoProps;
    case AcCategory::high_performance: return snapshot.highPerfAircraft;
    case AcCategory::rotorcraft: return snapshot.helicopters;
    default: return true;
  }
}

// The texts that reach the simulator and the window keep only what can be shown: a feed's
// control characters, escape sequences and direction overrides are dropped from them.
constexpr std::string_view TrafficFields::*kTrafficTexts[] = {
    &TrafficFields::callsign,        &TrafficFields::typeDesignator, &TrafficFields::registration,
    &TrafficFields::origin,          &TrafficFields::destination,    &TrafficFields::sourceType,
    &TrafficFields::emitterCategory, &TrafficFields::airlineCode,    &TrafficFields::codeText};
constexpr std::string_view ParkedFields::*kParkedTexts[] = {&ParkedFields::callsign, &ParkedFields::typeDesignator,
                                                            &ParkedFields::registration, &ParkedFields::standName};

template <typename Fields, std::size_t N>
struct PrintableTexts {
  PrintableTexts(const Fields& original, std::string_view Fields::*const (&members)[N]) : fields(original) {
    for (std::size_t i = 0; i < N; ++i) {
      texts[i] = gf_printableText(original.*members[i]);
      fields.*members[i] = texts[i];
    }
  }
  PrintableTexts(const PrintableTexts&) = delete;
  PrintableTexts& operator=(const PrintableTexts&) = delete;
  std::array<std::string, N> texts;
  Fields fields;  // its texts point into texts
};

bool lf_textsPrintable(const TrafficFields& fields) {
  return std::all_of(std::begin(kTrafficTexts), std::end(kTrafficTexts),
                     [&](auto member) { return gf_isPrintableText(fields.*member); });
}

bool lf_textsPrintable(const ParkedFields& fields) {
  return std::all_of(std::begin(kParkedTexts), std::end(kParkedTexts),
                     [&](auto member) { return gf_isPrintableText(fields.*member); });
}

constexpr std::size_t kRefusedHexidsKept = 4096;
std::mutex g_refusedMutex;
std::unordered_set<std::uint32_t> g_refusedHexids;

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
  std::array<char, 3> text{};
  std::uint32_t key = 0;
  if (!value_types_detail::packCode(code, text, key)) return IataCode();
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

bool gf_isAdsbIcaoSource(std::string_view sourceType) {
  constexpr std::string_view kAdsbIcao = "adsb_icao";
  if (sourceType.size() == kAdsbIcao.size() + 2 && sourceType[1] == '_' &&
      std::isalpha(static_cast<unsigned char>(sourceType[0])))
    sourceType.remove_prefix(2);
  return sourceType == kAdsbIcao;
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

namespace {

// The share of an altitude corrected as a flight level rather than by the QNH.
double lf_highWeight(double altitudeFt) {
  const double t = std::clamp((altitudeFt - 17000.0) / 2000.0, 0.0, 1.0);
  const double s = t * t * (3.0 - 2.0 * t);
  return s * s;
}

}  // namespace

double gf_feedAltitudeShiftFt(double altitudeFt, std::int32_t fromHpa, std::int32_t toHpa, bool rtDirect) {
  if (!(altitudeFt > 0.0) || fromHpa == toHpa) return 0.0;
  const double change = (static_cast<double>(toHpa) - fromHpa) * 30.0;
  const double w = lf_highWeight(altitudeFt);
  return rtDirect ? (1.0 - w) * change : -w * change;
}

void gf_correctFeedAltitude(TrafficRecord& record, std::optional<double> parkAirportElevationFt, std::int32_t qnhHpa,
                            double userAltitudeOffsetFt, bool rtDirect) {
  const double alt = record.altitude;
  record.altitudeQnh = qnhHpa;
  record.feedAltitude = alt;
  if (!(alt > 0.0)) {
    record.altitude = 0.0;
    return;
  }
  const double d = (static_cast<double>(qnhHpa) - 1013.25) * 30.0;
  const double low = rtDirect ? alt + d : alt;
  double high = rtDirect ? alt : alt - d;
  high += userAltitudeOffsetFt;
  const double w = lf_highWeight(alt);
  double corrected = std::max(0.0, low * (1.0 - w) + high * w);
  if (parkAirportElevationFt && corrected > 0.0 && corrected < 14000.0) {
    const double gs = std::isfinite(record.gs) ? record.gs : 0.0;  // a speed the feed lost counts as slow
    const double limit = gs > 120.0 ? 0.0 : gs <= 43.0 ? 90.0 : (120.0 - gs) / 77.0 * 45.0 + 45.0;
    const double height = corrected - *parkAirportElevationFt;
    if (height <= 0.0 || height <= limit) corrected = 0.0;
  }
  record.altitude = corrected;
}

TrafficFieldCheck gf_checkTrafficFields(const TrafficFields& fields, const TrafficFilterContext& context) {
  if (!context.snapshot) return {};
  if (!std::isfinite(fields.timestamp) || !(fields.timestamp > 0.0) || !(fields.timestamp < kTwoTo63))
    throw std::runtime_error(fmt::format("timestamp outside range: {:.3f}", fields.timestamp));
  TrafficFieldCheck check;
  check.seconds = std::llround(fields.timestamp);
  const Lalo lalo{fields.lat, fields.lon};
  if (!gf_isValidLalo(lalo)) throw std::runtime_error(fmt::format("invalid lalo: {}", lalo));
  check.inside = lf_flatDistanceSquaredNm(context.queryCentre, context.cosQueryLat, lalo) <=
                 context.snapshot->rangeNmSquared;
  return check;
}

std::string gf_implausibleFlightValue(const TrafficFields& fields) {
  if (!(fields.altitude <= kMaxFeedAltitudeFt && fields.altitude >= kMinFeedAltitudeFt))
    return fmt::format("altitude {:g} ft", fields.altitude);
  // A speed or rate the feed lost (NaN) has its own handling further on.
  if (std::abs(fields.gs) > kMaxFeedSpeedKt) return fmt::format("ground speed {:g} kt", fields.gs);
  if (std::abs(fields.TAS) > kMaxFeedSpeedKt) return fmt::format("true airspeed {:g} kt", fields.TAS);
  if (std::abs(fields.vs) > kMaxFeedVerticalRateFpm) return fmt::format("vertical rate {:g} ft/min", fields.vs);
  return {};
}

void gf_logRefusedFlight(std::uint32_t hexid, std::string_view refusedValue) {
  {
    std::lock_guard lock(g_refusedMutex);
    // Bounded: a flood of made-up hexids forgets old ones rather than growing without end.
    if (g_refusedHexids.size() >= kRefusedHexidsKept) g_refusedHexids.clear();
    if (!g_refusedHexids.insert(hexid).second) return;
  }
  gf_logLimited("Refused flight",
                fmt::format("Refused flight {:06X}: {} is beyond any aircraft", hexid, gf_escapedText(refusedValue)));
}

void gf_resetRefusedFlights() {
  std::lock_guard lock(g_refusedMutex);
  g_refusedHexids.clear();
}

std::string gf_fixTypeDesignator(std::string_view typeDesignator) {
  // The fixes are read with the dbase, before any reader starts, and only read afterwards.
  const auto fix = g_dbaseModelFixes.find(typeDesignator);
  return fix == g_dbaseModelFixes.end() ? std::string(typeDesignator) : fix->second;
}

bool gf_passesBlockFilter(const TrafficRecord& record, const SnapshotAcIdentity& blocked) {
  const bool blockedRegistrationSet = !blocked.regcode.empty() && blocked.regcode != "null";
  const bool sameHexid = blocked.hexid != 0 && blocked.hexid == record.hexid;
  const bool sameRegistration =
      blockedRegistrationSet && !record.registration.empty() && blocked.regcode == record.registration;
  const bool sameCallsign = !blocked.callsign.empty() && !record.callsign.empty() && blocked.callsign == record.callsign;
  const bool sameStem = blocked.callsignEndsInUnderscore && !blocked.callsign.empty() && !record.callsign.empty() &&
                        std::string_view(blocked.callsign).substr(0, blocked.callsign.size() - 1) == record.callsign;
  if (!sameHexid && !sameRegistration && !sameCallsign && !sameStem) return true;

  // Learn only what the record knows, and only while the user still blocks the same aircraft.
  gf_changeParameterSnapshot([&](ParameterSnapshot& snapshot) {
    SnapshotAcIdentity& identity = snapshot.blocked;
    if (identity.aircraft != blocked.aircraft) return;
    const auto adoptRegistration = [&] {
      if (!record.registration.empty()) identity.regcode = record.registration;
    };
    if (sameHexid) {
      if (!blockedRegistrationSet) adoptRegistration();
    } else if (sameRegistration) {
      identity.hexid = record.hexid;
    } else if (sameCallsign) {
      identity.hexid = record.hexid;
      adoptRegistration();
    } else {
      identity.callsign = record.callsign;
      identity.hexid = record.hexid;
      adoptRegistration();
      identity.callsignEndsInUnderscore = false;
    }
  });
  return false;
}

bool gf_isIcaoAirlineDesignator(std::string_view code) {
  return code.size() == 3 && std::all_of(code.begin(), code.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

TrafficAddResult TrafficStore::addTraffic(const TrafficFields& fields, const TrafficFilterContext& context) const {
  if (!lf_textsPrintable(fields)) {
    const PrintableTexts<TrafficFields, std::size(kTrafficTexts)> printable(fields, kTrafficTexts);
    return addTraffic(printable.fields, context);
  }
  TrafficAddResult result;
  const TrafficFieldCheck check = gf_checkTrafficFields(fields, context);
  result.timestampSeconds = check.seconds;
  if (!check.inside) return result;
  result.refusedValue = gf_implausibleFlightValue(fields);
  if (!result.refusedValue.empty()) return result;
  const ParameterSnapshot& snapshot = *context.snapshot;

  TrafficRecord record;
  record.lalo = {fields.lat, fields.lon};
  record.timestamp = fields.timestamp;
  record.hexid = fields.hexid;
  record.registration = gf_cleanRegistration(fields.registration);
  record.callsign = gf_cleanCallsign(fields.callsign);
  std::string type = gf_fixTypeDesignator(fields.typeDesignator);
  if (!gf_isAircraftTraffic(type, fields.emitterCategory)) return result;

  // Only a designator names the operator: RealTraffic's own app layout carries an
  // authentication number in this field, and the feed writes "null" for an absent text.
  if (gf_isIcaoAirlineDesignator(fields.airlineCode))
    record.airlineId = gf_internAirlineName(fields.airlineCode);
  else if (!record.callsign.empty())
    record.setAirlineFromCallsign();
  if (type == "B777") {
    record.modelId = gf_internModelName(type);
    if (gf_isCargo(record.identity())) {
      type = "B77F";
      record.cargo777 = 1;
    }
  }
  record.modelId = gf_internModelName(type);

  if (gf_isAdsbIcaoSource(fields.sourceType)) {
    const double heading = fields.trueheading;
    if (heading > 360.0) throw std::runtime_error(fmt::format("true heading: {:.2f}", heading));
    if (heading == 0.0 || heading > 0.0) {
      record.trueHeadingRad = heading == 0.0 ? 2.0 * geo::kPi : heading * geo::kDegToRad;
      record.hasTrueHeading = true;
    }
  }
  if (record.hexid < 10001) return result;

  record.altitude = fields.altitude;
  record.gs = fields.gs;
  const auto user = g_userAcPosition.load();
  gf_correctFeedAltitude(record, context.parkAirportElevationFt, context.qnhHpa,
                         user->altitude - user->indicatedAltitude, gf_isRtDirect());
  record.airborne = fields.altitude > 0.0;
  if (record.airborne && gf_categoryOf(record.modelId) != AcCategory::rotorcraft &&
      !(std::isfinite(record.gs) && record.gs > 0.0))
    return result;

  if (context.collectIdentity && context.identityBeforeNameChecks)
    result.identity = LiveIdentity{record.callsign, record.hexid};
  if (record.callsign.empty() && record.registration.empty()) return result;
  if (!record.airborne && context.dropZeroCodeOnGround && fields.codeText == "0000") return result;
  if (context.collectIdentity && !context.identityBeforeNameChecks)
    result.identity = LiveIdentity{record.callsign, record.hexid};

  if (!record.airborne) {
    const std::optional<Lalo> airport = gf_feedParkAirport();
    if (!airport || !gf_isValidLalo(*airport) ||
        lf_flatDistanceSquaredNm(*airport, std::cos(airport->lat * geo::kDegToRad), record.lalo) >
            kGroundRadiusSquaredNm)
      return result;
  }
  if (!snapshot.blocked.aircraft.empty() && !gf_passesBlockFilter(record, snapshot.blocked)) return result;

  record.track = fields.track;
  if (record.track == 0.0 && record.trueHeadingRad) record.track = *record.trueHeadingRad * geo::kRadToDeg;
  record.vs = std::isfinite(fields.vs) ? fields.vs : 0.0;
  record.origin = gf_iataCodeOrNull(fields.origin);
  record.destination = gf_iataCodeOrNull(fields.destination);
  if (record.airborne && fields.roll != -1.0 && std::isfinite(fields.roll) && std::abs(fields.roll) <= 90.0)
    record.rollRad = -fields.roll * geo::kDegToRad;
  record.TAS = fields.TAS == -1.0 ? gf_defaultTasKt(record.altitude) : fields.TAS;
  result.record = std::move(record);
  return result;
}

std::optional<ParkedRecord> TrafficStore::addParked(const ParkedFields& fields) const {
  if (!lf_textsPrintable(fields)) {
    const PrintableTexts<ParkedFields, std::size(kParkedTexts)> printable(fields, kParkedTexts);
    return addParked(printable.fields);
  }
  if (fields.hexid < 10001 || fields.timestamp < 1 || fields.typeDesignator.empty()) return std::nullopt;
  ParkedRecord record;
  record.halfHourSlot = gf_parkedHalfHourSlot(fields.timestamp);
  record.registration = gf_cleanRegistration(fields.registration);
  record.callsign = gf_cleanCallsign(fields.callsign);

  std::string type = gf_fixTypeDesignator(fields.typeDesignator);
  if (const auto entry = record.registration.empty() ? std::nullopt : gf_lookupRegistration(record.registration)) {
    record.setIdentity(*entry);
    if (record.callsign.empty()) record.callsign = record.registration;
  } else {
    if (!record.callsign.empty()) record.setAirlineFromCallsign();
    if (type == "B777") {
      record.modelId = gf_internModelName(type);
      if (gf_isCargo(record.identity())) {
        type = "B77F";
        record.cargo777 = 1;
      }
    }
    if (!gf_isIcaoModelCode(type)) return std::nullopt;
    record.modelId = gf_internModelName(type);
  }

  const Lalo lalo{fields.lat, fields.lon};
  if (!gf_isValidLalo(lalo)) throw std::runtime_error(fmt::format("lalo: {}", lalo));

  if (record.registration.empty() && !record.callsign.empty()) {
    if (const auto entry = gf_lookupRegistration(record.callsign)) {
      record.registration = record.callsign;
      record.setIdentity(*entry);
      if (entry->operatorId == 0 || gf_airlineName(entry->operatorId).empty()) record.airlineId = entry->airlineId;
      else record.airlineId = entry->operatorId;
    }
  }

  const auto snapshot = g_parameterSnapshot.load();
  if (!gf_isIcaoModelCode(gf_modelName(record.modelId)) ||
      !lf_isCategoryIncluded(gf_categoryOf(record.modelId), *snapshot))
    return std::nullopt;

  if (fields.standName.empty()) return std::nullopt;
  std::optional<std::string> userStand = gf_feedUserStand();
  if (!userStand || userStand->empty()) {
    const UserAcPosition user = gf_feedUserAcState();
    if (gf_isUserPositionKnown(user)) userStand = gf_feedStandNameAtPos({user.latitude, user.longitude});
  }
  if (userStand && *userStand == fields.standName) return std::nullopt;

  record.lalo = lalo;
  record.hexid = fields.hexid;
  record.standName = std::string(fields.standName);
  return record;
}
