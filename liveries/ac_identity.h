#pragma once
// The identity that opens every aircraft the engine handles, live or static: the feed's record
// head followed by the model data that decide how the aircraft moves and where it may park,
// and the livery match's results. The livery match and the traffic engine both build on it.
#include <cstdint>
#include <string_view>
#include <type_traits>

#include <fmt/format.h>

#include "feed/traffic_records.h"
#include "refdata/model_ids.h"

struct AcIdentity : FeedRecordHead {
  double wingspan = 0.0;          // half the wingspan, NM
  double groundRadius = 0.0;      // NM: the room it takes on the ground, 18..65 m
  double wideGroundRadius = 0.0;  // NM: 1.25 groundRadius
  double takeoffPitch = 0.0;      // rad, negative is nose up
  // What the engine's tick reads of every aircraft, on one cache line of the record.
  double cgHeightFt = 0.0;        // centre of gravity over the ground
  double refPitch = 0.0;          // rad, on the ground
  double defaultTurnPerStep = 0.0;  // rad per tick, the category's turn rate
  double maxTurnPerStep = 0.0;      // rad per tick, the turn rate in use; the engine starts it at the default
  double accelerationLimit = 0.0;   // kt per step: the most the ground speed may change, by category
  double pushbackSpeedKt = 0.0;     // pushing back and pulling out of a stand, by category
  std::uint32_t hexid = 0;          // set by whoever creates the aircraft
  AcCategory category = AcCategory::large;
  std::int32_t rolloutSteps = 0;    // steps to bring pitch and bank to their ground values after touch-down
  bool cgHeightFlag = false;        // cgHeightFt and refPitch are the simulator's own answer
  bool prepared = false;            // the spawn's identity fix-ups (registration, airline, cargo) are done
  bool isLarge = false;  // buzjet, large or heavy
  bool isRegional = false;
  bool isLightTwin = false;
  bool isLightSingle = false;
  double climbPitch = 0.0;        // rad
  std::int32_t flareSteps = 0;
  std::int32_t secondSteps = 0;
  std::int32_t rotationSteps = 0;
  std::int32_t climbPitchSteps = 0;

  // Filled by the livery match. The title is a view into the livery database, which lives as
  // long as the aircraft records; empty: no livery.
  std::string_view matchedTitle;
  std::uint8_t isFsltlLivery = 0;
  std::uint8_t tcasCoverage = 0;

  AcIdentity() = default;
  // Takes the head and fills the model data from the dbase tables (category, half wingspan,
  // the category's tables, the type classes). The two pitches are randomised a little.
  explicit AcIdentity(FeedRecordHead head);
};

// "{}" of an aircraft (live, static or its identity) in log lines names the flight: callsign,
// registration, route, then the identity's own text (FeedRecordHead::toString). A bare record
// head keeps its own formatter, the identity's text alone.
template <class Aircraft>
struct fmt::formatter<Aircraft, char, std::enable_if_t<std::is_base_of_v<AcIdentity, Aircraft>>>
    : fmt::formatter<std::string_view> {
  auto format(const Aircraft& aircraft, fmt::format_context& ctx) const {
    return fmt::formatter<std::string_view>::format(aircraft.toString(), ctx);
  }
};

// The model data of a category (pitches in degrees as stored, negative nose up).
struct CategoryModel {
  double turnRateDeg;
  std::int32_t flareSteps;
  std::int32_t secondSteps;
  std::int32_t rotationSteps;
  std::int32_t climbPitchSteps;
  double takeoffPitchDeg;
  double climbPitchDeg;
  double cgHeightFt;
};
// Throws std::out_of_range "invalid unordered_map<K, T> key" for a value outside 0..6.
const CategoryModel& gf_categoryModel(AcCategory category);

// Whether the user wants aircraft of the category: buzjets, large and heavy always; the others
// by LIGHT_AIRCRAFT, TWO_PROPS, HIGH_PERF_AIRCRAFT and HELICOPTERS of the current snapshot.
bool gf_isCategoryIncluded(AcCategory category);
