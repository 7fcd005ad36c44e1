#include "simlink/stand_slots.h"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "appbase/gui.h"
#include "core/log.h"
#include "core/text.h"
#include "refdata/registration.h"
#include "simlink/stand_table.h"

std::uint32_t g_standOptionUpdates = 0;

namespace {

constexpr std::uint64_t kAllSlots = (std::uint64_t{1} << SLOTS_PER_DAY) - 1;

std::uint64_t lf_slotBit(std::uint32_t slot) {
  if (slot >= SLOTS_PER_DAY) throw std::out_of_range("invalid bitset position");
  return std::uint64_t{1} << slot;
}

// Slots lo..hi, both included; empty when lo > hi.
std::uint64_t lf_slotRun(std::uint32_t lo, std::uint32_t hi) {
  if (lo > hi || hi >= SLOTS_PER_DAY) return 0;
  return (kAllSlots >> (SLOTS_PER_DAY - 1 - hi)) & ~((std::uint64_t{1} << lo) - 1);
}

std::string_view lf_withoutTrailingUnderscore(std::string_view text) {
  if (!text.empty() && text.back() == '_') text.remove_suffix(1);
  return text;
}

// Airline, operator, model and cargo flag: the entry's mark byte says only where it came from.
bool lf_sameKey(const DbaseEntry& a, const DbaseEntry& b) {
  return a.airlineId == b.airlineId && a.operatorId == b.operatorId && a.modelId == b.modelId && a.cargo == b.cargo;
}

StandOption* lf_optionNumbered(std::vector<StandOption>& options, std::uint32_t id) {
  if (id == 0) return nullptr;
  for (StandOption& option : options)
    if (option.id == id) return &option;
  return nullptr;
}

// One slot of hour-range text: an optional '-', at least one digit; what follows the digits
// is ignored ("12h" is 12).
std::optional<std::uint32_t> lf_readSlot(std::string_view piece, std::string_view wholeText) {
  const std::string trimmed = gf_trim(piece);
  std::size_t at = 0;
  const bool negative = !trimmed.empty() && trimmed[0] == '-';
  if (negative) ++at;
  std::uint64_t value = 0;
  std::size_t digits = 0;
  bool overflow = false;
  for (; at < trimmed.size() && trimmed[at] >= '0' && trimmed[at] <= '9'; ++at, ++digits) {
    value = value * 10 + static_cast<std::uint64_t>(trimmed[at] - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) {
      overflow = true;
      value = 0;
    }
  }
  if (digits > 0 && !overflow && (value == 0 || !negative) && value < SLOTS_PER_DAY)
    return static_cast<std::uint32_t>(value);
  gf_logWarning(fmt::format("{} invalid hour '{}' in {}", "operator ()", trimmed, wholeText));
  return std::nullopt;
}

std::vector<std::string_view> lf_splitKeepingEmpty(std::string_view text, char delimiter) {
  std::vector<std::string_view> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(delimiter, start);
    pieces.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

// The limit in half-hours below which a stay's gap is bridged.
std::int64_t lf_gapLimit(const OptionAircraft& aircraft) {
  if (aircraft.identity.cargo != 0) return 12;  // byte 6 of the identity: freighters stay longer
  return aircraft.category == AcCategory::heavy ? 8 : 6;
}

// Appends a learned option for the aircraft now, named after its callsign.
OptionAdded lf_addLearnedOption(Stand& stand, const OptionAircraft& aircraft, WeekTime now,
                                std::string_view registration, bool cpl) {
  const OptionAdded result =
      gf_findOrAddStandOption(stand.options, aircraft.identity, now.day, now.slot, registration, 1);
  if (result.added) {
    gf_addStandOptionName(stand.options, result.id, aircraft.callsign);
    if (cpl) lf_optionNumbered(stand.options, result.id)->cpl = 1;
  }
  return result;
}

void lf_countOptionUpdate() {
  ++g_standOptionUpdates;
  Gui::enqueueUpdate(gui::SetParkingUpdateCount{g_standOptionUpdates});
}

void lf_setCpl(Stand& stand, std::uint32_t id, bool cpl) {
  if (!cpl) return;
  if (StandOption* option = lf_optionNumbered(stand.options, id)) option->cpl = 1;
}

// The first learned real option of the registration on the weekday.
StandOption* lf_learnedOption(Stand& stand, std::uint32_t day, std::string_view registration) {
  for (StandOption& option : stand.options)
    if (option.id != 0 && option.day == day && option.reg == registration && option.real == 1 && option.fromFile == 0)
      return &option;
  return nullptr;
}

void lf_addRealStandOption(std::span<Stand> stands, std::int32_t standNumber, OptionAircraft& aircraft,
                           std::uint32_t kind, WeekTime now) {
  const std::string_view registration = lf_withoutTrailingUnderscore(aircraft.registration);
  if (registration.empty()) return;
  if (now.day < 1 || now.day > 7) throw std::out_of_range(fmt::format("invalid weekday {}", now.day));
  const std::uint64_t bit = lf_slotBit(now.slot);
  const std::optional<DbaseEntry> entry = gf_lookupRegistration(registration);
  if (!entry) return;
  aircraft.identity = *entry;
  Stand* stand = gf_standByNumber(stands, standNumber);
  if (!stand) return;

  // A file option of this registration today that does not cover now says the stand is not
  // its usual one at this hour: nothing is learned.
  for (const StandOption& option : stand->options)
    if (option.id != 0 && option.day == now.day && option.reg == registration && option.real == 1 &&
        option.fromFile == 1 && (option.hours & bit) == 0)
      return;

  const bool cpl = kind == 2 || kind == 3;
  StandOption* learned = lf_learnedOption(*stand, now.day, registration);
  if (!learned) {
    // A stay that began before midnight continues yesterday's option.
    const WeekTime yesterday{now.day == 1 ? 7u : now.day - 1, 0};
    StandOption* previous = lf_learnedOption(*stand, yesterday.day, registration);
    if (previous && previous->hours != 0) {
      OptionUse last{{previous->day, static_cast<std::uint32_t>(std::bit_width(previous->hours) - 1)}, 0};
      if (gf_extendRealStandOption(now, *stand, previous->id, last, aircraft, registration, cpl)) {
        lf_countOptionUpdate();
        return;
      }
    }
    lf_addLearnedOption(*stand, aircraft, now, registration, cpl);
    return;
  }
  if (learned->cpl && (learned->hours & bit) == 0) {
    lf_addLearnedOption(*stand, aircraft, now, registration, cpl);
    return;
  }
  if (learned->hours & bit) {
    if (cpl) learned->cpl = 1;
    return;
  }
  if (learned->hours == 0) return;
  const std::uint32_t id = learned->id;
  OptionUse last{{learned->day, static_cast<std::uint32_t>(std::bit_width(learned->hours) - 1)}, 0};
  // The extension may append to the options: learned is not to be used after it.
  if (gf_extendRealStandOption(now, *stand, id, last, aircraft, registration, cpl)) {
    lf_countOptionUpdate();
  } else {
    lf_addLearnedOption(*stand, aircraft, now, registration, cpl);
  }
  lf_setCpl(*stand, id, cpl);
}

}  // namespace

std::uint64_t gf_hours2bitset(std::string_view text) {
  std::uint64_t set = 0;
  if (text.find(':') == std::string_view::npos) {
    for (const std::string_view piece : lf_splitKeepingEmpty(text, ','))
      if (const auto slot = lf_readSlot(piece, text)) set |= lf_slotBit(*slot);
    return set;
  }
  const std::vector<std::string_view> pieces = lf_splitKeepingEmpty(text, ':');
  if (pieces.size() > 2) {
    gf_logWarning(fmt::format("{} more than one colon char in: {}", "gf_hours2bitset", text));
    return 0;
  }
  std::vector<std::uint32_t> slots;
  bool invalid = false;
  for (const std::string_view piece : pieces) {
    if (const auto slot = lf_readSlot(piece, text))
      slots.push_back(*slot);
    else
      invalid = true;
  }
  if (invalid) return 0;
  if (slots.size() == 1) return lf_slotBit(slots[0]);
  if (slots.size() == 2) {
    if (slots[0] <= slots[1]) return lf_slotRun(slots[0], slots[1]);
    gf_logWarning(fmt::format("{} descending range not allowed ({}:{} in {})", "gf_hours2bitset", slots[0],
                              slots[1], text));
    return 0;
  }
  gf_logWarning(fmt::format("{} invalid range format in {}", "gf_hours2bitset", text));
  return 0;
}

std::optional<std::string> gf_bitset2hours(std::uint64_t set) {
  if (set == 0 || (set & ~kAllSlots) != 0) return std::nullopt;
  const int lo = std::countr_zero(set);
  const int hi = std::bit_width(set) - 1;
  if (std::popcount(set) != hi - lo + 1) return std::nullopt;
  return lo == hi ? fmt::format("{}", lo) : fmt::format("{}:{}", lo, hi);
}

std::vector<std::uint32_t> gf_previousHalfHourSlots(WeekTime time, std::uint32_t n) {
  std::vector<std::uint32_t> slots;
  slots.reserve(SLOTS_PER_DAY);
  std::uint32_t slot = time.slot;
  for (std::uint32_t i = 0; i < std::min(n, SLOTS_PER_DAY); ++i) {
    slots.push_back(slot);
    slot = slot == 0 ? SLOTS_PER_DAY - 1 : slot - 1;
  }
  return slots;
}

OptionAdded gf_findOrAddStandOption(std::vector<StandOption>& options, const DbaseEntry& key, std::uint32_t weekday,
                                    std::uint32_t slot, std::string_view registration, std::uint32_t kind) {
  const std::string_view reg = lf_withoutTrailingUnderscore(registration);
  const std::uint64_t bit = lf_slotBit(slot);
  for (const StandOption& option : options)
    if (option.id != 0 && option.reg == reg && option.day == weekday && lf_sameKey(option.identity, key))
      return OptionAdded{option.id, false};
  // Numbered after the count, as the stand file keeps them; past any higher number a merged
  // file may have left, so that numbers stay unique.
  std::uint32_t id = static_cast<std::uint32_t>(options.size());
  for (const StandOption& option : options) id = std::max(id, option.id);
  StandOption added;
  added.identity = key;
  added.reg = std::string(reg);
  added.hours = bit;
  added.id = id + 1;
  added.day = weekday;
  added.real = kind;
  options.push_back(std::move(added));
  Gui::redrawParkingBand();
  return OptionAdded{id + 1, true};
}

void gf_addStandOptionName(std::vector<StandOption>& options, std::uint32_t id, std::string_view callsign) {
  StandOption* option = lf_optionNumbered(options, id);
  const std::string_view name = lf_withoutTrailingUnderscore(callsign);
  if (!option || name.empty()) return;
  if (option->name1.empty())
    option->name1 = name;
  else if (option->name2.empty() && option->name1 != name)
    option->name2 = name;
}

bool updateOptions(std::vector<StandOption>& options, std::span<const std::uint32_t> slots, std::uint32_t id) {
  try {
    StandOption* option = lf_optionNumbered(options, id);
    if (!option) return false;
    std::uint64_t set = option->hours;
    for (auto slot = slots.rbegin(); slot != slots.rend(); ++slot) set |= lf_slotBit(*slot);
    option->hours = set;
    return true;
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{} exception:{}", "updateOptions", e.what()));
    return false;
  }
}

bool updateOptionsWrapped(std::vector<StandOption>& options, std::span<const std::uint32_t> slots,
                          std::uint32_t first, std::uint32_t second) {
  try {
    StandOption* earlier = lf_optionNumbered(options, first);
    StandOption* later = lf_optionNumbered(options, second);
    if (!earlier || !later) return false;
    std::uint64_t earlierSet = earlier->hours;
    std::uint64_t laterSet = later->hours;
    // The list runs back from today's slot; the day before begins at its 47, if it reaches it.
    std::size_t midnight = 0;
    while (midnight < slots.size() && slots[midnight] != SLOTS_PER_DAY - 1) ++midnight;
    for (std::size_t i = slots.size(); i-- > 0;) {
      if (i >= midnight)
        earlierSet |= lf_slotBit(slots[i]);
      else if (i > 0)
        laterSet |= lf_slotBit(slots[i]);
    }
    earlier->hours = earlierSet;
    later->hours = laterSet;
    return true;
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{} exception:{}", "updateOptionsWrapped", e.what()));
    return false;
  }
}

bool gf_standOptionsMatch(std::span<const StandOption> options, std::string_view callsign, const DbaseEntry& key) {
  for (const StandOption& option : options) {
    if (option.id == 0 || option.real != 1) continue;
    if ((!callsign.empty() && (option.name1 == callsign || option.name2 == callsign)) ||
        lf_sameKey(option.identity, key))
      return true;
  }
  return false;
}

bool gf_extendRealStandOption(WeekTime now, Stand& stand, std::uint32_t n, OptionUse& last,
                              const OptionAircraft& aircraft, std::string_view registration, bool cpl) {
  if (n == 0) return false;
  if (now == last.time) return true;
  std::int64_t gap = 48 * (static_cast<std::int64_t>(now.day) - last.time.day) - last.time.slot + now.slot;
  if (gap < 0) gap += 336;
  if (gap < 1 || gap >= lf_gapLimit(aircraft)) return false;
  const std::vector<std::uint32_t> slots = gf_previousHalfHourSlots(now, static_cast<std::uint32_t>(gap));
  if (now.day == last.time.day) {
    if (!updateOptions(stand.options, slots, n)) return false;
    gf_addStandOptionName(stand.options, n, aircraft.callsign);
    last.time = now;
    return true;
  }
  // Across midnight: today's slots go into an option of today.
  const OptionAdded today = gf_findOrAddStandOption(stand.options, aircraft.identity, now.day, now.slot,
                                                    registration, 1);
  if (!today.added) return false;
  lf_setCpl(stand, today.id, cpl);
  if (!updateOptionsWrapped(stand.options, slots, n, today.id)) {
    lf_optionNumbered(stand.options, today.id)->id = 0;
    return false;
  }
  gf_addStandOptionName(stand.options, n, aircraft.callsign);
  gf_addStandOptionName(stand.options, today.id, aircraft.callsign);
  last.wrappedOption = today.id;
  last.time = now;
  return true;
}

void gf_addRealStandOption(std::span<Stand> stands, std::int32_t standNumber, OptionAircraft& aircraft,
                           std::uint32_t kind, WeekTime now) {
  try {
    lf_addRealStandOption(stands, standNumber, aircraft, kind, now);
  } catch (const std::exception& e) {
    try {
      gf_logWarning(fmt::format("{}: hh_now: {}, {}", "gf_addRealStandOption", now.slot, e.what()));
    } catch (...) {
    }
  } catch (...) {
  }
}

std::optional<std::pair<std::string, std::string>> gf_matchRealStandOption(std::span<const Stand> stands,
                                                                            WeekTime now,
                                                                            const OptionAircraft& aircraft) {
  try {
    const std::uint32_t window = aircraft.category == AcCategory::heavy ? 14 : 10;
    const std::uint32_t lo = now.slot > window ? now.slot - window : 0;
    const std::uint64_t mask = lf_slotRun(lo, std::min(now.slot + window, SLOTS_PER_DAY - 1));
    const std::string_view callsign = aircraft.callsign;
    const std::string_view bare = lf_withoutTrailingUnderscore(callsign);
    if (bare.empty()) return std::nullopt;
    const auto named = [&](const std::string& name) { return name == callsign || name == bare; };
    for (const Stand& stand : stands)
      for (const StandOption& option : stand.options)
        if (option.id != 0 && option.day == now.day && option.identity.airlineId == aircraft.identity.airlineId &&
            !option.name2.empty() && (option.hours & mask) != 0 && (named(option.name1) || named(option.name2)))
          return std::pair{option.name1, option.name2};
  } catch (...) {
  }
  return std::nullopt;
}

StandFileScores gf_standFileScores(std::span<const Stand> stands) {
  const bool anyOption = std::any_of(stands.begin(), stands.end(), [](const Stand& stand) {
    return std::any_of(stand.options.begin(), stand.options.end(), [](const StandOption& o) { return o.id != 0; });
  });
  if (!anyOption) return {};

  double totalWeight = 0.0;
  double sums[2] = {0.0, 0.0};  // real, soft
  for (const Stand& stand : stands) {
    if (stand.type == PARKING_FUEL) continue;
    // The radius is in NM here, so every ordinary stand weighs 0.3; stand files carry scores
    // made this way.
    const double weight = stand.radius <= 7.0 ? 0.3 : stand.radius <= 10.0 ? 1.0 : 1.5;
    totalWeight += weight;
    for (int kind = 0; kind < 2; ++kind) {
      std::int64_t count = 0;
      std::uint32_t days = 0;  // bit d for weekday d
      std::uint64_t all = 0;
      std::int64_t setBits = 0;
      for (const StandOption& option : stand.options) {
        if (option.id == 0 || (option.real != 0) != (kind == 0)) continue;
        ++count;
        if (option.day >= 1 && option.day <= 7) days |= 1u << option.day;
        all |= option.hours & kAllSlots;
        setBits += std::popcount(option.hours & kAllSlots);
      }
      if (count == 0) continue;
      sums[kind] += weight * (10000.0 + static_cast<double>(std::min<std::int64_t>(20 * count, 4000)) +
                              100.0 * std::popcount(days) + 12.5 * std::popcount(all) +
                              static_cast<double>(std::min<std::int64_t>(2 * setBits, 700)));
    }
  }
  if (!(totalWeight > 0.0)) return StandFileScores{0, 0};
  const auto score = [&](double sum) {
    return static_cast<std::int32_t>(std::clamp<long>(std::lround(sum / totalWeight * 0.00625), 0, 100));
  };
  return StandFileScores{score(sums[0]), score(sums[1])};
}

void gf_resetStandTables() {
  g_stands.clear();
  g_standsByName.clear();
  g_standOptionUpdates = 0;
}
