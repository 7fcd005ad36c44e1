#include "refdata/model_ids.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <deque>
#include <mutex>
#include <shared_mutex>
#include <tuple>

#include "core/log.h"

namespace {

constexpr std::uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ull;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ull;

// One table of interned names. The names live in a deque, which never moves an element, so
// the map can key on views of them and callers may keep the views.
struct NameTable {
  const char* what;  // "model" or "airline", for the warning
  mutable std::shared_mutex mutex;
  std::deque<std::string> names;
  std::unordered_map<std::string_view, std::uint16_t, Fnv1aHash, std::equal_to<>> ids;
  bool fullWarned = false;

  std::optional<std::uint16_t> find(std::string_view name) const {
    const auto it = ids.find(name);
    if (it == ids.end()) return std::nullopt;
    return it->second;
  }

  // Caller holds the exclusive lock.
  std::uint16_t append(std::string_view name) {
    if (names.size() >= kMaxInternedNames) {
      if (!fullWarned) {
        fullWarned = true;
        gf_logWarning(fmt::format("{} names table is full ({} names): '{}' and later new names get id 0", what,
                                  kMaxInternedNames, name));
      }
      return 0;
    }
    const auto id = static_cast<std::uint16_t>(names.size());
    ids.emplace(names.emplace_back(name), id);
    return id;
  }

  std::string_view nameOf(std::uint16_t id) const {
    std::shared_lock lock(mutex);
    return id < names.size() ? std::string_view(names[id]) : std::string_view();
  }

  std::size_t count() const {
    std::shared_lock lock(mutex);
    return names.size();
  }

  void clear() {
    std::unique_lock lock(mutex);
    ids.clear();
    names.clear();
    fullWarned = false;
  }
};

// Built on first use, so that no static initialiser elsewhere can intern into an unbuilt table.
NameTable& lf_modelTable() {
  static NameTable table{"model"};
  return table;
}
NameTable& lf_airlineTable() {
  static NameTable table{"airline"};
  return table;
}

bool lf_contains(const std::set<ModelId>& set, ModelId id) { return set.find(id) != set.end(); }

std::uint32_t lf_decimalValue(std::string_view digits) {
  std::uint32_t value = 0;
  for (const char c : digits) value = value * 10u + static_cast<std::uint32_t>(c - '0');  // wraps by design
  return value;
}

}  // namespace

const IataCode& g_unknownIata = g_defaultIataCode;

CodeSet g_dbaseModelCodes;
CodeSet g_dbaseAirlineCodes;
std::set<ModelId> g_cargoModels;
std::set<AirlineId> g_cargoOperators;
std::set<ModelId> g_heavyModels;
std::set<ModelId> g_largeModels;
std::set<ModelId> g_buzjetModels;
std::set<ModelId> g_twopropsModels;
std::set<ModelId> g_highPerformanceModels;
std::set<ModelId> g_rotorcraftModels;
std::vector<std::vector<std::string>> g_similarTypes;
std::map<std::string, double, std::less<>> g_wingspans;
std::vector<double> g_wingspanTable;
double g_maxHalfWingspanNm = 0.0;
std::map<std::string, std::string, std::less<>> g_dbaseModelFixes;
std::atomic<bool> g_modelFixesActive{false};
IdLists g_similarModels;
IdLists g_similarInstalledModels;
std::unordered_map<AirlineId, IdLists, Fnv1aHash> g_similarModelsByAirline;

std::size_t Fnv1aHash::operator()(std::string_view text) const {
  std::uint64_t hash = kFnvOffsetBasis;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kFnvPrime;
  }
  return static_cast<std::size_t>(hash);
}

std::size_t Fnv1aHash::operator()(std::uint16_t id) const {
  std::uint64_t hash = kFnvOffsetBasis;
  hash ^= static_cast<std::uint64_t>(id & 0xFFu);
  hash *= kFnvPrime;
  hash ^= static_cast<std::uint64_t>(id >> 8);
  hash *= kFnvPrime;
  return static_cast<std::size_t>(hash);
}

ModelId gf_internModelName(std::string_view name) {
  {
    std::shared_lock lock(lf_modelTable().mutex);
    if (const auto id = lf_modelTable().find(name)) return *id;
  }
  std::unique_lock lock(lf_modelTable().mutex);
  // Another thread may have added it between the two locks.
  if (const auto id = lf_modelTable().find(name)) return *id;
  if (g_modelFixesActive.load()) {
    if (const auto fix = g_dbaseModelFixes.find(name); fix != g_dbaseModelFixes.end()) {
      if (const auto id = lf_modelTable().find(fix->second)) return *id;
    }
  }
  return lf_modelTable().append(name);
}

ModelId gf_modelIdOf(std::string_view name) { return gf_internModelName(name); }

AirlineId gf_internAirlineName(std::string_view code) {
  {
    std::shared_lock lock(lf_airlineTable().mutex);
    if (const auto id = lf_airlineTable().find(code)) return *id;
  }
  std::unique_lock lock(lf_airlineTable().mutex);
  if (const auto id = lf_airlineTable().find(code)) return *id;
  return lf_airlineTable().append(code);
}

std::string_view gf_modelName(ModelId id) { return lf_modelTable().nameOf(id); }
std::string_view gf_airlineName(AirlineId id) { return lf_airlineTable().nameOf(id); }
std::size_t gf_modelNameCount() { return lf_modelTable().count(); }
std::size_t gf_airlineNameCount() { return lf_airlineTable().count(); }

void gf_setModelFixes(std::map<std::string, std::string, std::less<>> fixes) {
  std::unique_lock lock(lf_modelTable().mutex);
  g_dbaseModelFixes = std::move(fixes);
}

void gf_activateModelFixes() { g_modelFixesActive.store(true); }

AcCategory gf_categoryOf(ModelId id) {
  if (lf_contains(g_largeModels, id)) return AcCategory::large;
  if (lf_contains(g_heavyModels, id)) return AcCategory::heavy;
  if (lf_contains(g_buzjetModels, id)) return AcCategory::buzjet;
  if (lf_contains(g_twopropsModels, id)) return AcCategory::twoprops;
  if (lf_contains(g_rotorcraftModels, id)) return AcCategory::rotorcraft;
  if (lf_contains(g_highPerformanceModels, id)) return AcCategory::high_performance;
  return AcCategory::none;
}

AcCategory gf_categoryOfModel(std::string_view name) { return gf_categoryOf(gf_internModelName(name)); }

std::string_view gf_categoryName(AcCategory category) {
  static constexpr std::array<std::string_view, 7> kNames = {"none",  "twoprops",         "buzjet",    "large",
                                                             "heavy", "high_performance", "rotorcraft"};
  const auto index = static_cast<std::size_t>(category);
  return index < kNames.size() ? kNames[index] : "none";
}

bool gf_isIcaoModelCode(std::string_view text) { return !text.empty() && g_dbaseModelCodes.contains(text); }

bool gf_isIcaoAirlineCode(std::string_view text) { return !text.empty() && g_dbaseAirlineCodes.contains(text); }

bool gf_isCargo(const DbaseEntry& entry) {
  return g_cargoModels.contains(entry.modelId) || g_cargoOperators.contains(entry.airlineId);
}

double gf_wingspanOf(ModelId id) { return id < g_wingspanTable.size() ? g_wingspanTable[id] : 0.0; }

std::pair<std::string, std::string> gf_splitModelCode(std::string_view text) {
  std::pair<std::string, std::string> parts;
  for (const char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
      parts.first += c;
    else if (c >= '0' && c <= '9')
      parts.second += c;
  }
  return parts;
}

std::size_t gf_editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> previous(b.size() + 1);
  std::vector<std::size_t> current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t substitute = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitute});
    }
    std::swap(previous, current);
  }
  return previous[b.size()];
}

std::optional<ModelId> gf_closestModel(ModelId target, std::span<const ModelId> candidates) {
  if (candidates.empty()) return std::nullopt;
  if (candidates.size() == 1) return candidates.front();
  const std::string targetName(gf_modelName(target));
  const auto [targetLetters, targetDigits] = gf_splitModelCode(targetName);
  const std::uint32_t targetNumber = lf_decimalValue(targetDigits);

  using Rank = std::tuple<std::size_t, std::size_t, std::size_t, std::uint32_t, std::string>;
  std::optional<Rank> best;
  std::optional<ModelId> bestId;
  for (const ModelId candidate : candidates) {
    std::string name(gf_modelName(candidate));
    const auto [letters, digits] = gf_splitModelCode(name);
    const std::size_t dL = gf_editDistance(targetLetters, letters);
    const std::size_t dF = gf_editDistance(targetName, name);
    const std::size_t dD = gf_editDistance(targetDigits, digits);
    if (!(dF <= 1 || (dL == 0 && dD <= 1))) continue;
    const std::uint32_t number = lf_decimalValue(digits);
    const std::uint32_t dN = number > targetNumber ? number - targetNumber : targetNumber - number;
    Rank rank{dL, dF, dD, dN, std::move(name)};
    if (!best || rank < *best) {
      best = std::move(rank);
      bestId = candidate;
    }
  }
  return bestId;
}

void gf_buildSimilarModels(const LiveryPresence& liveries) {
  g_similarModels.clear();
  g_similarInstalledModels.clear();
  g_similarModelsByAirline.clear();
  g_similarModels.reserve(2048);
  g_similarInstalledModels.reserve(1024);

  auto addOnce = [](std::vector<ModelId>& list, ModelId id) {
    if (std::find(list.begin(), list.end(), id) == list.end()) list.push_back(id);
  };
  for (const auto& group : g_similarTypes) {
    if (group.size() < 2) continue;
    for (const auto& member : group) {
      const ModelId memberId = gf_internModelName(member);
      for (const auto& other : group) {
        if (other == member) continue;
        const ModelId otherId = gf_internModelName(other);
        addOnce(g_similarModels[memberId], otherId);
        if (liveries.modelHasLiveries && liveries.modelHasLiveries(otherId))
          addOnce(g_similarInstalledModels[memberId], otherId);
      }
    }
  }
  if (g_similarInstalledModels.empty()) {
    gf_log("No similar model definitions with installed liveries found");
    return;
  }

  std::vector<std::pair<ModelId, ModelId>> closest;
  for (const auto& [model, list] : g_similarInstalledModels) {
    if (const auto best = gf_closestModel(model, list)) closest.emplace_back(model, *best);
  }

  const auto airlines = liveries.collectLiveryAirlines ? liveries.collectLiveryAirlines() : std::vector<AirlineId>{};
  for (const AirlineId airline : airlines) {
    IdLists byModel;
    for (const auto& [model, list] : g_similarInstalledModels) {
      if (liveries.hasLiveryForAirlineModel(airline, model)) continue;
      std::vector<ModelId> withLivery;
      for (const ModelId other : list)
        if (liveries.hasLiveryForAirlineModel(airline, other)) withLivery.push_back(other);
      if (withLivery.empty()) continue;
      if (const auto best = gf_closestModel(model, withLivery)) byModel[model] = {*best};
    }
    if (!byModel.empty()) g_similarModelsByAirline[airline] = std::move(byModel);
  }

  gf_log(fmt::format("{:5} similar model definitions", g_similarInstalledModels.size()));
  for (const auto& [model, best] : closest) g_similarInstalledModels[model] = {best};
}

void gf_resetModelTables() {
  lf_modelTable().clear();
  lf_airlineTable().clear();
  {
    std::unique_lock lock(lf_modelTable().mutex);
    g_dbaseModelFixes.clear();
  }
  g_modelFixesActive.store(false);
  g_dbaseModelCodes.clear();
  g_dbaseAirlineCodes.clear();
  g_cargoModels.clear();
  g_cargoOperators.clear();
  g_heavyModels.clear();
  g_largeModels.clear();
  g_buzjetModels.clear();
  g_twopropsModels.clear();
  g_highPerformanceModels.clear();
  g_rotorcraftModels.clear();
  g_similarTypes.clear();
  g_wingspans.clear();
  g_wingspanTable.clear();
  g_maxHalfWingspanNm = 0.0;
  g_similarModels.clear();
  g_similarInstalledModels.clear();
  g_similarModelsByAirline.clear();
}
