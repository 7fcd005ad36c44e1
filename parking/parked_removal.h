#pragma once
// The park airport never holds more parked aircraft than wanted (g_staticTargetCount): live
// parked aircraft (state 9 in the simulator) and static ones together. The surplus goes, static
// aircraft first and the live ones only when they alone are too many, the longest parked first in
// each kind. lf_main only.
#include <cstdint>

#include "core/utc_time.h"

// extra: parked aircraft on their way that are not counted yet (a live one spawned onto a stand).
void gf_enforceMaxParked(std::int32_t extra);
// Up to n of each kind, the longest parked first; n below 1 removes none.
void lf_removeNOldestLiveParked(std::int64_t n);
void lf_removeNOldestStaticParked(std::int64_t n);
// Half-hours from parked to now within one week, 0..335.
std::int32_t gf_parkedAge(WeekTime parked, WeekTime now);
