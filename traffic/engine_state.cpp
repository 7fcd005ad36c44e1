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
AddingStackCounters g_addingStackCounters;

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
  g_addingStackCounters = AddingStackCounters{};
  gf_resetParkRunways();
}

LiveAc* gf_findLiveAc(std::uint32_t hexid) {
  for (LiveAc& aircraft : g_liveAcs)
    if (aircraft.hexid == hexid) return &aircraft;
  return nullptr;
}

bool gf_forgetLiveryChoice(std::uint32_t hexid) { return g_liveryChoices.erase(hexid) > 0; }
