#include "liveries/ac_stands.h"

#include <cmath>
#include <limits>
#include <utility>

namespace {

// How far a stand may lie from the aircraft to be considered at all: 81.25 m.
constexpr double kSearchBoxNm = 0.04387149028077754;
constexpr double kNoStandMetres = 99999.0;

}  // namespace

Stand* gf_nearestStand(std::span<Stand> stands, const Lalo& position, const AcIdentity& aircraft,
                       double& distanceMetres, bool allowFallback) {
  const double cosLat = std::cos(position.lat * geo::kDegToRad);
  const bool rotorcraft = aircraft.category == AcCategory::rotorcraft;
  const DbaseEntry key = aircraft.identity();
  Stand* first = nullptr;
  Stand* fallback = nullptr;
  double firstNm = std::numeric_limits<double>::infinity();
  double fallbackNm = firstNm;
  for (Stand& stand : stands) {
    // Helipads come with type 0; any other stand of type 0 is no stand.
    if (stand.taken || (stand.type == PARKING_NONE && !stand.heli) || (stand.heli != 0) != rotorcraft) continue;
    const double dy = (stand.position.lat - position.lat) * 60.0;
    const double dx = (stand.position.lon - position.lon) * 60.0 * cosLat;
    if (!(std::abs(dy) <= kSearchBoxNm && std::abs(dx) <= kSearchBoxNm)) continue;
    const double distanceNm = std::sqrt(dx * dx + dy * dy);
    if (distanceNm > kSearchBoxNm || !stand.fitsAircraft(aircraft.category, aircraft.wingspan)) continue;
    if (distanceNm <= aircraft.groundRadius) {
      if (distanceNm < firstNm) {
        first = &stand;
        firstNm = distanceNm;
      }
    } else if (allowFallback && !first && distanceNm <= aircraft.wideGroundRadius && distanceNm < fallbackNm &&
               gf_standOptionsMatch(stand.options, aircraft.callsign, key)) {
      fallback = &stand;
      fallbackNm = distanceNm;
    }
  }
  Stand* chosen = first ? first : fallback;
  distanceMetres = chosen ? (first ? firstNm : fallbackNm) * 1852.0 : kNoStandMetres;
  return chosen;
}

OptionAircraft gf_optionAircraft(const AcIdentity& aircraft) {
  return OptionAircraft{aircraft.identity(), aircraft.category, aircraft.callsign, aircraft.registration};
}

void gf_addRealStandOption(std::int32_t standNumber, AcIdentity& aircraft, std::uint32_t kind) {
  OptionAircraft learner = gf_optionAircraft(aircraft);
  gf_addRealStandOption(std::span<Stand>(g_stands), standNumber, learner, kind, gf_currentWeekTime());
  aircraft.setIdentity(learner.identity);
}

void gf_matchRealStandOption(std::span<const Stand> stands, WeekTime now, AcIdentity& aircraft) noexcept {
  try {
    if (auto names = gf_matchRealStandOption(stands, now, gf_optionAircraft(aircraft))) {
      aircraft.name1 = std::move(names->first);
      aircraft.name2 = std::move(names->second);
    }
  } catch (...) {
  }
}
