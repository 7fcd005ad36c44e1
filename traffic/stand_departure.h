#pragma once
// When a parked aircraft (state 9, in the simulator) really leaves its stand: most new positions
// are transponder noise around the stand. A run of points moving backwards by half a wingspan
// starts a pushback, which is confirmed over further points and held back until the aircraft's
// lights have been on for 20 s; a point well ahead along the stand's heading pulls it out at once;
// a point too far away removes it. lf_main only.
//
// The departure flag: departureStarted is the one flag by which the ground movement learns that
// the aircraft shall leave its stand (and departureKind 1 that it pulls out). The movement takes
// the aircraft out of state 9 when it starts the departure, so nothing here clears the flag of a
// departure that already runs.
#include <cstdint>

#include "traffic/live_ac.h"

// Whether the point may be appended now. It may switch the lights on, hold the point back
// (deferredPoint), start the departure or remove the aircraft.
bool checkAtStandSituations(LiveAc& aircraft, StreamPoint& point);

// The aircraft leaves its stand with this point: kind 0 pushback, 1 forward. Records the stand's
// use, gives up the reservation and the arrival, and puts the aircraft in state 9 when it is not.
void lf_startStandDeparture(LiveAc& aircraft, StreamPoint& point, std::uint32_t kind);

// The reports a flight was placed on its stand from count as taken there: a push already under
// way in them is measured from where the first one stood and falls due from its first move.
// No lights: the aircraft has no object yet.
void gf_takeReportsOnStand(LiveAc& aircraft, const RingDeque<StreamPoint>& reports);
