#include "app/engine_requests.h"

std::atomic<std::int8_t> g_pendingLights{-1};
std::atomic<bool> g_removeTwoProps{false};
std::atomic<bool> g_removeLightAircraft{false};
std::atomic<bool> g_removeHelicopters{false};
std::atomic<bool> g_removeHighPerfAircraft{false};
std::atomic<bool> g_aircraftListRequested{false};
std::atomic<bool> g_flushStaticRequested{false};
std::atomic<bool> g_rematchRequested{false};
std::atomic<bool> g_maxLiveSelChanged{false};
std::atomic<bool> g_maxParkSelChanged{false};
std::atomic<bool> g_unblockRestart{false};

void gf_resetEngineRequests() {
  g_pendingLights = -1;
  for (auto* flag : {&g_removeTwoProps, &g_removeLightAircraft, &g_removeHelicopters, &g_removeHighPerfAircraft,
                     &g_aircraftListRequested, &g_flushStaticRequested, &g_rematchRequested, &g_maxLiveSelChanged,
                     &g_maxParkSelChanged, &g_unblockRestart})
    *flag = false;
}
