// The marks the engine sets on its own as flights move, seen through what they change for a pilot
// watching the simulator: a taxiing aircraft whose feed falls silent waits, and goes when its real
// report comes back far away or a moving aircraft runs into it; a landed aircraft is not sent off
// again by a late airborne report and rolls out on reverse thrust; a departure's tail clears the
// runway while it rotates.
#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <map>

#include "simlink/delayed_commands.h"
#include "tests/traffic/engine_sim_fixture.h"
#include "tests/traffic/stream_builder.h"
#include "traffic/adding_stack.h"
#include "traffic/touchdown.h"

namespace {
using namespace traffic_test;
namespace sim = standin::sim;
constexpr std::string_view kTitle = "Stand-in A320 Test Air";

class WaitsAndTouchdownsSimTest : public EngineSimLinkTest {
 protected:
  void SetUp() override {
    EngineSimLinkTest::SetUp();
    g_dbaseModelCodes.insert("B738");
    parkAirport("EHAM", kEham, 0);
    // The user waits on the field, so the simulator reports the aircraft around it.
    sim::UserAircraft user = sim::userAircraft();
    user.latitude = kEham.lat + 0.02;
    user.longitude = kEham.lon + 0.02;
    user.altitude = user.groundAltitude = 0.0;
    sim::setUserAircraft(user);
    connect();
  }

  // A B738 not yet in the simulator; its first report is known, the others reach the intake
  // 10 s before they are due, as the feed's delay brings them.
  void flight(std::uint32_t hexid, const stream_test::StreamBuilder& reports) {
    std::deque<StreamPoint> points = reports.build();
    Rec first(hexid, fmt::format("KLM{}", hexid & 0xFFF).c_str(), "B738");
    first.at(points.front().lalo);
    if (points.front().airborne)
      first.air(points.front().altitude, points.front().groundSpeed, points.front().track);
    else
      first.ground(points.front().groundSpeed, points.front().track);
    LiveAc& ac = addLive(first, SimStatus::buffer, FlightPhase::birth);
    reports.into(ac);
    ac.onGround = false;  // as the intake makes it: the creation puts it on the ground
    ac.stream.resize(1);
    points.pop_front();
    later_[hexid] = points;
    g_liveryChoices[hexid] = kTitle;
  }

  // One report of a flight, as the intake hands it on.
  static void deliver(std::uint32_t hexid, StreamPoint p) {
    if (LiveAc* ac = gf_findLiveAc(hexid); ac && ac->simState != SimStatus::removingfromsim)
      gf_engineHooks().decodeExisting(*ac, p);
  }

  // One engine tick with a simulator frame every tenth; due reports are delivered first.
  void tick(std::int32_t n) {
    for (auto& [hexid, points] : later_)
      while (!points.empty() && points.front().time - 1000 <= g_engineTime.load()) {
        deliver(hexid, points.front());
        points.pop_front();
      }
    lf_handleAddingStack();
    if (n % 10 == 0) frame();
  }

  std::map<std::uint32_t, std::deque<StreamPoint>> later_;
};

// Still in the simulator: not removed and not being removed.
bool present(std::uint32_t hexid) {
  const LiveAc* ac = gf_findLiveAc(hexid);
  return ac && ac->simState == SimStatus::active;
}

// A taxiing aircraft whose reports stop waits on predicted positions where it stopped. Its real
// report coming back beyond the holding threshold (250 m) means it is not where we show it: it
// goes. A report within the threshold takes it on from where it waits.
TEST_F(WaitsAndTouchdownsSimTest, AWaitingTaxiAircraftGoesWhenItsReportComesBackFarAway) {
  for (const auto& [hexid, backM] : {std::pair{0x4840A1u, 300.0}, std::pair{0x4840A2u, 100.0}}) {
    const std::int32_t start = g_engineTime.load() + 50;
    stream_test::StreamBuilder reports(offset(kEham, -1500.0, hexid & 1 ? 0.0 : 400.0), start);
    reports.ground(10.0).track(0.0).every(500).moving(7);
    const std::int32_t lastDue = reports.build().back().time;
    flight(hexid, reports);
    // The feed falls silent for a minute and a half, then reports it again further on.
    StreamPoint back = reports.build().back();
    back.lalo = offset(back.lalo, backM);
    back.time = lastDue + 9000;
    later_[hexid].push_back(back);

    bool waited = false;
    std::int32_t n = 0;
    for (; g_engineTime.load() < back.time + 1500; ++n) {
      tick(n);
      if (const LiveAc* ac = gf_findLiveAc(hexid)) waited = waited || ac->predictActive;
    }
    EXPECT_TRUE(waited) << backM << " m: never waited";
    if (backM > 250.0) {
      EXPECT_FALSE(present(hexid)) << backM << " m: still shown where the feed no longer has it";
    } else {
      ASSERT_TRUE(present(hexid)) << backM;
      const LiveAc& ac = *gf_findLiveAc(hexid);
      EXPECT_FALSE(ac.predictActive) << backM;
      EXPECT_EQ(ac.extensionCount, 0) << backM;
      EXPECT_LT(gf_distanceNm(ac.position, back.lalo) * 1852.0, 30.0) << backM << " m: did not go on to its report";
    }
    later_.clear();
  }
}

// An aircraft waiting on predicted positions that a taxiing aircraft runs into goes at once; it
// does not stand in the other's way until its holding time runs out.
TEST_F(WaitsAndTouchdownsSimTest, AWaitingAircraftThatAnotherRunsIntoGoes) {
  constexpr std::uint32_t kWaiting = 0x4840B1, kMoving = 0x4840B2;
  stream_test::StreamBuilder waiting(offset(kEham, -1500.0), 50);
  waiting.ground(10.0).track(0.0).every(500).moving(6);
  const Lalo stop = waiting.build().back().lalo;
  const std::int32_t stopDue = waiting.build().back().time;
  flight(kWaiting, waiting);
  // The other comes along the same line 200 m behind, a minute later, and goes on past.
  stream_test::StreamBuilder moving(offset(stop, -200.0), stopDue + 6000);
  moving.ground(10.0).track(0.0).every(500).moving(14);
  flight(kMoving, moving);
  const std::int32_t passesAt = stopDue + 6000 + 200.0 / (10.0 * 1852.0 / 3600.0) * 100.0;

  bool waited = false;
  std::int32_t goneAt = -1;
  for (std::int32_t n = 0; g_engineTime.load() < passesAt + 6000; ++n) {
    tick(n);
    if (const LiveAc* ac = gf_findLiveAc(kWaiting)) waited = waited || ac->predictActive;
    if (goneAt < 0 && !present(kWaiting) && g_engineTime.load() > stopDue) goneAt = g_engineTime.load();
  }
  EXPECT_TRUE(waited);
  ASSERT_GE(goneAt, 0) << "still standing in the way";
  // Within the time the other needs to get there, and the simulator's delay.
  EXPECT_LT(goneAt, passesAt + 3000 + 1500);
  EXPECT_TRUE(present(kMoving));
  frame(3);
}

// An aircraft holding after its pushback on predicted positions takes each report of it as fresh
// news: its holding time starts again, so it stays while the feed keeps reporting it.
TEST_F(WaitsAndTouchdownsSimTest, AnAircraftHoldingAfterItsPushbackStaysWhileReportsCome) {
  constexpr std::uint32_t kHexid = 0x4840C1;
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.maxHoldingMinutes = 1; });
  stream_test::StreamBuilder reports(offset(kEham, -1500.0), 50);
  reports.ground(5.0).track(0.0).every(500).moving(4);
  flight(kHexid, reports);
  std::int32_t n = 0;
  for (; n < 3000 && !present(kHexid); ++n) tick(n);
  ASSERT_TRUE(present(kHexid));
  // Pushed back from its stand 40 m behind: it holds there (the state the pushback leaves).
  LiveAc& ac = *gf_findLiveAc(kHexid);
  ac.standPos = offset(ac.position, -40.0);
  gf_changeState(ac, FlightPhase::pushed_back);
  // Reports of it standing every 40 s for four minutes, each due 10 s after it reaches us.
  StreamPoint standing = reports.build().back();
  standing.groundSpeed = 0.0;
  for (std::int32_t t = g_engineTime.load() + 4000; t < g_engineTime.load() + 24000; t += 4000) {
    standing.time = t;
    later_[kHexid].push_back(standing);
  }
  const std::int32_t end = g_engineTime.load() + 24000;
  bool waited = false;
  for (; g_engineTime.load() < end; ++n) {
    tick(n);
    ASSERT_TRUE(present(kHexid)) << "removed after " << (g_engineTime.load() + 24000 - end) / 100 << " s";
    waited = waited || gf_findLiveAc(kHexid)->predictActive;
  }
  EXPECT_TRUE(waited);
  EXPECT_EQ(gf_findLiveAc(kHexid)->state, FlightPhase::pushed_back);
  frame(3);
}

// The feed's airborne flag flickers on just after the touch-down, as a noisy transponder does:
// the landed aircraft rolls out; it is not sent down the runway for a take-off.
TEST_F(WaitsAndTouchdownsSimTest, ALateAirborneReportAfterTheTouchDownDoesNotStartATakeOff) {
  constexpr std::uint32_t kHexid = 0x4840D1;
  stream_test::StreamBuilder reports(offset(kEham, -6.0 * 1852.0), 50);
  reports.air(1100.0, 140.0, -740.0).track(0.0).every(500).moving(18);  // a 3-degree final to the ground
  reports.ground(90.0).moving(3);
  reports.air(30.0, 85.0, 0.0).moving(2);
  reports.ground(60.0).moving(4);
  flight(kHexid, reports);
  const std::int32_t end = reports.build().back().time + 2000;

  std::vector<std::uint32_t> states;
  for (std::int32_t n = 0; g_engineTime.load() < end && !g_liveAcs.empty(); ++n) {
    tick(n);
    if (const LiveAc* ac = gf_findLiveAc(kHexid); ac && (states.empty() || states.back() != ac->state))
      states.push_back(ac->state);
  }
  const auto landed = std::find(states.begin(), states.end(), FlightPhase::landing_roll);
  ASSERT_NE(landed, states.end()) << "never touched down";
  EXPECT_EQ(std::find(states.begin(), states.end(), FlightPhase::landing), landed - 1);
  for (auto s = landed; s != states.end(); ++s) {
    EXPECT_NE(*s, FlightPhase::takeoff_roll) << "sent off again after landing";
    EXPECT_NE(*s, FlightPhase::takeoff) << "sent off again after landing";
  }
  frame(3);
}

// A landed jet rolls out on reverse thrust: the levers the simulator shows go back, never up to
// full forward thrust.
TEST_F(WaitsAndTouchdownsSimTest, ALandedJetRollsOutOnReverseThrust) {
  constexpr std::uint32_t kHexid = 0x4840D2;
  stream_test::StreamBuilder reports(offset(kEham, -6.0 * 1852.0), 50);
  reports.air(1100.0, 140.0, -740.0).track(0.0).every(500).moving(18);  // a 3-degree final to the ground
  reports.ground(100.0).moving(4);
  reports.ground(40.0).moving(4);
  flight(kHexid, reports);
  const std::int32_t end = reports.build().back().time + 2000;

  bool landed = false;
  double highestLever = -std::numeric_limits<double>::infinity();
  double lowestLever = std::numeric_limits<double>::infinity();
  for (std::int32_t n = 0; g_engineTime.load() < end && !g_liveAcs.empty(); ++n) {
    tick(n);
    const LiveAc* ac = gf_findLiveAc(kHexid);
    if (!ac || ac->state != FlightPhase::landing_roll) continue;
    landed = true;
    if (const auto object = sim::object(ac->objectId)) {
      highestLever = std::max({highestLever, object->throttle1, object->throttle2});
      lowestLever = std::min({lowestLever, object->throttle1, object->throttle2});
    }
  }
  ASSERT_TRUE(landed);
  EXPECT_EQ(lowestLever, -100.0) << "never in reverse";
  EXPECT_LE(highestLever, 0.0) << "full forward thrust on the landing roll";
  frame(3);
}

// While the departure rotates on its main wheels its nose comes up; the tail, well behind them,
// must not dig into the runway. Once it lifts off the simulator's ground reports leave its climb
// alone.
TEST_F(WaitsAndTouchdownsSimTest, ARotatingDepartureKeepsItsTailOffTheRunwayThenClimbsAway) {
  constexpr std::uint32_t kHexid = 0x4840E1;
  stream_test::StreamBuilder reports(offset(kEham, -2500.0), 50);
  reports.ground(15.0).track(0.0).every(300).moving(20);
  reports.ground(90.0).moving(2);
  reports.ground(150.0).moving(2);
  reports.air(100.0, 160.0, 2000.0).moving(12);
  flight(kHexid, reports);

  double deepestTailFt = -std::numeric_limits<double>::infinity();  // below the runway, ft
  double steepestRotationRad = 0.0;
  double lowestInSimClimbingOut = std::numeric_limits<double>::infinity();
  bool rotated = false;
  const std::int32_t end = reports.build().back().time + 1000;
  for (std::int32_t n = 0; g_engineTime.load() < end && !g_liveAcs.empty(); ++n) {
    tick(n);
    const LiveAc* ac = gf_findLiveAc(kHexid);
    if (!ac || ac->simState != SimStatus::active) continue;
    if (ac->state == FlightPhase::takeoff && ac->takeoffSteps > 0 && std::isfinite(ac->simGroundFt)) {
      rotated = true;
      const double rotation = std::fabs(ac->pitch - ac->refPitch);
      steepestRotationRad = std::max(steepestRotationRad, rotation);
      const double lift = ac->altitude - ac->simGroundFt - ac->cgHeightFt;
      deepestTailFt = std::max(deepestTailFt, gf_tailAllowanceFt(ac->wingspan) * std::sin(rotation) - lift);
    }
    const auto object = sim::object(ac->objectId);
    if (object && rotated && ac->state == FlightPhase::flying)
      lowestInSimClimbingOut = std::min(lowestInSimClimbingOut, object->altitude);
  }
  ASSERT_TRUE(rotated);
  EXPECT_GT(steepestRotationRad, 4.0 * geo::kDegToRad);
  EXPECT_LT(deepestTailFt, 0.5) << "the tail dug into the runway";
  ASSERT_TRUE(std::isfinite(lowestInSimClimbingOut)) << "never climbed out";
  EXPECT_GT(lowestInSimClimbingOut, 700.0) << "held on the ground by its reports";
  frame(3);
}

// Without the simulator's own centre-of-gravity height, the simulator's on-ground flag may come
// late: an aircraft on the approach whose reported height above the ground is its model's CG
// height has its wheels on the runway, and lands then, its CG measured there. The simulator's
// ground lies a little higher than the program knew: the aircraft is still a few feet above its
// wheels' reach of the program's ground.
class LandingByHeightTest : public EngineTest {
 protected:
  void TearDown() override {
    g_engineTime = 0;
    EngineTest::TearDown();
  }
};

TEST_F(LandingByHeightTest, AnApproachTheSimulatorReportsOnItsWheelsLandsThere) {
  struct Case {
    const char* what;
    double aboveCgFt;  // the simulator's height above the ground, over the model's CG height
    bool lands;
  };
  const Case cases[] = {{"on its wheels", 0.5, true}, {"5 ft up", 5.0, false}};
  for (const Case& c : cases) {
    reset();
    g_engineTime = 0;
    parkAtElevation(0);
    // 1500 ft, 5.2 NM out, 700 ft/min down at 140 kt; the feed keeps its airborne flag to 5 ft.
    stream_test::StreamBuilder reports(offset(kEham, -5.2 * 1852.0), 50);
    reports.air(1500.0, 140.0, -700.0).track(0.0).every(500).moving(26);
    reports.air(5.0, 130.0, 0.0).moving(6);
    Rec first(0x4840F1, "KLM77", "B738");
    first.at(reports.build().front().lalo).air(1500.0, 140.0);
    LiveAc& ac = addLive(first, SimStatus::active, FlightPhase::flying);
    reports.into(ac);
    const double cg = ac.cgHeightFt;
    ASSERT_TRUE(cg > 1.0 && !ac.cgHeightFlag) << c.what;
    // Flown by the update pass until it skims the runway just beyond its wheels' reach.
    const std::int32_t end = reports.build().back().time;
    const auto skims = [cg] { return g_liveAcs[0].state == FlightPhase::landing && g_liveAcs[0].altitude <= cg + 3.0; };
    while (g_engineTime.load() < end && !skims()) lf_handleAddingStack();
    ASSERT_EQ(g_liveAcs[0].state, FlightPhase::landing) << c.what;
    ASSERT_FALSE(g_liveAcs[0].onGround) << c.what;
    // The simulator's report: not on the ground by its flag, at this height above its ground.
    const double simGround = g_liveAcs[0].altitude - cg - c.aboveCgFt;
    DelayedSimCommand report;
    report.kind = 3;
    report.objectId = g_liveAcs[0].objectId;
    report.hexid = 0;
    report.value1 = simGround;
    report.value2 = cg + c.aboveCgFt;
    gf_queueDelayedSimCommand(report);
    lf_handleAddingStack();
    const LiveAc& after = g_liveAcs[0];
    EXPECT_EQ(after.onGround, c.lands) << c.what;
    EXPECT_EQ(after.state, c.lands ? FlightPhase::landing_roll : FlightPhase::landing) << c.what;
    EXPECT_EQ(after.measuredCgHeightSet, c.lands) << c.what;
    if (c.lands) {
      EXPECT_EQ(after.measuredCgHeight, cg) << c.what;
      EXPECT_NEAR(after.altitude, simGround + cg, 1.0) << c.what;
    }
  }
}

}  // namespace
