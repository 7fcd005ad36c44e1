#pragma once
// The worker's main loop: a 10-ms tick that moves the simulator's replies and the engine's
// adding stack along, and an engine step for each on-ground reply of the user aircraft (once a
// second), with passes every 5, 14, 15, 30, 60, 61, 1200 and 86400 steps.
#include <atomic>
#include <cstdint>
#include <mutex>

// Worker thread only.
extern std::int32_t g_stepCount;
extern bool g_flightPaused;
extern std::int32_t g_pauseTickCountdown;
extern bool g_parkingCountdownRestarted;

// Shown as the next parking update; -1 in g_parkingCountdown: no new value handed over.
extern std::atomic<std::int32_t> g_parkingMinutesLeft;
extern std::atomic<std::int32_t> g_parkingCountdown;
// Set by Block: remove the blocked aircraft at the next step.
extern std::atomic<bool> g_removeBlockedRequested;

// The parking-update request: written by gf_requestParkingUpdate, taken by the 15-step pass.
struct ParkingUpdateRequest {
  std::uint64_t requested = 0;
  std::uint64_t done = 0;
  std::int32_t second = 0;
  bool flag = false;
  bool inProgress = false;
  std::uint64_t inProgressSequence = 0;
  std::int32_t inProgressSecond = 0;
  bool inProgressFlag = false;
};
extern std::mutex g_parkingRequestMutex;
extern ParkingUpdateRequest g_parkingRequest;

void lf_mainLoop();
bool lf_tick();
void lf_pauseTick();
void lf_engineStep();
void lf_housekeeping();
void lf_minuteWork(std::int32_t n);
void lf_readerStateTick();

// The user position to the feed: RT Direct's query box, or the "Qs121=" line to the RT App
// while its server runs.
void gf_sendUserPositionToFeed();

// Tests and the restart's main-state reset.
void gf_resetMainLoopState();
