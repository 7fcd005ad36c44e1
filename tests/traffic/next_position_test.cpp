// The movement step through the update as the program installs it: extensions when the stream
// runs dry, the guard, hovering, leg timing, the climb-out cut, the stand check and the pose.
#include "traffic/next_position.h"

#include "simlink/ai_positions.h"
#include "simlink/facility_stand.h"
#include "tests/traffic/stream_builder.h"
#include "tests/traffic/traffic_fixture.h"

namespace {

using namespace traffic_test;
using stream_test::StreamBuilder;

constexpr std::int32_t kNow = 10000;

class NextPosition : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    g_engineTime = kNow;
    gf_clearAiPoseMaps();
  }
  void TearDown() override {
    g_engineTime = 0;
    g_stands.clear();
    gf_clearAiPoseMaps();
    EngineTest::TearDown();
  }
  // An aircraft in the simulator in the state, its stream from the builder.
  LiveAc& aircraft(const StreamBuilder& stream, std::uint32_t state, const char* model = "B738") {
    LiveAc& a = addLive(Rec(0x4001, "KLM1", model), SimStatus::active, state);
    stream.into(a);
    return a;
  }
  // A clean engine for the next case of a table, at the same time.
  void again() {
    reset();
    g_engineTime = kNow;
    gf_clearAiPoseMaps();
  }
  static bool update(LiveAc& a) { return gf_engineHooks().updateLiveAc(a); }
  bool wasRemoved() const { return !removed.empty(); }
};

StreamBuilder cruising(const Lalo& from = kEham) { return StreamBuilder(from, kNow).air(5000.0, 250.0).track(90.0); }

TEST_F(NextPosition, ADryStreamIsExtendedWhileTheBudgetLastsThenTheAircraftGoes) {
  struct Case {
    const char* what;
    std::int32_t budget, after;
    bool removes;
    std::uint32_t state = FlightPhase::flying;
    const char* logged = nullptr;  // the removal's log line on the ground
  } cases[] = {
      {"none begun: a minute's allowance", 0, 20, false},
      {"five left", 5, 4, false},
      {"the last one used", 1, -1, true},
      {"used up", -1, -1, true},
      // An arrival whose reports stopped on the runway stood out its extensions: it says why it goes.
      {"landing roll, used up", -1, -1, true, FlightPhase::landing_roll, " removed on the ground at 0 kt, fs:"},
      {"taxi, the last one used", 1, -1, true, FlightPhase::taxi, "its extensions are used up"},
  };
  for (const Case& c : cases) {
    again();
    const bool onGround = c.state != FlightPhase::flying;
    LiveAc& a = aircraft(onGround ? StreamBuilder(kEham, kNow).ground(0.0).moving(1) : cruising().moving(1), c.state);
    a.onGround = onGround;
    a.extensionCount = c.budget;
    update(a);
    EXPECT_EQ(wasRemoved(), c.removes) << c.what;
    if (c.logged) { EXPECT_NE(logText().find(c.logged), std::string::npos) << c.what << ": " << logText(); }
    if (!onGround && c.removes) { EXPECT_EQ(logText().find(" removed on the ground"), std::string::npos) << c.what; }
    EXPECT_EQ(a.extensionCount, c.after) << c.what;
    if (!c.removes) { EXPECT_EQ(a.stream.size(), 1u) << c.what << ": one point appended, the reached one dropped"; }
  }
}

TEST_F(NextPosition, AfterFeedLossAFlightRunsOnTwentyThreeSecondExtensions) {
  LiveAc& a = aircraft(cruising().moving(1), FlightPhase::flying);
  std::int32_t extensions = 0;
  std::int32_t lastDue = a.stream.back().time;
  for (std::int32_t t = kNow; t < kNow + 7000 && !wasRemoved(); ++t) {
    g_engineTime = t;
    update(a);
    if (!a.stream.empty() && a.stream.back().time != lastDue) {
      EXPECT_EQ(a.stream.back().time - lastDue, 300);
      lastDue = a.stream.back().time;
      ++extensions;
    }
  }
  EXPECT_EQ(extensions, 20);
  EXPECT_TRUE(wasRemoved());
  EXPECT_EQ(g_engineTime.load(), kNow + 20 * 300);
  EXPECT_GT(gf_distanceNm(kEham, a.position), 1.0) << "it flew on meanwhile";
}

TEST_F(NextPosition, AFeedWithItsFaultsIsFlownToItsEndWithFinitePosesOnly) {
  StreamBuilder b = cruising();
  b.reports(10, 7).nanSpeed().repeats(2).past(150).gap(3000).reports(10, 8).nanSpeed().every(400).moving(2);
  LiveAc& a = aircraft(b, FlightPhase::flying);
  const std::int32_t lastReport = a.stream.back().time;
  std::int32_t t = kNow;
  for (; t < lastReport + 10000 && !wasRemoved(); ++t) {
    g_engineTime = t;
    update(a);
    std::lock_guard lock(g_simObjectMapMutex);
    const AiPose& pose = g_aiLastPoses.at(a.objectId);
    ASSERT_TRUE(std::isfinite(pose.latitude) && std::isfinite(pose.longitude) && std::isfinite(pose.altitude)) << t;
  }
  EXPECT_TRUE(wasRemoved());
  EXPECT_GT(t, lastReport) << "not before its reports ran out";
}

TEST_F(NextPosition, RepeatedAirbornePointsTripTheGuard) {
  LiveAc& a = aircraft(cruising().moving(1).repeats(40), FlightPhase::flying);
  update(a);
  EXPECT_TRUE(wasRemoved());
  EXPECT_NE(logText().find("nextPosMain: guard exceeded KLM1 "), std::string::npos);
  EXPECT_NE(logText().find(", sz:9, fs:flying, st:active"), std::string::npos);
}

TEST_F(NextPosition, AStandingAirbornePointHoldsARotorcraftAndEndsAnAeroplane) {
  struct Case {
    const char* what;
    const char* model;
    double nextMetres;
    bool flagged, removes;
  } cases[] = {
      {"hovering rotorcraft", "EC35", 0.0, true, false},
      {"aeroplane, standing point not yet flagged", "B738", 0.0, false, true},
      {"aeroplane creeping 1.5 m in 10 s", "B738", 1.5, false, true},
  };
  for (const Case& c : cases) {
    again();
    StreamBuilder b = cruising();
    b.moving(1).air(5000.0, c.nextMetres / 1852.0 * 360.0).every(1000).moving(1);
    LiveAc& a = aircraft(b, FlightPhase::flying, c.model);
    a.stream[1].repeated = c.flagged;
    update(a);
    EXPECT_EQ(wasRemoved(), c.removes) << c.what;
    // An aeroplane that leaves in the air says why.
    EXPECT_EQ(logText().find(" removed in the air at ") != std::string::npos, c.removes) << c.what;
    if (c.removes) continue;
    EXPECT_EQ(a.velocity, (Lalo{0.0, 0.0})) << c.what;
    ASSERT_EQ(a.stream.size(), 1u) << c.what;
    EXPECT_GE(a.stream.front().time, kNow + 25) << c.what;
  }
}

TEST_F(NextPosition, ALegDueWithin25TicksTakes25) {
  for (const std::int32_t ahead : {-50, 0, 10, 25, 100}) {
    again();
    LiveAc& a = aircraft(cruising().moving(2), FlightPhase::flying);
    a.stream[1].time = kNow + ahead;
    a.extensionCount = 5;  // on extended points the times stand as they are
    const double east = a.stream[1].lalo.lon - a.position.lon;
    update(a);
    EXPECT_DOUBLE_EQ(a.velocity.lon, east / std::max(25, ahead)) << ahead;
  }
}

TEST_F(NextPosition, AClimbOutReportFarTooSlowCutsTheStream) {
  for (const double metres : {300.0, 2500.0}) {
    again();
    StreamBuilder b = StreamBuilder(kEham, kNow).air(800.0, 150.0, 2000.0).track(90.0).moving(1);
    b.air(1500.0, metres / 1852.0 * 90.0).every(4000).moving(1);  // 40 s later
    LiveAc& a = aircraft(b, FlightPhase::takeoff);
    const StreamPoint report = a.stream[1];
    update(a);
    const bool cut = metres < 1000.0;  // 15 kt against 150: cut; 121 kt: plausible
    EXPECT_EQ(a.extensionFlag, cut) << metres;
    ASSERT_EQ(a.stream.size(), 1u) << metres;
    EXPECT_EQ(a.stream.front().lalo == report.lalo, !cut) << metres;
    EXPECT_EQ(a.extensionCount, cut ? 20 : 0) << metres;
  }
}

TEST_F(NextPosition, AStandCheckThatSaysNotYetIsAskedAgainAndNeverRemoves) {
  g_stands.assign(1, Stand("B7", {}, kEham, 0.0, 25.0, 10, false, false, false));
  g_stands[0].id = 1;
  struct Case {
    const char* what;
    std::int32_t otherUse, budget;
    std::uint32_t state;
    std::int32_t standId;
  } cases[] = {
      {"held by another: tries, then taxis on", 1, 0, FlightPhase::taxi, 0},
      {"free, with one extension left", 0, 1, FlightPhase::parked, 1},
  };
  for (const Case& c : cases) {
    again();
    hooks.standUseByOtherLiveAc = [&c](std::int32_t, std::uint32_t) { return c.otherUse; };
    install();
    LiveAc& a = aircraft(StreamBuilder(kEham, kNow).ground(0.0).moving(1), FlightPhase::parking);
    a.standId = 1;
    a.standPos = kEham;
    a.extensionCount = c.budget;
    for (std::int32_t t = kNow; t <= kNow + 12 * 300; ++t) {
      g_engineTime = t;
      update(a);
    }
    EXPECT_FALSE(wasRemoved()) << c.what;
    EXPECT_EQ(a.state, c.state) << c.what;
    EXPECT_EQ(a.standId, c.standId) << c.what;
    EXPECT_FALSE(a.stream.empty()) << c.what;
  }
}

TEST_F(NextPosition, AFlightAcross180DegreesTakesTheShortWay) {
  LiveAc& a = aircraft(cruising({10.0, 179.95}).every(8500).moving(2), FlightPhase::flying);
  const Lalo target = a.stream[1].lalo;
  ASSERT_LT(target.lon, -179.9);
  double distance = gf_distanceNm(a.position, target);
  for (std::int32_t t = kNow; t < kNow + 8000; t += 10) {
    for (std::int32_t k = 0; k < 10; ++k) {
      g_engineTime = t + k;
      update(a);
    }
    ASSERT_GT(std::fabs(a.position.lon), 179.9) << t;
    ASSERT_LE(std::fabs(a.position.lon), 180.0) << t;
    const double now = gf_distanceNm(a.position, target);
    ASSERT_LT(now, distance) << t;
    distance = now;
  }
  EXPECT_LT(distance, 0.5);
}

TEST_F(NextPosition, OnlyAFinitePoseReachesTheLink) {
  struct Case {
    const char* what;
    double altitude, pitch, nextLat;
    bool sent;
  } cases[] = {
      {"all finite", 5000.0, 0.0, 52.4, true},
      {"altitude not a number", NAN, 0.0, 52.4, false},
      {"pitch not a number", 5000.0, NAN, 52.4, false},
      {"next point not a number: no movement", 5000.0, 0.0, NAN, true},
  };
  for (const Case& c : cases) {
    again();
    LiveAc& a = aircraft(cruising().moving(2), FlightPhase::flying);
    a.altitude = c.altitude;
    a.pitch = c.pitch;
    a.stream[1].lalo.lat = c.nextLat;
    update(a);
    std::lock_guard lock(g_simObjectMapMutex);
    const auto pose = g_aiLastPoses.find(a.objectId);
    ASSERT_EQ(pose != g_aiLastPoses.end(), c.sent) << c.what;
    if (!c.sent) continue;
    for (const double v : {pose->second.latitude, pose->second.longitude, pose->second.pitch, pose->second.bank,
                           pose->second.heading, pose->second.altitude, pose->second.verticalSpeed,
                           pose->second.airspeedTrue})
      EXPECT_TRUE(std::isfinite(v)) << c.what;
  }
}

TEST_F(NextPosition, AGroundPointBehindThePredictedRunwayIsDroppedOnce) {
  LiveAc& a = aircraft(StreamBuilder(kEham, kNow).ground(10.0).track(270.0).moving(3), FlightPhase::taxi);
  a.runwayPredicted = true;
  a.predictedRunway = "09-27:09";
  a.predictedRunwayHeading = geo::kPi / 2.0;  // the points run west, away from it
  const StreamPoint third = a.stream[2];
  EXPECT_TRUE(gf_checkStreamHead(a));
  EXPECT_TRUE(a.pointBehindDropped);
  ASSERT_EQ(a.stream.size(), 2u);
  EXPECT_EQ(a.stream[1].lalo, third.lalo);
  EXPECT_FALSE(gf_checkStreamHead(a)) << "only one point is dropped";
  EXPECT_FALSE(a.runwayPredicted || a.predictedRunway || a.pointBehindDropped) << "the prediction is used up";
}

TEST_F(NextPosition, PhaseAndStatusNames) {
  EXPECT_EQ(gf_flightPhaseName(FlightPhase::pushing_back), "pushing_back");
  EXPECT_EQ(gf_flightPhaseName(FlightPhase::landing_roll), "landing_roll");
  EXPECT_EQ(gf_flightPhaseName(FlightPhase::birth), "birth");
  EXPECT_EQ(gf_simStatusName(SimStatus::removingfromsim), "removingfromsim");
  EXPECT_THROW(gf_flightPhaseName(11), std::out_of_range);
  EXPECT_THROW(gf_simStatusName(5), std::out_of_range);
}

}  // namespace
