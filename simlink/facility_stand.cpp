#include "simlink/facility_stand.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <utility>

std::vector<Stand> g_stands;

namespace {

constexpr std::array<ParkingTypeInfo, PARKING_TYPE_COUNT> kParkingTypes{{
    {"NONE", false, false},
    {"RAMP_GA", false, true},
    {"RAMP_GA_SMALL", false, true},
    {"RAMP_GA_MEDIUM", false, true},
    {"RAMP_GA_LARGE", false, true},
    {"RAMP_CARGO", true, false},
    {"RAMP_MIL_CARGO", true, false},
    {"RAMP_MIL_COMBAT", false, false},
    {"GATE_SMALL", false, false},
    {"GATE_MEDIUM", false, false},
    {"GATE_HEAVY", false, false},
    {"DOCK_GA", false, false},
    {"FUEL", false, false},
    {"VEHICLE", false, false},
    {"RAMP_GA_EXTRA", false, true},
    {"GATE_EXTRA", false, false},
}};

// How much wider than the stand an aircraft may be (half wingspan minus the stand's radius).
constexpr double kMaxOverhangNm = 0.0029157667386609074;       // 5.4 m
constexpr double kMaxFuelOverhangNm = 0.002699784017278618;    // 5.0 m
constexpr double kMaxExtraOverhangNm = 0.0009719222462203025;  // 1.8 m

constexpr double kTwoPi = 2.0 * geo::kPi;

bool lf_isOneOf(AcCategory category, std::initializer_list<int> categories) {
  for (const int c : categories)
    if (static_cast<int>(category) == c) return true;
  return false;
}

}  // namespace

std::optional<ParkingTypeInfo> gf_parkingTypeInfo(std::uint32_t type) {
  if (type >= kParkingTypes.size()) return std::nullopt;
  return kParkingTypes[type];
}

std::optional<std::uint32_t> gf_parkingTypeOf(std::string_view name) {
  for (std::uint32_t type = 0; type < kParkingTypes.size(); ++type)
    if (kParkingTypes[type].name == name) return type;
  return std::nullopt;
}

double gf_normalizeHeading(double headingRad) {
  if (!std::isfinite(headingRad)) return 0.0;
  double heading = std::fmod(headingRad, kTwoPi);
  if (heading < 0.0) heading += kTwoPi;
  // A tiny negative turn lands on 2 pi itself after the addition.
  return heading >= kTwoPi ? 0.0 : heading;
}

Stand::Stand(std::string standName, std::vector<StandOption> standOptions, Lalo standPosition, double headingRad,
             double radiusMetres, std::uint32_t parkingType, bool isCargo, bool isRamp, bool isHeli)
    : options(std::move(standOptions)),
      name(std::move(standName)),
      position(standPosition),
      heading(gf_normalizeHeading(headingRad)),
      radius(radiusMetres * kNmPerMetre),
      type(parkingType),
      cargo(isCargo ? 1 : 0),
      ramp(isRamp ? 1 : 0),
      heli(isHeli ? 1 : 0) {}

bool Stand::fitsAircraft(AcCategory category, double halfWingspanNm) const {
  const double overhang = halfWingspanNm - radius;
  if (!(overhang <= kMaxOverhangNm)) return false;
  if (heli) return category == AcCategory::rotorcraft;
  switch (type) {
    case 1:
    case 2:
    case 11:
      return lf_isOneOf(category, {0, 1, 2, 6});
    case 3:
      return lf_isOneOf(category, {2, 3, 6});
    case 4:
    case 5:
    case 10:
      return lf_isOneOf(category, {3, 4});
    case 6:
      return lf_isOneOf(category, {2, 3, 4, 6});
    case 7:
      return lf_isOneOf(category, {5, 6});
    case PARKING_GATE_SMALL:
      return lf_isOneOf(category, {0, 1, 2}) || (category == AcCategory::large && overhang <= 0.0);
    case 9:
      return lf_isOneOf(category, {2, 3});
    case PARKING_FUEL:
      return overhang <= kMaxFuelOverhangNm;
    case PARKING_NONE:
    case PARKING_VEHICLE:
      return false;
    default:  // 14, 15 and anything above
      return overhang <= kMaxExtraOverhangNm;
  }
}

Stand* gf_standByNumber(std::span<Stand> stands, std::int64_t number) {
  if (number < 1 || static_cast<std::uint64_t>(number) > stands.size()) return nullptr;
  Stand& stand = stands[static_cast<std::size_t>(number - 1)];
  return stand.id == static_cast<std::uint64_t>(number) ? &stand : nullptr;
}

std::string gf_describeStandExcludes(const Stand& stand) {
  if (stand.excludes.empty()) return "";
  std::string names;
  for (const std::int32_t number : stand.excludes) {
    const Stand* other = gf_standByNumber(g_stands, number);
    if (!other) continue;
    if (!names.empty()) names += ',';
    names += other->name;
  }
  return fmt::format("          {:8}: excludes {}", stand.name, names);
}

std::string gf_parkingNamePrefix(std::uint32_t code) {
  static constexpr std::array<const char*, 12> kPrefixes = {"",           "PARKING ",    "N_PARKING ", "NE_PARKING ",
                                                            "E_PARKING ", "SE_PARKING ", "S_PARKING ", "SW_PARKING ",
                                                            "W_PARKING ", "NW_PARKING ", "GATE ",      "DOCK "};
  if (code < kPrefixes.size()) return kPrefixes[code];
  if (code <= 37) return fmt::format("GATE {}", static_cast<char>('A' + (code - 12)));
  return "";
}
