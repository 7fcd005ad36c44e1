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

// The jump limit measured flat: north, east at a high latitude, and across the date line.
TEST_F(PoseTest, TheKilometreLimitHoldsInEveryDirection) {
  struct Case {
    const char* name;
    double latitude, longitude;  // of the first sample
    double northM, eastM;        // to the second
    bool kept;
  };
  const Case cases[] = {
      {"950 m north", 47.0, 8.0, 950.0, 0.0, true},
      {"1050 m north", 47.0, 8.0, 1050.0, 0.0, false},
      {"950 m east at 70 N", 70.0, 8.0, 0.0, 950.0, true},
      {"1050 m east at 70 N", 70.0, 8.0, 0.0, 1050.0, false},
      {"900 m east across the date line", 0.0, 179.996, 0.0, 900.0, true},
      {"1100 m west across the date line", 0.0, -179.996, 0.0, -1100.0, false},
      {"999 m east at the equator", 0.0, 8.0, 0.0, 999.0, true},
      {"1001 m east at the equator", 0.0, 8.0, 0.0, 1001.0, false},
      {"700 m north and 700 m east (990 m)", 47.0, 8.0, 700.0, 700.0, true},
      {"720 m north and 720 m east (1018 m)", 47.0, 8.0, 720.0, 720.0, false},
      {"999 m east at 89 N", 89.0, 8.0, 0.0, 999.0, true},
      {"1001 m east at 89 N", 89.0, 8.0, 0.0, 1001.0, false},
  };
  std::int64_t base = 0;
  for (const Case& c : cases) {
    const double dLat = c.northM / 1852.0 / 60.0;
    const double dLon = c.eastM / 1852.0 / 60.0 / std::cos(c.latitude * kPi / 180.0);
    double longitude = c.longitude + dLon;
    if (longitude > 180.0) longitude -= 360.0;
    if (longitude < -180.0) longitude += 360.0;
    sampleAt(base, lf_pose(c.latitude, c.longitude));
    sampleAt(base + 100, lf_pose(c.latitude + dLat, longitude));
    // 50 ms after the first: half way when the track was kept, else the second pose alone.
    const sim::ObjectState object = frameAt(base + 70);
    EXPECT_NEAR(object.latitude, c.latitude + (c.kept ? dLat / 2.0 : dLat), 1e-9) << c.name;
    double expectedLon = c.longitude + (c.kept ? dLon / 2.0 : dLon);
    if (expectedLon > 180.0) expectedLon -= 360.0;
    if (expectedLon < -180.0) expectedLon += 360.0;
    EXPECT_NEAR(object.longitude, expectedLon, 1e-9) << c.name;
    base += 1000;  // a gap that starts the next case's track anew
  }
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
