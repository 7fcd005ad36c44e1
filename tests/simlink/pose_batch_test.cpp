// The engine's poses of a tick handed over together: what the stores keep, the one time of the
// tick, and what the link makes of ticks handed over so.
#include <map>

#include "tests/simlink/sim_fixture.h"

namespace simtest {
namespace {

constexpr std::int64_t kMs = 1'000'000;

AiPose lf_pose(double latitude) {
  AiPose pose;
  pose.latitude = latitude;
  pose.longitude = 8.0;
  pose.altitude = 3000.0;
  return pose;
}

struct Kept {
  std::map<std::uint32_t, std::vector<std::pair<std::int64_t, double>>> samples;  // time, latitude
  std::map<std::uint32_t, double> last;                                           // latitude
};

Kept lf_kept() {
  std::lock_guard lock(g_simObjectMapMutex);
  Kept kept;
  for (auto& [objectId, samples] : g_aiPositionSamples)
    for (const AiPositionSample& sample : samples) kept.samples[objectId].emplace_back(sample.time, sample.pose.latitude);
  for (const auto& [objectId, pose] : g_aiLastPoses) kept.last[objectId] = pose.latitude;
  return kept;
}

class PoseBatchTest : public SimLinkTest {};

// Ticks whose objects come in any order, new ones among them, some gone between ticks: each
// object keeps the samples and the last pose that one call per pose would have given it, at the
// tick's one time, read from the clock once per tick.
TEST_F(PoseBatchTest, EveryOrderOfObjectsKeepsWhatOneCallPerPoseWould) {
  struct Tick {
    const char* what;
    std::vector<std::uint32_t> objects;
    std::vector<std::uint32_t> removedBefore;
  };
  const Tick ticks[] = {
      {"the first tick", {1, 2, 3, 4, 5}, {}},
      {"the same order", {1, 2, 3, 4, 5}, {}},
      {"reversed", {5, 4, 3, 2, 1}, {}},
      {"two new ones in the middle", {1, 2, 8, 9, 3, 4, 5}, {}},
      {"the first one gone, its place taken by the last", {2, 8, 9, 3, 4, 5}, {1}},
      {"two gone, one back", {5, 1, 9, 2, 4}, {3, 8}},
      {"one object twice: the later pose stands", {2, 4, 2}, {}},
      {"no pose at all", {}, {}},
      {"after an empty tick", {4, 5, 9, 1, 2}, {}},
  };
  Kept expected;
  std::int64_t time = 0;
  for (const Tick& tick : ticks) {
    for (const std::uint32_t objectId : tick.removedBefore) {
      gf_queueRemoveAiObject(objectId);
      expected.samples.erase(objectId);
      expected.last.erase(objectId);
    }
    time += 10 * kMs;
    clockNs = time;
    std::vector<AiObjectPose> batch;
    for (const std::uint32_t objectId : tick.objects) {
      const double latitude = 47.0 + 0.01 * static_cast<double>(objectId) + 1e-6 * static_cast<double>(batch.size());
      batch.push_back(AiObjectPose{objectId, lf_pose(latitude)});
      auto& samples = expected.samples[objectId];
      if (!samples.empty() && samples.back().first == time) {
        samples.back().second = latitude;
      } else {
        if (samples.size() == 6) samples.erase(samples.begin());  // the newest six wait for the link
        samples.emplace_back(time, latitude);
      }
      expected.last[objectId] = latitude;
    }
    const std::uint64_t readsBefore = clockReads;
    gf_setAiPoses(batch);
    EXPECT_EQ(clockReads - readsBefore, tick.objects.empty() ? 0u : 1u) << tick.what;
    const Kept kept = lf_kept();
    EXPECT_EQ(kept.samples, expected.samples) << tick.what;
    EXPECT_EQ(kept.last, expected.last) << tick.what;
    std::lock_guard lock(g_simObjectMapMutex);
    for (const auto& [objectId, latitude] : expected.last) {
      ASSERT_TRUE(g_aiLastPoses.contains(objectId)) << tick.what << ", object " << objectId;
      EXPECT_EQ(g_aiLastPoses.at(objectId).latitude, latitude) << tick.what << ", object " << objectId;
      EXPECT_EQ(g_aiLastPoses.find(objectId)->first, objectId) << tick.what;
    }
    for (const std::uint32_t gone : tick.removedBefore) {
      EXPECT_FALSE(g_aiLastPoses.contains(gone)) << tick.what;
      EXPECT_EQ(g_aiLastPoses.find(gone), g_aiLastPoses.end()) << tick.what;
      EXPECT_THROW(static_cast<void>(g_aiLastPoses.at(gone)), std::out_of_range) << tick.what;
    }
  }
}

// A link that takes nothing for ten ticks finds each object's newest six samples, oldest first;
// its tracks go on from there.
TEST_F(PoseBatchTest, ALateLinkFindsTheNewestSamplesOfEachObject) {
  for (std::int64_t tick = 1; tick <= 10; ++tick) {
    clockNs = tick * 10 * kMs;
    gf_setAiPoses(std::vector<AiObjectPose>{{7, lf_pose(47.0 + 0.001 * static_cast<double>(tick))},
                                            {9, lf_pose(48.0 + 0.001 * static_cast<double>(tick))}});
  }
  std::vector<std::pair<std::int64_t, double>> newest7, newest9;
  for (std::int64_t tick = 5; tick <= 10; ++tick) {
    newest7.emplace_back(tick * 10 * kMs, 47.0 + 0.001 * static_cast<double>(tick));
    newest9.emplace_back(tick * 10 * kMs, 48.0 + 0.001 * static_cast<double>(tick));
  }
  const Kept kept = lf_kept();
  EXPECT_EQ(kept.samples.at(7), newest7);
  EXPECT_EQ(kept.samples.at(9), newest9);
  EXPECT_DOUBLE_EQ(kept.last.at(7), 47.010);
}

// Ticks 10 ms apart handed over whole, the link's frames 60 a second between them: each object
// is shown on the straight line its samples lie on, 20 ms late, never held at its newest pose
// as a track started anew would be.
TEST_F(PoseBatchTest, TheLinkInterpolatesTicksHandedOverWhole) {
  connect();
  const std::uint32_t ids[] = {createObject(0xA00001, "N1"), createObject(0xA00002, "N2"), createObject(0xA00003, "N3")};
  const auto latitudeAt = [](std::int64_t ms, std::size_t k) {
    return 47.0 + 0.1 * static_cast<double>(k) + 1e-5 * static_cast<double>(ms) / 10.0;
  };
  std::int64_t tickMs = 1000;
  for (std::int64_t frameMs = 1000; frameMs < 1300; frameMs += 17) {
    for (; tickMs <= frameMs; tickMs += 10) {
      clockNs = tickMs * kMs;
      std::vector<AiObjectPose> batch;
      for (std::size_t k = 0; k < std::size(ids); ++k) batch.push_back(AiObjectPose{ids[k], lf_pose(latitudeAt(tickMs, k))});
      gf_setAiPoses(batch);
    }
    clockNs = frameMs * kMs;
    frame();
    if (frameMs < 1040) continue;  // the first samples are not yet 20 ms old
    for (std::size_t k = 0; k < std::size(ids); ++k)
      EXPECT_NEAR(sim::object(ids[k]).value_or(sim::ObjectState{}).latitude, latitudeAt(frameMs - 20, k), 1e-9)
          << "frame at " << frameMs << " ms, object " << k;
  }
}

}  // namespace
}  // namespace simtest
