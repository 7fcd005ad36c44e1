// AI poses: samples of the engine, one interpolated pose per object and frame.
#include <cmath>

#include "tests/simlink/sim_fixture.h"

namespace simtest {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::int64_t kMs = 1'000'000;

AiPose lf_pose(double latitude, double longitude, double headingDegrees = 90.0, double altitude = 1400.0) {
  AiPose pose;
  pose.latitude = latitude;
  pose.longitude = longitude;
  pose.heading = headingDegrees * kPi / 180.0;
  pose.altitude = altitude;
  pose.airspeedTrue = 20.0;
  return pose;
}

class PoseTest : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    connect();
    id = createObject(0xA00001);
  }

  void sampleAt(std::int64_t ms, const AiPose& pose, std::uint32_t objectId = 0) {
    clockNs = ms * kMs;
    gf_setAiPose(objectId ? objectId : id, pose);
  }

  // The pose the simulator holds after one frame at the given time.
  sim::ObjectState frameAt(std::int64_t ms) {
    clockNs = ms * kMs;
    frame();
    return sim::object(id).value_or(sim::ObjectState{});
  }

  std::size_t posesSentTo(std::uint32_t objectId) {
    std::size_t count = 0;
    for (const auto& record : sim::callLog("SetDataOnSimObject"))
      if (record.detail == fmt::format("402, {}, 64", objectId)) ++count;
    return count;
  }

  std::uint32_t id = 0;
};

TEST_F(PoseTest, SamplesAt0And100And200MsAreInterpolatedThenHeld) {
  sampleAt(0, lf_pose(47.000, 8.0));
  sampleAt(100, lf_pose(47.001, 8.0));
  sampleAt(200, lf_pose(47.002, 8.0));
  // 170 ms minus the 20 ms delay: half way between the last two.
  EXPECT_NEAR(frameAt(170).latitude, 47.0015, 1e-12);
  EXPECT_DOUBLE_EQ(frameAt(300).latitude, 47.002);
  EXPECT_DOUBLE_EQ(frameAt(400).latitude, 47.002);  // no new samples: the newest pose every frame
  const auto object = sim::object(id);
  EXPECT_EQ(object->poseUpdates, 3u);
  EXPECT_EQ(object->extraPosesInAFrame, 0u);
}

TEST_F(PoseTest, AGapOfMoreThanAQuarterSecondStartsTheTrackAnew) {
  sampleAt(0, lf_pose(47.000, 8.0));
  sampleAt(300, lf_pose(47.001, 8.0));
  // Were the first sample kept, 170 ms would lie between the two.
  EXPECT_DOUBLE_EQ(frameAt(170).latitude, 47.001);
}

TEST_F(PoseTest, AJumpOfMoreThan1000MetresStartsTheTrackAnew) {
  sampleAt(0, lf_pose(47.000, 8.0));
  sampleAt(100, lf_pose(47.010, 8.0));  // 1.1 km
  EXPECT_DOUBLE_EQ(frameAt(70).latitude, 47.010);
}

TEST_F(PoseTest, LongitudeAcrossTheDateLineAndHeadingAcrossNorthTakeTheShortWay) {
  sampleAt(0, lf_pose(0.0, 179.999, 350.0));
  sampleAt(100, lf_pose(0.0, -179.999, 10.0));
  const sim::ObjectState atHalf = frameAt(70);
  EXPECT_NEAR(std::abs(atHalf.longitude), 180.0, 1e-9);
  EXPECT_NEAR(std::min(atHalf.heading, 2 * kPi - atHalf.heading), 0.0, 1e-9);
  const sim::ObjectState atQuarter = frameAt(45);
  EXPECT_NEAR(atQuarter.longitude, 179.9995, 1e-9);
  EXPECT_NEAR(atQuarter.heading * 180.0 / kPi, 355.0, 1e-9);
  EXPECT_NEAR(frameAt(95).heading * 180.0 / kPi, 5.0, 1e-9);
}

TEST_F(PoseTest, TheUserAircraftNeverGetsAPose) {
  gf_queueSimCommand(SimCommand{3, 0});
  frame();
  ASSERT_EQ(g_userObjectId.load(), 1u);
  sampleAt(0, lf_pose(47.0, 8.0), 1);
  sampleAt(100, lf_pose(47.0001, 8.0), 1);
  frameAt(150);
  EXPECT_EQ(posesSentTo(1), 0u);
}

TEST_F(PoseTest, ARemovedObjectLosesItsTrack) {
  sampleAt(0, lf_pose(47.0, 8.0));
  frameAt(10);
  ASSERT_EQ(posesSentTo(id), 1u);
  sim::removeObjectBySim(id);
  ASSERT_TRUE(sim::waitForIdle());
  frameAt(20);
  frameAt(30);
  EXPECT_EQ(posesSentTo(id), 1u);
}

TEST_F(PoseTest, AReconnectForgetsTheTracksOfTheOldSession) {
  sampleAt(0, lf_pose(47.0, 8.0));
  frameAt(10);
  ASSERT_EQ(posesSentTo(id), 1u);
  sim::quit();
  ASSERT_TRUE(sim::waitUntil([] { return g_simState.load() == 0; }));
  sim::setRunning(true);
  ASSERT_TRUE(sim::waitUntil([] { return g_simState.load() == 2; }));
  ASSERT_TRUE(sim::waitForIdle());
  // The engine has not yet heard that the object is gone and still hands poses for it.
  sampleAt(20, lf_pose(47.0, 8.0));
  frameAt(30);
  frameAt(40);
  EXPECT_EQ(posesSentTo(id), 1u);
}

TEST_F(PoseTest, AFailedPoseEndsTheBatchWithARequestError) {
  sampleAt(0, lf_pose(47.0, 8.0));
  sim::failCall("SetDataOnSimObject");
  frameAt(10);
  EXPECT_EQ(g_simState.load(), 3);
  const std::string text = log();
  EXPECT_NE(text.find(fmt::format("==> SimConnect_SetDataOnSimObject batch failed, objectid: {}", id)),
            std::string::npos);
}

// The engine's sample map and the link's taken one change places every frame and keep their
// entries: a sample must reach its track once, and an id that is not ours must not linger.
TEST_F(PoseTest, SamplesReachTheTrackOnceAndEntriesOfOtherIdsGo) {
  constexpr std::uint32_t kStranger = 0xDEAD;  // never created on this connection
  sampleAt(0, lf_pose(47.000, 8.0));
  sampleAt(0, lf_pose(47.000, 8.0), kStranger);
  sampleAt(100, lf_pose(47.000, 8.0));
  frameAt(110);
  sampleAt(200, lf_pose(47.001, 8.0));
  frameAt(210);
  sampleAt(300, lf_pose(47.003, 8.0));
  // 290 ms: nine tenths between the last two. Samples of the first frame fed again would start
  // the track anew from them (47.00285).
  EXPECT_NEAR(frameAt(310).latitude, 47.0028, 1e-12);
  {
    std::lock_guard lock(g_simObjectMapMutex);
    EXPECT_FALSE(g_aiPositionSamples.contains(kStranger));
  }
  EXPECT_EQ(posesSentTo(kStranger), 0u);
}

TEST_F(PoseTest, ARemoveQueuedByTheEngineForgetsItsSamples) {
  sampleAt(0, lf_pose(47.0, 8.0));
  gf_queueRemoveAiObject(id);
  {
    std::lock_guard lock(g_simObjectMapMutex);
    EXPECT_FALSE(g_aiPositionSamples.contains(id));
    EXPECT_FALSE(g_aiLastPoses.contains(id));
  }
  frameAt(10);
  EXPECT_EQ(posesSentTo(id), 0u);
  EXPECT_FALSE(sim::object(id));
}

}  // namespace
}  // namespace simtest
