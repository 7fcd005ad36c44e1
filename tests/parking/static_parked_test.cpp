// Static parked aircraft: a hit turned into an aircraft on its stand (callsign, running number,
// parked week time, create request), what keeps a stand from it, the user running into parked
// aircraft, and the near-runway test.
#include <functional>

#include "feed/feed_neighbours.h"
#include "liveries/livery_database.h"
#include "parking/static_parked.h"
#include "simlink/stand_slots.h"
#include "simlink/stand_table.h"
#include "tests/liveries/livery_fixture.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/runway_validation.h"

namespace {

bool lf_contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

class StaticParkedTest : public livery_testing::LiveryTest {
 protected:
  void SetUp() override {
    LiveryTest::SetUp();
    writeScanFile(R"(<l a="SWR" m="A320" t="SWR A320"/>)");
    gf_processScannedLiveries();
    gf_resetEngineTables();
    g_liveAcs.reserve(8);
    // Stand 2 and 3 exclude each other; stand 1 stands apart.
    for (std::uint32_t i = 1; i <= 3; ++i) {
      Stand& stand = g_stands.emplace_back(fmt::format("GATE {}", i), std::vector<StandOption>{},
                                           Lalo{47.0, 8.0 + 0.001 * i}, 1.0, 20.0, 9, false, false, false);
      stand.id = i;
    }
    g_stands[1].excludes = {3};
    g_stands[2].excludes = {2};
    g_currentWeekTime = gf_packWeekTime(WeekTime{1, 3});
    g_staticRunningNumber = 0;
  }
  void TearDown() override {
    gf_setEngineHooks(gf_defaultEngineHooks());
    gf_resetEngineTables();
    gf_resetStandTables();
    g_standSearchHits.clear();
    g_currentWeekTime = 0;
    g_workerUserAcPosition = UserAcPosition{};
    LiveryTest::TearDown();
  }
  static StandSearchHit hit(std::uint32_t stand, const char* name1, const char* name2 = "", bool useName1 = true,
                            std::uint32_t offset = 0) {
    return StandSearchHit{0, 1, stand, offset, {gf_internAirlineName("SWR"), 0, gf_internModelName("A320"), 0, 0},
                          name1, name2, "HB-IJA", useName1};
  }
  static bool place(const StandSearchHit& h) {
    const std::size_t before = g_staticAcs.size();
    g_standSearchHits.push_back(h);
    gf_placeStaticAircraft();
    return g_standSearchHits.empty() && g_staticAcs.size() == before + 1;
  }
  static LiveAc& live(std::int32_t standId, std::uint32_t state) {
    LiveAc& aircraft = g_liveAcs.emplace_back(StreamPoint{}, AcIdentity{}, 0.0);
    aircraft.callsign = "LIVE1";
    aircraft.standId = standId;
    aircraft.state = state;
    return aircraft;
  }
};

TEST_F(StaticParkedTest, AHitBecomesAStaticAircraftQueuedForCreation) {
  struct Case {
    StandSearchHit hit;
    std::int32_t runningBefore;
    const char* callsign;
    WeekTime parked;
  };
  const Case cases[] = {
      {hit(1, "", ""), 41, "SWR42", {1, 3}},
      {hit(1, "SWR12__", "SWR34", true, 5), 0, "SWR12", {7, 46}},
      {hit(1, "", "SWR34"), 9999, "SWR0", {1, 3}},
      {hit(1, "SWR12", "SWR34_", false, 3), 0, "SWR34", {1, 0}},
  };
  for (const Case& c : cases) {
    gf_resetEngineTables();
    g_staticRunningNumber = c.runningBefore;
    ASSERT_TRUE(place(c.hit)) << c.callsign;
    const StaticAc& aircraft = g_staticAcs.back();
    const auto expectedHexid = static_cast<std::uint32_t>((c.runningBefore + 1) % 10000);
    EXPECT_EQ(aircraft.callsign, c.callsign);
    EXPECT_EQ(aircraft.hexid, expectedHexid) << c.callsign;
    EXPECT_EQ(aircraft.parkedWeekTime, c.parked) << c.callsign;
    EXPECT_TRUE(aircraft.simState == SimStatus::adding2sim && aircraft.hitFlag == 1 && aircraft.atGate);
    ASSERT_EQ(g_staticCreateQueue.size(), 1u);
    const AiCreateRequest& request = g_staticCreateQueue.front();
    EXPECT_TRUE(request.hexid == expectedHexid && request.containerTitle == "SWR A320");
    EXPECT_EQ(request.tailNumber, "HB-IJA");
    EXPECT_TRUE(request.position.latitude == 47.0 && request.position.onGround == 1);
    EXPECT_NEAR(request.position.heading, 57.29577951308232, 1e-9);
  }
}

TEST_F(StaticParkedTest, WhatKeepsAStandFromAStaticAircraft) {
  const auto parkedStatic = [](std::uint32_t simState) {
    StaticAc& other = g_staticAcs.emplace_back();
    other.standId = 2;
    other.callsign = "SWR7";
    other.simState = simState;
  };
  const std::tuple<std::function<void()>, std::uint32_t, const char*> cases[] = {  // nullptr: placed
      {[] { live(2, FlightPhase::taxi); }, 2, nullptr},
      {[] { live(2, FlightPhase::parked); }, 2,
       "GATE 2        : no static parking for SWR12, live aircraft LIVE1 standing here"},
      {[] { live(3, FlightPhase::pushing_back); }, 2,
       "GATE 2        : no static parking for SWR12, live aircraft LIVE1 is adjacent at GATE 3, possibly colliding"},
      {[&] { parkedStatic(SimStatus::removingfromsim); }, 2, nullptr},
      {[&] { parkedStatic(SimStatus::active); }, 2,
       "GATE 2        : no static parking for SWR12, static aircraft SWR7 standing here"},
      {[] {}, 9, "==> stand with id 9 not found"},
  };
  for (const auto& [setUp, stand, logged] : cases) {
    gf_resetEngineTables();
    setUp();
    const std::size_t before = log().size();
    EXPECT_EQ(place(hit(stand, "SWR12")), logged == nullptr) << (logged ? logged : "placed");
    if (logged) {
      EXPECT_TRUE(lf_contains(log().substr(before), logged)) << logged;
    }
  }
}

// The simulator's answers find a static aircraft by its hexid: a running number still in use is
// never given again.
TEST_F(StaticParkedTest, TheRunningNumberSkipsHexidsInUse) {
  for (const std::uint32_t used : {9999u, 0u, 2u}) g_staticAcs.emplace_back().hexid = used;
  g_staticRunningNumber = 9998;
  EXPECT_EQ(gf_nextStaticRunningNumber(), 1);
  g_staticRunningNumber = 1;
  EXPECT_EQ(gf_nextStaticRunningNumber(), 3);
}

TEST_F(StaticParkedTest, TheUserRunsIntoOneParkedAircraftAtATimeLiveFirst) {
  g_workerUserAcPosition.latitude = 47.0;
  g_workerUserAcPosition.longitude = 8.0;
  EngineHooks hooks = gf_defaultEngineHooks();
  hooks.userGroundCollisionTermNm = [] { return 0.01; };
  gf_setEngineHooks(hooks);
  StaticAc& parked = g_staticAcs.emplace_back();
  parked.objectId = 101;
  parked.simState = SimStatus::active;
  parked.groundRadius = 0.01;
  parked.position = Lalo{47.0003, 8.0};  // 33 m: within 0.01 + 0.01 NM
  LiveAc& near = live(0, FlightPhase::taxi);
  near.objectId = 102;
  near.simState = SimStatus::active;
  near.onGround = true;
  near.groundRadius = 0.01;
  near.position = parked.position;
  gf_checkUserAcGndCollisions();
  EXPECT_TRUE(near.simState == SimStatus::removingfromsim && parked.simState == SimStatus::active);
  gf_checkUserAcGndCollisions();
  EXPECT_EQ(parked.simState, SimStatus::removingfromsim);
}

// The user parked, heading north: the air test's corridor behind a low and level user reaches
// 1.8 NM back; an aircraft standing there on the ground is no conflict, one flying there is.
TEST_F(StaticParkedTest, AnAircraftOnTheGroundBehindTheUserIsNotTakenForOneInTheAir) {
  g_workerUserAcPosition.latitude = 47.0;
  g_workerUserAcPosition.longitude = 8.0;
  struct Case {
    const char* what;
    bool onGround;
    bool removed;
  } cases[] = {{"standing at its gate", true, false}, {"flying at the user's level", false, true}};
  for (const Case& c : cases) {
    g_liveAcs.clear();
    LiveAc& behind = live(0, c.onGround ? FlightPhase::parked : FlightPhase::flying);
    behind.objectId = 102;
    behind.simState = SimStatus::active;
    behind.onGround = c.onGround;
    behind.position = Lalo{47.0 - 1.0 / 60.0, 8.0};  // 1 NM south
    behind.altitude = 0.0;
    gf_checkLiveAcUserCollisions();
    EXPECT_EQ(behind.simState == SimStatus::removingfromsim, c.removed) << c.what;
  }
}

TEST_F(StaticParkedTest, NearARunwayIsWithinHalfItsLengthAnd1500MetresOfItsCentre) {
  Runway runway;
  runway.centre = Lalo{47.0, 8.0};
  runway.length = 3000.0;
  g_parkRunways = {runway};
  const auto north = [](double metres) { return Lalo{47.0 + metres / 1852.0 / 60.0, 8.0}; };
  EXPECT_TRUE(gf_isNearParkRunway(north(3000.0)));
  EXPECT_FALSE(gf_isNearParkRunway(north(3001.0)));
  EXPECT_FALSE(gf_isNearParkRunway(Lalo{0.0, 0.0}));
  g_parkRunways[0].length = std::nan("");
  EXPECT_FALSE(gf_isNearParkRunway(north(10.0)));
}

}  // namespace
