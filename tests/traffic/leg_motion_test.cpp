// One step along the leg: the heading limit on the ground, a light aircraft's take-off roll
// that never slides back, and no leap onto a faster or slower leg, on the ground or in the air.
#include "traffic/leg_motion.h"

#include "tests/traffic/traffic_fixture.h"
#include "traffic/movement_geometry.h"
#include "traffic/next_position.h"

namespace {

using namespace traffic_test;

constexpr double kDeg = geo::kDegToRad;

using LegMotion = EngineTest;

// A right turn from where the aircraft stands: north to a corner `legM` on, then `deg` round for
// as far again.
TurnRequest lf_rightTurn(const LiveAc& a, double legM, double deg) {
  TurnRequest turn;
  turn.start = a.position;
  turn.corner = offset(a.position, legM);
  turn.end = gf_destinationPoint(turn.corner, {deg * kDeg, legM * 3.2808399});
  return turn;
}

TEST_F(LegMotion, OnTheGroundTheHeadingChangesAtMost1Point2TimesTheBaseRate) {
  for (const double offDeg : {90.0, -90.0, 0.05}) {
    reset();
    LiveAc& a = addLive(Rec(0x4840D6).ground(10.0));
    a.maxTurnPerStep = 3.0 * kDeg;  // far above the category's 0.07 degrees per tick
    a.heading = 0.0;
    a.trackToNext = gf_normalizeAngle(offDeg * kDeg);
    gf_moveAlongLeg(a);
    const double limit = 1.2 * a.defaultTurnPerStep;
    const double expected = std::clamp(offDeg * kDeg, -limit, limit);
    EXPECT_NEAR(gf_wrapAngle(a.heading), expected, 1e-12) << offDeg;
  }
}

// A departure whose runway is predicted turns its nose onto the runway only once its leg runs
// along it, and while rolling no further than 3 degrees off its motion; on a leg across it the nose
// stays with the motion instead of crabbing.
TEST_F(LegMotion, ALineUpDoesNotCrab) {
  struct Case {
    double legDeg;
    double endHeadingDeg;  // after 30 s on the leg
    double kt = 6.0;
  } cases[] = {{45.0, 45.0}, {80.0, 83.0}, {100.0, 97.0}, {88.0, 90.0}, {80.0, 90.0, 0.0}};
  for (const Case& c : cases) {
    reset();
    LiveAc& a = addLive(Rec(0x4840D6).ground(c.kt), SimStatus::active, FlightPhase::taxi);
    a.prevState = FlightPhase::pushed_back;
    a.runwayPredicted = true;
    a.predictedRunwayHeading = 90.0 * kDeg;
    a.maxTurnPerStep = a.defaultTurnPerStep;
    a.heading = a.trackToNext = c.legDeg * kDeg;
    const double perTick = c.kt / 60.0 / 360000.0;  // degrees of arc
    a.velocity = {perTick * std::cos(a.trackToNext), perTick * std::sin(a.trackToNext) / std::cos(kEham.lat * kDeg)};
    for (int tick = 0; tick < 3000; ++tick) gf_moveAlongLeg(a);
    EXPECT_NEAR(a.heading / kDeg, c.endHeadingDeg, 0.5) << c.legDeg;
  }
}

TEST_F(LegMotion, ALightAircraftsTakeoffRollNeverSlidesBack) {
  struct Case {
    const char* model;
    std::uint32_t state;
    bool forward;  // the step ends ahead of where it began
    bool stands = false;  // or where it began
  } cases[] = {
      {"C172", FlightPhase::takeoff_roll, true},
      {"C172", FlightPhase::taxi, false},
      {"B738", FlightPhase::takeoff_roll, false, true},
      {"B738", FlightPhase::taxi, false},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& a = addLive(Rec(0x4840D6, "N123", c.model).ground(40.0), SimStatus::active, c.state);
    a.speed = 40.0;
    a.groundStepMetres = 40.0 * 1852.0 / 360000.0;  // rolling at that speed the tick before
    a.velocity = {-1e-6, 0.0};  // about 11 cm south per tick, heading north
    gf_moveAlongLeg(a);
    const RelativeGeometry g = gf_relativeGeometry(kEham, 0.0, a.position);
    EXPECT_EQ(g.alongM > 0.0, c.forward) << c.model << " in state " << c.state;
    EXPECT_EQ(g.distanceM < 0.02, c.stands) << c.model << " in state " << c.state;
    if (c.forward) {
      EXPECT_NEAR(g.alongM, 40.0 * 1852.0 / 360000.0, 1e-3) << "one tick at 40 kt";
    }
  }
}

// A leg that would have the aircraft leap from the speed it rolls at (a take-off roll catching up
// with bunched reports, a taxi leg faster than the last) speeds it up only as an airliner does:
// a second of such a leg gains at most the roll's or the taxi's acceleration. A taxi late on its
// reports gains no more than up to its point's own speed, so that it reaches the point at its pace.
// Slowed by a leg its nose is well off, it loses no more than it would braking.
TEST_F(LegMotion, AFasterLegOnTheGroundSpeedsUpAsAnAirlinerDoes) {
  struct Case {
    std::uint32_t state;
    double fromKt, legKt, mostGainKt;
    bool linedUp = true;    // on its predicted runway's heading
    bool intoStop = false;  // the point after the leg's stands on it
    double pointKt = 0.0;   // the speed reported at the leg's end, when not the leg's own
    double noseOffDeg = 0.0, mostLossKt = 1e9;
    double turnDeg = 0.0;  // a planned turn to the right instead of a straight leg
    bool stopAPointOn = false;  // the line-up a leg further on
    bool rollOut = false;       // the turn is a runway exit run by the roll-out's profile at legKt
    double mostNoseOffDeg = 1e9;  // off the way a tick moves it
    int ticks = 100;
  } cases[] = {
      {FlightPhase::takeoff_roll, 45.0, 170.0, 4.1},
      {FlightPhase::taxi, 10.0, 25.0, 2.6},
      {FlightPhase::takeoff_roll, 120.0, 122.0, 2.1},  // within reach: the leg's own speed
      {FlightPhase::takeoff, 145.0, 183.0, 4.1},       // the lift-off late on its reports
      // A departure's taxi to its runway gathers speed as any taxi does, not at the roll's rate.
      {FlightPhase::takeoff_roll, 5.0, 20.0, 2.6, false},
      {FlightPhase::takeoff_roll, 5.0, 20.0, 2.6, true, true},  // taxiing into its line-up
      {FlightPhase::taxi, 7.0, 20.0, 1.01, true, false, 8.0},      // late, its point reported at 8 kt
      // Round a corner without a path: braked hard after slowing for it, a B772 lost 5.7 kt in a second.
      {FlightPhase::taxi, 10.0, 10.0, 0.0, true, false, 0.0, 44.0, 3.1},
      // Late out of a turn, no faster than the 6 kt reported where it ends.
      {FlightPhase::taxi, 5.0, 20.0, 1.01, true, false, 6.0, 0.0, 1e9, 20.0},
      {FlightPhase::takeoff_roll, 5.0, 15.0, 2.6, true, false, 0.0, 0.0, 1e9, 0.0, true},
      // Off the runway at 24 kt: it slows for the exit's bend as its nose can follow it.
      {FlightPhase::landing_roll, 24.0, 24.0, 0.0, true, false, 0.0, 0.0, 1e9, 75.0, false, true, 5.0, 1500},
  };
  constexpr double kMetresPerTickPerKt = 1852.0 / 360000.0;
  for (const Case& c : cases) {
    reset();
    LiveAc& a = addLive(Rec(0x4840D6, "N123", "B738").ground(c.pointKt > 0.0 ? c.pointKt : c.legKt),
                        SimStatus::active, c.state);
    a.speed = c.legKt;
    if (c.stopAPointOn) {
      a.stream.push_back(a.stream.front());
      a.stream.back().lalo = offset(a.position, 10.0);
    }
    if (c.intoStop || c.stopAPointOn) {
      a.stream.push_back(a.stream.back());
      a.stream.back().repeated = true;
    }
    a.groundStepMetres = c.fromKt * kMetresPerTickPerKt;
    const double perTick = c.legKt / 60.0 / 360000.0;  // degrees of arc, northbound
    a.velocity = {perTick, 0.0};
    a.trackToNext = 0.0;
    a.heading = c.noseOffDeg * kDeg;
    a.runwayPredicted = true;
    a.predictedRunwayHeading = c.linedUp ? 0.0 : 0.5 * geo::kPi;
    if (c.turnDeg > 0.0) {
      const TurnRequest turn = lf_rightTurn(a, 50.0, c.turnDeg);
      ASSERT_TRUE(a.legPlan.turn.build(turn));
      a.legPlan.planKind = c.rollOut ? PlanKind::runwayExit : PlanKind::ordinary;
      a.legPlan.legFractionStep = c.legKt * kMetresPerTickPerKt / a.legPlan.turn.length;
      if (c.rollOut) {
        const double mps = c.legKt * motion::kMetresPerSecondPerKt;
        const double metres = a.legPlan.turn.length;
        ASSERT_TRUE(a.rollContext.profile.build(metres, metres / mps, mps, mps));
        a.rollContext.start = a.position;
        a.rollContext.end = turn.end;
        a.rollContext.valid = true;
      }
    }
    const Lalo start = a.position;
    double noseOffDeg = 0.0;
    for (int tick = 0; tick < c.ticks; ++tick) {
      const Lalo before = a.position;
      gf_moveAlongLeg(a);
      if (gf_distanceNm(before, a.position) * 1852.0 > 0.01)
        noseOffDeg = std::max(noseOffDeg, std::fabs(gf_wrapAngle(gf_bearingRad(before, a.position) - a.heading)) / kDeg);
    }
    EXPECT_LE(noseOffDeg, c.mostNoseOffDeg) << gf_flightPhaseName(c.state) << " round " << c.turnDeg << " degrees";
    const double endKt = a.groundStepMetres / kMetresPerTickPerKt;
    EXPECT_LE(endKt - c.fromKt, c.mostGainKt) << gf_flightPhaseName(c.state) << " from " << c.fromKt << " kt";
    EXPECT_LE(c.fromKt - endKt, c.mostLossKt) << gf_flightPhaseName(c.state) << ", nose " << c.noseOffDeg << " degrees off";
    EXPECT_GT(gf_distanceNm(start, a.position), 0.0);
  }
}

// A straight leg rolls through the moving point it reaches, whether its eased weights ran out short
// of it or its velocity carries it there before the point's time: standing at the point until then,
// it stopped dead amid its roll off a line-up; carried past it, it ran on through the points into
// its line-up. The leg after starts from the pace the aircraft came with, not the last remainder.
// A stop braked into early is reached then too, and the wait after it keeps its length, or the
// feed's where the stream has it shorter: standing until the stop's time first, a departure stood
// at its line-up that much longer than its reports; brought forward as far as each point was late,
// one stood 4 s where its reports stand 11.
TEST_F(LegMotion, AStraightLegRollsThroughTheMovingPointItReaches) {
  constexpr double kMetresPerTickPerKt = 1852.0 / 360000.0;
  struct Case {
    const char* what;
    bool eased, stop;
    std::int32_t waitTicks = 0, feedWaitTicks = 0, gapAfter = 0;  // the wait after the stop
    double turnDeg = 0.0;  // the leg a planned turn to the right, its stop due already
  } cases[] = {
      {"eased", true, false},
      {"by velocity", false, false},
      {"into a stop", true, true, 700, 700, 700},
      {"into a stop timed later than the wait after it", true, true, 300, 700, 599},
      // Its weights spent before a turn's end: the leg fell due 3 m short and it stopped dead there.
      {"round a turn into a stop", true, true, 700, 700, 700, 30.0},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& a = addLive(Rec(0x4840D6, "N123", "B738").ground(16.0), SimStatus::active, FlightPhase::takeoff_roll);
    a.stream.front().lalo = offset(a.position, 5.0);  // due north
    a.stream.front().time = g_engineTime.load() + 300;
    a.groundStepMetres = 14.0 * kMetresPerTickPerKt;
    if (c.stop) {
      StreamPoint& stop = a.stream.front();
      stop.groundSpeed = 0.0;
      stop.feedTime = stop.time - 500;  // its stream runs 5 s late
      StreamPoint wait = stop;
      wait.repeated = true;
      wait.time += c.waitTicks;
      wait.feedTime = *stop.feedTime + c.feedWaitTicks;
      a.stream.push_back(wait);
    }
    if (c.turnDeg > 0.0) {
      const TurnRequest turn = lf_rightTurn(a, 15.0, c.turnDeg);
      ASSERT_TRUE(a.legPlan.turn.build(turn));
      a.legPlan.legFractionStep = 14.0 * kMetresPerTickPerKt / a.legPlan.turn.length;
      for (StreamPoint& point : a.stream) point.lalo = turn.end;
      const std::int32_t due = g_engineTime.load() + 1 - a.stream.front().time;
      for (StreamPoint& point : a.stream) point.time += due;
    }
    if (c.eased) {
      a.groundKind = 1;
      a.easingWeights = EasedShares(10, 1, 1.0);
      a.easingCursor = a.easingWeights.size();
    } else {
      a.velocity = {14.0 / 60.0 / 360000.0, 0.0};  // degrees of arc a tick, northbound
    }
    a.heading = a.trackToNext = 0.0;
    int tick = 0;
    double lastStep = 0.0;
    for (; tick < 1000 && gf_distanceNm(a.position, a.stream.front().lalo) * 1852.0 > 1e-3; ++tick) {
      lastStep = a.groundStepMetres;
      gf_moveAlongLeg(a);
      if (c.turnDeg > 0.0) ++g_engineTime;  // its stop due all along
    }
    ASSERT_LT(tick, 1000) << c.what << ": never reached its point";
    if (c.turnDeg > 0.0) EXPECT_LE(lastStep / kMetresPerTickPerKt, 2.0) << c.what << ": stopped dead";
    EXPECT_LE(a.stream.front().time, g_engineTime.load() + 1) << c.what << ": stands at its point until the point's time";
    if (c.stop) {
      EXPECT_EQ(a.stream[1].time - a.stream[0].time, c.gapAfter) << c.what << ": the wait after the stop";
      continue;
    }
    EXPECT_GE(a.groundStepMetres / kMetresPerTickPerKt, 14.0 - 1e-6) << c.what << ": the pace it comes on with is lost";
  }
}

// In the air the step changes from the one before by at most 3 kt a second, 4 kt on a climb-out,
// both ways; made in the air with no step before, the aircraft takes its leg's pace at once.
TEST_F(LegMotion, InTheAirTheStepChangesAsAnAirlinerChangesItsSpeed) {
  struct Case {
    const char* name;
    double fromKt;  // the step before; below 0 none
    double legKt, ktPerSecond, endKt;
    bool climbOut;
    bool flare = false;
    bool eastbound = false;
    bool measuredAtEquator = false;  // its step's length kept from the same velocity at the equator
  } cases[] = {
      {"a faster leg", 205.0, 212.0, 3.0, 208.0, false},
      {"a slower leg", 212.0, 205.0, 3.0, 209.0, false},
      {"a faster leg on the climb-out", 160.0, 180.0, 4.0, 164.0, true},
      {"within reach", 205.0, 206.0, 3.0, 206.0, false},
      {"made in the air", -1.0, 212.0, 0.0, 212.0, false},
      {"floating in the flare onto the roll-out's slower leg", 152.0, 143.0, 3.0, 149.0, false, true},
      {"eastbound, the same velocity measured at the equator before", 205.0, 205.0, 3.0, 205.0, false, false, true,
       true},
  };
  constexpr double kMetresPerTickPerKt = 1852.0 / 360000.0;
  for (const Case& c : cases) {
    reset();
    LiveAc& a = addLive(Rec(0x4840D6, "N123", "B738").air(c.flare ? 20.0 : 3000.0, c.legKt), SimStatus::active,
                        c.flare ? FlightPhase::landing : FlightPhase::flying);
    if (c.climbOut) {
      a.prevState = FlightPhase::takeoff;
      a.stateSince = g_engineTime.load();
    }
    if (c.flare) a.simAgl = 20.0;
    a.airStepMetres = c.fromKt * kMetresPerTickPerKt;
    const double arc = c.legKt / 60.0 / 360000.0;  // degrees of arc a tick
    a.velocity = c.eastbound ? Lalo{0.0, arc / std::cos(a.position.lat * geo::kDegToRad)} : Lalo{arc, 0.0};
    if (c.measuredAtEquator) {
      a.velocityStep.velocity = a.velocity;
      a.velocityStep.latitude = 0.0;
      a.velocityStep.metres = gf_distanceNm({0.0, 0.0}, a.velocity) * 1852.0;
      a.velocityStep.perMetre = 1.0 / a.velocityStep.metres;
      a.velocityStep.perSquareDegree = 1.0 / (a.velocity.lon * a.velocity.lon);
    }
    a.heading = a.trackToNext = c.eastbound ? geo::kPi / 2.0 : 0.0;
    const double most = c.ktPerSecond / 100.0 * kMetresPerTickPerKt + 1e-9;
    double last = a.airStepMetres;
    for (int tick = 0; tick < 100; ++tick) {
      const Lalo before = a.position;
      gf_moveAlongLeg(a);
      // Held back or not, it stands where its step says: that many metres on from where it was.
      EXPECT_NEAR(gf_distanceNm(before, a.position) * 1852.0, a.airStepMetres, 1e-6) << c.name << " at tick " << tick;
      if (last > 0.0) {
        EXPECT_LE(std::fabs(a.airStepMetres - last), most) << c.name << " at tick " << tick;
      }
      last = a.airStepMetres;
    }
    EXPECT_NEAR(a.airStepMetres / kMetresPerTickPerKt, c.endKt, 0.05) << c.name;
  }
}

}  // namespace
