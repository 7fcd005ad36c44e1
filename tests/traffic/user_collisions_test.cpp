// Collisions with the user's aircraft: what is removed in the air and on the ground, and the
// user's reach on the ground.
#include "traffic/user_collisions.h"

#include "simlink/user_aircraft.h"
#include "tests/traffic/traffic_fixture.h"

namespace {

using namespace traffic_test;

constexpr double kNm = 1852.0;  // metres
constexpr double kFt = 0.3048;  // metres

class UserCollisions : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    placeUser();
  }
  // On the ground at EHAM heading north (the engine's reset forgets the user).
  static void placeUser() {
    g_workerUserAcPosition = UserAcPosition{};
    g_workerUserAcPosition.latitude = kEham.lat;
    g_workerUserAcPosition.longitude = kEham.lon;
  }
  void TearDown() override {
    g_workerUserAcPosition = UserAcPosition{};
    g_userHalfWingspanNm = std::numeric_limits<double>::quiet_NaN();
    g_maxHalfWingspanNm = 0.0;
    EngineTest::TearDown();
  }
};

TEST_F(UserCollisions, OnTheGroundOnlyWhatLiesStraightAheadIsRemoved) {
  struct Case {
    const char* what;
    double northM, eastM, userAglFt;
    bool removed;
  } cases[] = {
      {"0.9 NM ahead", 0.9 * kNm, 0.0, 0.0, true},
      {"40 ft off the track", 0.9 * kNm, 40.0 * kFt, 0.0, true},
      {"60 ft off the track", 0.9 * kNm, 60.0 * kFt, 0.0, false},
      {"behind", -0.5 * kNm, 0.0, 0.0, false},
      {"beyond 1 NM", 1.01 * kNm, 0.0, 0.0, false},
      {"user 600 ft up", 0.9 * kNm, 0.0, 600.0, false},
  };
  for (const Case& c : cases) {
    reset();
    placeUser();
    g_workerUserAcPosition.altitudeAboveGround = c.userAglFt;
    LiveAc& a = addLive(Rec(0x4840D6).at(offset(kEham, c.northM, c.eastM)).ground(10.0));
    EXPECT_EQ(checkUserAirGndCollision(a), c.removed) << c.what;
    EXPECT_EQ(removed.size(), c.removed ? 1u : 0u) << c.what;
  }
}

TEST_F(UserCollisions, InTheAirTheUsersPhaseDecides) {
  // One NM behind the user, same level and track: a conflict only in phase 2 (low and level).
  struct Case {
    double userVsFtMin;
    bool removed;
  } cases[] = {{500.0, false}, {300.0, true}};
  for (const Case& c : cases) {
    reset();
    placeUser();
    UserAcPosition& u = g_workerUserAcPosition;
    u.altitude = u.altitudeAboveGround = 3000.0;
    u.verticalSpeed = c.userVsFtMin;
    LiveAc& a = addLive(Rec(0x4840D6).at(offset(kEham, -1.0 * kNm)).air(3000.0, 250.0));
    EXPECT_EQ(checkUserAirCollision(a, std::cos(kEham.lat * geo::kDegToRad)), c.removed) << c.userVsFtMin;
  }
}

TEST_F(UserCollisions, TheUsersReachOnTheGround) {
  const double b738 = 17.9 / kNm;
  const ModelId b738Id = gf_modelIdOf("B738");
  g_maxHalfWingspanNm = 40.0 / kNm;
  struct Case {
    const char* what;
    double userSpanNm, groundSpeedKt;
    bool b738Known;
    double termNm;
  } cases[] = {
      {"the user's span", 20.0 / kNm, 0.0, true, 20.0 / kNm},
      {"not known yet: a B738's", NAN, 0.0, true, b738},
      {"plus 0.75 s at 10 kt", NAN, 10.0, true, b738 + 10.0 * 0.5144444444444445 * 0.75 / kNm},
      {"at most 15 m", NAN, 100.0, true, b738 + 15.0 / kNm},
      {"no B738 span: the largest", NAN, -5.0, false, 40.0 / kNm},
  };
  for (const Case& c : cases) {
    g_userHalfWingspanNm = c.userSpanNm;
    g_workerUserAcPosition.groundSpeed = c.groundSpeedKt;
    g_wingspanTable[b738Id] = c.b738Known ? b738 : 0.0;
    EXPECT_NEAR(lf_userGroundCollisionTermNm(), c.termNm, 1e-12) << c.what;
  }
  lf_userGroundCollisionTermNm();
  const std::string log = logText();
  const auto first = log.find("Traffic exception in lf_userGroundCollisionTermNm");
  EXPECT_NE(first, std::string::npos);
  EXPECT_EQ(log.find("Traffic exception in lf_userGroundCollisionTermNm", first + 1), std::string::npos)
      << "reported once, not every second";
}

}  // namespace
