#pragma once
// What an aircraft in the simulator does besides moving, once per leg: its flight phase, its
// controls (throttle, flaps, spoilers, gear, reverse thrust and lights), its vertical rate, pitch
// and bank, the speed profile of a ground leg, the start of a take-off and the capture of a
// landing runway. The next-position step calls one of the two phase steps before a leg begins.
// lf_main only.
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
