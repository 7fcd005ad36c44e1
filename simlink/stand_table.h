#pragma once
// What the traffic engine and the parking code both do with the park airport's stand table
// g_stands: its index by name, its positions published for other threads, occupying a stand for
// a parked aircraft, the overlap test, and whether an aircraft stood on a stand lately. lf_main
// only, except g_standPositions, which any thread reads.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/atomic_shared_ptr.h"
#include "core/geodesy.h"
#include "core/utc_time.h"
#include "refdata/model_ids.h"
#include "simlink/facility_stand.h"

// Stand name -> stand number in g_stands; rebuilt whenever g_stands is replaced.
using StandsByName = std::unordered_map<std::string, std::uint32_t, Fnv1aHash, std::equal_to<>>;
extern StandsByName g_standsByName;
void gf_rebuildStandsByName();

struct StandPosition {
  std::string name;
  Lalo position;
};
using StandPositions = std::vector<StandPosition>;
// One entry per stand of g_stands, in table order; never null (empty before the first publication).
extern AtomicSharedPtr<const StandPositions> g_standPositions;
// The names and positions of g_stands as the new snapshot.
void gf_publishStandPositions();

// Whether stand b is stand a or one that a's use excludes; false for a stand number a that
// g_stands does not hold.
bool gf_isSameOrAdjacentStand(std::int64_t a, std::int64_t b);
// Marks stand id taken and blocks the stands it excludes. False for an invalid id or a stand
// already taken; otherwise whether the taken stands now number target or more.
bool gf_occupyStand(std::int64_t id, std::int64_t target);
// Whether an option of the stand for this registration and airline and type (the current day's
// only, or any day's when anyWeekday) holds a slot from the current one back n slots, not before
// slot 0 of the day.
bool gf_standOptionUsedRecently(WeekTime weekTime, std::uint32_t n, bool anyWeekday, std::int64_t standId,
                                std::string_view registration, const DbaseEntry& key);
