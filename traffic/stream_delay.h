#pragma once
// The ground rules' re-timing of a stream (a turn held back by its rate, a start no faster than
// an airliner speeds up, a stop braked evenly) kept within the aircraft's window around the times
// its feed gave: no rule moves a point more than predictLimitB later than its feed time, and a
// standing aircraft makes up what it is late, so aircraft sharing a runway keep the feed's order.
// lf_main only.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "traffic/live_ac.h"

// Moves the stream points from `first` on later by up to `ticks`, no point beyond its feed time
// plus predictLimitB; returns the ticks they moved (0 when they are at that bound already).
std::int32_t gf_delayStream(LiveAc& aircraft, std::int64_t ticks, std::size_t first = 0);

// Moves the stream earlier by up to `ticks`: its first point no sooner than now + 1 nor than its
// feed time, each later point by no more than it is late nor closer to the first than the feed
// has it. Returns the ticks the first moved.
std::int32_t gf_advanceStream(LiveAc& aircraft, std::int64_t ticks);

// A standing aircraft (point 1 repeats point 0) whose stream runs later than its feed's times
// takes that lateness off the wait: the points from 1 on move earlier, toward their feed times,
// never before now + 1. Returns the ticks they moved.
std::int32_t gf_makeUpStandingDelay(LiveAc& aircraft);

// How much later than its feed time point `index` is (0 for a point the feed did not give).
std::int32_t gf_feedLateness(const LiveAc& aircraft, std::size_t index);

// The feed time of a point the program puts at the share `f` of the distance from a to b: when
// the aircraft is due there, its speed changing evenly from a's to b's; none unless both have one.
std::optional<std::int32_t> gf_feedTimeBetween(const StreamPoint& a, const StreamPoint& b, double f);
