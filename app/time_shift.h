#pragma once
// The time shift (traffic of up to two weeks ago, typed in or taken from the simulator's clock)
// and the traffic radius, fixed or following the user's flight level.
#include <atomic>
#include <cstdint>

inline constexpr std::uint32_t kMaxTimeShiftMinutes = 20160;  // two weeks

// A shift other than 0 is in force.
extern std::atomic<bool> g_timeShifted;
// The first automatic shift after a start only stores its value (no restart).
extern std::atomic<bool> g_firstSimTimeShift;
// The simulator time at the last automatic check; 0 when the clock is not followed.
extern std::atomic<std::int64_t> g_lastSimTimeSeconds;

// (days x 24 + hours) x 60 + minutes from the current snapshot.
std::uint32_t gf_timeShiftMinutes();
// Splits the minutes over the three lists (each held to its limits), saves, selects and
// publishes them. GUI or worker thread.
void gf_setTimeShiftControls(std::uint32_t minutes);
// The "Set" button, the worker's set-up and its reset to 0. Without restartAllowed the new
// offset waits for the next start of the feed.
void gf_applyTimeShift(std::uint32_t minutes, bool restartAllowed, bool keepControls);
// The three lists and SIM_TIME; disabling also greys the panel's time-shift labels. The "Set"
// button always ends disabled.
void gf_enableTimeShiftControls(bool enabled);
// Every engine step: a simulator clock moved by 30 s or more gives a new shift.
void gf_followSimTime();
void gf_simTimeShiftRtDirect(std::int32_t minutes);
void gf_simTimeShiftRtApp(std::int32_t minutes);
// Every fifth engine step and at feed start, for a professional RT App licence: the
// simulator's UTC time as a "Qs123=" request, while that time is known.
void gf_sendSimTimeToRTApp();
// Time-shift state of a fresh start (the main-state reset, and the set-up with SIM_TIME on):
// the next engine step takes the simulator clock afresh and its first shift is silent.
void gf_resetLastSimTime();

// AUTO_RANGE: the radius follows the flight level; else RANGE. The RANGE list is enabled only
// for the fixed radius.
void gf_applyRangeMode();
void gf_autoRange();
// The radius for a flight level (ft / 100) by the RANGE_* and FLIGHT_LEVEL_* options.
double gf_autoRangeRadius(bool onGround, double flightLevel);

// Tests: as at program start.
void gf_resetTimeShiftForTest();
