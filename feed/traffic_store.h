#pragma once
// The checks and clean-ups that turn decoded RealTraffic fields into records. Each function
// stands alone; the store's two operations chain them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/parameter_snapshot.h"
#include "core/value_types.h"
#include "feed/traffic_records.h"

// The store: turns decoded fields into finished records. It keeps no state; what it needs comes
// in the filter context or from program-wide state (park airport, user aircraft, dbase).
class TrafficStore {
 public:
  // A live message: the checks and filters in order, then the finished record. No record when
  // the message is filtered out (the identity only when it was produced before the filter hit).
  // Throws std::runtime_error for a bad timestamp, position or true heading.
  TrafficAddResult addTraffic(const TrafficFields& fields, const TrafficFilterContext& context) const;
  // A parked aircraft; none when filtered out. Throws std::runtime_error "lalo: {}".
  std::optional<ParkedRecord> addParked(const ParkedFields& fields) const;
};

struct TrafficFieldCheck {
  std::int64_t seconds = 0;  // the timestamp rounded to the nearest second
  bool inside = false;       // within the snapshot's range of the query centre
};
// The time and position checks of a live message and its flat-earth distance to the centre
// against RANGE. {0, false} without a snapshot. Throws std::runtime_error
// "timestamp outside range: {:.3f}" and "invalid lalo: {}".
TrafficFieldCheck gf_checkTrafficFields(const TrafficFields& fields, const TrafficFilterContext& context);

// Whether a text is an ICAO airline designator: three capital letters A-Z.
bool gf_isIcaoAirlineDesignator(std::string_view code);
// What no aircraft reaches: a report beyond these is a broken or forged one, and the simulator
// must not be asked to place an object there.
inline constexpr double kMaxFeedAltitudeFt = 100'000.0;
inline constexpr double kMinFeedAltitudeFt = -5'000.0;
inline constexpr double kMaxFeedSpeedKt = 2'500.0;
inline constexpr double kMaxFeedVerticalRateFpm = 50'000.0;
// The first value of a live message beyond those limits ("altitude 1e+308 ft"); empty when all
// are within them or lost (NaN; the speeds and the rate only).
std::string gf_implausibleFlightValue(const TrafficFields& fields);
// Logs a refused flight once per hexid (and within the flood limit): any reader thread.
void gf_logRefusedFlight(std::uint32_t hexid, std::string_view refusedValue);
void gf_resetRefusedFlights();

// The dbase's correction of a wrong type designator, applied once; others come back unchanged.
std::string gf_fixTypeDesignator(std::string_view typeDesignator);

// False when the record is the aircraft the user blocked. What the record tells about that
// aircraft (hexid, registration, callsign) is published into the snapshot's blocked identity.
// Only fields set on both sides are compared: an empty callsign or registration, "null" or a
// zero hexid matches nothing.
bool gf_passesBlockFilter(const TrafficRecord& record, const SnapshotAcIdentity& blocked);

// Empty for "null", texts with '@', five zeros in a row, and lengths outside 3..8; a leading
// '.' is dropped (and the rest must still have 3 characters).
std::string gf_cleanCallsign(std::string_view callsign);
// Empty for "null" and lengths outside 3..12.
std::string gf_cleanRegistration(std::string_view registration);
// Empty, "null" and anything that is no IATA code (three letters or digits) give the absent
// code: a bad airport field must not cost the whole flight.
IataCode gf_iataCodeOrNull(std::string_view code);
// False for types and ADS-B emitter categories that are no aircraft (gliders, balloons,
// ground vehicles, towers, ...).
bool gf_isAircraftTraffic(std::string_view typeDesignator, std::string_view emitterCategory);
bool gf_isNonAircraftType(std::string_view typeDesignator);

// The position source whose true heading is read: "adsb_icao", alone or behind a one-letter
// prefix and an underscore ("F_adsb_icao", "X_adsb_icao").
bool gf_isAdsbIcaoSource(std::string_view sourceType);

// The true airspeed assumed at an altitude (ft) when the feed has none.
double gf_defaultTasKt(double altitudeFt);

// The half hour (0..47) of the UTC day of a time; before hh:29:30 counts as the first half of
// the hour. -1 when the time cannot be converted.
std::int32_t gf_parkedHalfHourSlot(std::int64_t timestamp);

// Barometric correction of the feed's altitude, blended from the low to the high formula between
// 17000 and 19000 ft; near the park airport an aircraft too low for its speed counts as on the
// ground (altitude 0). userAltitudeOffsetFt is the user aircraft's true minus indicated altitude,
// rtDirect the traffic source.
void gf_correctFeedAltitude(TrafficRecord& record, std::optional<double> parkAirportElevationFt, std::int32_t qnhHpa,
                            double userAltitudeOffsetFt, bool rtDirect);
// How far a feed altitude (as the feed gave it) moves when corrected for `toHpa` instead of `fromHpa`.
double gf_feedAltitudeShiftFt(double altitudeFt, std::int32_t fromHpa, std::int32_t toHpa, bool rtDirect);
