// The runway prediction of departures on a hand-made runway 09-27, and the heading step.
#include "traffic/stream_prediction.h"

#include "tests/traffic/traffic_fixture.h"
#include "traffic/runway_validation.h"

namespace {

using namespace traffic_test;

constexpr double kDeg = geo::kDegToRad;

class StreamPrediction : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    runway();
  }
  // The engine's reset takes the runways too.
  void runway() {
    // 3000 m, heading 090, centred 2 km south of EHAM's reference point.
    Runway r;
    r.centre = offset(kEham, -2000.0);
    r.heading = 90.0, r.length = 3000.0, r.width = 45.0;
    r.primaryNumber = 9, r.secondaryNumber = 27;
    r.primaryEnd = offset(r.centre, 0.0, -1500.0);
    r.secondaryEnd = offset(r.centre, 0.0, 1500.0);
    g_parkRunways = {r};
    start = offset(r.centre, 0.0, -1400.0);  // 100 m past the start of 09
  }
  // A departure in taxi standing at `at`, heading `headingDeg`, its stream a single point.
  LiveAc& departure(const Lalo& at, double headingDeg) {
    LiveAc& a = addLive(Rec(0x4840D6).at(at).ground(0.0));
    a.prevState = FlightPhase::pushed_back;
    a.heading = headingDeg * kDeg;
    return a;
  }
  // One update per tick from now on, for `ticks` ticks.
  void stand(LiveAc& a, std::int32_t ticks) {
    for (std::int32_t i = 0; i < ticks; ++i) {
      ++g_engineTime;
      gf_predictDepartureRunway(a);
    }
  }
  Lalo start;
};

TEST_F(StreamPrediction, StandingAlignedNeeds300TicksInTheSamePlace) {
  LiveAc& a = departure(start, 80.0);
  gf_predictDepartureRunway(a);
  stand(a, 200);  // the first speed window closes: the aircraft stands
  stand(a, 299);
  EXPECT_FALSE(a.runwayPredicted);
  stand(a, 1);
  EXPECT_TRUE(a.runwayPredicted);
  EXPECT_EQ(a.predictedRunway, "09-27:09");
  EXPECT_NEAR(a.predictedRunwayHeading, 90.0 * kDeg, 1e-9);
  stand(a, 1);
  EXPECT_GT(a.heading, 80.0 * kDeg) << "lines up while it stands";

  // Moving on by more than 2 m starts the wait again.
  LiveAc& b = departure(start, 80.0);
  gf_predictDepartureRunway(b);
  stand(b, 400);
  b.position = offset(start, 0.0, 2.5);
  stand(b, 299);
  EXPECT_FALSE(b.runwayPredicted) << "it would have been at 500 ticks";
  stand(b, 500);
  EXPECT_TRUE(b.runwayPredicted);
}

TEST_F(StreamPrediction, AHoldIsTakenWhenThePathGoesOnAlongTheRunway) {
  struct Case {
    double departureTurnDeg;  // of the movement after the stop, off the runway heading
    bool predicted;
  } cases[] = {{0.0, true}, {29.0, true}, {31.0, false}, {45.0, false}, {134.0, false}, {136.0, true}};
  for (const Case& c : cases) {
    reset();
    runway();
    LiveAc& a = departure(start, 60.0);
    StreamPoint stop = a.stream.front();
    stop.repeated = true;
    stop.time += 100;
    StreamPoint next = stop;
    next.repeated = false;
    next.lalo = gf_destinationPoint(start, {(90.0 + c.departureTurnDeg) * kDeg, 50.0 * 3.2808399});
    next.time += 500;
    a.stream.push_back(stop);
    a.stream.push_back(next);
    gf_predictDepartureRunway(a);
    EXPECT_EQ(a.runwayPredicted, c.predicted) << c.departureTurnDeg << " degrees";
    EXPECT_EQ(a.predictedAtHold, c.predicted) << c.departureTurnDeg << " degrees";
  }
}

TEST_F(StreamPrediction, InTheAirEverythingIsCleared) {
  LiveAc& a = departure(start, 80.0);
  gf_predictDepartureRunway(a);
  stand(a, 500);
  ASSERT_TRUE(a.runwayPredicted);
  a.onGround = false;
  a.state = FlightPhase::takeoff;
  gf_predictDepartureRunway(a);
  EXPECT_FALSE(a.runwayPredicted || a.lineUpRotate || a.runwayCandidateSeen || a.predictedRunway || a.trackActive);
  EXPECT_TRUE(std::isnan(a.windowMetres) && std::isnan(gf_measuredSpeedKt(a)));
}

TEST_F(StreamPrediction, AHeadingStepAbove3Point6DegreesIsNotApplied) {
  struct Case {
    double rateDeg, targetDeg;
    bool smooth;
    double headingDeg;  // after one step from 0
  } cases[] = {
      {4.0, 10.0, false, 0.0},   // the step would be 4 degrees
      {3.0, 10.0, false, 3.0},
      {3.0, -10.0, false, 357.0},
      {3.0, 2.0, false, 2.0},
      {0.0, 10.0, false, 0.0},   // no turn rate
  };
  for (const Case& c : cases) {
    LiveAc a(StreamPoint{}, AcIdentity{}, 0.0);
    a.maxTurnPerStep = c.rateDeg * kDeg;
    gf_turnTowardHeading(a, c.targetDeg * kDeg, c.smooth);
    EXPECT_NEAR(a.heading, c.headingDeg * kDeg, 1e-12) << c.rateDeg << " toward " << c.targetDeg;
  }
  // The smooth final turn starts slowly and never overshoots.
  LiveAc a(StreamPoint{}, AcIdentity{}, 0.0);
  a.maxTurnPerStep = 3.0 * kDeg;
  double previous = 0.0;
  for (int i = 0; i < 2000; ++i) {
    gf_turnTowardHeading(a, 5.0 * kDeg, true);
    EXPECT_LE(a.heading, 5.0 * kDeg + 1e-12);
    EXPECT_LE(a.heading - previous, 0.02 * kDeg + 1e-12);
    previous = a.heading;
  }
  EXPECT_NEAR(a.heading, 5.0 * kDeg, 1e-9);
}

}  // namespace
