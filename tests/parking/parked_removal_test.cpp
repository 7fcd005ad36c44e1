// Parked aircraft beyond the wanted number: static aircraft go first, live parked ones only when
// they alone are too many, the longest parked first.
#include "parking/parked_removal.h"
#include "parking/parking_hooks.h"
#include "tests/parking/parking_fixture.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"

namespace parking_test {
namespace {

constexpr WeekTime kNow{3, 20};

class ParkedRemovalTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    g_currentWeekTime = gf_packWeekTime(kNow);
  }
  void TearDown() override {
    gf_resetEngineTables();
    gf_parkingHooks().staticTargetCount() = 0;
    g_currentWeekTime = 0;
    ParkingTest::TearDown();
  }
  // Live parked aircraft L1.. parked at clocks 1, 2, ... (L1 the oldest); static aircraft S1..
  // parked 1, 2, ... half-hours ago (S1 the youngest); static ones in removingStatics have their
  // removal queued already.
  static void park(std::uint32_t live, std::uint32_t statics, std::uint32_t removingStatics = 0) {
    gf_resetEngineTables();
    g_liveAcs.reserve(live);
    for (std::uint32_t i = 1; i <= live; ++i) {
      LiveAc& aircraft = g_liveAcs.emplace_back(StreamPoint{}, AcIdentity{}, 0.0);
      aircraft.callsign = fmt::format("L{}", i);
      aircraft.hexid = aircraft.objectId = 100 + i;
      aircraft.state = FlightPhase::parked;
      aircraft.simState = SimStatus::active;
      aircraft.lastAtStandClock = i;
    }
    for (std::uint32_t i = 1; i <= statics + removingStatics; ++i) {
      StaticAc& aircraft = g_staticAcs.emplace_back();
      aircraft.callsign = fmt::format("S{}", i);
      aircraft.hexid = i;
      aircraft.objectId = 200 + i;
      aircraft.simState = i > statics ? SimStatus::removingfromsim : SimStatus::active;
      aircraft.parkedWeekTime = WeekTime{kNow.day, kNow.slot - i};
    }
  }
};

TEST_F(ParkedRemovalTest, TheSurplusGoesStaticFirstOldestFirst) {
  struct Case {
    std::int32_t wanted;
    std::uint32_t live, extra, statics, removing;
    std::string removed;
  };
  const Case cases[] = {
      {10, 4, 1, 7, 0, "S6 S7 "},  // 12 > 10 and 5 <= 10
      {3, 5, 0, 2, 0, "L1 L2 S1 S2 "},
      {0, 1, 0, 2, 0, "L1 S1 S2 "},
      {-1, 5, 0, 5, 0, ""},
      {2, 0, 0, 2, 1, "S2 "},  // the queued removal counts, but is not chosen again
      {4, 2, 2, 0, 0, ""},
  };
  for (const Case& c : cases) {
    park(c.live, c.statics, c.removing);
    gf_parkingHooks().staticTargetCount() = c.wanted;
    gf_enforceMaxParked(static_cast<std::int32_t>(c.extra));
    std::string text;
    for (const LiveAc& a : g_liveAcs)
      if (a.simState == SimStatus::removingfromsim) text += a.callsign + " ";
    for (std::uint32_t i = 0; i < c.statics; ++i)
      if (g_staticAcs[i].simState == SimStatus::removingfromsim) text += g_staticAcs[i].callsign + " ";
    EXPECT_EQ(text, c.removed) << c.wanted << " wanted, " << c.live << " live, " << c.statics << " static";
  }
  EXPECT_TRUE(contains(newLog(), "sid==0?       : static parked S2 removed"));
}

TEST_F(ParkedRemovalTest, NOfNoneOrMoreThanThereAre) {
  park(2, 0);
  lf_removeNOldestLiveParked(0);
  lf_removeNOldestLiveParked(-3);
  EXPECT_TRUE(g_liveAcs[0].simState == SimStatus::active && g_liveAcs[1].simState == SimStatus::active);
  lf_removeNOldestLiveParked(5);
  for (const LiveAc& aircraft : g_liveAcs) EXPECT_EQ(aircraft.simState, SimStatus::removingfromsim);
}

TEST_F(ParkedRemovalTest, TheAgeRunsOverTheEndOfTheWeek) {
  const std::tuple<WeekTime, WeekTime, std::int32_t> cases[] = {
      {{7, 47}, {1, 0}, 1}, {{1, 0}, {1, 0}, 0}, {{1, 1}, {1, 0}, 335}, {{3, 10}, {4, 12}, 50}};
  for (const auto& [parked, now, age] : cases)
    EXPECT_EQ(gf_parkedAge(parked, now), age) << parked.day << "/" << parked.slot << " " << now.day << "/" << now.slot;
}

}  // namespace
}  // namespace parking_test
