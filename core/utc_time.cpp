#include "core/utc_time.h"

#include <fmt/format.h>

#include <array>
#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <optional>

namespace {

std::mutex g_clockMutex;
std::function<std::int64_t()>& lf_testClock() {
  static std::function<std::int64_t()> clock;
  return clock;
}

std::optional<std::tm> lf_breakDown(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return std::nullopt;
  return tm;
}

// Written by the feed's threads, read by anyone stamping a time.
std::atomic<std::int64_t> g_feedTimeSeconds{0};
std::atomic<bool> g_feedTimeSwitch{false};

std::int32_t lf_halfHourSlotOf(const std::tm& tm) {
  std::int32_t slot = 2 * tm.tm_hour;
  if (tm.tm_min > 29 || (tm.tm_min == 29 && tm.tm_sec >= 30)) ++slot;
  return slot % 48;
}

}  // namespace

std::int64_t gf_systemSeconds() {
  {
    std::lock_guard lock(g_clockMutex);
    if (auto& clock = lf_testClock()) return clock();
  }
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

void gf_setSystemClockForTest(std::function<std::int64_t()> clock) {
  std::lock_guard lock(g_clockMutex);
  lf_testClock() = std::move(clock);
}

std::string gf_utcTimeText() {
  auto tm = lf_breakDown(gf_systemSeconds());
  if (!tm) return "??:??:??";
  return fmt::format("{:02}:{:02}:{:02}", tm->tm_hour, tm->tm_min, tm->tm_sec);
}

std::string gf_utcDateTimeText() {
  auto tm = lf_breakDown(gf_systemSeconds());
  if (!tm) return "Invalid time";
  return fmt::format("{} {} {} {:02}:{:02}Z", tm->tm_mday, gf_monthName(tm->tm_mon + 1), tm->tm_year + 1900,
                     tm->tm_hour, tm->tm_min);
}

std::string gf_weekdayName(std::int32_t day) {
  static constexpr std::array<const char*, 7> names{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  return day >= 1 && day <= 7 ? names[static_cast<size_t>(day - 1)] : "???";
}

std::string gf_monthName(std::int32_t month) {
  static constexpr std::array<const char*, 12> names{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return month >= 1 && month <= 12 ? names[static_cast<size_t>(month - 1)] : "???";
}

void gf_setFeedTime(std::int64_t seconds) { g_feedTimeSeconds.store(seconds, std::memory_order_relaxed); }
void gf_setFeedTimeSwitch(bool on) { g_feedTimeSwitch.store(on, std::memory_order_relaxed); }
bool gf_feedTimeSwitch() { return g_feedTimeSwitch.load(std::memory_order_relaxed); }

std::int64_t gf_nowSeconds(bool useFeedTime) {
  if (useFeedTime) {
    const std::int64_t feedTime = g_feedTimeSeconds.load(std::memory_order_relaxed);
    if (feedTime != 0) return feedTime;
  }
  return gf_systemSeconds();
}

std::string gf_timeStampHms() {
  const bool useFeedTime = gf_feedTimeSwitch();
  auto tm = lf_breakDown(gf_nowSeconds(useFeedTime));
  if (!tm) return "??:??:??";
  std::string text = fmt::format("{:02}:{:02}:{:02}", tm->tm_hour, tm->tm_min, tm->tm_sec);
  return useFeedTime ? fmt::format("<<< {}", text) : text;
}

std::string gf_timeStampHm() {
  const bool useFeedTime = gf_feedTimeSwitch();
  auto tm = lf_breakDown(gf_nowSeconds(useFeedTime));
  if (!tm) return "??:??";
  std::string text = fmt::format("{:02}:{:02}", tm->tm_hour, tm->tm_min);
  return useFeedTime ? fmt::format("<<< {}", text) : text;
}

std::int32_t gf_halfHourSlot() {
  auto tm = lf_breakDown(gf_nowSeconds(gf_feedTimeSwitch()));
  return tm ? lf_halfHourSlotOf(*tm) : -1;
}

std::uint64_t gf_weekdayAndHalfHour() {
  // One reading of the clock for both halves, so that a call at midnight cannot pair one
  // day with the next day's slot.
  auto tm = lf_breakDown(gf_nowSeconds(gf_feedTimeSwitch()));
  if (!tm) return ~std::uint64_t{0};
  const std::uint32_t weekday = tm->tm_wday == 0 ? 7u : static_cast<std::uint32_t>(tm->tm_wday);
  const std::uint32_t slot = static_cast<std::uint32_t>(lf_halfHourSlotOf(*tm));
  return static_cast<std::uint64_t>(weekday) | (static_cast<std::uint64_t>(slot) << 32);
}

std::atomic<std::uint64_t> g_currentWeekTime{0};

WeekTime gf_unpackWeekTime(std::uint64_t packed) {
  return WeekTime{static_cast<std::uint32_t>(packed), static_cast<std::uint32_t>(packed >> 32)};
}

std::uint64_t gf_packWeekTime(WeekTime time) {
  return static_cast<std::uint64_t>(time.day) | (static_cast<std::uint64_t>(time.slot) << 32);
}
