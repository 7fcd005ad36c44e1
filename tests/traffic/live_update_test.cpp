// A known aircraft's new points by its state, through the check the program installs, and the
// update's removals of an aircraft it cannot move.
#include "traffic/live_update.h"

#include "tests/traffic/stream_builder.h"
#include "tests/traffic/traffic_fixture.h"

namespace {

using namespace traffic_test;
using stream_test::StreamBuilder;

constexpr std::int32_t kNow = 10000;
constexpr double kEast = geo::kPi / 2.0;

class LiveUpdate : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    g_engineTime = kNow;
  }
  void TearDown() override {
    g_engineTime = 0;
    EngineTest::TearDown();
  }
  void again() {
    reset();
    g_engineTime = kNow;
  }
  // In the simulator at EHAM heading east, its stream one point there.
  LiveAc& known(std::uint32_t state, bool airborne, double lastGs = 10.0) {
    StreamBuilder b(kEham, kNow);
    airborne ? b.air(1000.0, lastGs) : b.ground(lastGs);
    LiveAc& a = addLive(Rec(0x4001, "KLM1"), SimStatus::active, state);
    b.track(90.0).moving(1).into(a);
    return a;
  }
  static StreamPoint report(double eastM, std::int32_t aheadTicks, double gs, bool airborne, double altitude = 0.0) {
    StreamPoint p;
    p.lalo = offset(kEham, 0.0, eastM);
    p.time = kNow + aheadTicks;
    p.groundSpeed = gs;
    p.airborne = airborne;
    p.altitude = altitude;
    return p;
  }
  static bool check(LiveAc& a, StreamPoint& p) { return gf_engineHooks().checkExtendingSituations(a, p); }
};

TEST_F(LiveUpdate, RepeatedAndNearbyPointsStandOnTheGroundAndAreRefusedInTheAir) {
  struct Case {
    const char* what;
    std::uint32_t state;
    bool airborne;
    double lastGs, eastM, gs;
    bool taken, repeated;
    double gsAfter;
    double noseDeg = NAN;  // the report's own heading; pushing back, the push follows the reports
  } cases[] = {
      {"taxiing, on the last point", FlightPhase::taxi, false, 10.0, 0.0, 5.0, true, true, 0.0},
      {"airborne, on the last point", FlightPhase::flying, true, 250.0, 0.0, 250.0, false, true, 250.0},
      {"standing, 5 m on: still standing", FlightPhase::taxi, false, 0.0, 5.0, 3.0, true, true, 0.0},
      {"airborne, 5 m on", FlightPhase::flying, true, 250.0, 5.0, 250.0, false, false, 250.0},
      {"taxiing 50 m, speed missing", FlightPhase::taxi, false, 10.0, 50.0, NAN, true, false, NAN},
      {"taxiing 50 m at 0 kt", FlightPhase::taxi, false, 10.0, 50.0, 0.0, true, false, 0.0},
      // Reports a second apart in a taxi turn, and where a taxiing aircraft stops: all moves.
      {"taxiing, 8 m on at 23 kt: a step", FlightPhase::taxi, false, 23.0, 8.0, 23.0, true, false, 23.0},
      {"not yet placed, 8 m on at 23 kt: a step", FlightPhase::birth, false, 23.0, 8.0, 23.0, true, false, 23.0},
      {"taxiing at 10 kt, stopped 8 m on", FlightPhase::taxi, false, 10.0, 8.0, 0.0, true, false, 0.0},
      {"standing, off 8 m at 7 kt", FlightPhase::taxi, false, 0.0, 8.0, 7.0, true, false, 7.0},
      {"not yet placed, standing, 5 m on at 2 kt", FlightPhase::birth, false, 0.0, 5.0, 2.0, true, true, 0.0},
      // A push along its reports, the aircraft heading east: reports a few metres apart at 3 kt.
      {"pushed, 5 m on tail first at 3 kt", FlightPhase::pushing_back, false, 3.0, 5.0, 3.0, true, false, 3.0, 270.0},
      {"pushed, its stop 5 m on tail first", FlightPhase::pushing_back, false, 3.0, 5.0, 0.0, true, false, 0.0, 270.0},
      {"pushed, 5 m behind the nose shown, none reported", FlightPhase::pushing_back, false, 3.0, -5.0, 3.0, true, false,
       3.0},
      {"pushed, 5 m ahead of the nose shown, none reported", FlightPhase::pushing_back, false, 3.0, 5.0, 3.0, true, true,
       0.0},
      {"pushed, stopped, off 5 m nose first at 3 kt", FlightPhase::pushing_back, false, 0.0, 5.0, 3.0, true, false, 3.0,
       80.0},
      {"pushed, stopped, 5 m aside at 3 kt", FlightPhase::pushing_back, false, 0.0, 5.0, 3.0, true, true, 0.0, 20.0},
      {"pushed, stopped, wanders 5 m tail first at 0 kt", FlightPhase::pushing_back, false, 0.0, 5.0, 0.0, true, true,
       0.0, 270.0},
      {"taxiing, 5 m on tail first at 3 kt", FlightPhase::taxi, false, 3.0, 5.0, 3.0, true, true, 0.0, 270.0},
  };
  for (const Case& c : cases) {
    again();
    LiveAc& a = known(c.state, c.airborne, c.lastGs);
    a.pushFromReports = c.state == FlightPhase::pushing_back;
    StreamPoint p = report(c.eastM, 500, c.gs, c.airborne, c.airborne ? 1000.0 : 0.0);
    if (!std::isnan(c.noseDeg)) p.trueHeadingRad = c.noseDeg * geo::kDegToRad;
    EXPECT_EQ(check(a, p), c.taken) << c.what;
    if (!c.taken) continue;
    EXPECT_EQ(p.repeated, c.repeated) << c.what;
    if (std::isnan(c.gsAfter))
      EXPECT_TRUE(std::isnan(p.groundSpeed)) << c.what;
    else
      EXPECT_EQ(p.groundSpeed, c.gsAfter) << c.what;
    EXPECT_EQ(p.time, kNow + 500) << c.what << ": a stop lasts as long as reported";
    if (c.repeated) { EXPECT_EQ(p.lalo, a.stream.back().lalo) << c.what; }
  }
}

TEST_F(LiveUpdate, AClimbOutReportTooSlowForTheAircraftIsRefusedOnExtendedPoints) {
  struct Case {
    const char* what;
    double impliedKt;
    bool extended, taken;
  } cases[] = {
      {"50 kt at 150: implausible", 50.0, true, false},
      {"110 kt: plausible", 110.0, true, true},
      {"50 kt, not on extended points", 50.0, false, true},
  };
  for (const Case& c : cases) {
    again();
    LiveAc& a = known(FlightPhase::takeoff, true, 150.0);
    a.heading = kEast;
    a.extensionFlag = c.extended;
    a.extensionCount = c.extended ? 5 : 0;
    StreamPoint p = report(c.impliedKt * 0.5144444444444445 * 10.0, 1000, 150.0, true, 1500.0);
    EXPECT_EQ(check(a, p), c.taken) << c.what;
    if (c.taken) { EXPECT_EQ(a.extensionCount, 0) << c.what << ": the report takes over"; }
  }
}

TEST_F(LiveUpdate, ATaxiIntoAStandReportedFarFromItGivesTheStandUp) {
  for (const auto& [metres, leaves] : {std::pair{250.0, true}, std::pair{150.0, false}}) {
    again();
    LiveAc& a = known(FlightPhase::parking, false);
    a.standPos = kEham;
    StreamPoint p = report(metres, 500, 10.0, false);
    p.repeated = true;
    EXPECT_EQ(check(a, p), leaves) << metres;
    EXPECT_EQ(a.state, leaves ? FlightPhase::taxi : FlightPhase::parking) << metres;
    if (leaves) { EXPECT_EQ(a.prevState, FlightPhase::parking); }
    if (leaves) { EXPECT_FALSE(p.repeated); }
  }
}

TEST_F(LiveUpdate, AHoldingAircraftIsReleasedTwoFullWingspansFromItsStand) {
  LiveAc& a = known(FlightPhase::pushed_back, false);  // B738: half span 17.9 m, so 71.6 m
  a.standPos = kEham;
  a.standId = 3;
  // Metres from the stand, and whether that report releases the aircraft to taxi.
  const std::pair<double, bool> reports[] = {{30, false}, {50, false}, {80, false}, {100, false}, {120, true}};
  for (const auto& [metres, released] : reports) {
    StreamPoint p = report(metres, 500, 5.0, false);
    EXPECT_EQ(check(a, p), released) << metres;
  }
  EXPECT_EQ(a.state, FlightPhase::taxi);
  EXPECT_EQ(a.standId, 0);
  EXPECT_FALSE(a.holdRefSet || a.holdLeaving);
}

TEST_F(LiveUpdate, AfterTouchDownOnlyARealClimbLiftsTheAircraft) {
  LiveAc& a = known(FlightPhase::landing_roll, false, 120.0);
  a.heading = kEast;
  a.touchdownHold = true;
  a.holdAlt = 100.0;
  a.holdVs = 0.0;
  struct Step {
    double eastM, altitude, rate;
    bool airborneAfter, holdAfter;
  } steps[] = {
      {100.0, 120.0, 500.0, false, true},  // noise: the last rate was 0
      {200.0, 200.0, 600.0, true, false},  // 80 ft higher, both rates 400 ft/min and more
  };
  for (const Step& s : steps) {
    StreamPoint p = report(s.eastM, 500, 120.0, true, s.altitude);
    p.verticalRate = s.rate;
    ASSERT_TRUE(check(a, p)) << s.eastM;
    EXPECT_EQ(p.airborne, s.airborneAfter) << s.eastM;
    EXPECT_EQ(a.touchdownHold, s.holdAfter) << s.eastM;
    a.stream.push_back(p);
  }
}

TEST_F(LiveUpdate, AReportEndsThePredictionUnlessItLiesBehindAFlyingAircraft) {
  struct Case {
    const char* what;
    std::uint32_t state;
    bool airborne;
    double eastM;
    bool taken;
  } cases[] = {
      {"taxiing, 50 m on", FlightPhase::taxi, false, 50.0, true},
      {"flying, 60 m behind", FlightPhase::flying, true, -60.0, false},
      {"flying, 500 m on", FlightPhase::flying, true, 500.0, true},
  };
  for (const Case& c : cases) {
    again();
    LiveAc& a = known(c.state, c.airborne, c.airborne ? 250.0 : 10.0);
    a.heading = kEast;
    a.extensionCount = 3;
    a.stream.front().time = kNow + 200;
    StreamPoint p = report(c.eastM, 500, c.airborne ? 250.0 : 10.0, c.airborne, c.airborne ? 1000.0 : 0.0);
    EXPECT_EQ(check(a, p), c.taken) << c.what;
    EXPECT_EQ(a.extensionCount, c.taken ? 0 : 3) << c.what;
    EXPECT_EQ(a.stream.front().time, c.taken ? kNow + 1 : kNow + 200) << c.what;
  }
}

// A push from our stand runs on its own points; one first seen under way goes on with its reports.
TEST_F(LiveUpdate, APushbackReportOnlySetsTheHoldReference) {
  for (const bool fromReports : {false, true}) {
    again();
    LiveAc& a = known(FlightPhase::pushing_back, false, 3.0);
    a.pushFromReports = fromReports;
    StreamPoint p = report(20.0, 500, 3.0, false);
    EXPECT_EQ(check(a, p), fromReports) << fromReports;
    EXPECT_EQ(a.holdRefSet, !fromReports) << fromReports;
    if (!fromReports) { EXPECT_EQ(a.holdRefPos, p.lalo); }
  }
}

TEST_F(LiveUpdate, AnAircraftThatCannotMoveIsRemovedWithItsWarning) {
  struct Case {
    const char* what;
    bool emptyStream;
    const char* warning;
  } cases[] = {
      {"stream empty", true, "updateLiveAc stream empty ? KLM1 "},
      {"no object id", false, "updateLiveAc objectid=0? hexid: 4001,cs:KLM1, reg:"},
  };
  for (const Case& c : cases) {
    again();
    LiveAc& a = known(FlightPhase::flying, true, 250.0);
    a.stream.front().time = kNow + 500;
    if (c.emptyStream) a.stream.clear();
    if (!c.emptyStream) a.objectId = 0;
    gf_engineHooks().updateLiveAc(a);
    EXPECT_EQ(removed, std::vector<std::uint32_t>{0x4001}) << c.what;
    EXPECT_NE(logText().find(c.warning), std::string::npos) << c.what;
  }
}

}  // namespace
