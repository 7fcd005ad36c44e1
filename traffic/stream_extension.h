#pragma once
// The stream operations of the movement step when the feed falls silent or runs behind: how many
// 3-second dead-reckoning extensions an aircraft may get and how one is made, the re-timing of
// the next point within the aircraft's tolerances, a midpoint, the look-ahead of the ground
// steering and the speed factor of a turn. lf_main only.
#include <cstdint>

#include "traffic/live_ac.h"

inline constexpr std::int32_t kExtensionTicks = 300;             // one extension: 3 s ahead
inline constexpr std::int32_t kParkedExtensionTicks = 60480000;  // 7 days: a parked aircraft stays put

// 3-second extensions wanted: one minute's worth while taking off or landing, the holding time on
// the ground, one at a stand, in the air only while fast enough and within range of the user.
std::int32_t gf_extensionBudget(LiveAc& aircraft);
// Stores the count as extensionCount and appends one point made from the last one.
void gf_extendStream(LiveAc& aircraft, std::int32_t count);
// Moves the next point's time (stream point 1) to now + offset ticks, within predictLimitA earlier
// and predictLimitB later than it was and never before now + 1; later points move along when it
// would reach them. Nothing while extensions run.
void gf_retimeNextPoint(LiveAc& aircraft, std::int32_t offsetTicks);
// A point halfway between the first two, after the first.
void gf_insertMidPoint(LiveAc& aircraft);
// The distance of 7 s at the speed, 100 to 160 m.
double gf_lookAheadMetres(double speedKt);
// 1.2 up to 8 degrees of turn, down to 1.0 at 15, 1.0 up to 20, down to 0.6 at 30 and beyond.
double gf_turnSpeedFactor(double turnDeg);
