#pragma once
// AI poses: the engine hands timed samples to the link, which keeps a short track per object
// and sends each object one interpolated pose per simulator frame.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <unordered_map>
#include <utility>
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

// One object's pose of one engine tick.
struct AiObjectPose {
  std::uint32_t objectId = 0;
  AiPose pose;
};

struct AiPositionSample {
  AiPose pose;
  std::int64_t time = 0;  // nanoseconds of the link's steady clock
};

// The newest samples of one object, oldest first, in fixed room: feeding a track every frame
// never touches the heap.
class AiSampleRing {
 public:
  static constexpr std::size_t kCapacity = 16;

  bool empty() const { return count_ == 0; }
  std::size_t size() const { return count_; }
  const AiPositionSample& operator[](std::size_t i) const { return ring_[(first_ + i) % kCapacity]; }
  const AiPositionSample& front() const { return (*this)[0]; }
  const AiPositionSample& back() const { return (*this)[count_ - 1]; }
  void clear() { first_ = count_ = 0; }
  void pop_front() {
    first_ = (first_ + 1) % kCapacity;
    --count_;
  }
  // When full, the oldest sample makes room.
  void push_back(const AiPositionSample& sample) {
    if (count_ == kCapacity) pop_front();
    ring_[(first_ + count_) % kCapacity] = sample;
    ++count_;
  }

 private:
  std::array<AiPositionSample, kCapacity> ring_{};
  std::size_t first_ = 0;
  std::size_t count_ = 0;
};

struct AiPositionTrack {
  std::int64_t renderDelay = 20'000'000;  // ns: poses are shown this far in the past
  AiSampleRing samples;
};

// One object's samples not yet taken by the link, oldest first, in room of their own: the
// engine writes every object's pose every tick, and a heap block per object cost it a miss each.
class AiPendingSamples {
 public:
  static constexpr std::size_t kCapacity = 6;  // 60 ms of ticks between two frames

  bool empty() const { return count_ == 0; }
  std::size_t size() const { return count_; }
  AiPositionSample& back() { return samples_[count_ - 1]; }
  const AiPositionSample& operator[](std::size_t i) const { return samples_[i]; }
  void clear() { count_ = 0; }
  // When full, the oldest sample makes room.
  void push_back(const AiPositionSample& sample) {
    if (count_ == kCapacity) {
      std::copy(samples_.begin() + 1, samples_.end(), samples_.begin());
      --count_;
    }
    samples_[count_++] = sample;
  }
  const AiPositionSample* begin() const { return samples_.data(); }
  const AiPositionSample* end() const { return samples_.data() + count_; }

 private:
  // The count first: with the entry's object id it shares the line of the first sample.
  std::uint32_t count_ = 0;
  std::array<AiPositionSample, kCapacity> samples_;
};

struct AiSampleEntry {
  std::uint32_t objectId = 0;
  AiPendingSamples samples;
};

// Samples by object: a flat vector of entries and an index. The engine's store and the link's
// taken one change places every frame; both keep their entries and the entries' room, so that
// once every object has its entry neither side allocates.
class AiSampleStore {
 public:
  // The object's samples, with a new entry when it has none.
  AiPendingSamples& operator[](std::uint32_t objectId);
  // The object's entry (a new one when it has none), looked for at `hint` first: a tick's poses
  // come in the order of the last tick's, so the entry after the last one found is usually it.
  std::size_t slot(std::uint32_t objectId, std::size_t hint);
  bool contains(std::uint32_t objectId) const { return index_.contains(objectId); }
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  AiSampleEntry& entry(std::size_t i) { return entries_[i]; }
  void erase(std::uint32_t objectId);
  // The last entry takes the place of the one at i.
  void eraseAt(std::size_t i);
  void clear();
  void reserve(std::size_t n);
  void swap(AiSampleStore& other) noexcept;
  friend void swap(AiSampleStore& a, AiSampleStore& b) noexcept { a.swap(b); }

  std::vector<AiSampleEntry>::iterator begin() { return entries_.begin(); }
  std::vector<AiSampleEntry>::iterator end() { return entries_.end(); }

 private:
  std::vector<AiSampleEntry> entries_;
  std::unordered_map<std::uint32_t, std::uint32_t> index_;  // object id -> entry
};

struct AiTrackEntry {
  std::uint32_t objectId = 0;
  AiPositionTrack track;
};

// The link's tracks by object, flat, so that the frame's walk over them is a walk over memory.
class AiTrackTable {
 public:
  AiPositionTrack* find(std::uint32_t objectId);
  // The object's track, a new one (no samples) when it has none.
  AiPositionTrack& findOrAdd(std::uint32_t objectId);
  bool contains(std::uint32_t objectId) const { return index_.contains(objectId); }
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  void erase(std::uint32_t objectId);
  void clear();
  void reserve(std::size_t n);

  std::vector<AiTrackEntry>::iterator begin() { return entries_.begin(); }
  std::vector<AiTrackEntry>::iterator end() { return entries_.end(); }

 private:
  std::vector<AiTrackEntry> entries_;
  std::unordered_map<std::uint32_t, std::uint32_t> index_;  // object id -> entry
};

// Each object's last pose, flat, read like a map (find, at, contains). Entries keep the order in
// which objects first came, so that a tick's poses, in the order of the last tick's, find their
// entries by a walk instead of by hashing.
class AiLastPoseTable {
 public:
  using value_type = std::pair<std::uint32_t, AiPose>;
  using const_iterator = std::vector<value_type>::const_iterator;

  bool contains(std::uint32_t objectId) const { return index_.contains(objectId); }
  std::size_t count(std::uint32_t objectId) const { return index_.count(objectId); }
  // Throws std::out_of_range when the object has no pose.
  const AiPose& at(std::uint32_t objectId) const { return entries_[index_.at(objectId)].second; }
  const_iterator find(std::uint32_t objectId) const;
  AiPose& operator[](std::uint32_t objectId) { return entries_[slot(objectId, entries_.size())].second; }
  // The object's entry (a new one when it has none), looked for at `hint` first.
  std::size_t slot(std::uint32_t objectId, std::size_t hint);
  AiPose& poseAt(std::size_t slot) { return entries_[slot].second; }
  std::size_t erase(std::uint32_t objectId);
  void clear();
  void reserve(std::size_t n);
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

 private:
  std::vector<value_type> entries_;
  std::unordered_map<std::uint32_t, std::uint32_t> index_;  // object id -> entry
};

// Engine side, under g_simObjectMapMutex: samples not yet taken by the link, and each object's
// last pose. The generation counts resets of both.
extern std::mutex g_simObjectMapMutex;
extern AiSampleStore g_aiPositionSamples;
extern AiLastPoseTable g_aiLastPoses;
extern std::atomic<std::uint64_t> g_aiMapGeneration;

// Link side, SimClient thread only.
extern AiSampleStore g_aiPositionSamplesTaken;
extern AiTrackTable g_aiPositionTracks;

// The engine's poses of one tick, stamped with one time of the link's steady clock: each is
// appended to its object's samples and kept as its last pose. A second pose of an object at the
// same time takes the place of the first; of the samples not yet taken, each object keeps its
// newest six. Any thread; normally lf_main, once per tick.
void gf_setAiPoses(std::span<const AiObjectPose> poses);
// One pose alone, as gf_setAiPoses.
void gf_setAiPose(std::uint32_t objectId, const AiPose& pose);
// The engine's traffic reset during a pause: forgets every sample and last pose.
void gf_clearAiPoseMaps();

// The steady clock (nanoseconds) of sample times and of the frame's "now"; tests replace it
// (an empty function restores the real one).
std::int64_t gf_simSteadyNanos();
void gf_setSimSteadyClockForTest(std::function<std::int64_t()> clock);
