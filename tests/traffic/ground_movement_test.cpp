// Ground movement: departures from a stand, the time a ground leg takes, the drive into a stand,
// and the turns built into a taxi path.
#include "traffic/ground_movement.h"

#include <algorithm>
#include <cmath>

#include "tests/traffic/traffic_fixture.h"
#include "traffic/ground_turns.h"
#include "traffic/movement_geometry.h"
#include "traffic/removal.h"

namespace {

using namespace traffic_test;

constexpr double kDeg = geo::kDegToRad;
constexpr double kNm = 1852.0;  // metres

class GroundMovement : public EngineTest {
 protected:
  // Stand A1 at EHAM heading east with the given radius (NM); a B738 parked on it.
  LiveAc& parkedOn(double radiusNm, std::int32_t standId) {
    g_stands.assign(1, Stand("A1", {}, kEham, 90.0 * kDeg, radiusNm * kNm, 10, false, false, false));
    g_stands[0].id = 1;
    LiveAc& a = addLive(Rec(0x4840D6).ground(0.0), SimStatus::active, FlightPhase::parked);
    a.standId = standId;
    a.standPos = kEham;
    a.standHeading = 90.0 * kDeg;
    a.heading = 90.0 * kDeg;
    a.stream.push_back(a.stream.front());
    a.departureStarted = true;
    return a;
  }
  void TearDown() override {
    g_stands.clear();
    EngineTest::TearDown();
  }
};

TEST_F(GroundMovement, PushbackAndPullOutFromTheStand) {
  struct Case {
    const char* what;
    double radiusNm;
    std::int32_t standId;
    std::uint8_t kind;
    std::uint32_t state;   // after the step
    double alongM;         // of the new point 1 from the aircraft along the stand heading
    const char* logLine;
  } cases[] = {
      {"pushback", 0.02, 1, 0, FlightPhase::pushing_back, -0.05 * kNm, ""},
      {"radius 0", 0.0, 1, 0, FlightPhase::parked, NAN, "invalid stand radius for stand A1, callsign KLM1234"},
      {"no stand", 0.02, 0, 0, FlightPhase::parked, NAN, "invalid stand radius for stand sid==0?"},
      {"pull-out: one full span", 0.02, 1, 1, FlightPhase::taxi, 35.8, "A1            : KLM1234  pulling out"},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& a = parkedOn(c.radiusNm, c.standId);
    a.departureKind = c.kind;
    nextPosGround(a);
    EXPECT_EQ(a.state, c.state) << c.what;
    EXPECT_NE(logText().find(c.logLine), std::string::npos) << c.what;
    if (std::isnan(c.alongM)) {
      EXPECT_FALSE(a.departureStarted) << c.what << ": the request is cleared";
      EXPECT_EQ(a.stream.size(), 2u) << c.what;
      continue;
    }
    const RelativeGeometry g = gf_relativeGeometry(kEham, a.standHeading, a.stream[1].lalo);
    EXPECT_NEAR(g.alongM, c.alongM, 0.05) << c.what;
    EXPECT_NEAR(g.crossM, 0.0, 0.05) << c.what;
    if (c.kind == 0) {
      ASSERT_EQ(a.stream.size(), 3u) << c.what;
      EXPECT_TRUE(a.stream[2].repeated && a.stream[2].lalo == a.stream[1].lalo) << "a stop at the end of the push";
      EXPECT_TRUE(a.departureStarted) << "held until the push ends";
    } else {
      EXPECT_FALSE(a.departureStarted);
    }
  }
}

TEST_F(GroundMovement, TheEndOfThePushbackReleasesTheRequest) {
  LiveAc& a = parkedOn(0.02, 1);
  nextPosGround(a);  // pushing back
  a.stream.pop_front();
  nextPosGround(a);
  EXPECT_EQ(a.state, FlightPhase::pushed_back);
  EXPECT_FALSE(a.departureStarted);
  EXPECT_EQ(a.pushbackTurnHeading, 900.0);
}

// A new object half-way through the push (the simulator's new session, a new livery) goes on from
// where the old one was to the push's end; only there does the push end.
TEST_F(GroundMovement, APushCreatedAgainHalfWayGoesOnToItsEnd) {
  for (const bool newSession : {true, false}) {
    reset();
    LiveAc& a = parkedOn(0.02, 1);
    nextPosGround(a);
    a.stream.pop_front();
    const Lalo end = a.stream.front().lalo;
    a.position = Lalo{(kEham.lat + end.lat) / 2.0, (kEham.lon + end.lon) / 2.0};
    if (newSession)
      gf_recreateLostLiveAc(a);
    else
      liveryRespawn(a);
    ASSERT_EQ(a.stream.size(), 3u) << newSession;
    nextPosGround(a);
    EXPECT_EQ(a.state, FlightPhase::pushing_back) << newSession;
    EXPECT_EQ(a.stream[1].lalo, end) << newSession;
    a.stream.pop_front();
    nextPosGround(a);
    EXPECT_EQ(a.state, FlightPhase::pushed_back) << newSession << ": at the push's end";
  }
}

TEST_F(GroundMovement, LegTimeAndATurnOnTheSpot) {
  for (const double turnDeg : {0.0, 90.0}) {
    reset();
    hooks.acSpeedKt = [](LiveAc& a) { return a.stream[0].groundSpeed; };
    install();
    g_engineTime = 1000;
    LiveAc& a = addLive(Rec(0x4840D6).ground(20.0));
    a.stream.push_back(a.stream.front());
    a.stream[1].lalo = offset(kEham, 0.01 * kNm);
    a.stream[1].time = 1600;
    a.heading = turnDeg * kDeg;
    a.turnAngle = turnDeg;
    a.turnPending = turnDeg > 3.0;
    gf_groundLegTiming(a);
    if (turnDeg == 0.0) {
      EXPECT_EQ(a.stream[1].time, 1180) << "0.01 NM at 20 kt";
      EXPECT_FALSE(a.turnHold);
      continue;
    }
    EXPECT_TRUE(a.turnHold);
    EXPECT_EQ(a.turnHoldTicks, 180u);
    // At the rate the nose really turns: a shaped rate above it would have the leg fall due first.
    const double rate = std::min(a.maxTurnPerStep, 1.2 * a.defaultTurnPerStep);
    const double turnTicks = std::max(25.0, std::ceil(85.0 * kDeg / rate));
    EXPECT_EQ(a.stream[1].time, 1000 + 180 + static_cast<std::int32_t>(turnTicks)) << "the turn comes first";
  }
}

// A departure late on its reports catches up on its roll, but taxis into its line-up at the leg's
// own pace: caught up there at three times that, it rolled through the stop.
TEST_F(GroundMovement, ALateTakeOffRollLegCatchesUpExceptIntoAStop) {
  struct Case {
    const char* what;
    bool standsAfter;  // the point after the leg's stands on its end
    double afterKt;
    std::int32_t arrival;  // 0.01 NM at 20 kt: 180 ticks at its pace, 60 caught up
  } cases[] = {
      {"rolling on", false, 20.0, 1060},
      {"into a standing point", true, 20.0, 1180},
      // Caught up into the point before its stop, it ran to 14 kt and braked 5.7 kt a second.
      {"into the last point before a stop", false, 0.0, 1180},
  };
  for (const Case& c : cases) {
    reset();
    hooks.acSpeedKt = [](LiveAc& a) { return a.stream[0].groundSpeed; };
    install();
    g_engineTime = 1000;
    LiveAc& a = addLive(Rec(0x4840D6).ground(20.0), SimStatus::active, FlightPhase::takeoff_roll);
    a.stream.push_back(a.stream.front());
    a.stream[1].lalo = offset(kEham, 0.01 * kNm);
    a.stream[1].time = 900;  // due a second ago
    a.stream.push_back(a.stream[1]);
    a.stream[2].repeated = c.standsAfter;
    a.stream[2].groundSpeed = c.afterKt;
    a.stream[2].time = 1900;
    gf_groundLegTiming(a);
    EXPECT_EQ(a.stream[1].time, c.arrival) << c.what;
  }
}

// How long an aircraft stands at a stop: a late line-up gives up a quarter of its reported wait
// at most, and 10 s at most; no stop is left before its reports leave it.
TEST_F(GroundMovement, AStopHoldsAsItsReportsDo) {
  struct Case {
    const char* what;
    std::uint32_t state;
    std::int32_t now, reachedFeed, leavesAt, leavesFeed;
    std::int32_t expected;
    double rollMetres = 0.0, rollKt = 0.0;  // on to a moving point 6 s after the wait
    bool afterLateStop = false;  // it stood 20 s late at an earlier stop, and reaches this one on a repeated point
  } cases[] = {
      {"a line-up reached in time waits its 30 s", FlightPhase::takeoff_roll, 1000, 1000, 4000, 4000, 4000},
      {"20 s late it gives up 7.5 s of them", FlightPhase::takeoff_roll, 3000, 1000, 4000, 4000, 5250},
      {"40 s late on a minute it gives up 8 s", FlightPhase::takeoff_roll, 5000, 1000, 7000, 7000, 10200},
      {"a taxi stop late takes it off its wait", FlightPhase::taxi, 3000, 1000, 4000, 4000, 4000},
      {"a taxi stop run early leaves with its reports", FlightPhase::taxi, 1000, 1000, 3500, 4000, 4000},
      // Its reports move it 1 m in the 6 s after the wait, at 3.8 kt: standing, then speeding up,
      // not creeping all the way.
      {"a line-up stands until its roll", FlightPhase::takeoff_roll, 1000, 1000, 4000, 4000, 4475, 1.0, 3.8},
      {"a line-up after a late stop waits its own 30 s", FlightPhase::takeoff_roll, 9000, 9000, 12000, 12000, 12000,
       0.0, 0.0, true},
  };
  for (const Case& c : cases) {
    reset();
    g_engineTime = c.now;
    LiveAc& a = addLive(Rec(0x4840D6).ground(0.0), SimStatus::active, c.state);
    if (c.afterLateStop) {
      a.stopFeedTime = 1000;
      a.stopReachedTick = 3000;
      a.stream.push_back(a.stream.front());
      a.stream[1].lalo = offset(kEham, 50.0);
      a.stream[1].groundSpeed = 10.0;
      gf_groundLegTiming(a);
      a.stream.pop_back();
    }
    a.stream.front().time = a.stream.front().feedTime.emplace(c.reachedFeed);
    a.stream.front().repeated = c.afterLateStop;
    a.stream.push_back(a.stream.front());
    a.stream[1].repeated = true;
    a.stream[1].time = c.leavesAt;
    a.stream[1].feedTime = c.leavesFeed;
    if (c.rollKt > 0.0) {
      a.stream.push_back(a.stream[1]);
      a.stream[2].repeated = false;
      a.stream[2].lalo = offset(kEham, c.rollMetres);
      a.stream[2].groundSpeed = c.rollKt;
      a.stream[2].time = c.leavesFeed + 600;
      a.stream[2].feedTime = a.stream[2].time;
    }
    gf_groundLegTiming(a);
    EXPECT_EQ(a.stream[1].time, c.expected) << c.what;
  }
}

// Off a line-up the reports move the aircraft 1 m at 3.8 kt some seconds after their last
// standing point: it stands until it can speed up to that, instead of creeping there.
TEST_F(GroundMovement, ARollOffALineUpStandsUntilItCanSpeedUp) {
  struct Case {
    std::int32_t dueIn;
    std::int32_t standsUntil;  // 0: rolls off at once
    bool reachedLate = false;  // it reached its stop 8 s after its reports, its stream moved as much
  } cases[] = {{640, 1515}, {200, 0}, {640, 1515, true}};
  for (const Case& c : cases) {
    reset();
    g_engineTime = 1000;
    LiveAc& a = addLive(Rec(0x4840D6).ground(0.0), SimStatus::active, FlightPhase::takeoff_roll);
    a.stream.front().repeated = true;
    a.stream.front().time = a.stream.front().feedTime.emplace(1000);  // its wait there ends now
    a.stream.push_back(a.stream.front());
    a.stream[1].repeated = false;
    a.stream[1].lalo = offset(kEham, 1.0);
    a.stream[1].groundSpeed = 3.8;
    a.stream[1].time = 1000 + c.dueIn;
    if (c.reachedLate) {
      a.stopFeedTime = 0;
      a.stopReachedTick = 800;
      a.stream[1].feedTime = a.stream[1].time - 800;
    }
    gf_groundLegTiming(a);
    ASSERT_EQ(a.stream.size(), c.standsUntil ? 3u : 2u) << c.dueIn;
    if (c.standsUntil == 0) continue;
    EXPECT_TRUE(a.stream[1].repeated);
    EXPECT_EQ(a.stream[1].time, c.standsUntil) << "1.25 s to speed up at 2.5 kt/s";
  }
}

TEST_F(GroundMovement, DriveIntoTheStand) {
  const GeoPose stand{kEham, 0.0};  // heading north
  struct Case {
    double behindM, lateralM, headingDeg;
    bool check;
    std::size_t points;  // after drive2Stand
  } cases[] = {
      {1.7, 0.9, 9.0, true, 2},    // there already (1.92 m): only the stop
      {2.1, 0.0, 0.0, true, 3},    // a little short: the stand point, then the stop
      {1.0, 1.1, 0.0, true, 3},
      {1.0, 0.0, 11.0, true, 3},
      {1.0, 0.0, 0.0, false, 3},   // not asked to check
      {40.0, 5.0, 0.0, true, 4},   // aside and far: a point behind the stand first
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& a = addLive(Rec(0x4840D6).at(offset(kEham, -c.behindM, c.lateralM)).ground(3.0));
    a.heading = gf_normalizeAngle(c.headingDeg * kDeg);
    drive2Stand(a, stand, c.check);
    ASSERT_EQ(a.stream.size(), c.points) << c.behindM << " m behind, " << c.lateralM << " m aside";
    EXPECT_TRUE(a.stream.back().repeated);
    EXPECT_EQ(a.stream.back().lalo, a.stream[c.points - 2].lalo);
    if (c.points > 2) {
      EXPECT_EQ(a.stream[c.points - 2].lalo, kEham) << "the stand point";
    }
  }
}

// A taxi path: the aircraft at point 0 heading north, point 1 `legM` ahead (or at `firstDeg` to
// the right), point 2 `secondM` on at `cornerDeg` to the right.
LiveAc& taxiCorner(double legM, double cornerDeg, double speedKt = 20.0, double firstDeg = 0.0, double secondM = 60.0) {
  LiveAc& a = addLive(Rec(0x4840D6).ground(speedKt));
  StreamPoint p = a.stream.front();
  p.lalo = gf_destinationPoint(p.lalo, {firstDeg * kDeg, legM * 3.2808399});
  p.time += 1000;
  a.stream.push_back(p);
  p.lalo = gf_destinationPoint(p.lalo, {cornerDeg * kDeg, secondM * 3.2808399});
  p.time += 1000;
  a.stream.push_back(p);
  return a;
}

TEST_F(GroundMovement, TurnsBuiltIntoTheTaxiPath) {
  // The lead: 1.5 to 6 s of travel, held to 12..90 m.
  EXPECT_EQ(gf_turnLeadMetres(1.0, 7.0, 1.0), 12.0);
  EXPECT_EQ(gf_turnLeadMetres(170.0, 7.0, 60.0), 90.0);
  EXPECT_NEAR(gf_turnLeadMetres(30.0, 7.0, 20.0), 30.0 / 7.0 * 20.0 * 0.5144444444444445, 1e-9);

  struct Case {
    double legM, cornerDeg;
    bool built;
    std::size_t points;  // after the call
    bool planned, turnStart;
    double speedKt = 20.0, firstDeg = 0.0, secondM = 60.0, headingDeg = 0.0;
    double spotDeg = 0.0;  // turned on the spot before the planned turn
    std::uint32_t state = FlightPhase::taxi;
    double cornerKt = NAN;  // the corner's report, when not `speedKt`
    double cutM = 0.0;      // the corner cut by two reports this far either side of it instead
    double thirdDeg = NAN;  // a point 3, 60 m on from point 2 at this heading
  } cases[] = {
      {40.0, 2.9, false, 3, false, false},   // 3 degrees or less: nothing
      {40.0, 30.0, true, 2, true, false},    // lead 44 m reaches 0.75 x 40: planned at once
      {100.0, 30.0, true, 4, false, true},   // a long leg: the turn starts 44 m before the corner
      // Standing after its push-back, nose 135 degrees off the way to a 43-degree corner: planned
      // from the heading it turns to on the spot, not left to a creep through the corner.
      {15.4, 88.0, true, 2, true, false, 0.0, 45.0, 9.1, 180.0, 135.0},
      // Off the runway at 44 kt onto a 74 m leg 26 degrees aside: a path, its end 32 m off the runway's line.
      {82.0, 26.0, true, 2, true, false, 44.0, 0.0, 74.0, 0.0, 0.0, FlightPhase::landing_roll},
      // A stop at the corner, the next report creeping on from it: no turn through the stop.
      {40.0, 30.0, false, 3, false, false, 20.0, 0.0, 8.0, 0.0, 0.0, FlightPhase::taxi, 0.0},
      // A departure turning 37 degrees toward its runway at 7 kt: a path, not the bare corner.
      {30.0, 37.0, true, 2, true, false, 7.0, 0.0, 30.0, 0.0, 0.0, FlightPhase::takeoff_roll},
      // Off the runway at 25 kt round a 28-degree corner the reports cut in two bends of 14: one exit.
      {82.0, 28.0, true, 2, true, false, 25.0, 0.0, 74.0, 0.0, 0.0, FlightPhase::landing_roll, NAN, 13.0},
      // An 8-degree bend right before a 40-degree corner: not curved through, or the corner's
      // path would lose the report it is planned from.
      {40.0, 8.0, false, 4, false, false, 20.0, 0.0, 60.0, 0.0, 0.0, FlightPhase::taxi, NAN, 0.0, 48.0},
      // A taxi at 7 kt round a 42-degree corner its reports cut in two bends 6 m apart, the way out
      // reported again 8 m on: one path round the corner, its way out the 68 m to the report after.
      {30.0, 42.0, true, 2, true, false, 7.0, 0.0, 8.0, 0.0, 0.0, FlightPhase::taxi, NAN, 3.0, 42.0},
      // A 40-degree corner with a report 4 m after it on the way out: the path runs on to the next.
      {30.0, 40.0, true, 2, true, false, 7.0, 0.0, 4.0, 0.0, 0.0, FlightPhase::taxi, NAN, 0.0, 40.0},
      // Standing at a stop, nose 45 degrees off a way on that bends 3 degrees at point 1: a path
      // it turns along as it rolls off, not a turn start that leaves it a turn on the spot.
      {21.4, 17.0, true, 2, true, false, 0.0, 20.0, 22.7, 65.0},
      // The same with a bend of 8 degrees at point 1, still no taxi corner.
      {21.4, 12.0, true, 2, true, false, 0.0, 20.0, 22.7, 60.0},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& a = taxiCorner(c.legM, c.cornerDeg, c.speedKt, c.firstDeg, c.secondM);
    a.state = c.state;
    a.heading = c.headingDeg * kDeg;
    if (std::isfinite(c.cornerKt)) a.stream[1].groundSpeed = c.cornerKt;
    if (c.cutM > 0.0) {
      StreamPoint after = a.stream[1];
      after.lalo = gf_destinationPoint(after.lalo, {c.cornerDeg * kDeg, c.cutM * 3.2808399}), after.time += 100;
      a.stream[1].lalo = gf_destinationPoint(a.stream[1].lalo, {(c.firstDeg + 180.0) * kDeg, c.cutM * 3.2808399});
      a.stream[1].time -= 100;
      a.stream.insert(a.stream.begin() + 2, after);
    }
    if (std::isfinite(c.thirdDeg)) {
      StreamPoint p = a.stream.back();
      p.lalo = gf_destinationPoint(p.lalo, {c.thirdDeg * kDeg, 60.0 * 3.2808399});
      p.time += 1000;
      a.stream.push_back(p);
    }
    for (StreamPoint& p : a.stream) p.feedTime = p.time;
    EXPECT_EQ(gf_buildGroundTurn(a), c.built) << c.legM << " m, " << c.cornerDeg << " degrees";
    EXPECT_EQ(a.stream.size(), c.points) << c.legM << " m, " << c.cornerDeg << " degrees";
    EXPECT_EQ(a.legPlan.hasTurn() || a.legPlan.hasCurve(), c.planned) << c.legM;
    EXPECT_EQ(a.stream[1].turnStart, c.turnStart) << c.legM;
    if (c.turnStart) {
      EXPECT_NEAR(gf_distanceNm(a.stream[1].lalo, a.stream[2].lalo) * kNm, 30.0 / 7.0 * 10.29, 0.2);
      // Due where it lies on the leg (at 20 kt, by its distance), not at the first point's time.
      ASSERT_TRUE(a.stream[1].feedTime.has_value());
      EXPECT_NEAR(*a.stream[1].feedTime - a.stream[0].time, 1000.0 * (1.0 - 30.0 / 7.0 * 10.29 / c.legM), 3.0);
    }
    if (c.planned) {
      // A corner the reports cut, or planned to a far report, is found again in a flat frame.
      const bool flat = c.cutM > 0.0 || std::isfinite(c.thirdDeg);
      EXPECT_NEAR(a.legPlan.legTurnAngle, std::fabs(c.cornerDeg - c.headingDeg), flat ? 1e-4 : 1e-6);
    }
    EXPECT_NEAR(gf_spotTurnBeforePlanDeg(a), c.spotDeg, 0.5) << c.legM;
  }
}

// A small jog is straightened, but not through a stop the feed reports on it, nor where its end
// is a corner or nothing is known after its end: the corner's path is planned from the jog's last
// report before it.
TEST_F(GroundMovement, ASmallJogIsStraightened) {
  struct Case {
    const char* what;
    double stopKt;
    double afterDeg;  // the leg after the jog's end; NAN: none reported yet
    bool straightened;
  } cases[] = {
      {"straight on", 15.0, 0.0, true},
      {"a stop on the jog", 0.0, 0.0, false},
      {"a corner at its end", 15.0, 40.0, false},
      {"nothing known after its end", 15.0, NAN, false},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& a = addLive(Rec(0x4840D6).ground(15.0));
    for (const auto& [north, east] : {std::pair{40.0, 0.5}, {80.0, 2.8}, {160.0, 0.0}}) {
      StreamPoint p = a.stream.back();
      p.lalo = offset(kEham, north, east);
      p.groundSpeed = north == 80.0 ? c.stopKt : 15.0;
      p.time += 500;
      a.stream.push_back(p);
    }
    if (std::isfinite(c.afterDeg)) {
      StreamPoint p = a.stream.back();
      p.lalo = gf_destinationPoint(p.lalo, {c.afterDeg * kDeg, 80.0 * 3.2808399});
      p.time += 500;
      a.stream.push_back(p);
    }
    gf_buildGroundTurn(a);
    const Lalo jog = offset(kEham, 80.0, 2.8);
    const bool kept = std::any_of(a.stream.begin(), a.stream.end(), [&](const StreamPoint& p) { return p.lalo == jog; });
    EXPECT_EQ(kept, !c.straightened) << c.what;
    if (!c.straightened) continue;
    ASSERT_EQ(a.stream.size(), 3u);
    EXPECT_EQ(a.stream[1].lalo, offset(kEham, 160.0));
    EXPECT_NEAR(gf_wrapAngle(a.trackToNext), 0.0, 1e-9);
  }
}

// A turn into a stop keeps the stop where the aircraft then waits: a report repeats it, or the next
// one moves on from it no faster than a creep. A 0 kt the aircraft passes through is rolled into at
// the mean speed.
TEST_F(GroundMovement, ATurnIntoAStopKeepsItWhereTheAircraftWaits) {
  struct Case {
    const char* what;
    bool repeated;
    double nextM;
    std::int32_t nextTicks;
    double stopKt;
  } cases[] = {
      {"a report repeats the stop", true, 0.0, 700, 0.0},
      {"the next report moves on 5 m after 9 s", false, 5.0, 900, 0.0},
      {"the next report 40 m on after 4 s", false, 40.0, 400, 20.0},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& a = taxiCorner(40.0, 30.0);
    a.stream[2].groundSpeed = 0.0;
    const Lalo stop = a.stream[2].lalo;
    StreamPoint next = a.stream[2];
    next.repeated = c.repeated;
    next.groundSpeed = c.repeated ? 0.0 : 8.6;
    next.lalo = gf_destinationPoint(stop, {30.0 * kDeg, c.nextM * 3.2808399});
    next.time += c.nextTicks;
    a.stream.push_back(next);
    makeTurnGnd(a, 30.0);
    const auto at = std::find_if(a.stream.begin(), a.stream.end(), [&](const StreamPoint& p) { return p.lalo == stop; });
    ASSERT_NE(at, a.stream.end()) << c.what;
    EXPECT_EQ(at->groundSpeed, c.stopKt) << c.what;
  }
}

TEST_F(GroundMovement, APointTwoThatRepeatsPointOneGetsNoPlan) {
  LiveAc& a = taxiCorner(40.0, 30.0);
  a.stream[2].repeated = true;
  EXPECT_FALSE(makeTurnGnd(a, 30.0));
  EXPECT_NE(logText().find("makeTurnGnd: unexpected same at stream[2], KLM1234"), std::string::npos);
}

}  // namespace
