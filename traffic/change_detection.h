#pragma once
// A flight the engine shows may change in the feed: a new callsign, a new origin and destination
// (its next leg), a new registration that means another airline or type. Before a record of a
// known aircraft is applied, what is new is taken over, and the aircraft either goes on or is
// created anew in the simulator with a fitting livery (a respawn). A new origin and destination
// counts only when three records in a row show it, so that a flickering feed respawns nothing.
// lf_main only.
#include "feed/traffic_records.h"
#include "traffic/live_ac.h"

// True when the record is to be applied, false when it is dropped (the aircraft respawns, or the
// record is a ghost of a flight shown under the plain callsign).
bool lf_checkKnownAcChanges(LiveAc& aircraft, TrafficRecord& record);
