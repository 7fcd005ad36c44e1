#pragma once
// What the feed takes from subsystems that sit beside it or above it: the user aircraft (the
// simulator link), the park airport and its stands (parking) and the engine's stand table. The
// application plugs their readers in; without one the feed sees "not known" (no park airport,
// no stand, user in the air) and hands nothing on.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/atomic_shared_ptr.h"
#include "core/geodesy.h"
#include "feed/traffic_records.h"
#include "simlink/user_aircraft.h"

struct FeedNeighbours {
  // The park airport's position while it has a code (read under the park-airport lock), else none.
  std::optional<Lalo> (*parkAirport)() = nullptr;
  // The user's stand kept for the front park airport.
  std::optional<std::string> (*userStand)() = nullptr;
  // The stand within 20 m of a position, from the published stand positions.
  std::optional<std::string> (*standNameAtPos)(const Lalo& position) = nullptr;
  // The simulator link's latest user aircraft state, taken under its mutex.
  UserAcPosition (*userAcState)() = nullptr;
  // The user aircraft stands on the ground.
  bool (*userOnGround)() = nullptr;
  // Places up to wanted parked aircraft from the prepared list (called under the list's mutex).
  void (*addParkedFromFeed)(std::vector<ParkedRecord>& records, std::uint32_t wanted) = nullptr;
};

void gf_setFeedNeighbours(const FeedNeighbours& neighbours);
std::optional<Lalo> gf_feedParkAirport();
std::optional<std::string> gf_feedUserStand();
std::optional<std::string> gf_feedStandNameAtPos(const Lalo& position);
UserAcPosition gf_feedUserAcState();
bool gf_feedUserOnGround();
void gf_feedAddParked(std::vector<ParkedRecord>& records, std::uint32_t wanted);

// The user aircraft as the worker last published it; never empty (all zero before the first
// publication). The feed threads read it without waiting for the simulator link.
extern AtomicSharedPtr<const UserAcPosition> g_userAcPosition;
// The worker's own plain copy of the same record, for the worker's readers only.
extern UserAcPosition g_workerUserAcPosition;
// Worker: publishes a copy for every thread and keeps the plain copy.
void gf_publishUserAcPosition(const UserAcPosition& position);
// A position within 0.0001 degrees of 0/0 is not known yet.
bool gf_isUserPositionKnown(const UserAcPosition& position);

// Tests: no neighbours, an all-zero user position.
void gf_resetFeedNeighbours();
