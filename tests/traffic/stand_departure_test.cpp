// A parked aircraft leaves its stand: forward release distances, the pushback run, its
// confirmation and the deferred point, removal when too far.
#include "traffic/stand_departure.h"

#include "refdata/registration.h"
#include "traffic/decode_message.h"
#include "traffic/live_update.h"
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

// The feed as it reports a departure: standing, pushed back tail first at 3 kt for 70 m, a pause
// while the tug leaves, then taxiing forward. Fed through the intake at the feed's rhythm and
// flown by the update pass the program runs, the aircraft leaves its stand within the push's
// time and the program's delay plus the lights' lead. A push the program sees less than half a
// span of, from the first report it takes, does not move it.
TEST_F(StandDepartureTest, AFedPushbackMovesTheAircraftOffItsStand) {
  struct Case {
    const char* what;
    const char* model;
    double everyS;  // the feed's rhythm
    double feedEndS;
    double pushM = 70.0;
    double firstS = 0.0;  // the first report the aircraft takes on its stand
    bool placedByProgram = false;  // first reported at firstS and placed when that report falls due
  };
  const Case cases[] = {{"B738, a report every 5 s", "B738", 5.0, 1e9},
                        {"B77W (32 m half span), every 7 s", "B77W", 7.0, 1e9},
                        {"B77W, every 3 s", "B77W", 3.0, 1e9},
                        {"B77W, the feed ends 23 m into the push: less than half the span", "B77W", 5.0, 56.0},
                        // Measured from the first report taken: only the taxi beyond 100 m moves it.
                        {"B77W, first taken 25 m into a 45 m push", "B77W", 5.0, 1e9, 45.0, 56.0},
                        // Placed 10 s into the push: the reports it was placed from show where it began.
                        {"B77W first reported 20 s before a 45 m push", "B77W", 5.0, 1e9, 45.0, 20.0, true},
                        {"B738 first reported 10 s before a 45 m push", "B738", 2.0, 1e9, 45.0, 30.0, true}};
  constexpr double kPushKt = 3.0;
  constexpr double kPushStartS = 40.0;
  constexpr std::int32_t kDelayTicks = 3000;
  for (const Case& c : cases) {
    reset();
    g_stands[0].radius = 30.0 / 1852.0;
    g_engineTime = 1000;
    g_liveryChoices[0x4001] = std::string_view("KLM Boeing");
    g_stands[0].type = 12;  // any aircraft as wide as the stand
    parkAtElevation(0);
    if (!c.placedByProgram) {
      LiveAc& ac = parked(c.model);
      ac.stream.front().time = g_engineTime.load();
      ac.stream.front().repeated = true;
    }
    const double pushS = c.pushM / (kPushKt * 1852.0 / 3600.0);
    // Where the feed has the aircraft s seconds after the first report, and at what speed.
    const auto feed = [&](double s) -> std::pair<Lalo, double> {
      if (s < kPushStartS) return {kEham, 0.0};
      if (s < kPushStartS + pushS) return {offset(kEham, -(s - kPushStartS) * kPushKt * 1852.0 / 3600.0), kPushKt};
      if (s < kPushStartS + pushS + 12.0) return {offset(kEham, -c.pushM), 0.0};
      return {offset(kEham, -c.pushM, (s - kPushStartS - pushS - 12.0) * 5.0), 10.0};
    };
    double nextReport = c.firstS;
    double leftAt = -1.0;
    // The update pass runs every tick (10 ms of engine time).
    for (std::int32_t tick = 0; tick < 15000 && leftAt < 0.0; ++tick) {
      const double s = tick / 100.0;
      g_engineTime = 1000 + tick;
      if (s >= nextReport && s < c.feedEndS) {
        nextReport += c.everyS;
        const auto [where, gs] = feed(s);
        const bool pushing = gs > 0.0 && where.lat < kEham.lat && std::abs(where.lon - kEham.lon) < 1e-9;
        TrafficRecord record = Rec(0x4001, "KLM1", c.model)
                                   .registration("PH-BXA")
                                   .at(where)
                                   .ground(gs, pushing ? 180.0 : 90.0)
                                   .time(1000.0 + s)
                                   .due(g_engineTime.load() + kDelayTicks);
        decodeMessage(record);
      }
      if (g_liveAcs.empty()) continue;
      LiveAc& ac = g_liveAcs.front();
      gf_engineHooks().updateLiveAc(ac);
      if (ac.simState == SimStatus::adding2sim) {  // the simulator creates it at once
        ASSERT_EQ(ac.state, FlightPhase::parked) << c.what;
        ac.simState = SimStatus::active, ac.objectId = 100;
      }
      if (ac.simState == SimStatus::active && gf_distanceNm(ac.position, kEham) * 1852.0 > 5.0) leftAt = s;
    }
    if (c.feedEndS < kPushStartS + pushS) {
      EXPECT_LT(leftAt, 0.0) << c.what;
      EXPECT_EQ(g_liveAcs.front().state, FlightPhase::parked) << c.what;
      continue;
    }
    ASSERT_GE(leftAt, 0.0) << c.what << ": never left, state " << g_liveAcs.front().state;
    ASSERT_FALSE(g_liveAcs.empty()) << c.what;
    if (c.firstS > kPushStartS) {
      // Only by the taxi: more than 20 s after the push was due.
      EXPECT_GT(leftAt, kPushStartS + kDelayTicks / 100.0 + 20.0) << c.what;
      continue;
    }
    // Not before the push reached the program; late at most by the lights' lead and a report.
    EXPECT_GE(leftAt, kPushStartS + kDelayTicks / 100.0 - c.everyS) << c.what;
    EXPECT_LE(leftAt, kPushStartS + kDelayTicks / 100.0 + 20.0 + 2.0 * c.everyS) << c.what;
    EXPECT_EQ(g_liveAcs.front().departureKind, 0) << c.what;
  }
}

}  // namespace
