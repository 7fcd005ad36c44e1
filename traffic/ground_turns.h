#pragma once
// Drivable turns instead of the corners of the reported taxi path: before a ground leg the
// corner at stream point 1 becomes a planned turn or curve from the aircraft's position, a turn
// start inserted before it, or a small jog straightened away. lf_main only.
#include <cstddef>

#include "traffic/live_ac.h"

// Whether a turn was built (or a turn start inserted) for the corner at point 1.
bool gf_buildGroundTurn(LiveAc& aircraft);
// Plans the turn round point 1 for a corner of angleDeg; whether a plan (or curve) stands.
bool makeTurnGnd(LiveAc& aircraft, double angleDeg);
// makeTurnGnd unless point 2 repeats point 0 or 1; on success the angle is the leg's turn angle.
bool gf_buildTurnIfDistinct(LiveAc& aircraft, double angleDeg);
// A turn start `distanceM` before point 1, measured from the position (fromPosition) or point 0.
bool gf_insertTurnStart(LiveAc& aircraft, double distanceM, bool fromPosition);
// Two small opposite bends up to point k (3 or 4) become one straight leg.
bool gf_straightenJog(LiveAc& aircraft, std::size_t k);

// Degrees the nose of a taxiing aircraft turns on the spot before its planned turn begins: the
// plan starts that far off its nose (planned from the heading it will have), else 0.
double gf_spotTurnBeforePlanDeg(const LiveAc& aircraft);

// Metres before a corner of angleDeg at which a turn begins, at speedKt and a turn rate in
// degrees per second: 1.5 to 6 s of travel, 12 to 90 m.
double gf_turnLeadMetres(double angleDeg, double turnRateDegPerS, double speedKt);
// The speed (m/s) a straight ground leg may end at for the turn after it: the pace at which the
// aircraft's nose follows the path the next leg will be planned on, or a creep where that leg
// turns without one; infinite when the way on is straight.
double gf_cornerEntrySpeed(const LiveAc& aircraft);
// The speed (m/s) a landing roll may reach point 1 with for the next runway exit within a few
// reports, planned from its turn start or from the last report before its corner: the pace from
// which it brakes, at a taxi's rate, into every bend of the exit as fast as its nose turns;
// infinite when no exit follows.
double gf_exitEntrySpeed(const LiveAc& aircraft);
