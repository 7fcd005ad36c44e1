#pragma once
// The stand records that the facility data reader fills: one Stand per parking position or
// helipad, and the airport record of the airport scan that holds them.
//
// Stand and StandOption are the parking subsystem's records; they live here, below both the
// reader and the parking code, so that neither has to reach up to the other. The park
// airport's table g_stands lives here for the same reason: the traffic engine and the parking
// code both read it, on lf_main only.
#include <fmt/format.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/geodesy.h"
#include "core/value_types.h"
#include "refdata/model_ids.h"

inline constexpr double kNmPerMetre = 0.0005399568034557236;

// One aircraft seen on, or expected on, a stand: on which weekday and in which half-hours.
struct StandOption {
  DbaseEntry identity;  // airline id and ModelId, compared whole
  std::string reg;
  std::string name1;        // first callsign seen, without a trailing '_'
  std::string name2;        // a second, different callsign; empty until one is seen
  std::uint64_t hours = 0;  // bit i: half-hour i of the day (UTC), i = 0..47
  std::uint32_t id = 0;     // 1-based within its stand; 0 marks a dead entry
  std::uint32_t day = 0;    // weekday 1..7
  std::uint32_t fromFile = 0;  // 1: read from the airport stand file; 0: learned
  std::uint32_t real = 0;      // 1: observed RealTraffic parking; 0: soft (expected)
  std::uint8_t cpl = 0;
  // The stand search passed it over because its aircraft was in use elsewhere: skipped by the
  // search until the parking adjustment renumbers the options. Still learned data, saved as such.
  std::uint8_t setAside = 0;
};

// "#1 HB-JNA SWR12:SWR34 day 3 hh 0x0000001fc000 real file cpl": an option as the logs show it.
template <>
struct fmt::formatter<StandOption> : fmt::formatter<std::string_view> {
  auto format(const StandOption& option, fmt::format_context& ctx) const {
    const std::string text =
        fmt::format("#{} {} {}:{} day {} hh {:#014x} {} {}{}", option.id, option.reg, option.name1, option.name2,
                    option.day, option.hours, option.real ? "real" : "soft", option.fromFile ? "file" : "learned",
                    option.cpl ? " cpl" : "");
    return fmt::formatter<std::string_view>::format(text, ctx);
  }
};

// Parking types 0..15 (the simulator's numbering), with the name that stand files and the
// simulator give each and the cargo and ramp flags that a named type implies.
inline constexpr std::uint32_t PARKING_NONE = 0;
inline constexpr std::uint32_t PARKING_GATE_SMALL = 8;
inline constexpr std::uint32_t PARKING_FUEL = 12;
inline constexpr std::uint32_t PARKING_VEHICLE = 13;  // a vehicle parking, never a stand
inline constexpr std::uint32_t PARKING_TYPE_COUNT = 16;

struct ParkingTypeInfo {
  std::string_view name;
  bool cargo = false;
  bool ramp = false;
};
// None for a type above 15.
std::optional<ParkingTypeInfo> gf_parkingTypeInfo(std::uint32_t type);
// "RAMP_CARGO" -> 5; none for a name not in the table (exact text).
std::optional<std::uint32_t> gf_parkingTypeOf(std::string_view name);

struct Stand {
  std::vector<StandOption> options;
  std::string name;                    // unique within one airport's table
  std::vector<std::int32_t> excludes;  // ids of overlapping stands
  Lalo position;
  double heading = 0.0;  // radians, 0 <= heading < 2 pi
  double radius = 0.0;   // nautical miles: half the width the stand offers
  std::uint32_t id = 0;  // 1-based number in its table; 0 in a stand just read
  std::uint32_t type = 0;
  std::uint8_t manual = 0;
  std::uint8_t taken = 0;
  std::uint8_t blocked = 0;
  std::uint8_t cargo = 0;
  std::uint8_t ramp = 0;
  std::uint8_t heli = 0;

  Stand() = default;
  // The radius comes in metres, as files and the simulator give it; the heading in radians of
  // any turn (a file's -90 degrees is held as 3 pi / 2).
  Stand(std::string standName, std::vector<StandOption> standOptions, Lalo standPosition, double headingRad,
        double radiusMetres, std::uint32_t parkingType, bool isCargo, bool isRamp, bool isHeli);

  // Whether an aircraft of the category and half wingspan (NM) may park here: not more than
  // 5.4 m wider than the stand, then by parking type. A helipad takes rotorcraft only, by the
  // width alone: the readers give every helipad type 0.
  bool fitsAircraft(AcCategory category, double halfWingspanNm) const;
};

// Heading in radians into [0, 2 pi); a value that is not finite becomes 0.
double gf_normalizeHeading(double headingRad);

// The park airport's stands, element k - 1 numbered k. Worker thread only.
extern std::vector<Stand> g_stands;

// Stand number k of a table, or null when the table has no element k - 1 carrying that number
// (0, out of range, or a table not numbered yet).
Stand* gf_standByNumber(std::span<Stand> stands, std::int64_t number);

// "          {:8}: excludes {}": the stand's name and the names of the stands of g_stands that
// its use excludes, joined by ","; empty for a stand that excludes none.
std::string gf_describeStandExcludes(const Stand& stand);

// An airport as the airport scan builds it: code, reference point, name, altitude and stands.
struct BglAirport {
  IcaoCode code;
  Lalo position;
  std::string name;
  std::int32_t altitude = 0;  // whole feet
  std::vector<Stand> stands;
};

// The stand-name prefix of a parking-name code: 1 "PARKING ", 2..9 "N_PARKING " to "NW_PARKING ",
// 10 "GATE ", 11 "DOCK ", 12..37 "GATE A" to "GATE Z", anything else "".
std::string gf_parkingNamePrefix(std::uint32_t code);
