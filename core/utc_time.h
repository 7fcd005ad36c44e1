#pragma once
// UTC clock texts. Times are whole seconds since 1970-01-01 00:00 UTC.
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
