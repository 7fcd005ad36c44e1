// The parking adjustment: live parked aircraft that stay or go, static aircraft kept, renamed or
// removed, removals and hits of one aircraft cancelling out; and the park-airport reset.
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "parking/park_population.h"
#include "parking/parking_adjust.h"
#include "parking/parking_hooks.h"
#include "parking/stand_search.h"
#include "simlink/stand_table.h"
#include "tests/parking/parking_fixture.h"
#include "traffic/engine_state.h"

namespace parking_test {
namespace {

constexpr std::int64_t kNowSeconds = 1'800'000'000;
constexpr std::int64_t kTicksPerMinute = 600'000'000;
constexpr WeekTime kNow{2, 20};

class ParkingAdjustTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    gf_setSystemClockForTest([] { return kNowSeconds; });
    gf_publishSimChoice(SimChoice{2, 1});  // RT App: no parked traffic has come
    g_currentWeekTime = gf_packWeekTime(kNow);
    gf_changeParameterSnapshot([](ParameterSnapshot& s) {
      s.parkingPercentage = 30;
      s.random = false;
    });
    g_liveAcs.reserve(16);
    for (std::uint32_t i = 1; i <= 10; ++i) {
      Stand& stand = g_stands.emplace_back(fmt::format("A{}", i), std::vector<StandOption>{},
                                           Lalo{47.0, 8.0 + 0.0015 * i}, 0.0, 20.0, 14, false, false, false);
      stand.id = i;
    }
  }
  void TearDown() override {
    gf_setSystemClockForTest({});
    gf_publishSimChoice(SimChoice{});
    gf_resetStandSearch();
    gf_resetStandTables();
    gf_resetEngineTables();
    gf_resetParameterSnapshot();
    g_parkingRemovals.clear();
    g_currentWeekTime = 0;
    gf_parkingHooks().staticTargetCount() = 0;
    ParkingTest::TearDown();
  }
  static LiveAc& liveParked(const char* callsign, std::uint32_t stand, std::int64_t minutesAgo, bool seen = false,
                            AcCategory category = AcCategory::large) {
    LiveAc& aircraft = g_liveAcs.emplace_back(StreamPoint{}, AcIdentity{}, 0.0);
    aircraft.callsign = callsign;
    aircraft.hexid = aircraft.objectId = 100 + stand;
    aircraft.standId = static_cast<std::int32_t>(stand);
    aircraft.state = FlightPhase::parked;
    aircraft.simState = SimStatus::active;
    aircraft.category = category;
    aircraft.atStandSeen = seen;
    aircraft.lastAtStandClock = kNowSeconds * 10'000'000 - minutesAgo * kTicksPerMinute;
    return aircraft;
  }
  // A static aircraft placed from the stand file, in the simulator, on the stand with its option.
  static StaticAc& staticParked(const char* name1, const char* name2, std::uint32_t stand) {
    StaticAc& aircraft = g_staticAcs.emplace_back();
    aircraft.callsign = aircraft.name1 = name1;
    aircraft.name2 = name2;
    aircraft.registration = fmt::format("HB-{}", name1);
    aircraft.hexid = stand;
    aircraft.objectId = 200 + stand;
    aircraft.standId = static_cast<std::int32_t>(stand);
    aircraft.simState = SimStatus::active;
    StandOption option;
    option.reg = aircraft.registration;
    option.name1 = name1;
    option.name2 = name2;
    option.id = 1;
    option.day = kNow.day;
    option.real = 1;
    option.hours = std::uint64_t{3} << kNow.slot;  // now and the next half-hour
    g_stands[stand - 1].options = {option};
    return aircraft;
  }
};

TEST_F(ParkingAdjustTest, LiveParkedAircraftStayWhileReported) {
  // category, minutes since the last report at the stand, at-stand flag, stays (with minutes)
  const std::tuple<AcCategory, std::int64_t, bool, std::int32_t> cases[] = {
      {AcCategory::large, 89, false, 89},  {AcCategory::large, 91, false, -1}, {AcCategory::heavy, 179, false, 179},
      {AcCategory::heavy, 181, false, -1}, {AcCategory::large, 2, true, 0},    {AcCategory::large, 100, true, -1}};
  for (const auto& [category, minutes, seen, stays] : cases) {
    g_liveAcs.clear();
    LiveAc& aircraft = liveParked("SWR1", 1, minutes, seen, category);
    lf_collectLiveStayers();
    EXPECT_EQ(g_liveStayers.empty() ? -1 : g_liveStayers[0].minutesParked, stays) << minutes << (seen ? " seen" : "");
    EXPECT_EQ(aircraft.simState == SimStatus::removingfromsim, stays < 0);
  }
}

TEST_F(ParkingAdjustTest, MoreLiveStayersThanWantedGoLongestParkedFirst) {
  for (std::uint32_t i = 1; i <= 5; ++i) liveParked(fmt::format("L{}", i).c_str(), i, i * 10);
  gf_adjustParking(false);
  const std::vector<std::string> messages = shown();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Parking adjustments: 2 more live ac than wanted");
  EXPECT_EQ(messages[1], "Parking adjustments: 0 to be removed, 0 to be added\n");
  std::string removed;
  for (const LiveAc& a : g_liveAcs)
    if (a.simState == SimStatus::removingfromsim) removed += a.callsign + " ";
  EXPECT_EQ(removed, "L4 L5 ");
  EXPECT_EQ(g_liveStayers.size(), 3u);
}

TEST_F(ParkingAdjustTest, AnIdenticalPlanRemovesAndAddsNothing) {
  staticParked("SWR12", "", 2);
  staticParked("SWR34", "", 5);
  gf_adjustParking(false);
  EXPECT_EQ(shown(), std::vector<std::string>{"Parking adjustments: 0 to be removed, 0 to be added\n"});
  EXPECT_TRUE(g_staticAcs[0].keepFlag && g_staticAcs[1].keepFlag && g_standSearchHits.empty());

  gf_adjustParking(true);  // flush: the stand file's aircraft go
  EXPECT_EQ(shown(), std::vector<std::string>{"Parking adjustments: 2 to be removed, 0 to be added\n"});
  EXPECT_EQ(g_staticAcs[0].simState, SimStatus::removingfromsim);
}

TEST_F(ParkingAdjustTest, RealTrafficParkedOnlyRemovesWhatIsNotKept) {
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.rtParkTrafficOnly = true; });
  staticParked("SWR12", "", 2);
  gf_adjustParking(false);
  EXPECT_EQ(shown(), std::vector<std::string>{"RT Parking changes: 1 to be removed, 0 to be added"});
  const std::string log = newLog();
  EXPECT_TRUE(contains(log, "A2            : SWR12    static parked removed, no longer within your specs"));
  EXPECT_FALSE(contains(log, "Results for"));
}

TEST_F(ParkingAdjustTest, ARemovalAndAHitOfOneAircraftOnOneStandCancelOut) {
  StaticAc a;
  for (const auto& [callsign, stand] :
       {std::pair{"A", 1u}, std::pair{"B", 2u}, std::pair{"A", 7u}, std::pair{"C", 3u}}) {
    a.callsign = callsign;
    gf_addParkingRemoval(a, stand);
  }
  for (const auto& [stand, name1] : {std::pair{1u, "A"}, std::pair{4u, "Y"}, std::pair{3u, "Z"}})
    g_standSearchHits.push_back(StandSearchHit{0, 1, stand, 0, {}, name1, "", "", true});
  lf_reconcileRemovalsWithHits();
  std::string removals, hits;
  for (const NamedMark& mark : g_parkingRemovals) removals += fmt::format("{}:{} ", mark.standId, mark.callsign);
  for (const StandSearchHit& hit : g_standSearchHits) hits += fmt::format("{}:{} ", hit.standId, hit.name1);
  EXPECT_EQ(removals, "3:C 2:B ") << "one entry per callsign; stand 3 is emptied and filled again";
  EXPECT_EQ(hits, "3:Z 4:Y ");
}

TEST_F(ParkingAdjustTest, AKeptAircraftTakesItsSecondCallsignWhenItsOptionEnds) {
  // the option's slots after now, the next weekday's option holding slot 0, callsign after
  const std::tuple<WeekTime, std::uint64_t, bool, const char*> cases[] = {
      {{2, 20}, std::uint64_t{1} << 21, false, "SWR12"}, {{2, 20}, 0, false, "SWR34"},
      {{2, 47}, 0, true, "SWR12"},                       {{2, 47}, 0, false, "SWR34"}};
  for (const auto& [now, more, nextDay, callsign] : cases) {
    g_staticAcs.clear();
    StaticAc& aircraft = staticParked("SWR12", "SWR34", 1);
    aircraft.keepFlag = true;
    StandOption& option = g_stands[0].options[0];
    option.hours = (std::uint64_t{1} << now.slot) | more;
    if (nextDay) {
      StandOption tomorrow = option;
      tomorrow.id = 2;
      tomorrow.day = 3;
      tomorrow.hours = 1;
      g_stands[0].options.push_back(tomorrow);
    }
    lf_reconcileStaticCallsigns(now);
    EXPECT_EQ(aircraft.callsign, callsign) << now.slot << " " << more << nextDay;
  }
}

TEST_F(ParkingAdjustTest, TheResetForgetsTheAirportAndItsStayers) {
  {
    std::unique_lock lock(g_parkAirportLock);
    g_parkAirport = Airport{IcaoCode("LSZH"), g_defaultIataCode, {47.0, 8.0}, 1400};
  }
  liveParked("SWR1", 3, 5);
  lf_collectLiveStayers();
  g_standSearchHits.resize(2);
  gf_resetParkAirport();
  EXPECT_TRUE(g_liveStayers.empty() && g_standSearchHits.empty() && g_stands.empty());
  EXPECT_TRUE(g_parkAirport.code.empty());
  EXPECT_TRUE(g_standPositions.load()->empty());
  EXPECT_FALSE(contains(newLog(), "gf_saveLearned")) << "nothing to save without an applied file";
}

}  // namespace
}  // namespace parking_test
