// The stores behind the poses: samples by object, tracks by object, a track's ring of samples,
// and frames that once warmed up allocate nothing on the link's side or the engine's.
#include <map>

#include "simlink/sim_client_detail.h"
#include "tests/simlink/sim_fixture.h"
#include "tests/support/allocation_count.h"

using testing_support::t_allocations;

namespace simtest {
namespace {

constexpr std::int64_t kMs = 1'000'000;

AiPositionSample lf_sample(std::int64_t ms, double latitude) {
  AiPositionSample sample;
  sample.pose.latitude = latitude;
  sample.pose.longitude = 8.0;
  sample.time = ms * kMs;
  return sample;
}

// Erasing moves the last entry into the hole: after any mix of adds and erases each object
// still finds its own samples, and nothing else.
TEST(AiSampleStoreTest, AddsAndErasesKeepEveryObjectWithItsOwnSamples) {
  struct Step {
    const char* what;
    bool add;
    std::uint32_t objectId;
  };
  const Step steps[] = {
      {"add 11", true, 11},        {"add 12", true, 12},     {"add 13", true, 13},     {"add 14", true, 14},
      {"erase the first", false, 11}, {"erase the last", false, 13}, {"erase an unknown id", false, 99},
      {"add 11 again", true, 11},  {"add 15", true, 15},     {"erase the middle", false, 14},
      {"add to 12 again", true, 12}, {"erase all but one", false, 15}, {"erase", false, 11},
  };
  AiSampleStore store;
  std::map<std::uint32_t, std::vector<double>> expected;
  double latitude = 0.0;
  for (const Step& step : steps) {
    if (step.add) {
      latitude += 1.0;
      store[step.objectId].push_back(lf_sample(0, latitude));
      expected[step.objectId].push_back(latitude);
    } else {
      store.erase(step.objectId);
      expected.erase(step.objectId);
    }
    ASSERT_EQ(store.size(), expected.size()) << step.what;
    std::map<std::uint32_t, std::vector<double>> seen;
    for (auto& [objectId, samples] : store)
      for (const AiPositionSample& sample : samples) seen[objectId].push_back(sample.pose.latitude);
    EXPECT_EQ(seen, expected) << step.what;
    for (const auto& [objectId, latitudes] : expected) {
      EXPECT_TRUE(store.contains(objectId)) << step.what;
      EXPECT_EQ(store[objectId].size(), latitudes.size()) << step.what;
    }
    EXPECT_FALSE(store.contains(99)) << step.what;
  }
}

TEST(AiTrackTableTest, ErasingKeepsTheOtherTracksFoundByTheirObject) {
  AiTrackTable tracks;
  for (std::uint32_t id = 1; id <= 4; ++id) tracks.findOrAdd(id).samples.push_back(lf_sample(0, id));
  tracks.erase(1);  // the last one moves into its place
  tracks.erase(7);
  EXPECT_EQ(tracks.size(), 3u);
  EXPECT_EQ(tracks.find(1), nullptr);
  for (std::uint32_t id = 2; id <= 4; ++id) {
    ASSERT_NE(tracks.find(id), nullptr) << id;
    EXPECT_DOUBLE_EQ(tracks.find(id)->samples.back().pose.latitude, id) << id;
  }
  // An existing track is found, not made anew.
  tracks.findOrAdd(4).samples.push_back(lf_sample(10, 40.0));
  EXPECT_EQ(tracks.find(4)->samples.size(), 2u);
  std::map<std::uint32_t, std::size_t> walked;
  for (auto& [objectId, track] : tracks) walked[objectId] = track.samples.size();
  EXPECT_EQ(walked, (std::map<std::uint32_t, std::size_t>{{2, 1}, {3, 1}, {4, 2}}));
}

// Twenty samples 10 ms apart: the ring keeps the newest sixteen, oldest first, and a pose is
// interpolated between the right two after the ring has wrapped round.
TEST(AiPositionTrackTest, AFullRingKeepsTheNewestSamplesAndInterpolatesAcrossItsWrap) {
  AiPositionTrack track;
  for (std::int64_t i = 0; i < 20; ++i) track.samples.push_back(lf_sample(10 * i, 47.0 + 0.001 * i));
  ASSERT_EQ(track.samples.size(), AiSampleRing::kCapacity);
  EXPECT_EQ(track.samples.front().time, 40 * kMs);
  EXPECT_EQ(track.samples.back().time, 190 * kMs);
  for (std::size_t i = 1; i < track.samples.size(); ++i)
    EXPECT_EQ(track.samples[i].time - track.samples[i - 1].time, 10 * kMs) << i;

  // 20 ms of render delay: 145 ms lies half way between the samples of 140 and 150 ms.
  const std::optional<AiPose> pose = lf_interpolateAiPosition(track, 165 * kMs);
  ASSERT_TRUE(pose);
  EXPECT_NEAR(pose->latitude, 47.0145, 1e-12);
  EXPECT_EQ(track.samples.front().time, 140 * kMs);  // what lies behind is no longer needed
  EXPECT_DOUBLE_EQ(lf_interpolateAiPosition(track, 500 * kMs)->latitude, 47.019);
}

// The link and the engine as the running program drives them, on this thread: the engine's
// poses of every 10-ms tick and the link's batch of every 60-fps frame. Once every object has
// its entry and track, the engine's poses allocate nothing and the batch allocates only what
// the stand-in allocates for the same SetDataOnSimObject calls.
class PoseAllocationTest : public SimLinkTest {};

TEST_F(PoseAllocationTest, SteadyFramesAllocateNothingOfTheirOwn) {
  sim::setRunning(true);
  sim::setAcceptAllTitles(true);
  sim::setCreateDelayFrames(1);
  gf_initSimClient();
  ASSERT_GE(SimConnect_Open(&g_simConnectHandle, "JORV", nullptr, 0, nullptr, 0), 0);
  ASSERT_TRUE(lf_setupSimConnect());
  constexpr std::uint32_t kObjects = 40;
  for (std::uint32_t i = 0; i < kObjects; ++i) {
    SimConnectInitPosition position;
    position.latitude = 47.0;
    position.longitude = 8.0;
    position.altitude = 5000.0;
    SimConnect_AICreateNonATCAircraft(g_simConnectHandle, "Stand-in A320", fmt::format("HB-{:03}", i).c_str(),
                                      position, 100 + i);
  }
  sim::pumpFrames(3);
  std::vector<std::uint32_t> ids;
  for (const sim::ObjectState& object : sim::aiObjects()) {
    ids.push_back(object.objectId);
    g_ownedObjects.insert(object.objectId);
  }
  ASSERT_EQ(ids.size(), kObjects);

  std::vector<AiPose> poses(ids.size());
  for (std::size_t i = 0; i < poses.size(); ++i) {
    poses[i].latitude = 47.0 + 0.01 * static_cast<double>(i);
    poses[i].longitude = 8.0;
    poses[i].altitude = 5000.0;
  }
  std::int64_t tick = 0;
  std::int64_t frameTime = 0;
  std::uint64_t engineAllocations = 0;
  std::uint64_t batchAllocations = 0;
  std::uint64_t standInAllocations = 0;
  const auto oneFrame = [&](bool counted) {
    for (; tick <= frameTime; tick += 10 * kMs) {
      clockNs = tick;
      const std::uint64_t before = t_allocations;
      for (std::size_t i = 0; i < ids.size(); ++i) {
        poses[i].latitude += 0.00001;
        gf_setAiPose(ids[i], poses[i]);
      }
      if (counted) engineAllocations += t_allocations - before;
    }
    frameTime += 16'666'667;
    clockNs = frameTime;
    sim::clearCallLog();
    std::uint64_t before = t_allocations;
    lf_sendPositionBatch();
    if (counted) batchAllocations += t_allocations - before;
    before = t_allocations;
    for (std::size_t i = 0; i < ids.size(); ++i)
      SimConnect_SetDataOnSimObject(g_simConnectHandle, DEFINITION_LATLONPIBAHEALVSTAS, ids[i], 0, 0, sizeof(AiPose),
                                    &poses[i]);
    if (counted) standInAllocations += t_allocations - before;
  };
  for (int i = 0; i < 30; ++i) oneFrame(false);
  for (int i = 0; i < 60; ++i) oneFrame(true);
  sim::clearCallLog();
  lf_sendPositionBatch();
  EXPECT_EQ(sim::callLog("SetDataOnSimObject").size(), ids.size());

  EXPECT_EQ(g_aiPositionTracks.size(), ids.size());
  EXPECT_EQ(engineAllocations, 0u);
  EXPECT_EQ(batchAllocations, standInAllocations);
  SimConnect_Close(g_simConnectHandle);
}

}  // namespace
}  // namespace simtest
