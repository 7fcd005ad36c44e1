#include "parking/stand_search.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

#include "appbase/gui.h"
#include "config/parameter_snapshot.h"
#include "config/random.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/traffic_handover.h"
#include "liveries/ac_stands.h"
#include "simlink/facility_helpers.h"
#include "simlink/stand_table.h"
#include "traffic/engine_state.h"

std::vector<StandSearchHit> g_standSearchHits;
StandFileScores g_parkAirportQf;
std::vector<LiveStayer> g_liveStayers;
std::unordered_set<std::string> g_staticCallsigns;
std::unordered_set<std::uint32_t> g_staticHexids;

namespace {

// Successive searches of the stands start at alternate ends of the table, so that of equal
// candidates not always the same is found first.
bool g_searchForward = true;

// Room the candidate list takes at first; it grows when more qualify.
constexpr std::size_t kCandidateRoom = 256;

// The clock is read once every so many stands, records or static aircraft, not for each.
constexpr std::uint32_t kUnitsPerClockLook = 8;

// How a sub-step of one offset ended: the target reached, run through, or the slice's time spent.
enum class Outcome { reached, ended, paused };

// The time a slice may take; without a clock it never runs out.
class SliceBudget {
 public:
  SliceBudget() = default;
  SliceBudget(const std::function<std::int64_t()>& clock, std::int64_t nanos)
      : clock_(&clock), deadline_(clock() + nanos) {}
  // Before each stand, record or static aircraft. Every slice does a few at least.
  bool spent() {
    if (!clock_ || ++units_ % kUnitsPerClockLook != 0) return false;
    return (*clock_)() >= deadline_;
  }

 private:
  const std::function<std::int64_t()>* clock_ = nullptr;
  std::int64_t deadline_ = 0;
  std::uint32_t units_ = 0;
};

// What one offset's search reads of the settings, taken once.
struct SearchContext {
  WeekTime now;     // the current weekday and slot
  WeekTime search;  // the weekday and slot searched
  std::uint32_t offset = 0;  // half-hours between the two
  bool day = true;
  bool real = true;
  bool helicopters = true;
  bool random = true;
  std::array<bool, 7> included{};  // by AcCategory
};

bool lf_matches(std::string_view a, std::string_view b) { return !a.empty() && a == b; }

bool lf_isStaticCallsign(std::string_view name) {
  if (name.empty()) return false;
  std::string key(name);
  if (g_staticCallsigns.contains(key)) return true;
  key += '_';
  return g_staticCallsigns.contains(key);
}

std::size_t lf_takenStands() {
  return static_cast<std::size_t>(
      std::count_if(g_stands.begin(), g_stands.end(), [](const Stand& stand) { return stand.taken != 0; }));
}

// Whether the aircraft of the chosen option still stands here in the half-hour after now: then
// its first callsign is the one it flies out under.
bool lf_useName1(const Stand& stand, const StandOption& chosen, WeekTime now) {
  return chosen.name2.empty() || gf_optionHoldsNextHalfHour(stand, chosen, now);
}

// Fisher-Yates with the thread's random engine.
void lf_shuffle(std::vector<std::size_t>& values) {
  for (std::size_t i = values.size() - 1; i > 0; --i)
    std::swap(values[i], values[static_cast<std::size_t>(gf_random(i + 1))]);
}

// The stand's options that held it at the searched time, its first one whose aircraft is not in
// use made a hit. Done when the target is reached.
bool lf_searchStandOption(Stand& stand, const SearchContext& c, StandSearchCounts& counts, std::uint32_t needed) {
  if (stand.taken || stand.blocked || (stand.heli && !c.helicopters)) return false;
  // A hit on a stand the table cannot find again would take no stand and fill none.
  if (gf_standByNumber(g_stands, stand.id) != &stand || lf_isStandExcludedByOthers(stand.id)) return false;

  static std::vector<std::size_t> candidates;  // lf_main only; kept for its room
  candidates.clear();
  candidates.reserve(std::min(stand.options.size(), kCandidateRoom));
  const std::uint64_t bit = std::uint64_t{1} << c.search.slot;
  for (std::size_t i = 0; i < stand.options.size(); ++i) {
    const StandOption& option = stand.options[i];
    if (option.id == 0 || option.setAside || (option.real == 1) != c.real || (option.hours & bit) == 0) continue;
    if (c.day && option.day != c.search.day) continue;
    const auto category = static_cast<std::size_t>(gf_categoryOf(option.identity.modelId));
    if (category < c.included.size() && c.included[category]) candidates.push_back(i);
  }
  if (candidates.size() >= 2 && c.random) lf_shuffle(candidates);

  StandOption* chosen = nullptr;
  for (const std::size_t i : candidates) {
    StandOption& option = stand.options[i];
    if (!lf_isIdentityInUse(option.reg, option.name1, option.name2)) {
      chosen = &option;
      break;
    }
    // Its aircraft stands elsewhere in this plan or flies live: passed over, not forgotten.
    option.setAside = 1;
  }
  if (!chosen) return false;
  g_standSearchHits.push_back(StandSearchHit{0, 1, stand.id, c.offset, chosen->identity, chosen->name1,
                                             chosen->name2, chosen->reg, lf_useName1(stand, *chosen, c.now)});
  ++counts.file;
  return gf_occupyStand(stand.id, needed);
}

std::string_view lf_passName(bool day, bool real) {
  if (real) return day ? "real" : "real/week";
  return day ? "soft" : "soft/week";
}

}  // namespace

void gf_clearStandSearchHits() { g_standSearchHits.clear(); }

bool gf_sameIdentity(const DbaseEntry& a, const DbaseEntry& b) {
  return a.airlineId == b.airlineId && a.operatorId == b.operatorId && a.modelId == b.modelId && a.cargo == b.cargo;
}

bool gf_optionHoldsNextHalfHour(const Stand& stand, const StandOption& option, WeekTime now) {
  const std::uint32_t next = now.slot + 1;
  if (next < SLOTS_PER_DAY) return ((option.hours >> next) & 1) != 0;
  const std::uint32_t nextDay = now.day >= 7 ? 1 : now.day + 1;
  return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& other) {
    return other.id != 0 && other.day == nextDay && gf_sameIdentity(other.identity, option.identity) &&
           (other.hours & 1) != 0;
  });
}

StaticAc* gf_staticPlacedFor(std::uint32_t hexid) {
  for (StaticAc& aircraft : g_staticAcs)
    if (aircraft.simState != SimStatus::removingfromsim && aircraft.hitFlag == 0 && aircraft.hitKind == hexid)
      return &aircraft;
  return nullptr;
}

bool lf_isStandExcludedByOthers(std::uint32_t standId) {
  const auto excludes = [standId](std::uint32_t other) {
    return other != standId && gf_isSameOrAdjacentStand(other, standId);
  };
  for (const StaticAc& aircraft : g_staticAcs)
    if (aircraft.simState != SimStatus::removingfromsim && excludes(static_cast<std::uint32_t>(aircraft.standId)))
      return true;
  return std::any_of(g_liveStayers.begin(), g_liveStayers.end(),
                     [&](const LiveStayer& stayer) { return excludes(stayer.standId); }) ||
         std::any_of(g_standSearchHits.begin(), g_standSearchHits.end(),
                     [&](const StandSearchHit& hit) { return excludes(hit.standId); });
}

bool lf_isIdentityInUse(std::string_view reg, std::string_view name1, std::string_view name2) {
  for (const StandSearchHit& hit : g_standSearchHits)
    if (lf_matches(reg, hit.reg) || lf_matches(name1, hit.name1) || lf_matches(name2, hit.name2)) return true;
  if (lf_isStaticCallsign(name1) || lf_isStaticCallsign(name2)) return true;
  for (const LiveAc& aircraft : g_liveAcs)
    if (lf_matches(reg, aircraft.registration)) return true;
  for (const LiveStayer& stayer : g_liveStayers)
    if (lf_matches(name1, stayer.callsign) || lf_matches(name2, stayer.callsign) ||
        lf_matches(reg, stayer.registration))
      return true;
  for (const StaticAc& aircraft : g_staticAcs) {
    if (aircraft.simState != SimStatus::active || !aircraft.keepFlag) continue;
    for (const std::string_view name : {name1, name2})
      if (lf_matches(name, aircraft.name1) || lf_matches(name, aircraft.name2)) return true;
    if (lf_matches(reg, aircraft.registration)) return true;
  }
  return false;
}

std::optional<ParkedPlacement> gf_placeParkedRecord(const ParkedRecord& record) {
  const std::string& callsign = record.callsign;
  const std::string& registration = record.registration;
  if (lf_isIdentityInUse(registration, callsign, callsign) || lf_isStaticCallsign(callsign)) return std::nullopt;
  const std::string underscored = callsign + '_';
  for (const LiveAc& aircraft : g_liveAcs)
    if (lf_matches(callsign, aircraft.callsign) || lf_matches(underscored, aircraft.callsign) ||
        lf_matches(registration, aircraft.registration))
      return std::nullopt;

  FeedRecordHead head = record;
  if (head.airlineId == 0 || head.airlineId >= gf_airlineNameCount())
    if (!head.setAirlineFromCallsign()) head.airlineId = gf_internAirlineName("PVT");
  ParkedPlacement placement{AcIdentity(std::move(head)), 0};
  placement.standId = gf_findStandByNameNear(g_stands, record.standName, record.lalo);
  if (placement.standId == 0) {
    double metres = 0.0;
    if (const Stand* nearest = gf_nearestStand(g_stands, record.lalo, placement.aircraft, metres, false))
      placement.standId = nearest->id;
  }
  const Stand* stand = gf_standByNumber(g_stands, placement.standId);
  if (!stand || stand->taken || stand->blocked) return std::nullopt;
  return placement;
}

namespace {

// The RealTraffic parked aircraft parked parkedSlots half-hours ago, from record next on.
Outcome lf_addParkedFrom(std::int32_t parkedSlots, StandSearchCounts& counts, std::uint32_t needed, std::size_t& next,
                         SliceBudget& budget) {
  Outcome outcome = Outcome::ended;
  gf_visitParkedRecords([&](const std::vector<ParkedRecord>& records) {
    for (; next < records.size(); ++next) {
      if (budget.spent()) {
        outcome = Outcome::paused;
        return;
      }
      const ParkedRecord& record = records[next];
      if (record.halfHourSlot != parkedSlots || record.callsign.empty()) continue;
      if (!gf_isCategoryIncluded(gf_categoryOf(record.modelId)) || g_staticHexids.contains(record.hexid)) continue;
      if (StaticAc* placed = gf_staticPlacedFor(record.hexid)) {
        const Stand* stand = gf_standByNumber(g_stands, placed->standId);
        if ((stand && stand->taken) || lf_isStandExcludedByOthers(static_cast<std::uint32_t>(placed->standId))) {
          outcome = Outcome::reached;
          return;
        }
        placed->keepFlag = true;
        ++counts.stay;
        if (gf_occupyStand(placed->standId, needed)) {
          outcome = Outcome::reached;
          return;
        }
        continue;
      }
      const std::optional<ParkedPlacement> placement = gf_placeParkedRecord(record);
      if (!placement) continue;
      g_standSearchHits.push_back(StandSearchHit{record.hexid, 0, placement->standId,
                                                 static_cast<std::uint32_t>(record.halfHourSlot),
                                                 placement->aircraft.identity(), record.callsign, "",
                                                 record.registration, true});
      ++counts.parked;
      if (gf_occupyStand(placement->standId, needed)) {
        outcome = Outcome::reached;
        return;
      }
    }
  });
  return outcome;
}

// Static aircraft that may stay, from g_staticAcs[next] on.
Outcome lf_keepStaticFrom(WeekTime weekTime, std::uint32_t offset, bool week, StandSearchCounts& counts,
                          std::uint32_t needed, std::size_t& next, SliceBudget& budget) {
  for (; next < g_staticAcs.size(); ++next) {
    if (budget.spent()) return Outcome::paused;
    StaticAc& aircraft = g_staticAcs[next];
    if (aircraft.simState != SimStatus::active || !gf_isCategoryIncluded(aircraft.category)) continue;
    if (aircraft.hitFlag == 0 || aircraft.keepFlag) continue;
    const Stand* stand = gf_standByNumber(g_stands, aircraft.standId);
    if (!stand || stand->taken) continue;
    if (lf_isStandExcludedByOthers(stand->id)) return Outcome::ended;
    if (lf_isIdentityInUse(aircraft.registration, aircraft.callsign, aircraft.callsign) ||
        !gf_standOptionUsedRecently(weekTime, offset, week, aircraft.standId, aircraft.registration,
                                    aircraft.identity()))
      continue;
    aircraft.keepFlag = true;
    ++counts.stay;
    if (gf_occupyStand(aircraft.standId, needed)) return Outcome::reached;
  }
  return Outcome::ended;
}

// The settings and searched time of one offset's stand options; each offset turns the direction.
// False for a week time the clock could not give: it searches nothing.
bool lf_openOffset(SearchContext& c, bool& forward, WeekTime weekTime, std::uint32_t offset, bool day, bool real) {
  c = SearchContext{};
  c.now = weekTime;
  c.search = weekTime;
  c.offset = offset;
  if (offset > weekTime.slot) {
    c.search.slot = weekTime.slot + SLOTS_PER_DAY - offset;
    c.search.day = weekTime.day <= 1 ? 7 : weekTime.day - 1;
  } else {
    c.search.slot = weekTime.slot - offset;
  }
  forward = std::exchange(g_searchForward, !g_searchForward);
  if (c.search.slot >= SLOTS_PER_DAY || weekTime.slot >= SLOTS_PER_DAY) return false;
  const auto snapshot = g_parameterSnapshot.load();
  c.day = day;
  c.real = real;
  c.helicopters = snapshot->helicopters;
  c.random = snapshot->random;
  for (std::size_t i = 0; i < c.included.size(); ++i) c.included[i] = gf_isCategoryIncluded(static_cast<AcCategory>(i));
  return true;
}

// The stand options of one offset from the next'th stand on (counted from the search's end). Only
// the position is kept between slices: a stand taken or blocked meanwhile is passed over.
Outcome lf_searchStandsFrom(const SearchContext& c, bool forward, StandSearchCounts& counts, std::uint32_t needed,
                            std::size_t& next, SliceBudget& budget) {
  try {
    for (; next < g_stands.size(); ++next) {
      if (budget.spent()) return Outcome::paused;
      Stand& stand = g_stands[forward ? next : g_stands.size() - 1 - next];
      if (lf_searchStandOption(stand, c, counts, needed)) return Outcome::reached;
    }
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{}: day: {}, offset {}: {}", "lf_searchStands", c.search.day, c.offset, e.what()));
  }
  return Outcome::ended;
}

enum class Phase { parked, statics, stands };

// Where one pass stands: its offset, the sub-step within it and the position within that.
struct PassRun {
  WeekTime weekTime;
  bool day = true;
  bool real = true;
  std::uint32_t needed = 0;
  bool autoPark = false;
  std::uint32_t maxFit = 0;
  std::uint32_t last = 0;  // the last offset searched
  std::uint32_t offset = 0;
  Phase phase = Phase::parked;
  std::int32_t parkedSlots = 0;
  std::size_t next = 0;
  bool opened = false;  // the stands sub-step's context is set
  bool forward = true;
  SearchContext context;
  StandSearchCounts counts;
};

void lf_enterOffset(PassRun& p, std::uint32_t offset) {
  p.offset = offset;
  p.next = 0;
  p.opened = false;
  // RealTraffic parked aircraft only in the first pass: up to 3 half-hours ago counts as now.
  const bool parked = p.day && p.real && (offset == 0 || offset >= 4);
  p.phase = parked ? Phase::parked : Phase::statics;
  p.parkedSlots = static_cast<std::int32_t>(offset);
}

PassRun lf_openPass(WeekTime weekTime, bool day, bool real, std::uint32_t needed) {
  PassRun p;
  p.weekTime = weekTime;
  p.day = day;
  p.real = real;
  p.needed = needed;
  const auto snapshot = g_parameterSnapshot.load();
  p.autoPark = snapshot->autoPark;
  p.maxFit = std::min<std::uint32_t>(snapshot->maxFit, SLOTS_PER_DAY - 1);
  p.last = p.autoPark ? SLOTS_PER_DAY - 1 : p.maxFit;
  lf_enterOffset(p, 0);
  return p;
}

// Runs the pass on until it is over (reached: the target was) or the slice's time is spent.
Outcome lf_advancePass(PassRun& p, SliceBudget& budget) {
  while (p.offset <= p.last) {
    Outcome outcome = Outcome::ended;
    switch (p.phase) {
      case Phase::parked:
        outcome = lf_addParkedFrom(p.parkedSlots, p.counts, p.needed, p.next, budget);
        break;
      case Phase::statics:
        outcome = lf_keepStaticFrom(p.weekTime, p.offset, !p.day, p.counts, p.needed, p.next, budget);
        break;
      case Phase::stands:
        if (!p.opened) {
          p.opened = true;
          if (!lf_openOffset(p.context, p.forward, p.weekTime, p.offset, p.day, p.real)) break;
        }
        outcome = lf_searchStandsFrom(p.context, p.forward, p.counts, p.needed, p.next, budget);
        break;
    }
    if (outcome != Outcome::ended) return outcome;
    p.next = 0;
    if (p.phase == Phase::parked && p.offset == 0 && p.parkedSlots < 3)
      ++p.parkedSlots;
    else if (p.phase == Phase::parked)
      p.phase = Phase::statics;
    else if (p.phase == Phase::statics)
      p.phase = Phase::stands;
    else
      lf_enterOffset(p, p.offset + 1);
  }
  return Outcome::ended;
}

void lf_logPass(const PassRun& p) {
  const StandSearchCounts& counts = p.counts;
  gf_log(fmt::format("\nResults for {} search (total needed: {}):", lf_passName(p.day, p.real), p.needed));
  if (counts.parked > 0) gf_log(fmt::format("{} RT park position{}", counts.parked, gf_pluralS(counts.parked)));
  if (counts.stay > 0)
    gf_log(fmt::format("{} live and/or static aircraft may stay (compliant with airport file info)", counts.stay));
  if (counts.file > 0)
    gf_log(fmt::format("{} airport file position{} {}{}", counts.file, gf_pluralS(counts.file),
                       p.autoPark ? std::string("auto park")
                                  : fmt::format(", with Max fit={:.1F} hours", (p.maxFit + 1) * 0.5),
                       fmt::format(", day {}", p.weekTime.day)));
}

// The four passes by (day, real): "real", "real/week", "soft", "soft/week".
constexpr std::array<std::pair<bool, bool>, 4> kPasses{{{true, true}, {false, true}, {true, false}, {false, false}}};

struct SearchRun {
  WeekTime weekTime;
  std::uint32_t needed = 0;
  std::shared_ptr<const ParameterSnapshot> settings;
  std::size_t pass = 0;  // the open one, or the next to weigh
  std::optional<PassRun> open;
};

SearchRun lf_newRun(WeekTime weekTime, std::uint32_t needed) {
  Gui::hideStaticFit(false);
  return SearchRun{weekTime, needed, g_parameterSnapshot.load(), 0, std::nullopt};
}

// After the first pass each runs only while stands are still wanted and the settings ask for it;
// the soft ones only for a stand file with soft options.
bool lf_passWanted(const SearchRun& run, std::size_t pass) {
  if (run.needed == 0) return false;
  if (pass == 0) return true;
  if (run.needed <= lf_takenStands()) return false;
  const ParameterSnapshot& s = *run.settings;
  if (pass == 1) return s.autoPark || s.week;
  if (g_parkAirportQf.soft <= 0) return false;
  return pass == 2 ? s.autoPark || s.parkSoft : s.autoPark || (s.parkSoft && s.week);
}

// True once the search is over.
bool lf_advanceRun(SearchRun& run, SliceBudget& budget) {
  while (run.pass < kPasses.size()) {
    if (!run.open) {
      if (!lf_passWanted(run, run.pass)) {
        ++run.pass;
        continue;
      }
      run.open = lf_openPass(run.weekTime, kPasses[run.pass].first, kPasses[run.pass].second, run.needed);
    }
    if (lf_advancePass(*run.open, budget) == Outcome::paused) return false;
    lf_logPass(*run.open);
    run.open.reset();
    if (run.pass == 1) Gui::hideStaticFit(true);
    ++run.pass;
  }
  return true;
}

// The search the worker's ticks run in slices.
std::optional<SearchRun> g_searchRun;

}  // namespace

bool lf_addParkedForOffset(std::int32_t parkedSlots, StandSearchCounts& counts, std::uint32_t needed) {
  std::size_t next = 0;
  SliceBudget unlimited;
  return lf_addParkedFrom(parkedSlots, counts, needed, next, unlimited) == Outcome::reached;
}

bool lf_keepStaticAtOffset(WeekTime weekTime, std::uint32_t offset, bool week, StandSearchCounts& counts,
                           std::uint32_t needed) {
  std::size_t next = 0;
  SliceBudget unlimited;
  return lf_keepStaticFrom(weekTime, offset, week, counts, needed, next, unlimited) == Outcome::reached;
}

bool lf_searchStands(WeekTime weekTime, std::uint32_t offset, bool day, bool real, StandSearchCounts& counts,
                     std::uint32_t needed) {
  SearchContext c;
  bool forward = true;
  if (!lf_openOffset(c, forward, weekTime, offset, day, real)) return false;
  std::size_t next = 0;
  SliceBudget unlimited;
  return lf_searchStandsFrom(c, forward, counts, needed, next, unlimited) == Outcome::reached;
}

bool lf_searchPass(WeekTime weekTime, bool day, bool real, std::uint32_t needed) {
  if (needed == 0) return true;
  PassRun pass = lf_openPass(weekTime, day, real, needed);
  SliceBudget unlimited;
  const bool done = lf_advancePass(pass, unlimited) == Outcome::reached;
  lf_logPass(pass);
  return done;
}

void lf_runStandSearch(WeekTime weekTime, std::uint32_t needed) {
  SearchRun run = lf_newRun(weekTime, needed);
  SliceBudget unlimited;
  lf_advanceRun(run, unlimited);
}

void gf_startStandSearch(WeekTime weekTime, std::uint32_t needed) { g_searchRun = lf_newRun(weekTime, needed); }

bool gf_stepStandSearch(const std::function<std::int64_t()>& clock, std::int64_t budgetNanos) {
  if (!g_searchRun) return false;
  SliceBudget budget(clock, budgetNanos);
  try {
    if (!lf_advanceRun(*g_searchRun, budget)) return true;
  } catch (const std::exception& e) {
    // What was found so far is still a plan; a search that failed once would fail at every slice.
    gf_logWarning(fmt::format("{}: {}", "gf_stepStandSearch", e.what()));
  }
  g_searchRun.reset();
  return false;
}

bool gf_standSearchRunning() { return g_searchRun.has_value(); }

void gf_cancelStandSearch() { g_searchRun.reset(); }

void gf_renumberStandOptions(std::span<Stand> stands) {
  for (Stand& stand : stands) {
    std::uint32_t number = 0;
    for (StandOption& option : stand.options) {
      option.setAside = 0;
      if (option.id != 0) option.id = ++number;
    }
  }
}

void gf_resetStandSearch() {
  g_standSearchHits.clear();
  g_liveStayers.clear();
  g_staticCallsigns.clear();
  g_staticHexids.clear();
  g_parkAirportQf = StandFileScores{};
  g_searchForward = true;
  g_searchRun.reset();
}
