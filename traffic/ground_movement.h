#pragma once
// The ground half of the next-position step: departures from a stand (pushback straight back or
// pulling out forwards), the end of a pushback, turns and speed changes built into the taxi path,
// the line-up prediction, a slow arrival looking for a stand, and how long the next ground leg
// takes. drive2Stand plans the last metres into a stand. lf_main only.
#include <cmath>
#include <optional>

#include "traffic/flat_frame.h"
#include "traffic/live_ac.h"

// Runs when a ground aircraft has reached stream point 0 and point 1 is its next target. An
// exception is logged and thrown on.
void nextPosGround(LiveAc& aircraft);
// Pushback from the stand: 2.5 stand radii straight back, then a stop.
void initiatePushBack(LiveAc& aircraft);
// A push-back the reports drive, first seen under way: its legs are the reports' own, not a push
// from a stand of ours.
bool gf_pushFollowsReports(const LiveAc& aircraft);
// Forwards out of the stand: one full wingspan ahead of it.
void gf_pullOut(LiveAc& aircraft);
// The stream from its only point into the stand (position, heading in radians); with
// checkAtStand an aircraft already at the stand gets only the stop. An arrival drives in at the
// pace of its reports (kt, from gf_reportsPaceKt) where it has one, else slowly.
void drive2Stand(LiveAc& aircraft, const GeoPose& stand, bool checkAtStand, double paceKt = NAN);
// The pace (kt) at which the stream's points ahead take the aircraft up to their first stop, or to
// their last point; NaN when they give none.
double gf_reportsPaceKt(const LiveAc& aircraft);
// A taxiing departure turning onto a runway of the park airport gets it predicted.
void gf_predictLineUp(LiveAc& aircraft);
// Splits a long leg where the speed changes (or an arrival slows to its stand).
void gf_splitForSpeedChange(LiveAc& aircraft, bool arrivalWish);
// The arrival time of point 1 and the turn rate of the leg.
void gf_groundLegTiming(LiveAc& aircraft);
// The leg to stream point `end` runs into a stop: that point reports no speed, or the next one
// stands on it or reports none. The line-up's last legs keep their own pace, late or not.
bool gf_stopAhead(const LiveAc& aircraft, std::size_t end);
