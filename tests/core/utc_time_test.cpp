#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/utc_time.h"

namespace {

// 2026-12-06 is a Sunday.
constexpr std::int64_t kSunday20261206 = 1796515200;

std::int64_t at(std::int64_t day, int h, int m, int s) { return day + h * 3600 + m * 60 + s; }

class UtcTimeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    gf_setSystemClockForTest({});
    gf_setFeedTime(0);
    gf_setFeedTimeSwitch(false);
  }
  void pin(std::int64_t seconds) {
    gf_setSystemClockForTest([seconds] { return seconds; });
  }
};

TEST_F(UtcTimeTest, HalfHourSlotsTurnAtTwentyNineThirty) {
  struct Case {
    int h, m, s;
    std::int32_t slot;
  };
  const Case cases[] = {{0, 0, 0, 0},     {0, 29, 29, 0},   {0, 29, 30, 1},   {13, 29, 29, 26},
                        {13, 29, 30, 27}, {13, 59, 59, 27}, {14, 0, 0, 28},   {23, 29, 30, 47},
                        {23, 59, 59, 47}};
  for (const auto& c : cases) {
    pin(at(kSunday20261206, c.h, c.m, c.s));
    EXPECT_EQ(gf_halfHourSlot(), c.slot) << c.h << ":" << c.m << ":" << c.s;
  }
}

TEST_F(UtcTimeTest, WeekdayAndSlotFromOneReading) {
  pin(at(kSunday20261206, 0, 10, 0));
  EXPECT_EQ(gf_weekdayAndHalfHour(), 7u);  // Sunday, slot 0 in the high half
  pin(at(kSunday20261206, 23, 59, 59));
  EXPECT_EQ(gf_weekdayAndHalfHour(), (std::uint64_t{47} << 32) | 7u);
  pin(at(kSunday20261206 + 86400, 13, 29, 30));  // Monday
  EXPECT_EQ(gf_weekdayAndHalfHour(), (std::uint64_t{27} << 32) | 1u);

  // A clock that ticks past midnight between two readings must still give one day's pair.
  std::int64_t next = at(kSunday20261206, 23, 59, 59);
  gf_setSystemClockForTest([&next] { return next++; });
  const std::uint64_t packed = gf_weekdayAndHalfHour();
  const bool sundayLate = packed == ((std::uint64_t{47} << 32) | 7u);
  const bool mondayEarly = packed == 1u;
  EXPECT_TRUE(sundayLate || mondayEarly) << std::hex << packed;
}

TEST_F(UtcTimeTest, FailedConversionDoesNotSpillIntoTheSlot) {
  pin(std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(gf_halfHourSlot(), -1);
  const std::uint64_t packed = gf_weekdayAndHalfHour();
  EXPECT_EQ(packed & 0xFFFFFFFFu, 0xFFFFFFFFu);
  EXPECT_EQ(packed >> 32, 0xFFFFFFFFu);
  EXPECT_EQ(gf_timeStampHms(), "??:??:??");
  EXPECT_EQ(gf_timeStampHm(), "??:??");
  EXPECT_EQ(gf_utcDateTimeText(), "Invalid time");
}

TEST_F(UtcTimeTest, FeedTimeSwitchChangesStampsAndSlots) {
  pin(at(kSunday20261206, 13, 58, 7));
  gf_setFeedTime(at(kSunday20261206, 12, 58, 7));
  EXPECT_EQ(gf_timeStampHms(), "13:58:07");  // switch off: system clock
  EXPECT_EQ(gf_timeStampHm(), "13:58");
  EXPECT_EQ(gf_halfHourSlot(), 27);

  gf_setFeedTimeSwitch(true);
  EXPECT_EQ(gf_timeStampHms(), "<<< 12:58:07");
  EXPECT_EQ(gf_timeStampHm(), "<<< 12:58");
  EXPECT_EQ(gf_halfHourSlot(), 25);
  EXPECT_EQ(gf_utcTimeText(), "13:58:07");  // always the system clock

  gf_setFeedTime(0);  // no feed time yet: the system clock, still marked
  EXPECT_EQ(gf_timeStampHms(), "<<< 13:58:07");
  EXPECT_EQ(gf_nowSeconds(true), at(kSunday20261206, 13, 58, 7));
}

TEST_F(UtcTimeTest, DateTimeAndNames) {
  pin(at(kSunday20261206, 9, 5, 0));
  EXPECT_EQ(gf_utcDateTimeText(), "6 Dec 2026 09:05Z");
  EXPECT_EQ(gf_weekdayName(7), "Sun");
  EXPECT_EQ(gf_weekdayName(0), "???");
  EXPECT_EQ(gf_monthName(13), "???");
}

}  // namespace
