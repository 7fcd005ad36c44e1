// The runway prediction of departures on a hand-made runway 09-27, the heading step, and a stop
// report on the runway held back until a second one confirms it.
#include "traffic/stream_prediction.h"

#include <cmath>
#include <optional>

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

// A departure from the park airport taxiing east along the line of runway 09, its stream two
// moving points, and a stop reported on the runway ahead of it.
class DeferredStop : public StreamPrediction {
 protected:
  void SetUp() override {
    StreamPrediction::SetUp();
    scene();
  }
  // The engine's reset takes the runways and the park airport too.
  void scene() {
    runway();
    gf_setAirportsNeighbours({}, [] {
      Airport park;
      park.code = IcaoCode("EHAM");
      park.iata = IataCode("AMS");
      park.position = kEham;
      return park;
    });
  }
  // Metres past the start of 09 along its centre line, and to the left of it.
  static Lalo onRunway(double fromStartM, double leftM = 0.0) {
    return offset(offset(kEham, -2000.0), leftM, fromStartM - 1500.0);
  }
  static StreamPoint pointAt(const Lalo& at, std::int32_t time, double speedKt, bool stationary) {
    StreamPoint point;
    point.lalo = at;
    point.time = time;
    point.groundSpeed = speedKt;
    point.repeated = stationary;
    return point;
  }
  LiveAc& taxiing() {
    LiveAc& a = departure(onRunway(-60.0), 90.0);
    a.origin = IataCode("AMS");
    a.stream = {pointAt(onRunway(-60.0), 100, 10.0, false), pointAt(onRunway(-30.0), 300, 10.0, false)};
    return a;
  }
  static StreamPoint stop() { return pointAt(onRunway(0.0), 500, 0.0, true); }
  // Where a 30 m leg to the last point starts when it runs degrees right of 090.
  static Lalo legFrom(double degrees) {
    return onRunway(-30.0 - 30.0 * std::cos(degrees * kDeg), 30.0 * std::sin(degrees * kDeg));
  }
};

TEST_F(DeferredStop, AFirstStopOnTheRunwayIsHeldBackOnlyForADepartureLiningUp) {
  struct Case {
    const char* name;
    void (*change)(LiveAc&, StreamPoint&);
    bool held;
  };
  const Case cases[] = {
      {"a stop on the centre line", [](LiveAc&, StreamPoint&) {}, true},
      {"a moving report", [](LiveAc&, StreamPoint& p) { p.repeated = false; }, false},
      {"the last point stood already", [](LiveAc& a, StreamPoint&) { a.stream.back().repeated = true; }, false},
      {"one point in the stream", [](LiveAc& a, StreamPoint&) { a.stream.pop_front(); }, false},
      {"in the take-off roll", [](LiveAc& a, StreamPoint&) { a.state = FlightPhase::takeoff_roll; }, false},
      {"taxiing after a landing roll", [](LiveAc& a, StreamPoint&) { a.prevState = FlightPhase::landing_roll; }, false},
      {"not on the ground", [](LiveAc& a, StreamPoint&) { a.onGround = false; }, false},
      {"not yet in the simulator", [](LiveAc& a, StreamPoint&) { a.simState = SimStatus::buffer; }, false},
      {"from another airport", [](LiveAc& a, StreamPoint&) { a.origin = IataCode("ZRH"); }, false},
      {"origin unknown", [](LiveAc& a, StreamPoint&) { a.origin = IataCode(); }, false},
      {"last speed 1.9 kt", [](LiveAc& a, StreamPoint&) { a.stream.back().groundSpeed = 1.9; }, false},
      {"last speed 2.0 kt", [](LiveAc& a, StreamPoint&) { a.stream.back().groundSpeed = 2.0; }, true},
      {"last speed 35 kt", [](LiveAc& a, StreamPoint&) { a.stream.back().groundSpeed = 35.0; }, true},
      {"last speed 35.1 kt", [](LiveAc& a, StreamPoint&) { a.stream.back().groundSpeed = 35.1; }, false},
      {"last speed unknown", [](LiveAc& a, StreamPoint&) { a.stream.back().groundSpeed = std::nan(""); }, false},
      // The last leg's bearing is the direction of travel, 14 and 16 degrees right of 090.
      {"travel 14 degrees off", [](LiveAc& a, StreamPoint&) { a.stream.front().lalo = legFrom(14.0); }, true},
      {"travel 16 degrees off", [](LiveAc& a, StreamPoint&) { a.stream.front().lalo = legFrom(16.0); }, false},
      // A last leg without length: the aircraft's heading is the direction of travel.
      {"standing leg, heading 104",
       [](LiveAc& a, StreamPoint&) {
         a.stream.front().lalo = a.stream.back().lalo;
         a.heading = 104.0 * kDeg;
       },
       true},
      {"standing leg, heading 106",
       [](LiveAc& a, StreamPoint&) {
         a.stream.front().lalo = a.stream.back().lalo;
         a.heading = 106.0 * kDeg;
       },
       false},
      {"7 m off the centre line", [](LiveAc&, StreamPoint& p) { p.lalo = onRunway(0.0, 7.0); }, true},
      {"8 m off the centre line", [](LiveAc&, StreamPoint& p) { p.lalo = onRunway(0.0, -8.0); }, false},
      {"650 m before the start", [](LiveAc&, StreamPoint& p) { p.lalo = onRunway(-650.0); }, true},
      {"750 m before the start", [](LiveAc&, StreamPoint& p) { p.lalo = onRunway(-750.0); }, false},
      {"far from any runway", [](LiveAc&, StreamPoint& p) { p.lalo = offset(kEham, 5000.0); }, false},
  };
  for (const Case& c : cases) {
    reset();
    scene();
    LiveAc& a = taxiing();
    StreamPoint point = stop();
    c.change(a, point);
    const std::size_t points = a.stream.size();
    EXPECT_EQ(gf_deferRunwayStop(a, point), c.held) << c.name;
    EXPECT_EQ(a.deferredPending, c.held) << c.name;
    EXPECT_EQ(a.stream.size(), points) << c.name << ": the stream is left to the caller";
    if (c.held) {
      EXPECT_EQ(a.deferredPoint.lalo, point.lalo) << c.name;
      EXPECT_EQ(a.deferredPoint.time, point.time) << c.name;
    }
  }
}

TEST_F(DeferredStop, TheNextReportConfirmsTheHeldStopOrLetsItGo) {
  struct Case {
    const char* name;
    double eastM;  // of the next report from the held stop
    bool stationary;
    std::int32_t heldTime;
    std::optional<std::int32_t> appendedTime;  // the held stop in the stream, with this time
    bool nextHeld;
  };
  const Case cases[] = {
      {"a second stop within 1 m", 0.9, true, 500, 500, false},
      {"the same, the held stop not later than the last point", 0.5, true, 300, 301, false},
      {"a second stop 1.5 m on: held instead", 1.5, true, 500, std::nullopt, true},
      {"moving on", 0.5, false, 500, std::nullopt, false},
  };
  for (const Case& c : cases) {
    reset();
    scene();
    LiveAc& a = taxiing();
    StreamPoint first = stop();
    first.time = c.heldTime;
    ASSERT_TRUE(gf_deferRunwayStop(a, first)) << c.name;
    const StreamPoint next = pointAt(onRunway(c.eastM), 700, 0.0, c.stationary);
    EXPECT_EQ(gf_deferRunwayStop(a, next), c.nextHeld) << c.name;
    EXPECT_EQ(a.deferredPending, c.nextHeld) << c.name;
    ASSERT_EQ(a.stream.size(), c.appendedTime ? 3u : 2u) << c.name;
    if (c.appendedTime) {
      EXPECT_EQ(a.stream.back().lalo, first.lalo) << c.name;
      EXPECT_TRUE(a.stream.back().repeated) << c.name;
      EXPECT_EQ(a.stream.back().time, *c.appendedTime) << c.name;
    }
  }
}

}  // namespace
