#include "traffic/live_registry.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "appbase/gui.h"
#include "core/log.h"
#include "core/utc_time.h"
#include "liveries/ac_stands.h"
#include "simlink/sim_commands.h"
#include "simlink/stand_table.h"
#include "traffic/arrival_stand.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/flight_plans.h"
#include "traffic/ground_index.h"
#include "traffic/removal.h"
#include "traffic/stand_names.h"
#include "traffic/touchdown.h"
#include "traffic/traffic_exceptions.h"

namespace {

constexpr std::int32_t kSlotsPerDay = 48;
constexpr std::int32_t kSlotsPerWeek = 336;
constexpr std::int32_t kFullCheckPeriod = 60;
constexpr double kRecheckNmSquared = 9e-6;  // 0.003 NM moved since the last check

bool lf_holdsStand(const LiveAc& aircraft, std::int32_t standId) {
  if (aircraft.standId != standId) return false;
  switch (aircraft.state) {
    case FlightPhase::pushing_back:
    case FlightPhase::pushed_back:
    case FlightPhase::parking:
    case FlightPhase::parked:
      return true;
    default:
      return false;
  }
}

bool lf_endsInUnderscore(std::string_view callsign) { return !callsign.empty() && callsign.back() == '_'; }

template <class Aircraft>
void lf_remove(Aircraft& aircraft, std::string_view passName) {
  try {
    if constexpr (std::is_same_v<Aircraft, LiveAc>)
      gf_engineHooks().removeAircraftFromSim(aircraft);
    else
      removeAircraftFromSim(aircraft);
  } catch (...) {
    gf_reportTrafficException(passName);
  }
}

// A create request not sent yet is taken back (true); one on its way is marked to go as soon as
// its object id arrives.
template <class Aircraft>
bool lf_cancelOrMark(Aircraft& aircraft, std::deque<AiCreateRequest>& queue) {
  if (gf_removeFromAddingDeque(queue, aircraft.hexid)) {
    aircraft.createCancelled = true;
    return true;
  }
  aircraft.removeWhenCreated = true;
  return false;
}

bool lf_waitsForCreation(std::uint32_t simState, bool removeWhenCreated) {
  return simState == SimStatus::adding2sim && !removeWhenCreated;
}

void lf_eraseCancelledStatic() {
  for (const StaticAc& aircraft : g_staticAcs)
    if (aircraft.createCancelled) lf_forgetAircraft(aircraft.hexid, aircraft.objectId);
  std::erase_if(g_staticAcs, [](const StaticAc& a) { return a.createCancelled; });
}

void lf_logCategoryRemoval(const AcIdentity& aircraft, AcCategory category) {
  gf_log(fmt::format("{} {} removed because '{}' no longer included category", gf_modelName(aircraft.modelId),
                     aircraft.callsign, gf_categoryName(category)));
}

std::int32_t lf_weekSlot(WeekTime time) {
  return static_cast<std::int32_t>(time.day) * kSlotsPerDay - kSlotsPerDay + static_cast<std::int32_t>(time.slot);
}

bool lf_movedSinceCheck(const LiveAc& aircraft) {
  if (!gf_isValidLalo(aircraft.prevPosition)) return true;
  const double dy = (aircraft.position.lat - aircraft.prevPosition.lat) * 60.0;
  const double dx = gf_wrapLongitude(aircraft.position.lon - aircraft.prevPosition.lon) * 60.0 *
                    std::cos(aircraft.position.lat * geo::kDegToRad);
  return !(dx * dx + dy * dy <= kRecheckNmSquared);
}

// The hexid of the RealTraffic parked aircraft a static aircraft stands for; none when it was
// placed from the stand file.
std::optional<std::uint32_t> lf_staticAcHitHexid(const StaticAc& aircraft) {
  if (aircraft.hitFlag != 0) return std::nullopt;
  return aircraft.hitKind;
}

}  // namespace

std::int32_t gf_standUseByOtherLiveAc(std::int32_t standId, std::uint32_t hexid) {
  if (standId < 1) return 0;
  std::int32_t use = 0;
  for (const LiveAc& aircraft : g_liveAcs) {
    if (aircraft.hexid == hexid || !lf_holdsStand(aircraft, standId)) continue;
    if (aircraft.state == FlightPhase::parked && aircraft.objectId > 2) return 2;
    use = 1;
  }
  return use;
}

bool lf_standReservable(std::int32_t standId, std::uint32_t hexid) {
  return standId >= 1 && hexid != 0 && gf_standUseByOtherLiveAc(standId, hexid) == 0 &&
         gf_standByNumber(g_stands, standId) != nullptr;
}

bool lf_ownsStandReservation(std::int32_t standId, std::uint32_t hexid) {
  if (standId < 1 || hexid == 0) return false;
  return std::any_of(g_liveAcs.begin(), g_liveAcs.end(),
                     [&](const LiveAc& a) { return a.hexid == hexid && lf_holdsStand(a, standId); });
}

void lf_forgetAircraft(std::uint32_t hexid, std::uint32_t objectId) {
  // Static aircraft count from 0: hexid 0 is then a real aircraft, while answers without an
  // aircraft of their own carry 0 too; those go by object id only.
  std::erase_if(g_pendingDelayedCommands, [&](const DelayedSimCommand& c) {
    if (c.hexid == hexid && hexid != 0) return true;
    return c.hexid == 0 && objectId != 0 && c.objectId == objectId;
  });
  std::erase(g_addingStack, hexid);
  std::erase(g_landedHexids, hexid);
  std::erase_if(g_parkedAcActions, [hexid](const ParkedAcAction& a) { return a.hexid == hexid; });
}

void lf_cleanupLiveAircraft(LiveAc& aircraft) {
  if (aircraft.hasFlightPlan && aircraft.objectId != 0) {
    try {
      gf_removeFlightPlan(aircraft.objectId);
    } catch (const std::exception& e) {
      gf_logWarning(fmt::format("{}: removing flight plan for {} failed: {}", "lf_cleanupLiveAircraft",
                                aircraft.callsign, e.what()));
    } catch (...) {
      gf_logWarning(fmt::format("{}: removing flight plan for {} failed with an unknown exception",
                                "lf_cleanupLiveAircraft", aircraft.callsign));
    }
  }
  lf_forgetAircraft(aircraft.hexid, aircraft.objectId);
}

void lf_eraseLiveAc(LiveAc& aircraft) {
  const std::less<const LiveAc*> before;
  if (g_liveAcs.empty() || before(&aircraft, g_liveAcs.data()) || before(&g_liveAcs.back(), &aircraft)) return;
  lf_cleanupLiveAircraft(aircraft);
  if (&aircraft != &g_liveAcs.back()) aircraft = std::move(g_liveAcs.back());
  g_liveAcs.pop_back();
}

void lf_removeGhostWithUnderscoreIfPresent(const std::string& callsign) {
  const std::string ghostCallsign = callsign + "_";
  const auto ghost = std::find_if(g_liveAcs.begin(), g_liveAcs.end(), [&](const LiveAc& a) {
    return a.callsign == ghostCallsign && a.simState != SimStatus::removingfromsim;
  });
  if (ghost == g_liveAcs.end()) return;
  if (ghost->state == FlightPhase::parked)
    gf_log(fmt::format("{:14}: {:8} is a ghost and will be removed, continue with {}", gf_standName(ghost->standId),
                       ghost->callsign, callsign));
  else
    gf_log(fmt::format("          {:8} is a ghost and will be removed, continue with {}", ghost->callsign, callsign));
  gf_noteGhostCallsign(ghost->callsign);
  lf_remove(*ghost, "lf_removeGhostWithUnderscoreIfPresent");
}

bool lf_liveAcWithCallsignExists(const std::string& ghostCallsign) {
  if (ghostCallsign.size() < 2) return false;
  const std::string_view plain(ghostCallsign.data(), ghostCallsign.size() - 1);
  return std::any_of(g_liveAcs.begin(), g_liveAcs.end(),
                     [&](const LiveAc& a) { return a.callsign == plain && a.simState != SimStatus::removingfromsim; });
}

std::optional<std::int32_t> lf_checkForStaticWithCallsignOrHexidAndRemove(LiveAc& aircraft, bool wantStand) noexcept {
  try {
    if (aircraft.callsign.empty()) return std::nullopt;
    const std::string& callsign = aircraft.callsign;
    const auto namedAs = [](const StaticAc& s, std::string_view name) { return name == s.name1 || name == s.name2; };
    const auto sameFlight = [&](const StaticAc& s) {
      if (lf_staticAcHitHexid(s) == aircraft.hexid) return true;
      if (!aircraft.registration.empty() && aircraft.registration == s.registration) return true;
      if (namedAs(s, callsign)) return true;
      if (!aircraft.name2.empty() && namedAs(s, aircraft.name2)) return true;
      return lf_endsInUnderscore(callsign) && callsign.size() > 1 &&
             namedAs(s, std::string_view(callsign).substr(0, callsign.size() - 1));
    };
    const auto found = std::find_if(g_staticAcs.begin(), g_staticAcs.end(), [&](const StaticAc& s) {
      return s.simState == SimStatus::active && sameFlight(s);
    });
    if (found == g_staticAcs.end()) return std::nullopt;
    std::optional<std::int32_t> stand;
    if (wantStand && !aircraft.registration.empty() && aircraft.registration == found->registration)
      stand = found->standId;
    lf_remove(*found, "lf_checkForStaticWithCallsignOrHexidAndRemove");
    return stand;
  } catch (...) {
    gf_reportTrafficException("lf_checkForStaticWithCallsignOrHexidAndRemove");
    return std::nullopt;
  }
}

void gf_removeAllStatic() {
  bool cancelled = false;
  for (StaticAc& aircraft : g_staticAcs) {
    if (aircraft.simState == SimStatus::active) {
      gf_log(fmt::format("{:14}: {:8} removed", gf_standName(aircraft.standId), aircraft.callsign));
      lf_remove(aircraft, "gf_removeAllStatic");
    } else if (lf_waitsForCreation(aircraft.simState, aircraft.removeWhenCreated)) {
      cancelled |= lf_cancelOrMark(aircraft, g_staticCreateQueue);
    }
  }
  if (cancelled) lf_eraseCancelledStatic();
}

void gf_removeLiveAircraftCategory(AcCategory category) {
  for (LiveAc& aircraft : g_liveAcs) {
    if (aircraft.category != category || aircraft.simState == SimStatus::removingfromsim) continue;
    lf_logCategoryRemoval(aircraft, category);
    lf_remove(aircraft, "gf_removeLiveAircraftCategory");
  }
}

void gf_removeStaticAircraftCategory() {
  bool cancelled = false;
  for (StaticAc& aircraft : g_staticAcs) {
    if (aircraft.category != AcCategory::rotorcraft) continue;
    if (aircraft.simState == SimStatus::active) {
      lf_logCategoryRemoval(aircraft, AcCategory::rotorcraft);
      lf_remove(aircraft, "gf_removeStaticAircraftCategory");
    } else if (lf_waitsForCreation(aircraft.simState, aircraft.removeWhenCreated)) {
      lf_logCategoryRemoval(aircraft, AcCategory::rotorcraft);
      cancelled |= lf_cancelOrMark(aircraft, g_staticCreateQueue);
    }
  }
  if (cancelled) lf_eraseCancelledStatic();
  gf_engineHooks().eraseStandSearchHits([](const DbaseEntry& identity) {
    return gf_categoryOfModel(gf_modelName(identity.modelId)) == AcCategory::rotorcraft;
  });
}

void gf_clearUserDestGate(const std::string& standName) {
  const auto it = standName.empty() ? g_standsByName.end() : g_standsByName.find(standName);
  // No such stand: nothing stands on it (stand 0 is "no stand", not a stand to clear).
  if (it == g_standsByName.end()) return;
  const auto standId = static_cast<std::int32_t>(it->second);
  const auto parked = std::find_if(g_staticAcs.begin(), g_staticAcs.end(), [&](const StaticAc& a) {
    return a.simState == SimStatus::active && a.standId == standId;
  });
  if (parked != g_staticAcs.end()) {
    lf_remove(*parked, "gf_clearUserDestGate");
    return;
  }
  const auto live = std::find_if(g_liveAcs.begin(), g_liveAcs.end(), [&](const LiveAc& a) {
    return a.simState == SimStatus::active && a.state == FlightPhase::parked && a.standId == standId;
  });
  if (live != g_liveAcs.end()) lf_remove(*live, "gf_clearUserDestGate");
}

void lf_removeAllStaticAndLiveAtAirport() {
  gf_removeAllStatic();
  bool cancelled = false;
  for (LiveAc& aircraft : g_liveAcs) {
    switch (aircraft.state) {
      case FlightPhase::pushing_back:
      case FlightPhase::pushed_back:
      case FlightPhase::taxi:
      case FlightPhase::takeoff_roll:
      case FlightPhase::landing_roll:
      case FlightPhase::parking:  // drives into a stand of this airport: it must not keep it
      case FlightPhase::parked:
        break;
      default:
        continue;
    }
    aircraft.standPos = Lalo{};
    aircraft.standHeading = 0.0;
    aircraft.standId = 0;
    aircraft.standCargo = false;
    aircraft.standNoseIn = false;
    if (aircraft.simState == SimStatus::active)
      lf_remove(aircraft, "lf_removeAllStaticAndLiveAtAirport");
    else if (lf_waitsForCreation(aircraft.simState, aircraft.removeWhenCreated))
      cancelled |= lf_cancelOrMark(aircraft, g_liveCreateQueue);
  }
  if (!cancelled) return;
  for (LiveAc& aircraft : g_liveAcs)
    if (aircraft.createCancelled) lf_cleanupLiveAircraft(aircraft);
  std::erase_if(g_liveAcs, [](const LiveAc& a) { return a.createCancelled; });
}

std::int32_t gf_countParkedLive(bool report) {
  std::int32_t count = 0;
  std::int64_t slots = 0;
  std::int32_t timed = 0;
  const std::int32_t now = lf_weekSlot(gf_currentWeekTime());
  for (const LiveAc& aircraft : g_liveAcs) {
    if (aircraft.state != FlightPhase::parked || aircraft.simState != SimStatus::active) continue;
    ++count;
    const WeekTime stamp = gf_unpackWeekTime(aircraft.createdWeekTime);
    if (stamp.day < 1) continue;
    // Parked before the week's wrap (Sunday to Monday) still counts its time.
    const std::int32_t parked = ((now - lf_weekSlot(stamp)) % kSlotsPerWeek + kSlotsPerWeek) % kSlotsPerWeek;
    if (parked == 0) continue;
    slots += parked;
    ++timed;
  }
  if (report) {
    const double hours = timed > 0 ? static_cast<double>(slots) / (2.0 * timed) + 0.5 : 0.0;
    Gui::enqueueUpdate(gui::SetLiveFit{static_cast<float>(hours)});
  }
  return count;
}

void gf_checkLiveWithParkedCollisions() noexcept {
  try {
    ParkedCollisionCounters& counters = g_parkedCollisionCounters;
    bool fullCheck = counters.staticParkedSeen != g_staticParkedCount;
    counters.staticParkedSeen = g_staticParkedCount;
    if (++counters.calls >= kFullCheckPeriod) {
      counters.calls = 0;
      fullCheck = true;
    }
    const GroundIndexScope index;
    // By index: the checks may remove aircraft and reach the table.
    for (std::size_t i = 0; i < g_liveAcs.size(); ++i) {
      LiveAc& aircraft = g_liveAcs[i];
      if (!aircraft.onGround || aircraft.simState != SimStatus::active) continue;
      if (aircraft.state != FlightPhase::taxi && aircraft.state != FlightPhase::parking) continue;
      if (!g_staticAcs.empty() && (fullCheck || lf_movedSinceCheck(aircraft))) collisionWithParked(aircraft);
      // One the check removed chooses no stand.
      if (i >= g_liveAcs.size() || g_liveAcs[i].state != FlightPhase::taxi ||
          g_liveAcs[i].simState != SimStatus::active)
        continue;
      try {
        lf_chooseArrivalStand(g_liveAcs[i]);
      } catch (...) {
        gf_reportTrafficException("gf_checkLiveWithParkedCollisions");
      }
    }
  } catch (...) {
    gf_reportTrafficException("gf_checkLiveWithParkedCollisions");
  }
}

namespace {

// Keys of the static aircraft to their index in g_staticAcs, sorted by key, then index: the first
// entry of a key is its first static. Kept between passes for their room.
struct StaticKeys {
  std::vector<std::pair<std::string_view, std::size_t>> entries;
  void add(std::string_view key, std::size_t index) {
    if (!key.empty()) entries.emplace_back(key, index);
  }
  void sort() { std::sort(entries.begin(), entries.end()); }
  // The index of the first static of the key, or the bound when it is none's or not below it.
  std::size_t first(std::string_view key, std::size_t bound) const {
    if (key.empty()) return bound;
    const auto found = std::lower_bound(entries.begin(), entries.end(), std::pair{key, std::size_t{0}});
    return found != entries.end() && found->first == key ? std::min(found->second, bound) : bound;
  }
};

}  // namespace

void gf_checkForAllGndIfParkedVersionExistsAndRemove() noexcept {
  try {
    // A live aircraft and a static one are the same flight by registration when both have one,
    // else by the live callsign as one of the static names. Looked up by those keys, the pair
    // found is the one a comparison of every pair in table order would find.
    static StaticKeys byRegistration, byName, byNameUnregistered;
    for (StaticKeys* keys : {&byRegistration, &byName, &byNameUnregistered}) keys->entries.clear();
    for (std::size_t i = 0; i < g_staticAcs.size(); ++i) {
      const StaticAc& parked = g_staticAcs[i];
      if (parked.simState != SimStatus::active) continue;
      byRegistration.add(parked.registration, i);
      for (const std::string* name : {&parked.name1, &parked.name2}) {
        byName.add(*name, i);
        if (parked.registration.empty()) byNameUnregistered.add(*name, i);
      }
    }
    if (byRegistration.entries.empty() && byName.entries.empty()) return;
    for (StaticKeys* keys : {&byRegistration, &byName, &byNameUnregistered}) keys->sort();
    const std::size_t none = g_staticAcs.size();
    for (const LiveAc& live : g_liveAcs) {
      if (live.simState != SimStatus::active || !live.onGround) continue;
      const std::size_t first =
          live.registration.empty()
              ? byName.first(live.callsign, none)
              : byNameUnregistered.first(live.callsign, byRegistration.first(live.registration, none));
      if (first == none) continue;
      lf_remove(g_staticAcs[first], "gf_checkForAllGndIfParkedVersionExistsAndRemove");
      return;
    }
  } catch (...) {
    gf_reportTrafficException("gf_checkForAllGndIfParkedVersionExistsAndRemove");
  }
}

void gf_setParkedNavLights(bool on) {
  const std::uint32_t value = on ? 1 : 0;
  for (const StaticAc& aircraft : g_staticAcs)
    if (aircraft.simState == SimStatus::active) gf_queueNavLights(aircraft.objectId, value);
  for (const LiveAc& aircraft : g_liveAcs)
    if (aircraft.simState == SimStatus::active && aircraft.state == FlightPhase::parked)
      gf_queueNavLights(aircraft.objectId, value);
}

void gf_matchQueuedStandOption() noexcept {
  try {
    if (g_landedHexids.empty()) return;
    const std::uint32_t hexid = g_landedHexids.front();
    g_landedHexids.erase(g_landedHexids.begin());
    const auto found =
        std::find_if(g_liveAcs.begin(), g_liveAcs.end(), [hexid](const LiveAc& a) { return a.hexid == hexid; });
    if (found == g_liveAcs.end()) return;
    LiveAc& aircraft = *found;
    if (!aircraft.standOptionMatched) {
      gf_matchRealStandOption(g_stands, gf_currentWeekTime(), aircraft);
      aircraft.standOptionMatched = true;
    }
    // An aircraft at its stand keeps it: the static's stand only serves one that has none.
    const std::optional<std::int32_t> stand = lf_checkForStaticWithCallsignOrHexidAndRemove(aircraft, true);
    if (stand && aircraft.standId == 0) aircraft.standId = *stand;
  } catch (...) {
    gf_reportTrafficException("gf_matchQueuedStandOption");
  }
}
