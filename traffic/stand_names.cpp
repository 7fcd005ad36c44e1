#include "traffic/stand_names.h"

#include <cmath>
#include <memory>

#include "simlink/facility_stand.h"
#include "simlink/stand_table.h"
#include "simlink/user_aircraft.h"

namespace {

constexpr double kCacheReachNmSquared = 9e-6;                    // 0.003 NM, about 5.6 m
constexpr double kStandReachNmSquared = 0.00011662133983924917;  // 20 m

// This thread's last answer and the snapshot it came from.
struct StandNameCache {
  std::shared_ptr<const StandPositions> snapshot;
  Lalo query;
  bool valid = false;
  std::optional<std::string> result;
};
thread_local StandNameCache t_standNameCache;

// Flat squared distance in NM, the longitude scaled at the query's latitude.
double lf_flatNmSquared(const Lalo& query, const Lalo& other) {
  const double dy = (other.lat - query.lat) * 60.0;
  const double dx = gf_wrapLongitude(other.lon - query.lon) * 60.0 * std::cos(query.lat * geo::kDegToRad);
  return dx * dx + dy * dy;
}

}  // namespace

std::optional<std::string> gf_standNameAtPos(const Lalo& position) {
  StandNameCache& cache = t_standNameCache;
  std::shared_ptr<const StandPositions> snapshot = g_standPositions.load();
  if (!snapshot || snapshot->empty() || !g_userOnGround.load()) {
    cache = StandNameCache{};
    return std::nullopt;
  }
  if (cache.valid && cache.snapshot == snapshot && lf_flatNmSquared(position, cache.query) <= kCacheReachNmSquared)
    return cache.result;

  const StandPosition* nearest = nullptr;
  double nearestSquared = kStandReachNmSquared;
  for (const StandPosition& stand : *snapshot) {
    const double squared = lf_flatNmSquared(position, stand.position);
    // Of equally near stands the first wins.
    if (squared <= nearestSquared && (!nearest || squared < nearestSquared)) {
      nearest = &stand;
      nearestSquared = squared;
    }
  }
  cache.snapshot = std::move(snapshot);
  cache.query = position;
  cache.valid = true;
  cache.result = nearest ? std::optional<std::string>(nearest->name) : std::nullopt;
  return cache.result;
}

std::string gf_standName(std::int32_t standId) {
  if (standId == 0) return "sid==0?";
  const Stand* stand = gf_standByNumber(g_stands, standId);
  return stand ? stand->name : "sid==?";
}
