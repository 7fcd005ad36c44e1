#include "simlink/stand_table.h"

#include <algorithm>
#include <span>

StandsByName g_standsByName;
AtomicSharedPtr<const StandPositions> g_standPositions{std::make_shared<const StandPositions>()};

void gf_rebuildStandsByName() {
  g_standsByName.clear();
  g_standsByName.reserve(g_stands.size());
  for (const Stand& stand : g_stands) g_standsByName.emplace(stand.name, stand.id);
}

void gf_publishStandPositions() {
  auto positions = std::make_shared<StandPositions>();
  positions->reserve(g_stands.size());
  for (const Stand& stand : g_stands) positions->push_back(StandPosition{stand.name, stand.position});
  g_standPositions.store(std::move(positions));
}

bool gf_isSameOrAdjacentStand(std::int64_t a, std::int64_t b) {
  if (a == b) return true;
  const Stand* stand = gf_standByNumber(g_stands, a);
  return stand && std::find(stand->excludes.begin(), stand->excludes.end(), b) != stand->excludes.end();
}

bool gf_occupyStand(std::int64_t id, std::int64_t target) {
  Stand* stand = gf_standByNumber(g_stands, id);
  if (!stand || stand->taken) return false;
  stand->taken = 1;
  for (const std::int32_t other : stand->excludes)
    if (Stand* excluded = gf_standByNumber(g_stands, other)) excluded->blocked = 1;
  const auto taken = std::count_if(g_stands.begin(), g_stands.end(), [](const Stand& s) { return s.taken != 0; });
  return taken >= target;
}

bool gf_standOptionUsedRecently(WeekTime weekTime, std::uint32_t n, bool anyWeekday, std::int64_t standId,
                                std::string_view registration, const DbaseEntry& key) {
  const Stand* stand = gf_standByNumber(g_stands, standId);
  if (!stand || weekTime.slot >= 48) return false;
  const std::uint32_t first = n >= weekTime.slot ? 0 : weekTime.slot - n;
  // Bits first..slot of the day.
  const std::uint64_t window = ((std::uint64_t{2} << weekTime.slot) - 1) & ~((std::uint64_t{1} << first) - 1);
  return std::any_of(stand->options.begin(), stand->options.end(), [&](const StandOption& option) {
    return option.id != 0 && (anyWeekday || option.day == weekTime.day) && option.reg == registration &&
           option.identity.airlineId == key.airlineId && option.identity.modelId == key.modelId &&
           (option.hours & window) != 0;
  });
}
