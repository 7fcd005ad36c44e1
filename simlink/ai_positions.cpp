#include "simlink/ai_positions.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "core/geodesy.h"
#include "core/log.h"
#include "simlink/sim_client_detail.h"
#include "simlink/sim_ids.h"
#include "simlink/user_aircraft.h"

std::mutex g_simObjectMapMutex;
std::unordered_map<std::uint32_t, std::vector<AiPositionSample>> g_aiPositionSamples;
std::unordered_map<std::uint32_t, AiPose> g_aiLastPoses;
std::atomic<std::uint64_t> g_aiMapGeneration{0};
std::unordered_map<std::uint32_t, std::vector<AiPositionSample>> g_aiPositionSamplesTaken;
std::unordered_map<std::uint32_t, AiPositionTrack> g_aiPositionTracks;

namespace {

constexpr std::int64_t kMaxSampleStep = 250'000'000;  // ns: a longer gap starts the history anew
constexpr double kMaxSampleJumpMetres = 1000.0;
constexpr double kMaxSampleClimbFeet = 2000.0;
constexpr std::size_t kMaxTrackSamples = 16;
constexpr double kTwoPi = 2.0 * geo::kPi;

std::mutex g_clockMutex;
std::function<std::int64_t()> g_testClock;
std::uint64_t g_generationSeen = 0;  // SimClient thread

// Flat: for a limit of a kilometre the great circle is no better, and this runs for every
// sample of every object.
double lf_flatMetres(const AiPose& a, const AiPose& b) {
  const double north = (b.latitude - a.latitude) * 60.0 * 1852.0;
  const double east = gf_wrapLongitude(b.longitude - a.longitude) * 60.0 * 1852.0 * std::cos(a.latitude * geo::kDegToRad);
  return std::sqrt(north * north + east * east);
}

void lf_feedTrack(AiPositionTrack& track, const AiPositionSample& sample) {
  if (!track.samples.empty()) {
    const AiPositionSample& newest = track.samples.back();
    const std::int64_t step = sample.time - newest.time;
    const double metres = lf_flatMetres(newest.pose, sample.pose);
    if (step < 1 || step > kMaxSampleStep || metres > kMaxSampleJumpMetres ||
        std::abs(sample.pose.altitude - newest.pose.altitude) > kMaxSampleClimbFeet)
      track.samples.clear();
  }
  track.samples.push_back(sample);
  if (track.samples.size() > kMaxTrackSamples) track.samples.pop_front();
}

}  // namespace

std::int64_t gf_simSteadyNanos() {
  {
    std::lock_guard lock(g_clockMutex);
    if (g_testClock) return g_testClock();
  }
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void gf_setSimSteadyClockForTest(std::function<std::int64_t()> clock) {
  std::lock_guard lock(g_clockMutex);
  g_testClock = std::move(clock);
}

void gf_setAiPose(std::uint32_t objectId, const AiPose& pose) {
  const std::int64_t now = gf_simSteadyNanos();
  std::lock_guard lock(g_simObjectMapMutex);
  g_aiPositionSamples[objectId].push_back(AiPositionSample{pose, now});
  g_aiLastPoses[objectId] = pose;
}

void gf_clearAiPoseMaps() {
  std::lock_guard lock(g_simObjectMapMutex);
  g_aiLastPoses.clear();
  g_aiPositionSamples.clear();
  ++g_aiMapGeneration;
}

void lf_forgetTracks() {
  g_aiPositionTracks.clear();
  g_aiPositionSamplesTaken.clear();
  g_generationSeen = g_aiMapGeneration.load();
}

std::optional<AiPose> lf_interpolateAiPosition(AiPositionTrack& track, std::int64_t now) {
  auto& samples = track.samples;
  if (samples.empty()) return std::nullopt;
  const std::int64_t t = now - track.renderDelay;
  while (samples.size() >= 3 && samples[1].time <= t) samples.pop_front();
  if (samples.size() == 1) return samples.front().pose;
  if (t <= samples.front().time) return samples.front().pose;
  if (t >= samples.back().time) return samples.back().pose;

  const auto later = std::upper_bound(samples.begin(), samples.end(), t,
                                      [](std::int64_t time, const AiPositionSample& s) { return time < s.time; });
  const AiPositionSample& b = *later;
  const AiPositionSample& a = *(later - 1);
  const std::int64_t step = b.time - a.time;
  if (step < 1 || step > kMaxSampleStep) return samples.back().pose;

  const double f = std::clamp((static_cast<double>(t - a.time) * 1e-9) / (static_cast<double>(step) * 1e-9), 0.0, 1.0);
  AiPose pose;
  pose.latitude = std::lerp(a.pose.latitude, b.pose.latitude, f);
  pose.pitch = std::lerp(a.pose.pitch, b.pose.pitch, f);
  pose.bank = std::lerp(a.pose.bank, b.pose.bank, f);
  pose.altitude = std::lerp(a.pose.altitude, b.pose.altitude, f);
  pose.verticalSpeed = std::lerp(a.pose.verticalSpeed, b.pose.verticalSpeed, f);
  pose.airspeedTrue = std::lerp(a.pose.airspeedTrue, b.pose.airspeedTrue, f);
  // The short way round: across the date line and through north.
  pose.longitude =
      std::remainder(std::remainder(b.pose.longitude - a.pose.longitude, 360.0) * f + a.pose.longitude, 360.0);
  pose.heading = std::fmod(std::remainder(b.pose.heading - a.pose.heading, kTwoPi) * f + a.pose.heading, kTwoPi);
  if (pose.heading < 0.0) pose.heading += kTwoPi;
  return pose;
}

void lf_sendPositionBatch() {
  const std::uint64_t generation = g_aiMapGeneration.load();
  if (generation != g_generationSeen) {
    g_aiPositionTracks.clear();
    g_generationSeen = generation;
  }
  {
    // Never wait inside a frame: a busy producer only delays these samples to the next one.
    std::unique_lock lock(g_simObjectMapMutex, std::try_to_lock);
    if (lock.owns_lock() && !g_aiPositionSamples.empty()) std::swap(g_aiPositionSamples, g_aiPositionSamplesTaken);
  }
  // The taken map goes back to the engine at the next swap with its entries and their room, so
  // that the engine's poses of every tick allocate nothing once each object has its entry.
  for (auto it = g_aiPositionSamplesTaken.begin(); it != g_aiPositionSamplesTaken.end();) {
    auto& [objectId, samples] = *it;
    // Only objects of this connection get a track: an id of an earlier session, or of an
    // object already removed, would otherwise be moved (or named) again.
    if (!g_ownedObjects.contains(objectId)) {
      it = g_aiPositionSamplesTaken.erase(it);
      continue;
    }
    if (!samples.empty()) {
      AiPositionTrack& track = g_aiPositionTracks.try_emplace(objectId).first->second;
      for (const AiPositionSample& sample : samples) lf_feedTrack(track, sample);
      samples.clear();
    }
    ++it;
  }

  const std::int64_t now = gf_simSteadyNanos();
  const std::uint32_t userObjectId = g_userObjectId;
  for (auto& [objectId, track] : g_aiPositionTracks) {
    if (objectId == userObjectId) continue;
    const std::optional<AiPose> pose = lf_interpolateAiPosition(track, now);
    if (!pose) continue;
    AiPose sent = *pose;
    const HRESULT hr = SimConnect_SetDataOnSimObject(g_simConnectHandle, DEFINITION_LATLONPIBAHEALVSTAS, objectId, 0, 0,
                                                     sizeof(AiPose), &sent);
    g_lastAiPositionUpdate = LastAiPositionUpdate{true, objectId, sent, hr};
    if (hr < 0) {
      gf_logWarning(fmt::format("SimConnect_SetDataOnSimObject batch failed, objectid: {}", objectId));
      lf_reportRequestError();
      break;
    }
  }
}
