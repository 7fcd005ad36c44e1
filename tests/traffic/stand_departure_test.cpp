// A parked aircraft leaves its stand: forward release distances, the pushback run, its
// confirmation and the deferred point, removal when too far, the start of the departure.
#include "traffic/stand_departure.h"

#include "refdata/registration.h"
#include "simlink/stand_slots.h"
#include "tests/traffic/traffic_fixture.h"

namespace {
using namespace traffic_test;

// A stand at EHAM facing north; "ahead" is north of it.
class StandDepartureTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    g_dbaseRecords = {DbaseRecord{"PH-BXA", DbaseEntry{1, 0, 1, 0, 1}}};
    g_currentWeekTime = gf_packWeekTime({3, 20});
    Stand stand;
    stand.name = "A1", stand.id = 1, stand.position = kEham;
    g_stands = {stand};
    g_engineTime = 1000;
  }
  void TearDown() override {
    gf_resetStandTables();
    g_dbaseRecords.clear();
    g_currentWeekTime = 0;
    g_engineTime = 0;
    EngineTest::TearDown();
  }
  static LiveAc& parked(const char* model, std::uint32_t prevState = FlightPhase::birth) {
    LiveAc& ac = addLive(Rec(0x4001, "KLM1", model).ground(0.0).registration("PH-BXA"), SimStatus::active,
                         FlightPhase::parked);
    ac.prevState = prevState, ac.standPos = kEham, ac.standId = 1;
    return ac;
  }
  static StreamPoint at(double northM, std::int32_t time) {
    StreamPoint p;
    p.lalo = offset(kEham, northM);
    p.time = time;
    return p;
  }
  static std::vector<std::uint32_t> lightValues() {
    std::lock_guard lock(g_simQueueMutex);
    std::vector<std::uint32_t> values;
    for (const SimClientEvent& e : g_simClientEvents) values.push_back(e.value);
    return values;
  }
};

TEST_F(StandDepartureTest, OneFarPointDepartsForwardStaysOrIsRemoved) {
  struct Case {
    const char* what;
    const char* model;
    bool noseIn;
    double northM;
    bool departs, removed;
  };
  const Case cases[] = {{"150 m ahead, heavy (220 m)", "B77W", false, 150, false, false},
                        {"150 m ahead, category 0 (120 m)", "C172", false, 150, true, false},
                        {"140 m ahead, category 0 nose-in (150 m)", "C172", true, 140, false, false},
                        {"280 m ahead", "B738", false, 280, true, false},
                        {"310 m ahead", "B738", false, 310, false, true},
                        {"280 m behind", "B738", false, -280, false, true}};
  for (const Case& c : cases) {
    reset();
    g_stands[0].options.clear();
    LiveAc& ac = parked(c.model);
    ac.standNoseIn = c.noseIn;
    StreamPoint p = at(c.northM, 2000);
    EXPECT_EQ(checkAtStandSituations(ac, p), c.departs) << c.what;
    EXPECT_EQ(ac.departureStarted, c.departs) << c.what;
    if (c.departs) {
      EXPECT_EQ(ac.departureKind, 1) << c.what;
    }
    EXPECT_EQ(removed.size(), c.removed ? 1u : 0u) << c.what;
    // Leaving and being removed both record the stand's use.
    EXPECT_EQ(g_stands[0].options.size(), c.departs || c.removed ? 1u : 0u) << c.what;
  }
}

TEST_F(StandDepartureTest, ABackwardRunOfHalfTheSpanIsConfirmedAndDeferred) {
  struct Case {
    const char* what;
    std::uint32_t prevState;
    double runM;  // B738: half the span is 17.9 m
    bool confirms;
    std::int32_t due;
  };
  const Case cases[] = {{"new aircraft: lights at the first move", FlightPhase::birth, 18.5, true, 1200},
                        {"landed here: lights at the confirmation", FlightPhase::landing_roll, 18.5, true, 3000},
                        {"a run short of half the span", FlightPhase::birth, 17.0, false, 0}};
  for (const Case& c : cases) {
    reset();
    g_engineTime = 1000;
    LiveAc& ac = parked("B738", c.prevState);
    StreamPoint p1 = at(-20, 1100), p2 = at(-22, 1150), p3 = at(-30, 1200), p4 = at(-20 - c.runM, 1300);
    EXPECT_FALSE(checkAtStandSituations(ac, p1)) << c.what;
    EXPECT_FALSE(checkAtStandSituations(ac, p2)) << c.what;  // within 3 m: nothing
    EXPECT_EQ(ac.awayCount, 0) << c.what;
    EXPECT_FALSE(ac.pushbackDueSet || ac.lightsOn) << c.what;
    EXPECT_FALSE(checkAtStandSituations(ac, p3)) << c.what;
    EXPECT_EQ(ac.lightsOn, c.prevState == FlightPhase::birth) << c.what;
    EXPECT_FALSE(checkAtStandSituations(ac, p4)) << c.what;
    EXPECT_EQ(ac.confirmPending, c.confirms) << c.what;
    if (!c.confirms) continue;
    StreamPoint p5 = at(-45, 1400), p6 = at(-50, 1500);
    EXPECT_FALSE(checkAtStandSituations(ac, p5)) << c.what;
    EXPECT_TRUE(ac.deferredPending) << c.what;
    EXPECT_EQ(ac.deferredDue, c.due) << c.what;
    EXPECT_FALSE(checkAtStandSituations(ac, p6)) << c.what;  // refused while one waits
    EXPECT_EQ(ac.deferredPoint.time, 1400) << c.what;
    EXPECT_EQ(lightValues(), (std::vector<std::uint32_t>{1, 1, 0, 1, 0, 1, 0})) << c.what;
    EXPECT_FALSE(ac.departureStarted) << c.what;
  }
}

TEST_F(StandDepartureTest, ADepartureOnPredictedPointsAfterLandingMeasuresAShortStay) {
  LiveAc& ac = parked("B77W", FlightPhase::taxi);
  ac.prevPrevState = FlightPhase::landing_roll;
  ac.extensionCount = 2, ac.hasReservation = true, ac.arrivalConfirmed = true;
  ac.stream.front().time = 1000 + 60'480'000 - 59 * 6000;  // stood 59 minutes
  StreamPoint p = at(-40, 1500);
  p.repeated = true;
  lf_startStandDeparture(ac, p, 0);
  EXPECT_TRUE(ac.shortStay);
  EXPECT_EQ(ac.prevPrevState, FlightPhase::birth);
  EXPECT_EQ(ac.stream.front().time, 1001);
  EXPECT_EQ(ac.extensionCount, 0);
  EXPECT_FALSE(p.repeated || ac.hasReservation || ac.arrivalConfirmed);
  EXPECT_TRUE(ac.departureStarted);
  EXPECT_EQ(ac.departureKind, 0);
}

}  // namespace
