// The live table's bookkeeping: stand use, erasure, the side lists, ghosts and bulk removals.
#include "traffic/live_registry.h"

#include <optional>
#include <random>
#include <vector>

#include "appbase/gui.h"
#include "core/utc_time.h"
#include "tests/traffic/traffic_fixture.h"

namespace {
using namespace traffic_test;

class LiveRegistryTest : public EngineTest {
 protected:
  static StaticAc& addStatic(std::uint32_t hexid, const char* model, std::uint32_t simState) {
    StaticAc& s = g_staticAcs.emplace_back();
    static_cast<AcIdentity&>(s) = actest::aircraftOf(model, "STA1");
    s.hexid = hexid, s.simState = simState, s.objectId = simState == SimStatus::active ? 500 + hexid : 0;
    return s;
  }
};

TEST_F(LiveRegistryTest, StandUseByOtherLiveAircraft) {
  addLive(Rec(0x100), SimStatus::active, FlightPhase::parking).standId = 3;
  addLive(Rec(0x200), SimStatus::active, FlightPhase::parked).standId = 4;
  addLive(Rec(0x300), SimStatus::buffer, FlightPhase::parking).standId = 4;
  EXPECT_EQ(gf_standUseByOtherLiveAc(0, 0x999), 0);
  EXPECT_EQ(gf_standUseByOtherLiveAc(3, 0x999), 1);
  EXPECT_EQ(gf_standUseByOtherLiveAc(3, 0x100), 0);  // its own reservation
  EXPECT_EQ(gf_standUseByOtherLiveAc(4, 0x999), 2);  // parked in the simulator wins
  EXPECT_TRUE(lf_ownsStandReservation(3, 0x100));
  EXPECT_FALSE(lf_ownsStandReservation(3, 0x200));
}

TEST_F(LiveRegistryTest, ErasingMovesTheLastRecordIntoTheGapAndForgetsEveryTrace) {
  for (std::uint32_t hexid : {0xA0u, 0xB0u, 0xC0u, 0xD0u}) addLive(Rec(hexid));
  g_addingStack = {0xB0, 0xC0, 0xB0};
  g_landedHexids = {0xB0, 0xD0};
  g_parkedAcActions = {{0xB0, 5, 0}, {0xA0, 6, 1}};
  const auto command = [](std::uint32_t hexid, std::uint32_t objectId) {
    DelayedSimCommand c;
    c.hexid = hexid, c.objectId = objectId;
    return c;
  };
  // By hexid, by object id for answers without one; a static aircraft numbered 0 takes only its own.
  g_pendingDelayedCommands = {command(0xB0, 1), command(0, 0xB0), command(0, 99), command(0xC0, 2)};
  lf_eraseLiveAc(g_liveAcs[1]);
  EXPECT_EQ(hexidsOf(g_liveAcs), (std::vector<std::uint32_t>{0xA0, 0xD0, 0xC0}));
  EXPECT_EQ(g_addingStack, std::vector<std::uint32_t>{0xC0});
  EXPECT_EQ(g_landedHexids, std::vector<std::uint32_t>{0xD0});
  ASSERT_EQ(g_parkedAcActions.size(), 1u);
  EXPECT_EQ(g_parkedAcActions[0].hexid, 0xA0u);
  lf_forgetAircraft(0, 0);
  ASSERT_EQ(g_pendingDelayedCommands.size(), 2u);
  EXPECT_EQ(g_pendingDelayedCommands[0].objectId, 99u);
  EXPECT_EQ(g_pendingDelayedCommands[1].hexid, 0xC0u);
}

TEST_F(LiveRegistryTest, RotorcraftOffRemovesStaticHelicoptersAndTheirHitsOnly) {
  std::vector<DbaseEntry> hits{{0, 0, gf_internModelName("EC35")}, {0, 0, gf_internModelName("B738")}};
  hooks.eraseStandSearchHits = [&hits](const std::function<bool(const DbaseEntry&)>& drop) {
    std::erase_if(hits, drop);
  };
  install();
  addStatic(1, "EC35", SimStatus::active);
  addStatic(2, "B738", SimStatus::active);
  addStatic(3, "EC35", SimStatus::adding2sim);
  g_staticCreateQueue.push_back(AiCreateRequest{});
  g_staticCreateQueue.back().hexid = 3;
  gf_removeStaticAircraftCategory();
  ASSERT_EQ(g_staticAcs.size(), 2u);  // the queued one is called off and gone
  EXPECT_EQ(g_staticAcs[0].simState, SimStatus::removingfromsim);
  EXPECT_EQ(g_staticAcs[1].simState, SimStatus::active);
  EXPECT_TRUE(g_staticCreateQueue.empty());
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].modelId, gf_internModelName("B738"));
}

TEST_F(LiveRegistryTest, LeavingTheAirportTakesEveryAircraftOnTheGroundIncludingOneDrivingIn) {
  addLive(Rec(0x100), SimStatus::active, FlightPhase::parking).standId = 7;
  addLive(Rec(0x200).air(3000.0, 200.0), SimStatus::active, FlightPhase::flying);
  addLive(Rec(0x300), SimStatus::adding2sim, FlightPhase::parked).standId = 8;
  g_liveCreateQueue.push_back(AiCreateRequest{});
  g_liveCreateQueue.back().hexid = 0x300;
  lf_removeAllStaticAndLiveAtAirport();
  EXPECT_EQ(removed, std::vector<std::uint32_t>{0x100});
  EXPECT_EQ(hexidsOf(g_liveAcs), (std::vector<std::uint32_t>{0x100, 0x200}));
  EXPECT_EQ(g_liveAcs[0].standId, 0);
}

// A live aircraft on the ground removes the static version of itself: by registration when both
// have one, else by its callsign as one of the static's names; only the first pair, in table
// order. Small random tables whose registrations and names often agree are checked against
// that rule, pair by pair.
TEST_F(LiveRegistryTest, AParkedVersionOfALiveAircraftOnTheGroundIsRemovedFirstPairOnly) {
  const char* registrations[] = {"", "HB-JCA", "HB-JCB"};
  const char* names[] = {"", "SWR1", "SWR2", "EZY3"};
  std::mt19937 random(58);
  const auto pick = [&random](const auto& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, std::size(from) - 1)(random)];
  };
  const auto coin = [&random] { return std::bernoulli_distribution(0.7)(random); };
  int removals = 0;
  for (int round = 0; round < 300; ++round) {
    reset();
    for (std::uint32_t i = 0; i < 5; ++i) {
      Rec rec(0x100 + i, pick(names));
      rec.registration(pick(registrations));
      if (!coin()) rec.air(3000.0, 200.0);
      addLive(rec, coin() ? SimStatus::active : SimStatus::adding2sim);
      StaticAc& parked = addStatic(0x200 + i, "B738", coin() ? SimStatus::active : SimStatus::adding2sim);
      parked.registration = pick(registrations);
      parked.name1 = pick(names);
      parked.name2 = pick(names);
    }
    std::optional<std::size_t> expected;
    for (const LiveAc& live : g_liveAcs) {
      if (live.simState != SimStatus::active || !live.onGround) continue;
      for (std::size_t i = 0; i < g_staticAcs.size() && !expected; ++i) {
        const StaticAc& parked = g_staticAcs[i];
        const bool same = !live.registration.empty() && !parked.registration.empty()
                              ? live.registration == parked.registration
                              : !live.callsign.empty() && (live.callsign == parked.name1 || live.callsign == parked.name2);
        if (parked.simState == SimStatus::active && same) expected = i;
      }
      if (expected) break;
    }
    const std::vector<StaticAc> before = g_staticAcs;
    gf_checkForAllGndIfParkedVersionExistsAndRemove();
    for (std::size_t i = 0; i < before.size(); ++i) {
      const bool gone = g_staticAcs[i].simState != before[i].simState;
      EXPECT_EQ(gone, expected == i) << "round " << round << ", static " << i;
    }
    removals += expected.has_value();
  }
  EXPECT_GT(removals, 50);  // the tables pair often enough to test the order
  EXPECT_LT(removals, 290);  // and often enough not
}

TEST_F(LiveRegistryTest, ParkedTimeCountsAcrossTheWeeksWrap) {
  gf_resetGuiForTest();
  g_currentWeekTime = gf_packWeekTime({1, 1});  // Monday 00:30
  addLive(Rec(0x100), SimStatus::active, FlightPhase::parked).createdWeekTime = gf_packWeekTime({7, 46});
  addLive(Rec(0x200), SimStatus::active, FlightPhase::taxi);
  EXPECT_EQ(gf_countParkedLive(true), 1);
  std::optional<float> fit;
  {
    std::lock_guard lock(g_gui.queueMutex);
    if (!g_gui.queue.empty())
      if (const auto* update = std::get_if<gui::SetLiveFit>(&g_gui.queue.back())) fit = update->fit;
  }
  EXPECT_EQ(fit, 2.0f);  // Sunday 23:00 to Monday 00:30: 3 half-hours, + 0.5
  g_currentWeekTime = 0;
  gf_resetGuiForTest();
}

}  // namespace
