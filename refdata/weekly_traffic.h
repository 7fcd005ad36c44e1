#pragma once
// The airports for which RealTraffic has parked-traffic data this week, from the data set
// "wktraffic.enc". The airport scan loads it at its start and asks it airport by airport; an
// empty list lets every airport through.
#include <cstdint>
#include <shared_mutex>
#include <string>
#include <variant>
#include <vector>

#include "core/value_types.h"

inline constexpr std::uint64_t kWeeklyTrafficPlainLimit = 1048576;

// Sorted by packed key, no repeats; exclusive to replace or empty, shared to read.
extern std::vector<IcaoCode> g_rtWeeklyAirports;
extern std::shared_mutex g_rtWeeklyAirportsLock;

// Reads the file and swaps the list in. On failure: a warning, an empty list, false.
bool gf_loadRTWeeklyAirports();
// The sorted codes of "wktraffic.enc" in the input folder, or the text of what went wrong.
std::variant<std::vector<IcaoCode>, std::string> gf_readRTWeeklyAirportsFile();
// True when the list is empty or holds the code.
bool gf_isRTWeeklyAirport(IcaoCode code);

// Tests: back to the empty list.
void gf_resetRTWeeklyAirportsForTest();
