#pragma once
// What an aircraft in the simulator does besides moving, once per leg: its flight phase, its
// controls (throttle, flaps, spoilers, gear, reverse thrust and lights), its vertical rate, pitch
// and bank, the speed profile of a ground leg, the start of a take-off and the capture of a
// landing runway. The next-position step calls one of the two phase steps before a leg begins;
// the per-step motion calls the vertical steps and the flare on every step. lf_main only.
//
// Rates are in ft per tick (hundredth of a second) unless a name says ft/min: 1 ft/min is 1/6000.
#include <cstdint>
#include <optional>

#include "traffic/live_ac.h"

// An aircraft on the ground, at the start of its next leg.
void gf_groundStep(LiveAc& aircraft);
// An airborne aircraft, at the start of its next leg.
void gf_airStep(LiveAc& aircraft);
// The speed for the next leg (kt, never below 1.0): from the speeds of stream points 0 and 1,
// else from their distance and times.
double gf_acSpeedKt(const LiveAc& aircraft);
// On the approach with the next point on the ground: that point is pulled back to the runway's
// touch-down point and re-timed, and the runway captured. Runs when a leg begins.
void gf_landingPointAdjust(LiveAc& aircraft);

// At the touch-down, mid-leg: the rest of the leg is the roll-out's, braking evenly from the pace
// the aircraft comes with toward the next point's speed; the points move later when that takes
// longer than their times allow.
void gf_beginRollOut(LiveAc& aircraft);

// Ticks until the next point (stream point 1) is due, never below 25.
std::int32_t gf_ticksToNextPoint(const LiveAc& aircraft);

// ft/min for a descent to the ground: -600 at 100 ft or less above it, else the mean of the two
// points' vertical speeds less the QNH's offset, never shallower than -601.
double gf_descentRate(const LiveAc& aircraft);
// On the approach over a runway of the park airport: the rate the glide path asks for; any other
// aircraft gets `rate` back.
double gf_approachDescentRate(LiveAc& aircraft, double rate);
// One step of the approach's descent.
void gf_approachVerticalStep(LiveAc& aircraft);
// One step of a go-around: toward the leg's rate, levelling off at the reports' lowest point.
void gf_goAroundVerticalStep(LiveAc& aircraft);
// The landing flare by the height above the field: four stages of shallower descent; none in a
// go-around.
void gf_flareStep(LiveAc& aircraft);
// The runway an approaching aircraft lands on, as seen from a point: the captured one while it
// still lies ahead in its corridor, whatever runway lies under the aircraft.
std::optional<RunwayCandidate> gf_approachRunwayAt(const LiveAc& aircraft, const Lalo& at);
// The ground under an airborne aircraft as far as it is known (ft): the captured runway's
// elevation, else the park airport's within 10 NM of it, or the simulator's last report of the
// ground where that lies higher; none where nothing is known.
std::optional<double> gf_knownGroundFt(const LiveAc& aircraft);
// Taking off, or in the first 30 s of its climb: its height comes from its runway, not its reports.
bool gf_justTookOff(const LiveAc& aircraft);
// After each vertical step: an airborne aircraft (not taking off) never sinks below its centre of
// gravity over the known ground; on the approach toward a point the feed has on the ground, it
// touches down there.
void gf_groundFloorStep(LiveAc& aircraft);
// A light aircraft climbing out or cruising is held by its cruise altitude, when one is known.
double gf_cruiseLimit(LiveAc& aircraft, double rate);
// The rate moves toward `rate` by at most 0.001 per step; altitude and vertical speed follow.
void gf_applyVerticalRate(LiveAc& aircraft, double rate);

// Below 10000 ft: the lights once, the en-route configuration above the flaps height, and the
// approach transitions at or below it or on the approach. `height` in ft above the field near
// the park airport, else the current point's altitude.
void gf_lowAltitudeConfiguration(LiveAc& aircraft, double height);
// Going on the approach near the park airport, or leaving it (state 5 and 6), and the clean
// configuration of a climb.
void gf_approachTransitions(LiveAc& aircraft);
