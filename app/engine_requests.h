#pragma once
// What the main window asks of the worker's main loop: flags set by the command handlers on
// the GUI thread and taken (exchanged back) by the engine on its next tick or step.
#include <atomic>
#include <cstdint>

// -1: nothing pending; else the navigation-lights state for every parked object (0 off).
extern std::atomic<std::int8_t> g_pendingLights;

// A category switched off: remove its aircraft.
extern std::atomic<bool> g_removeTwoProps;
extern std::atomic<bool> g_removeLightAircraft;
extern std::atomic<bool> g_removeHelicopters;
extern std::atomic<bool> g_removeHighPerfAircraft;

extern std::atomic<bool> g_aircraftListRequested;  // refill AIRCRAFT_SELECTOR
extern std::atomic<bool> g_flushStaticRequested;   // remove every static parked aircraft
extern std::atomic<bool> g_rematchRequested;       // MATCHING_DEPTH grew
extern std::atomic<bool> g_maxLiveSelChanged;
extern std::atomic<bool> g_maxParkSelChanged;
extern std::atomic<bool> g_unblockRestart;  // ends a restart countdown early

// Tests and the restart's main-state reset.
void gf_resetEngineRequests();
