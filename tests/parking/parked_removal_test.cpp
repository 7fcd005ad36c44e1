// Parked aircraft beyond the wanted number: static aircraft go first, live parked ones only when
// they alone are too many, the longest parked first.
#include "parking/parked_removal.h"
#include "tests/parking/parked_fixture.h"

namespace parking_test {
namespace {

using ParkedRemovalTest = ParkedTest;

TEST_F(ParkedRemovalTest, TheSurplusGoesStaticFirstOldestFirst) {
  struct Case {
    std::int32_t wanted;
    std::uint32_t live, extra, statics, removing;  // the last statics have their removal queued
    const char *liveRemoved, *staticRemoved;
  };
  const Case cases[] = {
      {10, 4, 1, 7, 0, "", "S6 S7 "},  // 12 > 10 and 5 <= 10
      {3, 5, 0, 2, 0, "L1 L2 ", "S1 S2 "}, {0, 1, 0, 2, 0, "L1 ", "S1 S2 "}, {-1, 5, 0, 5, 0, "", ""},
      {2, 0, 0, 3, 1, "", "S2 S3 "},  // the queued one counts, but is not chosen again
      {4, 2, 2, 0, 0, "", ""}};
  for (const Case& c : cases) {
    gf_resetEngineTables();
    // L1 stands the longest; S1 parked the most recently.
    for (std::uint32_t i = 1; i <= c.live; ++i) liveParked(fmt::format("L{}", i), i, 100 - i);
    for (std::uint32_t i = 1; i <= c.statics; ++i)
      staticParked(fmt::format("S{}", i), i, i).simState =
          i > c.statics - c.removing ? SimStatus::removingfromsim : SimStatus::active;
    g_staticTargetCount = c.wanted;
    gf_enforceMaxParked(static_cast<std::int32_t>(c.extra));
    EXPECT_EQ(removed(g_liveAcs), c.liveRemoved) << c.wanted << " wanted, " << c.live << " live";
    EXPECT_EQ(removed(g_staticAcs), c.staticRemoved) << c.wanted << " wanted, " << c.statics << " static";
  }
  EXPECT_TRUE(contains(newLog(), "A2            : static parked S2 removed"));
  lf_removeNOldestLiveParked(0);
  lf_removeNOldestLiveParked(-3);
  EXPECT_EQ(removed(g_liveAcs), "") << "n of 0 or less removes none";
  lf_removeNOldestLiveParked(5);
  EXPECT_EQ(removed(g_liveAcs), "L1 L2 ") << "more than there are removes all";
}

TEST_F(ParkedRemovalTest, TheAgeRunsOverTheEndOfTheWeek) {
  const std::tuple<WeekTime, WeekTime, std::int32_t> cases[] = {
      {{7, 47}, {1, 0}, 1}, {{1, 0}, {1, 0}, 0}, {{1, 1}, {1, 0}, 335}, {{3, 10}, {4, 12}, 50}};
  for (const auto& [parked, now, age] : cases)
    EXPECT_EQ(gf_parkedAge(parked, now), age) << parked.day << "/" << parked.slot << " " << now.day << "/" << now.slot;
}

}  // namespace
}  // namespace parking_test
