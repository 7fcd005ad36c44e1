// A new point of a known aircraft: removal of overlong streams and strayed waiters, standing
// runs, airborne re-timing, and the take-offs it recognises.
#include "traffic/decode_existing.h"

#include "tests/traffic/traffic_fixture.h"
#include "traffic/runway_validation.h"

namespace {
using namespace traffic_test;

StreamPoint pointAt(const Lalo& position, std::int32_t time, bool airborne = false, double gs = 0.0) {
  StreamPoint p;
  p.lalo = position, p.time = time, p.airborne = airborne, p.groundSpeed = gs;
  p.altitude = airborne ? 1000.0 : 0.0;
  return p;
}

class DecodeExistingTest : public EngineTest {
 protected:
  void TearDown() override {
    g_engineTime = 0;
    EngineTest::TearDown();
  }
  // An aircraft in the simulator whose stream holds `size` points 10 s apart. The state checks
  // have tests of their own: here every point passes them.
  LiveAc& known(std::uint32_t state, std::size_t size, bool airborne = false, const char* model = "B738") {
    hooks.checkExtendingSituations = [](LiveAc&, StreamPoint&) { return true; };
    install();
    Rec rec(0x4002, "KLM2", model);
    airborne ? rec.air(1000.0, 250.0) : rec.ground(0.0);
    LiveAc& ac = addLive(rec, SimStatus::active, state);
    ac.stream.front().time = 100;
    while (ac.stream.size() < size) {
      StreamPoint next = ac.stream.back();
      next.time += 1000;
      ac.stream.push_back(next);
    }
    return ac;
  }
};

TEST_F(DecodeExistingTest, OverlongStreamsAndStrayedWaitersAreRemoved) {
  struct Case {
    const char* what;
    std::size_t size;
    bool waiting;
    double fromFirstM;
    bool removes;
  };
  const Case cases[] = {{"201 points", 201, false, 0, true},
                        {"200 points", 200, false, 0, false},
                        {"waiting, 300 m from the first point", 1, true, 300, true},
                        {"waiting, 200 m from the first point", 1, true, 200, false}};
  for (const Case& c : cases) {
    reset();
    LiveAc& ac = known(FlightPhase::taxi, c.size);
    ac.predictActive = c.waiting;
    StreamPoint p = pointAt(offset(kEham, c.fromFirstM), 999'999);
    decodeExisting(ac, p);
    EXPECT_EQ(removed.size(), c.removes ? 1u : 0u) << c.what;
    EXPECT_EQ(ac.stream.size(), c.removes ? c.size : c.size + 1) << c.what;
  }
}

TEST_F(DecodeExistingTest, StandingPointsGoWhenTheAircraftMovesOnAtTaxiSpeed) {
  // 20 kt since the last moving point: the four standing points go within 22 s, unless the feed
  // reported the stop there (a departure waiting at its line-up).
  struct Case {
    std::int32_t afterTicks;
    std::size_t size;
    bool reportedStop;
  };
  for (const Case& c : {Case{1000, 3u, false}, Case{2500, 7u, false}, Case{1000, 7u, true}}) {
    reset();
    LiveAc& ac = known(FlightPhase::taxi, 6);
    for (std::size_t i = 2; i < 6; ++i) ac.stream[i].repeated = true;
    ac.stream[1].groundSpeed = c.reportedStop ? 0.0 : 20.0;
    const StreamPoint& moving = ac.stream[1];
    const double metres = 20.0 * 1852.0 / 3600.0 * c.afterTicks / 100.0;
    StreamPoint p = pointAt(offset(moving.lalo, metres), moving.time + c.afterTicks, false, 20.0);
    decodeExisting(ac, p);
    EXPECT_EQ(ac.stream.size(), c.size) << c.afterTicks << (c.reportedStop ? ", a reported stop" : "");
  }
}

TEST_F(DecodeExistingTest, ATooFastAirborneLegIsRetimed) {
  // At 2 x 250 kt: 10 km take 38.88 s; 5 m never less than 25 ticks.
  for (const auto& [metres, gapTicks] : {std::pair{10000.0, 3888}, std::pair{5.0, 25}}) {
    reset();
    LiveAc& ac = known(FlightPhase::flying, 1, true);
    const StreamPoint last = ac.stream.back();
    StreamPoint p = pointAt(offset(last.lalo, metres), last.time, true, 250.0);
    decodeExisting(ac, p);
    EXPECT_EQ(ac.stream.back().time - last.time, gapTicks) << metres;
  }
}

TEST_F(DecodeExistingTest, TakeOffsFromTheLandingRollAndFromTheRunway) {
  Runway r;  // 09-27 through EHAM, 3000 m
  r.centre = kEham, r.heading = 90.0, r.length = 3000.0, r.width = 45.0, r.primaryNumber = 9, r.secondaryNumber = 27;
  r.primaryEnd = gf_destinationPoint(kEham, {1.5 * geo::kPi, 1500.0 * 3.2808399});
  r.secondaryEnd = gf_destinationPoint(kEham, {0.5 * geo::kPi, 1500.0 * 3.2808399});
  struct Case {
    const char* what;
    const char* model;
    std::uint32_t state, prevState;
    bool arrival, airborne;  // the last point and the new one
    double lastGs, gs;
    bool takesOff;
  };
  const Case cases[] = {
      {"airborne again on the landing roll", "B738", FlightPhase::landing_roll, 5, true, true, 150, 150, true},
      {"landed here, climbing 60 ft at 500 ft/min", "B738", FlightPhase::taxi, 7, true, true, 150, 150, true},
      {"departing at 70 kt (B738: 140 / 2)", "B738", FlightPhase::taxi, 9, false, false, 70, 70, true},
      {"departing at 69 then 70 kt", "B738", FlightPhase::taxi, 9, false, false, 69, 70, false},
      {"departing at 43 kt (C172: 65 / 2 < 43)", "C172", FlightPhase::taxi, 9, false, false, 43, 43, true},
      {"departing at 42 then 43 kt", "C172", FlightPhase::taxi, 9, false, false, 42, 43, false}};
  for (const Case& c : cases) {
    reset();
    g_parkRunways = {r};
    LiveAc& ac = known(c.state, 1, false, c.model);
    ac.prevState = c.prevState, ac.arrivalConfirmed = c.arrival, ac.heading = 0.5 * geo::kPi;
    StreamPoint& last = ac.stream.back();
    last.airborne = c.airborne, last.groundSpeed = c.lastGs, last.altitude = 100.0, last.verticalRate = 500.0;
    StreamPoint p = pointAt(kEham, last.time + 500, c.airborne, c.gs);
    p.altitude = 160.0, p.verticalRate = 500.0;
    decodeExisting(ac, p);
    EXPECT_EQ(ac.state, c.takesOff ? FlightPhase::takeoff_roll : c.state) << c.what;
  }
}

}  // namespace
