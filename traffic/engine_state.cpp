#include "traffic/engine_state.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "config/sim_choice.h"
#include "feed/qnh.h"
#include "feed/traffic_mailbox.h"
#include "feed/traffic_store.h"
#include "traffic/aircraft_step.h"
#include "traffic/runway_validation.h"

std::vector<LiveAc> g_liveAcs;
std::vector<StaticAc> g_staticAcs;
std::unordered_map<std::uint32_t, JumpWatchEntry, HexidHash> g_jumpWatch;
std::deque<std::uint32_t> g_removeStack;
std::deque<AiCreateRequest> g_liveCreateQueue;
std::deque<AiCreateRequest> g_staticCreateQueue;
std::vector<std::uint32_t> g_addingStack;
std::vector<ParkedAcAction> g_parkedAcActions;
std::vector<std::uint32_t> g_landedHexids;
std::vector<GhostCallsign> g_ghostCallsigns;
std::unordered_map<std::uint32_t, LiveryChoice, HexidHash> g_liveryChoices;
bool g_staticDropPending = false;
std::vector<DelayedSimCommand> g_takenDelayedCommands;
std::vector<DelayedSimCommand> g_pendingDelayedCommands;
std::uint32_t g_promotionCount = 0;
std::uint32_t g_staticParkedCount = 0;
AddingStackCounters g_addingStackCounters;
bool g_userSpanFallbackReported = false;
ParkedCollisionCounters g_parkedCollisionCounters;
std::int32_t g_streamQnh = kStandardQnh;

std::size_t HexidHash::operator()(std::uint32_t hexid) const noexcept {
  std::uint64_t hash = 14695981039346656037ull;
  for (int i = 0; i < 4; ++i) {
    hash ^= (hexid >> (8 * i)) & 0xFF;
    hash *= 1099511628211ull;
  }
  return static_cast<std::size_t>(hash);
}

void gf_followQnh() {
  const std::int32_t qnh = g_qnh.load();
  if (qnh == g_streamQnh) return;
  const std::int32_t was = std::exchange(g_streamQnh, qnh);
  const bool rtDirect = gf_isRtDirect();
  const std::int32_t now = g_engineTime.load();
  for (LiveAc& aircraft : g_liveAcs) {
    const bool toPoint = !aircraft.stream.empty() && aircraft.stream.front().airborne;
    const double shift = gf_feedAltitudeShiftFt(toPoint ? gf_uncorrectedFt(aircraft.stream.front()) : aircraft.altitude,
                                                was, qnh, rtDirect);
    // Each point as a fresh report of its height: the correction weighs by the feed's altitude.
    for (StreamPoint& point : aircraft.stream)
      if (point.airborne) point.altitude += gf_feedAltitudeShiftFt(gf_uncorrectedFt(point), was, qnh, rtDirect);
    // The aircraft itself takes the change up over its legs: moved at once it hopped, and a
    // departure whose height comes from its runway, or one in its flare, ended under the ground.
    const bool flies = aircraft.state == FlightPhase::flying || aircraft.state == FlightPhase::landing;
    if (aircraft.onGround || !flies || aircraft.goingAround || gf_justTookOff(aircraft)) continue;
    const std::int32_t from = toPoint ? std::max(now, aircraft.stream.front().time) : now;
    aircraft.qnhLagFt = gf_qnhLagFt(aircraft, from) - shift;
    aircraft.qnhLagTick = from;
  }
}

void gf_resetEngineTables() {
  g_streamQnh = kStandardQnh;
  g_liveAcs.clear();
  g_staticAcs.clear();
  g_jumpWatch.clear();
  g_removeStack.clear();
  g_liveCreateQueue.clear();
  g_staticCreateQueue.clear();
  g_addingStack.clear();
  g_parkedAcActions.clear();
  g_landedHexids.clear();
  g_ghostCallsigns.clear();
  g_liveryChoices.clear();
  g_staticDropPending = false;
  g_takenDelayedCommands.clear();
  g_pendingDelayedCommands.clear();
  g_promotionCount = 0;
  g_staticParkedCount = 0;
  g_addingStackCounters = AddingStackCounters{};
  g_userSpanFallbackReported = false;
  g_parkedCollisionCounters = ParkedCollisionCounters{};
  gf_resetParkRunways();
}

LiveAc* gf_findLiveAc(std::uint32_t hexid) {
  for (LiveAc& aircraft : g_liveAcs)
    if (aircraft.hexid == hexid) return &aircraft;
  return nullptr;
}

LiveAc* gf_findLiveAcByObjectId(std::uint32_t objectId) {
  if (objectId == 0) return nullptr;
  for (LiveAc& aircraft : g_liveAcs)
    if (aircraft.objectId == objectId) return &aircraft;
  return nullptr;
}

StaticAc* gf_findStaticAc(std::uint32_t hexid) {
  for (StaticAc& aircraft : g_staticAcs)
    if (aircraft.hexid == hexid) return &aircraft;
  return nullptr;
}

StaticAc* gf_findStaticAcByObjectId(std::uint32_t objectId) {
  if (objectId == 0) return nullptr;
  for (StaticAc& aircraft : g_staticAcs)
    if (aircraft.objectId == objectId) return &aircraft;
  return nullptr;
}

bool gf_forgetLiveryChoice(std::uint32_t hexid) { return g_liveryChoices.erase(hexid) > 0; }

LiveryChoice::LiveryChoice(std::string_view chosen) : title(chosen), lastSeen(g_engineTime.load()) {}

bool gf_noteGhostCallsign(const std::string& callsign) {
  if (gf_isGhostCallsign(callsign)) return true;
  g_ghostCallsigns.push_back({callsign, g_engineTime.load()});
  return false;
}

bool gf_isGhostCallsign(std::string_view callsign) {
  const auto ghost = std::find_if(g_ghostCallsigns.begin(), g_ghostCallsigns.end(),
                                  [callsign](const GhostCallsign& g) { return g.callsign == callsign; });
  if (ghost == g_ghostCallsigns.end()) return false;
  ghost->lastSeen = g_engineTime.load();
  return true;
}

void gf_ageSideLists() {
  const std::int32_t now = g_engineTime.load();
  // Kept from minute to minute: the engine's tick allocates nothing once it has its size.
  thread_local std::vector<std::uint32_t> live;
  live.clear();
  live.reserve(g_liveAcs.size());
  for (const LiveAc& aircraft : g_liveAcs) live.push_back(aircraft.hexid);
  std::sort(live.begin(), live.end());
  const auto isLive = [](std::uint32_t hexid) { return std::binary_search(live.begin(), live.end(), hexid); };
  for (auto it = g_liveryChoices.begin(); it != g_liveryChoices.end();) {
    if (isLive(it->first)) it->second.lastSeen = now;
    it = now - it->second.lastSeen > kLiveryChoiceKeep ? g_liveryChoices.erase(it) : std::next(it);
  }
  // A watched flight in the table is being removed; its watch ages from its last record.
  std::erase_if(g_jumpWatch, [now](const auto& entry) { return now - entry.second.lastSeen > kJumpWatchKeep; });
  std::erase_if(g_ghostCallsigns, [now](const GhostCallsign& g) { return now - g.lastSeen > kGhostCallsignKeep; });
}
