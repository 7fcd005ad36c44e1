#pragma once
// Stands and aircraft: a live aircraft takes its stand, the simulator's centre of gravity and
// pitch of a new object are taken over, and a new static aircraft is set up as parked. lf_main.
#include "simlink/delayed_commands.h"
#include "simlink/facility_stand.h"
#include "traffic/live_ac.h"
#include "traffic/static_ac.h"

// Position, heading, id, the cargo flag (no cabin light) and the gate flag of the stand.
void gf_assignStand(LiveAc& aircraft, const Stand& stand);

// The simulator's centre-of-gravity height (value1, ft) when it is a plausible one, else the
// category's; its ground pitch (value2, rad) when plausible, else 0.7 degrees. cgKnown is set.
void gf_applyStaticPose(AcIdentity& aircraft, bool& cgKnown, const DelayedSimCommand& answer);
template <class Aircraft>
void gf_applyStaticPose(Aircraft& aircraft, const DelayedSimCommand& answer) {
  gf_applyStaticPose(aircraft, aircraft.cgKnown, answer);
}

// The simulator has the static aircraft's object: throttle and flaps 0, engines off, the parked
// lights.
void gf_setParkedSystems(StaticAc& aircraft);
