#pragma once
// The runway a departure on the ground is about to use, read from its own stream and pose: a
// stop at a holding point or a stand-still lined up on a runway is matched against the park
// airport's runways and confirmed over time. The engine then drops points behind the aircraft,
// picks the take-off runway and turns the waiting aircraft onto the runway heading. Also the
// heading step toward a target, and a stop report on the runway held back until confirmed.
// lf_main only.
#include <optional>
#include <string>

#include "traffic/live_ac.h"
#include "traffic/runway_matching.h"

// Updated after each engine update of the aircraft: measured speed, then the prediction.
void gf_predictDepartureRunway(LiveAc& aircraft);
// The prediction from the stop ahead (point 1, or a stop within 50 m of the aircraft).
void gf_predictRunwayAtHold(LiveAc& aircraft);
// True once the same runway was seen for 300 ticks within 2 m; otherwise starts the wait.
bool gf_confirmRunwayCandidate(LiveAc& aircraft, const std::string& name, const Lalo& position);
// One heading step toward the target (radians) at most maxTurnPerStep; smooth eases the last
// 6 degrees in. A step above 3.6 degrees is not applied.
void gf_turnTowardHeading(LiveAc& aircraft, double target, bool smooth);
// A new stop report on the runway before the aircraft is lined up: held back (true) until a
// second one within 1 m confirms it.
bool gf_deferRunwayStop(LiveAc& aircraft, const StreamPoint& point);

// A departure on the ground: in takeoff_roll, or taxi not after a landing roll.
bool gf_isDepartureGate(const LiveAc& aircraft);
// The flight's origin is the park airport (IATA codes).
bool gf_departsParkAirport(const LiveAc& aircraft);
// The runway of the park airport the prediction sees at a position and heading (radians).
std::optional<RunwayCandidate> gf_predictionRunway(const Lalo& position, double headingRad);
// "{pair}:{end}", the name a prediction keeps.
std::string gf_runwayMatchName(const RunwayCandidate& runway);
// The measured ground speed (kt) of the last closed window; NaN without one.
double gf_measuredSpeedKt(const LiveAc& aircraft);
