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
AiSampleStore g_aiPositionSamples;
AiLastPoseTable g_aiLastPoses;
std::atomic<std::uint64_t> g_aiMapGeneration{0};
AiSampleStore g_aiPositionSamplesTaken;
AiTrackTable g_aiPositionTracks;

namespace {

constexpr std::int64_t kMaxSampleStep = 250'000'000;  // ns: a longer gap starts the history anew
constexpr double kMaxSampleJumpMetres = 1000.0;
constexpr double kMaxSampleClimbFeet = 2000.0;
constexpr double kTwoPi = 2.0 * geo::kPi;

std::mutex g_clockMutex;
std::function<std::int64_t()> g_testClock;
// The engine stamps every pose of every tick: without a test clock the lock is not taken.
std::atomic<bool> g_testClockSet{false};
std::uint64_t g_generationSeen = 0;  // SimClient thread

// std::remainder and std::fmod are exact, so a value already in their range comes back as it
// is; most steps between two samples are small, and the library calls are slow.
double lf_remainder(double x, double period) {
  return std::abs(x) <= period * 0.5 ? x : std::remainder(x, period);
}

double lf_fmodPositive(double x, double period) { return x >= 0.0 && x < period ? x : std::fmod(x, period); }

// Flat: for a limit of a kilometre the great circle is no better, and this runs for every
// sample of every object. The longitudes' difference is wrapped as gf_wrapLongitude does; the
// cosine is only needed when the east step taken at the equator, never shorter than the true
// one, could reach the limit.
bool lf_fartherThanJumpLimit(const AiPose& a, const AiPose& b) {
  const double north = (b.latitude - a.latitude) * 60.0 * 1852.0;
  const double eastAtEquator = lf_remainder(b.longitude - a.longitude, 360.0) * 60.0 * 1852.0;
  if (north * north + eastAtEquator * eastAtEquator <= kMaxSampleJumpMetres * kMaxSampleJumpMetres) return false;
  const double east = eastAtEquator * std::cos(a.latitude * geo::kDegToRad);
  return std::sqrt(north * north + east * east) > kMaxSampleJumpMetres;
}

void lf_feedTrack(AiPositionTrack& track, const AiPositionSample& sample) {
  if (!track.samples.empty()) {
    const AiPositionSample& newest = track.samples.back();
    const std::int64_t step = sample.time - newest.time;
    if (step < 1 || step > kMaxSampleStep || lf_fartherThanJumpLimit(newest.pose, sample.pose) ||
        std::abs(sample.pose.altitude - newest.pose.altitude) > kMaxSampleClimbFeet)
      track.samples.clear();
  }
  track.samples.push_back(sample);
}

// Entries are taken out by moving the last one into the hole: no entry moves otherwise, and the
// order of objects means nothing to either side.
std::uint32_t lf_idOf(const AiSampleEntry& entry) { return entry.objectId; }
std::uint32_t lf_idOf(const AiTrackEntry& entry) { return entry.objectId; }
std::uint32_t lf_idOf(const AiLastPoseTable::value_type& entry) { return entry.first; }
void lf_setId(AiSampleEntry& entry, std::uint32_t objectId) { entry.objectId = objectId; }
void lf_setId(AiLastPoseTable::value_type& entry, std::uint32_t objectId) { entry.first = objectId; }

template <typename Entry>
void lf_eraseAt(std::vector<Entry>& entries, std::unordered_map<std::uint32_t, std::uint32_t>& index, std::size_t i) {
  index.erase(lf_idOf(entries[i]));
  if (i + 1 != entries.size()) {
    entries[i] = std::move(entries.back());
    index[lf_idOf(entries[i])] = static_cast<std::uint32_t>(i);
  }
  entries.pop_back();
}

// The entry at the hint when it is the object's, else the index's answer; an object without one
// gets a new entry at the end.
template <typename Entry>
std::size_t lf_slot(std::vector<Entry>& entries, std::unordered_map<std::uint32_t, std::uint32_t>& index,
                    std::uint32_t objectId, std::size_t hint) {
  if (hint < entries.size() && lf_idOf(entries[hint]) == objectId) return hint;
  const auto [it, added] = index.try_emplace(objectId, static_cast<std::uint32_t>(entries.size()));
  if (added) {
    try {
      entries.emplace_back();
    } catch (...) {
      index.erase(it);
      throw;
    }
    lf_setId(entries.back(), objectId);
  }
  return it->second;
}

// Samples of one time are one sample: the newer pose stands, and the track never sees a step of
// no time, which would make it start its history anew. A link late by more than the room keeps
// the newest: frames show poses 20 ms old, and the track holds what came before.
void lf_addSample(AiPendingSamples& samples, const AiPose& pose, std::int64_t time) {
  if (!samples.empty() && samples.back().time == time) {
    samples.back().pose = pose;
    return;
  }
  samples.push_back(AiPositionSample{pose, time});
}

}  // namespace

AiPendingSamples& AiSampleStore::operator[](std::uint32_t objectId) {
  return entries_[slot(objectId, entries_.size())].samples;
}

std::size_t AiSampleStore::slot(std::uint32_t objectId, std::size_t hint) {
  return lf_slot(entries_, index_, objectId, hint);
}

void AiSampleStore::erase(std::uint32_t objectId) {
  const auto it = index_.find(objectId);
  if (it != index_.end()) eraseAt(it->second);
}

void AiSampleStore::eraseAt(std::size_t i) { lf_eraseAt(entries_, index_, i); }

void AiSampleStore::clear() {
  entries_.clear();
  index_.clear();
}

void AiSampleStore::reserve(std::size_t n) {
  entries_.reserve(n);
  index_.reserve(n);
}

void AiSampleStore::swap(AiSampleStore& other) noexcept {
  entries_.swap(other.entries_);
  index_.swap(other.index_);
}

AiPositionTrack* AiTrackTable::find(std::uint32_t objectId) {
  const auto it = index_.find(objectId);
  return it == index_.end() ? nullptr : &entries_[it->second].track;
}

AiPositionTrack& AiTrackTable::findOrAdd(std::uint32_t objectId) {
  const auto [it, added] = index_.try_emplace(objectId, static_cast<std::uint32_t>(entries_.size()));
  if (added) entries_.push_back(AiTrackEntry{objectId, {}});
  return entries_[it->second].track;
}

void AiTrackTable::erase(std::uint32_t objectId) {
  const auto it = index_.find(objectId);
  if (it != index_.end()) lf_eraseAt(entries_, index_, it->second);
}

void AiTrackTable::clear() {
  entries_.clear();
  index_.clear();
}

void AiTrackTable::reserve(std::size_t n) {
  entries_.reserve(n);
  index_.reserve(n);
}

AiLastPoseTable::const_iterator AiLastPoseTable::find(std::uint32_t objectId) const {
  const auto it = index_.find(objectId);
  return it == index_.end() ? entries_.end() : entries_.begin() + it->second;
}

std::size_t AiLastPoseTable::slot(std::uint32_t objectId, std::size_t hint) {
  return lf_slot(entries_, index_, objectId, hint);
}

std::size_t AiLastPoseTable::erase(std::uint32_t objectId) {
  const auto it = index_.find(objectId);
  if (it == index_.end()) return 0;
  lf_eraseAt(entries_, index_, it->second);
  return 1;
}

void AiLastPoseTable::clear() {
  entries_.clear();
  index_.clear();
}

void AiLastPoseTable::reserve(std::size_t n) {
  entries_.reserve(n);
  index_.reserve(n);
}

std::int64_t gf_simSteadyNanos() {
  if (g_testClockSet.load(std::memory_order_acquire)) {
    std::lock_guard lock(g_clockMutex);
    if (g_testClock) return g_testClock();
  }
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void gf_setSimSteadyClockForTest(std::function<std::int64_t()> clock) {
  std::lock_guard lock(g_clockMutex);
  g_testClock = std::move(clock);
  g_testClockSet.store(static_cast<bool>(g_testClock), std::memory_order_release);
}

void gf_setAiPoses(std::span<const AiObjectPose> poses) {
  if (poses.empty()) return;
  const std::int64_t now = gf_simSteadyNanos();
  std::lock_guard lock(g_simObjectMapMutex);
  std::size_t sampleHint = 0;
  std::size_t poseHint = 0;
  for (const AiObjectPose& p : poses) {
    const std::size_t sampleSlot = g_aiPositionSamples.slot(p.objectId, sampleHint);
    lf_addSample(g_aiPositionSamples.entry(sampleSlot).samples, p.pose, now);
    const std::size_t poseSlot = g_aiLastPoses.slot(p.objectId, poseHint);
    g_aiLastPoses.poseAt(poseSlot) = p.pose;
    sampleHint = sampleSlot + 1;
    poseHint = poseSlot + 1;
  }
}

void gf_setAiPose(std::uint32_t objectId, const AiPose& pose) {
  const AiObjectPose one{objectId, pose};
  gf_setAiPoses(std::span(&one, 1));
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

  // A handful of samples at most: the first one later than t, by a plain walk.
  std::size_t later = 1;
  while (samples[later].time <= t) ++later;
  const AiPositionSample& b = samples[later];
  const AiPositionSample& a = samples[later - 1];
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
      lf_remainder(lf_remainder(b.pose.longitude - a.pose.longitude, 360.0) * f + a.pose.longitude, 360.0);
  pose.heading = lf_fmodPositive(lf_remainder(b.pose.heading - a.pose.heading, kTwoPi) * f + a.pose.heading, kTwoPi);
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
    if (lock.owns_lock() && !g_aiPositionSamples.empty()) g_aiPositionSamples.swap(g_aiPositionSamplesTaken);
  }
  // The taken store goes back to the engine at the next swap with its entries and their room, so
  // that the engine's poses of every tick allocate nothing once each object has its entry.
  for (std::size_t i = 0; i < g_aiPositionSamplesTaken.size();) {
    auto& [objectId, samples] = g_aiPositionSamplesTaken.entry(i);
    // Only objects of this connection get a track: an id of an earlier session, or of an
    // object already removed, would otherwise be moved (or named) again. A track is dropped
    // whenever its object stops being ours, so an object with a track needs no second look.
    AiPositionTrack* track = g_aiPositionTracks.find(objectId);
    if (!track && !g_ownedObjects.contains(objectId)) {
      g_aiPositionSamplesTaken.eraseAt(i);
      continue;
    }
    if (!samples.empty()) {
      if (!track) track = &g_aiPositionTracks.findOrAdd(objectId);
      for (const AiPositionSample& sample : samples) lf_feedTrack(*track, sample);
      samples.clear();
    }
    ++i;
  }

  const std::int64_t now = gf_simSteadyNanos();
  const std::uint32_t userObjectId = g_userObjectId;
  // The last pose sent is kept once, after the loop: the copy into the global made for every
  // object cost more than the interpolation.
  LastAiPositionUpdate last;
  for (auto& [objectId, track] : g_aiPositionTracks) {
    if (objectId == userObjectId) continue;
    const std::optional<AiPose> pose = lf_interpolateAiPosition(track, now);
    if (!pose) continue;
    last.valid = true;
    last.objectId = objectId;
    last.pose = *pose;
    last.result = SimConnect_SetDataOnSimObject(g_simConnectHandle, DEFINITION_LATLONPIBAHEALVSTAS, objectId, 0, 0,
                                                sizeof(AiPose), &last.pose);
    if (last.result < 0) {
      g_lastAiPositionUpdate = last;
      gf_logWarning(fmt::format("SimConnect_SetDataOnSimObject batch failed, objectid: {}", objectId));
      lf_reportRequestError();
      return;
    }
  }
  if (last.valid) g_lastAiPositionUpdate = last;
}
