#pragma once
// The periodic parking adjustment: the wanted number worked out again, the live parked aircraft
// that may stay kept (those gone silent too long removed), stands searched for the static aircraft
// still missing, the static aircraft the new plan confirms kept and the others removed, the new
// ones left as hits for the placement. And the reset of all park-airport state when the park
// airport is given up. lf_main only.
#include <cstdint>
#include <string>
#include <vector>

#include "core/utc_time.h"
#include "traffic/static_ac.h"

// A static aircraft to remove at the end of an adjustment.
struct NamedMark {
  std::string callsign;
  std::uint32_t standId = 0;
};
extern std::vector<NamedMark> g_parkingRemovals;

// Listed unless an entry with the aircraft's callsign is there already.
void gf_addParkingRemoval(const StaticAc& aircraft, std::uint32_t standId);

// flush: the static aircraft placed from the stand file go as well. With RT Direct the
// RealTraffic parked aircraft are asked for and the adjustment goes on at a later parking step
// (gf_resumeParkedWait).
void gf_adjustParking(bool flush);
// The rest of an adjustment once the parked answer is in (the feed's parked aircraft when
// parkedReady): the stand search started when stands are still wanted (the worker's ticks run it
// and then complete the adjustment), else the adjustment completed at once.
void gf_finishAdjustment(WeekTime weekTime, std::int32_t wanted, bool flush, bool parkedReady);
// After the search: the static aircraft the plan does not keep listed for removal, the callsigns,
// removals and hits reconciled, the hits sorted, the message shown and the removals made.
void gf_completeAdjustment(WeekTime weekTime);
// g_liveStayers refilled with the live parked aircraft in the simulator, fewest minutes parked
// first; those silent for more than 90 minutes (180 for a heavy) are removed instead.
void lf_collectLiveStayers();
// Removes the static aircraft on the stands of g_parkingRemovals; the list is emptied.
void lf_removeRemovals();
// A kept static aircraft still flying under its first callsign takes its second when its option
// no longer holds the stand in the next half-hour.
void lf_reconcileStaticCallsigns(WeekTime now);
// A removal and a hit of the same callsign on the same stand cancel out; removals and hits of
// stands emptied and filled again come first.
void lf_reconcileRemovalsWithHits();

// Saves the learning, puts the settings back and forgets the park airport, its stands, runways,
// hits, removals and live stayers.
void gf_resetParkAirport();
