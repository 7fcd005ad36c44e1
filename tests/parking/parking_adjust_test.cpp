// The parking adjustment: live parked aircraft that stay or go, static aircraft kept or removed,
// removals and hits of one aircraft cancelling out; and the park-airport reset.
#include "tests/parking/parked_fixture.h"

namespace parking_test {
namespace {

using ParkingAdjustTest = ParkedTest;

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
  for (std::uint32_t i = 1; i <= 5; ++i) liveParked(fmt::format("L{}", i), i, i * 10);
  gf_adjustParking(false);
  searchToEnd();
  const std::vector<std::string> messages = shown();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Parking adjustments: 2 more live ac than wanted");
  EXPECT_EQ(messages[1], "Parking adjustments: 0 to be removed, 0 to be added\n");
  EXPECT_EQ(removed(g_liveAcs), "L4 L5 ");
  EXPECT_EQ(g_liveStayers.size(), 3u);
}

TEST_F(ParkingAdjustTest, AnIdenticalPlanRemovesAndAddsNothing) {
  staticParked("SWR12", 2);
  staticParked("SWR34", 5);
  gf_adjustParking(false);
  searchToEnd();
  EXPECT_EQ(shown(), std::vector<std::string>{"Parking adjustments: 0 to be removed, 0 to be added\n"});
  EXPECT_TRUE(g_staticAcs[0].keepFlag && g_staticAcs[1].keepFlag && g_standSearchHits.empty());

  gf_adjustParking(true);  // flush: the stand file's aircraft go
  searchToEnd();
  EXPECT_EQ(shown(), std::vector<std::string>{"Parking adjustments: 2 to be removed, 0 to be added\n"});
  EXPECT_EQ(g_staticAcs[0].simState, SimStatus::removingfromsim);
}

TEST_F(ParkingAdjustTest, RealTrafficParkedOnlyRemovesWhatIsNotKept) {
  settings(30, 500, true);
  staticParked("SWR12", 2);
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
