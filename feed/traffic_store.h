#pragma once
// The checks and clean-ups that turn decoded RealTraffic fields into records. Each function
// stands alone; the store's two operations chain them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/value_types.h"
#include "feed/traffic_records.h"

// Empty for "null", texts with '@', five zeros in a row, and lengths outside 3..8; a leading
// '.' is dropped (and the rest must still have 3 characters).
std::string gf_cleanCallsign(std::string_view callsign);
// Empty for "null" and lengths outside 3..12.
std::string gf_cleanRegistration(std::string_view registration);
// "null" (and an empty text) is the absent code; anything else must be a valid IATA code
// (throws std::invalid_argument "'{}' IataCode: invalid string").
IataCode gf_iataCodeOrNull(std::string_view code);
// False for types and ADS-B emitter categories that are no aircraft (gliders, balloons,
// ground vehicles, towers, ...).
bool gf_isAircraftTraffic(std::string_view typeDesignator, std::string_view emitterCategory);
bool gf_isNonAircraftType(std::string_view typeDesignator);

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
