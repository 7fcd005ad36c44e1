#pragma once
// Durations on the engine clock (ticks of 10 ms, 360000 an hour).
#include <cstdint>

// lround(ticks), at least floorTicks (also for a non-finite count), and
// capped at the largest 32-bit count.
std::int32_t gf_roundedTicks(double ticks, std::int32_t floorTicks);
// The ticks to cover a distance (NM) at a speed (kt), rounded, at least floorTicks; the floor
// also for a speed that is not above 0 or a distance that is not finite.
std::int32_t gf_ticksForDistance(double distanceNm, double speedKt, std::int32_t floorTicks);
