#pragma once
// When aircraft use a stand: the day's 48 half-hour slots (UTC) as a 48-bit set, its text form
// in stand files ("hh"), the stand options learned from RealTraffic aircraft seen parked, the
// match of a parked aircraft to such an option, and the quality scores of a stand set.
//
// Both the traffic engine and the parking code use it, on lf_main only (the scores also on the
// thread that reads a stand file, on a table not yet shared). The aircraft comes in as the few
// fields read of it (OptionAircraft); the engine's record hands them over.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/utc_time.h"
#include "refdata/model_ids.h"
#include "simlink/facility_stand.h"

inline constexpr std::uint32_t SLOTS_PER_DAY = 48;

// Learned option updates, shown in the main window (gui::SetParkingUpdateCount). Worker only.
extern std::uint32_t g_standOptionUpdates;

// ---- Hour-range text ----
// "17", "14:20" (both ends included) or "3, 5, 9". Never throws: a bad piece of a list is
// skipped, a bad range gives the empty set, each with a warning.
std::uint64_t gf_hours2bitset(std::string_view text);
// The text of a set that is one run of slots ("7", "0:47"); none for an empty or gapped set.
std::optional<std::string> gf_bitset2hours(std::uint64_t set);

// The n slots that end with the week time's own: s, s - 1, ..., wrapping from 0 to 47 of the
// day before. At most 48.
std::vector<std::uint32_t> gf_previousHalfHourSlots(WeekTime time, std::uint32_t n);

// ---- Options of one stand ----
struct OptionAdded {
  std::uint32_t id = 0;  // the new option's, or the existing one's
  bool added = false;
};
// Appends a learned option of the kind (1 = real) holding the slot, unless one of the same
// registration (a trailing '_' dropped), weekday and identity is there already. A slot of 48
// or more throws std::out_of_range "invalid bitset position".
OptionAdded gf_findOrAddStandOption(std::vector<StandOption>& options, const DbaseEntry& key, std::uint32_t weekday,
                                    std::uint32_t slot, std::string_view registration, std::uint32_t kind);
// The callsign, without a trailing '_', as the option's first name, or as its second when it
// differs from the first.
void gf_addStandOptionName(std::vector<StandOption>& options, std::uint32_t id, std::string_view callsign);
// Sets the slots in the option numbered id, oldest (the back of the list) first. False when
// there is no such option or a slot is 48 or more (logged).
bool updateOptions(std::vector<StandOption>& options, std::span<const std::uint32_t> slots, std::uint32_t id);
// The same across midnight, for a list that runs back from today's slot: option first takes the
// slots of the day before (from 47 on), option second the rest except the list's first (the
// current slot, which it holds already).
bool updateOptionsWrapped(std::vector<StandOption>& options, std::span<const std::uint32_t> slots,
                          std::uint32_t first, std::uint32_t second);
// Whether a real option names the callsign or carries the identity (airline, operator, model
// and cargo flag).
bool gf_standOptionsMatch(std::span<const StandOption> options, std::string_view callsign, const DbaseEntry& key);

// ---- Real options learned from live aircraft ----
// What the learning reads of an aircraft; the identity may be corrected from the registration.
struct OptionAircraft {
  DbaseEntry identity;
  AcCategory category = AcCategory::large;
  std::string_view callsign;
  std::string_view registration;
};

// The last slot a learned option was set for, and the option a stay across midnight went on in.
struct OptionUse {
  WeekTime time;
  std::uint32_t wrappedOption = 0;
};

// Fills the slots between option n's last use and now, when the gap is below the aircraft's
// limit (6 half-hours, 8 for heavies, 12 for an identity with the cargo byte set). Across midnight
// the slots of today go into a second option for today.
bool gf_extendRealStandOption(WeekTime now, Stand& stand, std::uint32_t n, OptionUse& last,
                              const OptionAircraft& aircraft, std::string_view registration, bool cpl);

// Records that the aircraft stands on stand number standNumber now; kinds 2 and 3 mark the
// option cpl. Never throws: a failure is logged.
void gf_addRealStandOption(std::span<Stand> stands, std::int32_t standNumber, OptionAircraft& aircraft,
                           std::uint32_t kind, WeekTime now);

// The two callsigns of the first real option that a parked aircraft matches: today, its airline,
// a second name, near the current slot, and one of the names is the aircraft's callsign. Never
// throws.
std::optional<std::pair<std::string, std::string>> gf_matchRealStandOption(std::span<const Stand> stands,
                                                                            WeekTime now,
                                                                            const OptionAircraft& aircraft);

// ---- Quality of a stand set ----
// 0..100 each; both -1 when no stand has an option.
struct StandFileScores {
  std::int32_t real = -1;
  std::int32_t soft = -1;
  friend bool operator==(const StandFileScores&, const StandFileScores&) = default;
};
StandFileScores gf_standFileScores(std::span<const Stand> stands);

// g_stands and its name index emptied, the update count back to 0 (the engine reset, tests).
void gf_resetStandTables();
