#include "core/utc_time.h"

#include <fmt/format.h>

#include <array>
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
