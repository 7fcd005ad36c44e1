#pragma once
// Who else holds a stand a live aircraft wants: a parked live aircraft on it or on an overlapping
// stand is removed, a ghost (callsign + "_") gives way to the real flight, a copy under the same
// callsign is replaced, and a parked aircraft really seen at its stand keeps it. Only a stand left
// free is taken, and the aircraft drives into it (state 8). lf_main only.
//
// Every answer is "the stand may be used now". A removal's exception is reported under the
// function's name and the function goes on as if it had been made.
#include <cstdint>
#include <string_view>

#include "simlink/facility_stand.h"
#include "traffic/live_ac.h"

// Takes the stand for the aircraft and plans the drive into it; in arrival mode the stream
// always restarts at the aircraft's position.
bool lf_takeStand(LiveAc& aircraft, const Stand& stand, bool arrivalMode);
// No live aircraft is parked on the stand or driving into it, and the stands it excludes are
// free; a parked live occupant is removed (the stand is free once its record is gone).
bool lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(const Stand& stand, LiveAc& aircraft);
// No aircraft on the excluded stand reaches into the wanted one; one that does and stands there
// in the simulator is removed.
bool lf_checkExcludedStandIsAvailableForLiveParkingTry(std::int32_t excludedId, LiveAc& aircraft,
                                                       const Stand& wanted);
// The occupant holds standId, a valid stand whose centre lies within both aircraft's radii of the
// wanted stand.
bool lf_isStandOccupantColliding(const LiveAc& occupant, std::int32_t standId, const LiveAc& aircraft,
                                 const Stand& wanted);
// For a flight that starts on the stand: the stand is free of other live aircraft, after a ghost
// or a copy under the same callsign was removed.
bool lf_checkStandIsNotUsedByOtherLiveAircraftSub(std::int32_t standId, LiveAc& aircraft);

// The stand the user aircraft stands on (on the ground, within 20 m), or the user's destination
// gate (empty: none); a stand that excludes either counts too.
bool gf_isUserStand(const Stand& stand, std::string_view destinationGate);
