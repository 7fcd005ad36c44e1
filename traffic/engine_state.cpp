#include "traffic/engine_state.h"

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
std::vector<std::string> g_ghostCallsigns;
std::unordered_map<std::uint32_t, std::string_view, HexidHash> g_liveryChoices;
bool g_staticDropPending = false;
std::vector<DelayedSimCommand> g_takenDelayedCommands;
std::vector<DelayedSimCommand> g_pendingDelayedCommands;
std::unordered_map<std::uint32_t, RunwayRemoval, HexidHash> g_runwayRemovedDepartures;
std::uint32_t g_promotionCount = 0;
std::uint32_t g_staticParkedCount = 0;
AddingStackCounters g_addingStackCounters;
bool g_userSpanFallbackReported = false;
ParkedCollisionCounters g_parkedCollisionCounters;

std::size_t HexidHash::operator()(std::uint32_t hexid) const noexcept {
  std::uint64_t hash = 14695981039346656037ull;
  for (int i = 0; i < 4; ++i) {
    hash ^= (hexid >> (8 * i)) & 0xFF;
    hash *= 1099511628211ull;
  }
  return static_cast<std::size_t>(hash);
}

void gf_resetEngineTables() {
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
  g_runwayRemovedDepartures.clear();
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
