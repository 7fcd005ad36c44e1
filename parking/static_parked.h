#pragma once
// Static parked aircraft: the program's own parked aircraft on the park airport's stands, one
// stand-search hit at a time turned into a StaticAc and queued for creation; their callsigns and
// running numbers; the user aircraft running into parked or live aircraft; and whether a position
// lies near one of the park airport's runways. lf_main only.
#include <cstdint>
#include <string>

#include "core/geodesy.h"
#include "core/utc_time.h"
#include "parking/stand_search.h"

// The last running number given to a static aircraft (its hexid), 0..9999.
extern std::int32_t g_staticRunningNumber;

// Takes the last hit of g_standSearchHits (consumed whatever comes of it) and places it, unless
// its aircraft's category is switched off, its stand is unknown, held or excluded by a parked
// aircraft, or no livery fits.
void gf_placeStaticAircraft();
// name1 when the hit says so, else name2, else the other; trailing '_' dropped. Empty, with a
// warning, when the hit has no name.
std::string lf_determineStaticCallsign(const StandSearchHit& hit);
// The next running number after g_staticRunningNumber, wrapping at 10000, that no static aircraft
// holds as its hexid (the simulator's answers find their aircraft by it).
std::int32_t gf_nextStaticRunningNumber();
// The week time at which an aircraft seen at now parked offset half-hours ago.
WeekTime gf_parkedWeekTime(WeekTime now, std::uint32_t offset);

// The user aircraft on the ground: removes the first live aircraft on the ground, else the first
// static one, within the user's reach. At most one per call.
void gf_checkUserAcGndCollisions();
// The engine's collision tests of every live aircraft in the simulator against the user's
// aircraft; stops at the first removal.
void gf_checkLiveAcUserCollisions();
// Within half the runway's length plus 1500 m of the centre of one of the park airport's runways.
bool gf_isNearParkRunway(const Lalo& position);
