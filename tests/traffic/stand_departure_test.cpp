// A parked aircraft leaves its stand: forward release distances, the pushback run, its
// confirmation and the deferred point, removal when too far.
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
    LiveAc& ac =
        addLive(Rec(0x4001, "KLM1", model).ground(0.0).registration("PH-BXA"), SimStatus::active, FlightPhase::parked);
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
    const auto next = [&](double northM, std::int32_t time) {
      StreamPoint p = at(northM, time);
      return checkAtStandSituations(ac, p);
    };
    EXPECT_FALSE(next(-20, 1100) || next(-22, 1150)) << c.what;  // within 3 m: nothing
    EXPECT_FALSE(ac.awayCount || ac.pushbackDueSet || ac.lightsOn) << c.what;
    EXPECT_FALSE(next(-30, 1200)) << c.what;
    EXPECT_EQ(ac.lightsOn, c.prevState == FlightPhase::birth) << c.what;
    EXPECT_FALSE(next(-20 - c.runM, 1300)) << c.what;
    EXPECT_EQ(ac.confirmPending, c.confirms) << c.what;
    if (!c.confirms) continue;
    EXPECT_FALSE(next(-45, 1400) || next(-50, 1500)) << c.what;  // the second refused while one waits
    EXPECT_TRUE(ac.deferredPending && ac.deferredPoint.time == 1400) << c.what;
    EXPECT_EQ(ac.deferredDue, c.due) << c.what;
    EXPECT_EQ(lightValues(), (std::vector<std::uint32_t>{1, 1, 0, 1, 0, 1, 0})) << c.what;
  }
}

}  // namespace
