#pragma once
// Stands and aircraft: a live aircraft takes its stand, the simulator's centre of gravity and
// pitch of a new object are taken over, and a new static aircraft is set up as parked. Stand
// lookups by name, the user's stand kept free of statics, the number of statics wanted and
// parked. lf_main only, but g_staticTargetCount, which the window's passes read.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/geodesy.h"
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

// Static aircraft wanted at the park airport.
extern std::atomic<std::int32_t> g_staticTargetCount;

// The stand of that name in g_stands, or null.
Stand* gf_findStandByName(std::string_view name);
// The named stand and those it excludes are blocked for static aircraft; label starts the log
// lines. An unknown name does nothing.
void gf_blockUserStandsForStatic(std::string_view name, std::string_view label);

struct StaticTargetInput {
  double percent = 0.0;       // of the stands
  std::int64_t maximum = 0;   // MAX_PARK_SEL
};
// The number of statics wanted for the stands of g_stands: 1 for up to one stand or up to three
// below 50 %, else the rounded share; at most the maximum, 0 for a maximum of 0 or less. Stored
// in g_staticTargetCount and shown (with its share of the stands).
std::int32_t gf_setStaticTargetCount(const StaticTargetInput& input);
// Statics in the simulator (object state 2 or 4); with post, their mean parked time goes to the
// window.
std::int64_t gf_countParkedStatic(bool post);

// The name is the stand's own or one of the stands it excludes.
bool gf_standNameMatches(const Stand& stand, std::string_view name);
// The same for the stand at the position (within 20 m), failing that the nearest stand.
bool gf_standOfPositionMatches(const Stand& stand, const Lalo& position);
