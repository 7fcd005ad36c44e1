#pragma once
// Filling the park airport: how many of its stands get a parked aircraft (the parking percentage
// and the cap, or the cap alone with RealTraffic parked traffic only), the user's stands kept
// free, the RealTraffic parked aircraft first and then the stand search, the hits sorted for the
// placement. lf_main only; the generation flag is read by the window too.
#include <atomic>
#include <cstdint>
#include <vector>

#include "config/parameter_snapshot.h"
#include "core/utc_time.h"
#include "feed/traffic_records.h"

// Parking is being generated: set when a population starts, cleared (with the parking controls
// unlocked) once the placement has used up the hits.
extern std::atomic<bool> g_parkingGenerating;

// Only while g_stands is not empty. With RT Direct the RealTraffic parked aircraft are asked for
// and the population goes on at a later parking step (gf_resumeParkedWait).
void gf_populateParkAirport();
// The rest of a population once the parked answer is in: the feed's parked aircraft (when
// parkedReady), then the stand search started (the worker's ticks run it and then complete the
// population) or, with none needed, the population completed at once.
void gf_finishPopulation(WeekTime weekTime, std::int32_t wanted, bool parkedReady);
// The hits sorted for the placement and the result logged; with no position found the
// generation is over.
void gf_completePopulation();
// Logs the day the search is based on; the current weekday and slot.
WeekTime lf_logDayOfWeek();
// Blocks the user stand kept for the front park airport ("Reserved") and the stand the user
// aircraft stands at now ("User").
void lf_reserveUserStands();
// The wanted parked count, stored and shown: with RealTraffic parked traffic only the cap (at most
// the stands, 0 for a cap of 0), else gf_setStaticTargetCount of the percentage and the cap.
std::int32_t gf_wantedParkedCount(const ParameterSnapshot& settings);

// The feed's parked aircraft (youngest first, ages in half-hours) up to the MAX_FIT age, each as
// a hit on a free stand, or a static aircraft already placed for it kept; until count stands are
// taken. Called under the feed's parked-records mutex.
void gf_addParkedFromFeed(std::vector<ParkedRecord>& records, std::uint32_t count);

// The static sets start anew: they take over the callsigns and hexids of the live traffic the
// active source handed on since its index was reset, and the source's index stops collecting.
void gf_clearStaticSets();
