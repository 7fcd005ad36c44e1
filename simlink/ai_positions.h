#pragma once
// AI poses: the engine hands timed samples to the link, which keeps a short track per object
// and sends each object one interpolated pose per simulator frame.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

// The record of DEFINITION_LATLONPIBAHEALVSTAS, 64 bytes in this order.
struct AiPose {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double pitch = 0.0;      // radians
  double bank = 0.0;       // radians
  double heading = 0.0;    // radians, true
  double altitude = 0.0;   // feet
  double verticalSpeed = 0.0;  // feet per minute
  double airspeedTrue = 0.0;   // knots
};
static_assert(sizeof(AiPose) == 64);

struct AiPositionSample {
  AiPose pose;
  std::int64_t time = 0;  // nanoseconds of the link's steady clock
};

struct AiPositionTrack {
  std::int64_t renderDelay = 20'000'000;  // ns: poses are shown this far in the past
  std::deque<AiPositionSample> samples;   // oldest first, at most 16
};

// Engine side, under g_simObjectMapMutex: samples not yet taken by the link, and each object's
// last pose. The generation counts resets of both maps.
extern std::mutex g_simObjectMapMutex;
extern std::unordered_map<std::uint32_t, std::vector<AiPositionSample>> g_aiPositionSamples;
extern std::unordered_map<std::uint32_t, AiPose> g_aiLastPoses;
extern std::atomic<std::uint64_t> g_aiMapGeneration;

// Link side, SimClient thread only.
extern std::unordered_map<std::uint32_t, std::vector<AiPositionSample>> g_aiPositionSamplesTaken;
extern std::unordered_map<std::uint32_t, AiPositionTrack> g_aiPositionTracks;

// The engine's pose of an object, stamped with the link's steady clock: appended to the
// object's samples and kept as its last pose. Any thread; normally lf_main.
void gf_setAiPose(std::uint32_t objectId, const AiPose& pose);
// The engine's traffic reset during a pause: forgets every sample and last pose.
void gf_clearAiPoseMaps();

// The steady clock (nanoseconds) of sample times and of the frame's "now"; tests replace it
// (an empty function restores the real one).
std::int64_t gf_simSteadyNanos();
void gf_setSimSteadyClockForTest(std::function<std::int64_t()> clock);
