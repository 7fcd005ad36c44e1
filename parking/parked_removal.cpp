#include "parking/parked_removal.h"

#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/log.h"
#include "parking/parking_hooks.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/stand_names.h"
#include "traffic/static_stands.h"
#include "traffic/removal.h"
#include "traffic/traffic_exceptions.h"

namespace {

constexpr std::size_t kCandidateRoom = 128;

bool lf_isLiveParked(const LiveAc& aircraft) {
  return aircraft.state == FlightPhase::parked && aircraft.simState == SimStatus::active;
}

// The first n candidates by order (all of them sorted when n takes them all), each logged and
// removed; one that throws is reported and the others still go.
template <class Aircraft, class Before>
void lf_removeFirst(std::vector<std::reference_wrapper<Aircraft>>& candidates, std::int64_t n, Before before,
                    std::string_view line, std::string_view passName) {
  const auto count = static_cast<std::size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(candidates.size())));
  const auto middle = candidates.begin() + static_cast<std::ptrdiff_t>(count);
  std::partial_sort(candidates.begin(), middle, candidates.end(), before);
  const EngineHooks& hooks = gf_engineHooks();
  for (auto it = candidates.begin(); it != middle; ++it) {
    Aircraft& aircraft = *it;
    try {
      gf_log(fmt::format(fmt::runtime(line), gf_standName(aircraft.standId), aircraft.callsign));
      if constexpr (std::is_same_v<Aircraft, LiveAc>)
        hooks.removeAircraftFromSim(aircraft);
      else
        removeAircraftFromSim(aircraft);
    } catch (...) {
      gf_reportTrafficException(passName);
    }
  }
}

}  // namespace

std::int32_t gf_parkedAge(WeekTime parked, WeekTime now) {
  std::int64_t age = (static_cast<std::int64_t>(now.day) - parked.day) * 48 + now.slot - parked.slot;
  if (age < 0) age += 336;
  return static_cast<std::int32_t>(age);
}

void gf_enforceMaxParked(std::int32_t extra) {
  const std::int64_t m = g_staticTargetCount;
  if (m < 0) return;
  const std::int64_t live = std::count_if(g_liveAcs.begin(), g_liveAcs.end(), lf_isLiveParked) + extra;
  const std::int64_t statics = std::count_if(g_staticAcs.begin(), g_staticAcs.end(), [](const StaticAc& a) {
    return a.simState == SimStatus::active || a.simState == SimStatus::removingfromsim;
  });
  if (live + statics <= m) return;
  if (live <= m) {
    lf_removeNOldestStaticParked(live + statics - m);
    return;
  }
  lf_removeNOldestLiveParked(live - m);
  // The live ones alone fill the wanted number now: no static aircraft is left room.
  if (statics > 0) lf_removeNOldestStaticParked(statics);
}

void lf_removeNOldestLiveParked(std::int64_t n) {
  if (n < 1) return;
  std::vector<std::reference_wrapper<LiveAc>> candidates;
  candidates.reserve(kCandidateRoom);
  for (LiveAc& aircraft : g_liveAcs)
    if (lf_isLiveParked(aircraft)) candidates.emplace_back(aircraft);
  lf_removeFirst(
      candidates, n,
      [](const LiveAc& a, const LiveAc& b) { return a.lastAtStandClock < b.lastAtStandClock; },
      "{:14}: live parked {} removed", "lf_removeNOldestLiveParked");
}

void lf_removeNOldestStaticParked(std::int64_t n) {
  if (n < 1) return;
  std::vector<std::reference_wrapper<StaticAc>> candidates;
  candidates.reserve(kCandidateRoom);
  for (StaticAc& aircraft : g_staticAcs)
    if (aircraft.simState == SimStatus::active) candidates.emplace_back(aircraft);
  const WeekTime now = gf_currentWeekTime();
  lf_removeFirst(
      candidates, n,
      [now](const StaticAc& a, const StaticAc& b) {
        return gf_parkedAge(a.parkedWeekTime, now) > gf_parkedAge(b.parkedWeekTime, now);
      },
      "{:14}: static parked {} removed", "lf_removeNOldestStaticParked");
}
