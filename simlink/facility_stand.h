#pragma once
// The stand records that the facility data reader fills: one Stand per parking position or
// helipad, and the airport record of the airport scan that holds them.
//
// Stand and StandOption are the parking subsystem's records; they live here, below both the
// reader and the parking code, so that neither has to reach up to the other.
#include <cstdint>
#include <string>
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
  std::uint32_t fromFile = 0;
  std::uint32_t real = 0;
  std::uint8_t cpl = 0;
};

// Parking types 0..15 (the simulator's numbering); 13 is a vehicle parking, never a stand.
struct Stand {
  std::vector<StandOption> options;
  std::string name;                    // unique within one airport's table
  std::vector<std::int32_t> excludes;  // ids of overlapping stands
  Lalo position;
  double heading = 0.0;  // radians
  double radius = 0.0;   // nautical miles
  std::uint32_t id = 0;  // 1-based number in its table; 0 in a stand just read
  std::uint32_t type = 0;
  std::uint8_t manual = 0;
  std::uint8_t taken = 0;
  std::uint8_t blocked = 0;
  std::uint8_t cargo = 0;
  std::uint8_t ramp = 0;
  std::uint8_t heli = 0;

  Stand() = default;
  // The radius comes in metres, as files and the simulator give it.
  Stand(std::string standName, std::vector<StandOption> standOptions, Lalo standPosition, double headingRad,
        double radiusMetres, std::uint32_t parkingType, bool isCargo, bool isRamp, bool isHeli)
      : options(std::move(standOptions)),
        name(std::move(standName)),
        position(standPosition),
        heading(headingRad),
        radius(radiusMetres * kNmPerMetre),
        type(parkingType),
        cargo(isCargo ? 1 : 0),
        ramp(isRamp ? 1 : 0),
        heli(isHeli ? 1 : 0) {}
};

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
