#pragma once
// The one way out of the simulator for an aircraft of ours, and the replacement of a live
// aircraft's object by a fresh one in another livery. Both decide from where the object stands in
// its life (simState) what to do: cancel a creation not sent yet, ask the simulator link to
// remove the object, or mark the record for erasing. lf_main only.
#include <cstdint>
#include <deque>

#include "simlink/sim_commands.h"
#include "traffic/live_ac.h"
#include "traffic/static_ac.h"

// Cancels a queued creation, marks one on its way to be removed when its id arrives, queues the
// object's removal, or marks a record without object for erasing. A second removal is refused.
void removeAircraftFromSim(LiveAc& aircraft);
void removeAircraftFromSim(StaticAc& aircraft);

// The object goes and the record stays: the stream restarts at the current position (at the
// stand for a parked aircraft) and, once the simulator reports the object removed, the update
// pass creates the aircraft again with a livery chosen anew. Never throws.
void liveryRespawn(LiveAc& aircraft) noexcept;

// The object went with the simulator's old session and the record stays: the stream restarts at
// the current position and the update pass creates the aircraft again as soon as that point is
// due, instead of waiting for the feed to start the flight anew. Never throws.
void gf_recreateLostLiveAc(LiveAc& aircraft) noexcept;

// Takes every queued creation of the hexid out of an adding deque, keeping the order of the
// others; whether there was one.
bool gf_removeFromAddingDeque(std::deque<AiCreateRequest>& deque, std::uint32_t hexid);
