#pragma once
// Liveries the simulator refused to create, and flights for which no livery matched. The sets
// live for the whole process: a refused livery stays out of the match until the program ends,
// whatever restarts happen. Worker thread only; no locks.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "feed/traffic_records.h"
#include "liveries/livery.h"

inline constexpr std::size_t kFailedLiveryLimit = 20;

extern TextSet g_failedLiveryTitles;
extern TextSet g_failedLiveryModels;  // "<airline> <model>", one per refused creation
extern TextSet g_unmatchedLiveries;   // one text per flight without a livery; the engine fills it

// The simulator refused to create the aircraft in the livery it was matched to. Throws
// jrv::UserRelatedException 81 once kFailedLiveryLimit titles have been refused.
void gf_reportLiveryCreateFailure(const FeedRecordHead& aircraft, std::string_view matchedTitle);
bool gf_isFailedLivery(std::string_view title);
// Each refused airline and model with two blanks in front, for the matching summary.
std::vector<std::string> gf_failedLiveryModelLines();
void gf_logUnmatchedLiveries();
