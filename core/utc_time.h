#pragma once
// UTC clock texts. Times are whole seconds since 1970-01-01 00:00 UTC.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// The system clock, replaceable in tests (an empty function restores the real one).
std::int64_t gf_systemSeconds();
void gf_setSystemClockForTest(std::function<std::int64_t()> clock);

std::string gf_utcTimeText();      // "13:58:07"
std::string gf_utcDateTimeText();  // "5 Dec 2026 13:58Z"
std::string gf_weekdayName(std::int32_t day);   // 1..7 -> "Mon".."Sun", else "???"
std::string gf_monthName(std::int32_t month);   // 1..12 -> "Jan".."Dec", else "???"

// The feed-time switch: when the RealTraffic access is professional and the user has shifted
// the time, stamps and slots follow the feed's clock instead of the system's. The feed sets
// both from its own threads; the feed time is seconds since 1970, 0 while none is known.
void gf_setFeedTime(std::int64_t seconds);
void gf_setFeedTimeSwitch(bool on);
bool gf_feedTimeSwitch();

// The feed's time when asked for and known, else the system clock.
std::int64_t gf_nowSeconds(bool useFeedTime);

// Current time under the feed-time switch; under the switch the text reads "<<< 13:58:07".
std::string gf_timeStampHms();
std::string gf_timeStampHm();

// The day has 48 half-hour slots: hour h gives slot 2h up to h:29:29 and 2h + 1 from h:29:30
// on (so the stand schedule rounds to the nearest half hour). -1 when the time cannot be
// broken down.
std::int32_t gf_halfHourSlot();
// Weekday 1 (Monday) .. 7 (Sunday) in the low 32 bits, the half-hour slot in the high 32
// bits, both of one reading of the clock. Each half is 0xFFFFFFFF when the time cannot be
// broken down.
std::uint64_t gf_weekdayAndHalfHour();

// A time of the week: weekday 1..7 and half-hour slot 0..47.
struct WeekTime {
  std::uint32_t day = 0;
  std::uint32_t slot = 0;
  friend bool operator==(const WeekTime&, const WeekTime&) = default;
};
WeekTime gf_unpackWeekTime(std::uint64_t packed);
std::uint64_t gf_packWeekTime(WeekTime time);

// The week time of the stand and parking code, packed as gf_weekdayAndHalfHour packs it. The
// worker stores it from the clock; any thread reads it. 0 until the first store.
extern std::atomic<std::uint64_t> g_currentWeekTime;
inline WeekTime gf_currentWeekTime() { return gf_unpackWeekTime(g_currentWeekTime.load()); }
