#pragma once
// The simulator's answers applied to our aircraft on lf_main: object ids of new objects, refused
// creations, removals the simulator made, ground reports, static centre of gravity and pitch, and
// the initial pose. A new object waits here (at least 200 ticks, at most 500) for its pose and
// centre of gravity before it is finished, with fallback values when they never come.
#include "simlink/delayed_commands.h"
#include "traffic/live_ac.h"

// Once a tick, also while the simulator is paused: applies what the SimClient thread queued, then
// works the waiting answers.
void gf_processDelayedSimCommands();
// One waiting answer; true when it is done and leaves the list.
bool gf_applyDelayedSimCommand(DelayedSimCommand& command);
bool gf_applyDelayedLiveCommand(const DelayedSimCommand& command);
bool gf_applyDelayedStaticCommand(const DelayedSimCommand& command);

// The object id of the aircraft's create request has arrived: the aircraft takes it and asks for
// what it still lacks. A parked aircraft that no longer owns its stand is marked to be removed
// again. False for an object id below 3, which no created object has.
bool lf_attachCreatedLiveObject(LiveAc& aircraft, const DelayedSimCommand& command);
// Engines, spoilers, lights, throttle and flaps of the new object by where it starts; active.
void lf_finishLiveCreation(LiveAc& aircraft);
// Where the feed has it rolling on the ground (not parked, not pushed, over 2 kt): that speed; else 0.
double gf_rollingKt(const LiveAc& aircraft);
// An aircraft whose object is in the simulator and moves with it: one finished, or one made in the
// air whose finish is still to come.
inline bool gf_movesInSim(const LiveAc& aircraft) {
  if (aircraft.simState == SimStatus::active) return true;
  return aircraft.simState == SimStatus::adding2sim && aircraft.movesWhileCreated && aircraft.objectId != 0 &&
         !aircraft.removeWhenCreated;
}
