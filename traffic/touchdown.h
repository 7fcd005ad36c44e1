#pragma once
// Where a live aircraft meets the ground and the parked aircraft: the simulator's ground reports
// (the altitude it is drawn at, the touch-down they reveal), the touch-down with its log line,
// spoilers, reverse thrust and the easing of pitch and bank, an aircraft created on the ground or
// parking at a stand, the flight plan of a new object, and a static aircraft that a taxiing
// arrival runs into. lf_main only.
#include "simlink/delayed_commands.h"
#include "traffic/live_ac.h"

// The altitude from a ground report: value1 the ground altitude, value2 the height above it (ft).
void lf_applyGroundReport(LiveAc& aircraft, const DelayedSimCommand& report);
// The touch-down; an approaching aircraft short of its runway is held just above it instead.
// arrivalConfirmed is set with the landing roll: the aircraft landed here.
void lf_touchDown(LiveAc& aircraft);
// Feet above its standing height at which the CG of a landing aircraft has its main wheels, hanging
// on their struts in the air, on the runway.
inline constexpr double kGearReachFt = 2.0;
// A landing aircraft whose wheels reach the ground at groundFt touches down at once and is drawn on
// them, its CG above the standing height only by what the raised nose explains: waiting for the
// simulator's report would leave it floating over its wheels for as long as the report takes.
// False where it is held short of its runway instead.
bool lf_touchDownOnItsWheels(LiveAc& aircraft, double groundFt);
void lf_logTouchDown(LiveAc& aircraft);
// A new object on the ground; one parked at a stand takes it over from a static aircraft there.
void hp_handleGroundTraffic(LiveAc& aircraft, bool quiet);
// The plan of a new object with origin and destination, handed to the simulator (MSFS 2020).
void lf_createFlightPlan(LiveAc& aircraft);
// A taxiing aircraft against the static aircraft: the first one it runs into, heading nearly the
// stand's way, is removed, and an arrival lined up with that stand may take it. Never throws.
void collisionWithParked(LiveAc& aircraft) noexcept;

// Feet the tail sinks at the full pitch difference: 22 % of the full span (twice the record's
// half span), within [4, 20].
double gf_tailAllowanceFt(double halfWingspanNm);
