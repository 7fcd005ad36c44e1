#include "simlink/facility_helpers.h"

#include <fmt/format.h>

#include <array>
#include <cctype>
#include <cmath>

#include "core/log.h"

namespace {

constexpr double kElevationToleranceFt = 50.0;
constexpr double kStandSearchRadiusNm = 0.1349892008639309;  // 250 m

bool lf_isWordCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

bool lf_containsWord(std::string_view name, std::string_view word) {
  for (std::size_t at = name.find(word); at != std::string_view::npos; at = name.find(word, at + 1)) {
    const bool startsWord = at == 0 || !lf_isWordCharacter(name[at - 1]);
    const std::size_t end = at + word.size();
    const bool endsWord = end == name.size() || !lf_isWordCharacter(name[end]);
    if (startsWord && endsWord) return true;
  }
  return false;
}

}  // namespace

std::string gf_formatRunwayName(std::uint32_t number, std::int32_t designator) {
  static constexpr std::array<const char*, 8> kCompass = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
  static constexpr std::array<const char*, 6> kDesignators = {"L", "R", "C", "W", "A", "B"};
  std::string name;
  if (number >= 1 && number <= 36) {
    name = fmt::format("{:02}", number);
  } else if (number >= 37 && number <= 44) {
    name = kCompass[number - 37];
  } else {
    name = fmt::format("#{}", number);
  }
  if (designator >= 1 && designator <= 6) {
    name += kDesignators[static_cast<std::size_t>(designator - 1)];
  } else if (designator != 0) {
    name += fmt::format("({})", designator);
  }
  return name;
}

bool gf_isRunwayHeadingValid(double degrees) { return std::isfinite(degrees) && degrees >= 0.0 && degrees < 360.0; }
bool gf_isRunwayLengthValid(double metres) { return std::isfinite(metres) && metres > 0.0 && metres <= 10000.0; }
bool gf_isRunwayWidthValid(double metres) { return std::isfinite(metres) && metres > 0.0 && metres <= 500.0; }

ElevationChoice gf_chooseElevation(double base, std::optional<double> candidate, std::optional<double> reference) {
  const bool haveCandidate = candidate && std::isfinite(*candidate);
  if (!std::isfinite(base)) return {haveCandidate ? *candidate : base, false};
  if (!haveCandidate) return {base, false};
  const double offset = *candidate - base;
  if (std::fabs(offset) <= kElevationToleranceFt) return {*candidate, false};
  // A far-off candidate is believed when the other end lies as far off the other way: the
  // runway's own altitude is then the middle of a sloped runway, not a wrong value.
  if (reference && std::isfinite(*reference)) {
    const double other = *reference - base;
    if (std::fabs(other) > kElevationToleranceFt && (other > 0.0) != (offset > 0.0)) return {*candidate, false};
  }
  return {base, true};
}

std::uint32_t gf_findStandByNameNear(std::span<const Stand> stands, std::string_view text, const Lalo& position) {
  if (text.size() < 6) return 0;
  const std::string_view word = text.substr(5);
  for (const Stand& stand : stands) {
    if (!lf_containsWord(stand.name, word)) continue;
    if (gf_distanceNm(stand.position, position) <= kStandSearchRadiusNm) return stand.id;
  }
  return 0;
}

