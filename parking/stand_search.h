#pragma once
// The stand search by day and week: which stands of the park airport get a parked aircraft, and
// which aircraft. It walks back from now in half-hour steps and at each step places the
// RealTraffic parked aircraft parked that long ago, lets static aircraft the file still shows
// there stay, and takes the stand file's options that held a stand then; each answer becomes a
// StandSearchHit and takes its stand, until the target is reached. Up to four passes: "real"
// (observed options of the weekday), "real/week" (of any weekday), "soft" and "soft/week".
//
// lf_main only. The RealTraffic parked records are read under the active feed's own mutex.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/utc_time.h"
#include "feed/traffic_records.h"
#include "liveries/ac_identity.h"
#include "refdata/model_ids.h"
#include "simlink/facility_stand.h"
#include "simlink/stand_slots.h"
#include "traffic/static_ac.h"

struct StandSearchHit {
  std::uint32_t kind = 0;  // 0 from the stand file; a RealTraffic parked aircraft's hexid
  std::uint32_t flag = 0;  // 1 from the stand file, 0 a RealTraffic parked aircraft
  std::uint32_t standId = 0;
  std::uint32_t slotOffset = 0;  // half-hours before now that the aircraft stood there
  DbaseEntry identity;
  std::string name1;
  std::string name2;
  std::string reg;
  bool useName1 = true;  // the static aircraft takes name1 as its callsign, else name2
};

// Filled by the search and the parked-traffic hand-over, sorted and used up by the placement.
extern std::vector<StandSearchHit> g_standSearchHits;
// Every hit destroyed; the room stays.
void gf_clearStandSearchHits();

// The park airport's stand-file quality pair (Qf_real, Qf_soft), set when the file is installed.
extern StandFileScores g_parkAirportQf;

// A live aircraft parked at the park airport that the current plan keeps (the parking
// adjustment fills the list).
struct LiveStayer {
  std::string callsign;
  std::string registration;
  std::uint32_t standId = 0;
  std::int32_t minutesParked = 0;  // 0 while it is still reported at its stand
};
extern std::vector<LiveStayer> g_liveStayers;

// The live traffic the feed reported while the park airport was set up (taken over from the
// feed's index when a population or adjustment starts), and the callsigns given to static
// aircraft: aircraft the static side must not double.
extern std::unordered_set<std::string> g_staticCallsigns;
extern std::unordered_set<std::uint32_t> g_staticHexids;

// Counts of one pass, for its result lines.
struct StandSearchCounts {
  std::uint32_t parked = 0;  // RealTraffic park positions
  std::uint32_t stay = 0;    // static aircraft that may stay
  std::uint32_t file = 0;    // airport-file positions
};

// All passes for needed stands at weekTime (the current weekday and slot), in one go.
void lf_runStandSearch(WeekTime weekTime, std::uint32_t needed);

// The same search in slices, so that the worker's tick never holds it all: started, then stepped
// a few milliseconds at a time. Between slices the engine runs; a stand taken or blocked
// meanwhile is passed over, and only positions in the tables are kept. Hits and log lines are
// those of the search in one go. A new start replaces a search in flight.
void gf_startStandSearch(WeekTime weekTime, std::uint32_t needed);
// One slice: until done or budgetNanos of clock are spent (read every few stands). True while
// the search still runs.
bool gf_stepStandSearch(const std::function<std::int64_t()>& clock, std::int64_t budgetNanos);
bool gf_standSearchRunning();
// Its hits so far stay in g_standSearchHits for the caller to clear.
void gf_cancelStandSearch();
// One pass: day = the search weekday only (else any weekday), real = observed options (else
// soft ones). Whether the target was reached.
bool lf_searchPass(WeekTime weekTime, bool day, bool real, std::uint32_t needed);
// The stand file's options for one offset over all stands, alternately from either end.
bool lf_searchStands(WeekTime weekTime, std::uint32_t offset, bool day, bool real, StandSearchCounts& counts,
                     std::uint32_t needed);
// The RealTraffic parked aircraft parked exactly parkedSlots half-hours ago.
bool lf_addParkedForOffset(std::int32_t parkedSlots, StandSearchCounts& counts, std::uint32_t needed);
// Static aircraft on their stands that the stand file shows there within offset half-hours stay.
bool lf_keepStaticAtOffset(WeekTime weekTime, std::uint32_t offset, bool week, StandSearchCounts& counts,
                           std::uint32_t needed);

// Whether the aircraft is placed or kept already (empty names never match).
bool lf_isIdentityInUse(std::string_view reg, std::string_view name1, std::string_view name2);
// Whether another stand that excludes this one is held by a static aircraft not being removed, a
// live stayer or a hit.
bool lf_isStandExcludedByOthers(std::uint32_t standId);

// A RealTraffic parked aircraft placed as the parked-traffic hand-over places it: skipped when
// its aircraft is in use, among the live traffic or flying live; its airline from the callsign
// (else "PVT") when the record has none; its stand by the reported name, else the nearest that
// fits. The stand must be neither taken nor blocked.
struct ParkedPlacement {
  AcIdentity aircraft;
  std::uint32_t standId = 0;
};
std::optional<ParkedPlacement> gf_placeParkedRecord(const ParkedRecord& record);

// Same airline, operator, type and cargo flag: the entry but its mark byte.
bool gf_sameIdentity(const DbaseEntry& a, const DbaseEntry& b);
// Whether the option's aircraft still stands on the stand in the half-hour after now (across
// midnight: an option of the next weekday for the same identity holds slot 0).
bool gf_optionHoldsNextHalfHour(const Stand& stand, const StandOption& option, WeekTime now);
// The static aircraft placed for a RealTraffic parked aircraft, unless its removal is queued.
StaticAc* gf_staticPlacedFor(std::uint32_t hexid);

// The parking adjustment's renumbering: every stand's live options numbered 1, 2, ... in vector
// order and the search's set-aside marks cleared. Dead options keep id 0.
void gf_renumberStandOptions(std::span<Stand> stands);

// The search's state as at program start: no hits, stayers or static sets, no quality pair, the
// direction toggle back to its start, no search in flight.
void gf_resetStandSearch();
