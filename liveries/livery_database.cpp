#include "liveries/livery_database.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <span>
#include <stdexcept>

#include "appbase/gui.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "core/log.h"
#include "core/text.h"
#include "liveries/failed_liveries.h"
#include "liveries/livery_matching.h"
#include "liveries/livery_regcodes.h"
#include "liveries/scan_reports.h"
#include "liveries/scan_result_file.h"
#include "platform/ui.h"

IdMap<IdMap<std::vector<IndexedLivery>>> g_liveryIndex;
std::array<IdMap<IdMap<TitleList>>, 2> g_airlineModelTitles;
std::array<IdMap<TitleList>, 2> g_modelTitles;
TitleViewSet g_liveryTitles;
std::array<std::vector<ModelId>, kCategoryCount> g_categoryModels;

namespace {

// Sized up front so that tens of thousands of liveries are indexed without rehashing.
constexpr float kMaxLoadFactor = 0.7f;
constexpr std::size_t kReservedAirlines = 2048;
constexpr std::array<std::size_t, 2> kReservedAirlinesPerKind{2048, 256};
constexpr std::array<std::size_t, 2> kReservedModelsPerKind{324, 75};
constexpr std::size_t kReservedTitles = 30000;
constexpr std::size_t kReservedRegcodes = 36000;
constexpr std::size_t kReservedSpecialTitles = 4096;
constexpr std::size_t kNamesPerLine = 20;
// Indexed by AcCategory.
constexpr std::array<std::size_t, kCategoryCount> kReservedCategoryModels{64, 128, 128, 128, 128, 32, 32};
constexpr std::array<AcCategory, kCategoryCount> kSummaryOrder{
    AcCategory::heavy, AcCategory::large,      AcCategory::buzjet,          AcCategory::twoprops,
    AcCategory::none,  AcCategory::rotorcraft, AcCategory::high_performance};

template <class Map>
void lf_resetMap(Map& map, std::size_t reserved) {
  map.clear();
  map.max_load_factor(kMaxLoadFactor);
  map.reserve(reserved);
}

template <class T>
IdMap<T> lf_newIdMap() {
  IdMap<T> map;
  map.max_load_factor(kMaxLoadFactor);
  return map;
}

// Appends to one (key, model) list of the index; the records come grouped, so the list found
// last is usually the next one too. Map nodes never move, so the pointer survives rehashing.
class IndexAppender {
 public:
  void add(AirlineId airlineKey, const Livery& livery) {
    if (list_ == nullptr || airlineKey != key_ || livery.model != model_) {
      auto [airline, added] = g_liveryIndex.try_emplace(airlineKey, lf_newIdMap<std::vector<IndexedLivery>>());
      list_ = &airline->second[livery.model];
      key_ = airlineKey;
      model_ = livery.model;
    }
    list_->push_back({livery.title, livery.cargo});
  }

 private:
  std::vector<IndexedLivery>* list_ = nullptr;
  AirlineId key_ = 0;
  ModelId model_ = 0;
};

void lf_buildLiveryIndex() {
  g_liveryIndex.clear();
  IndexAppender plain;
  for (const Livery& livery : g_scannedLiveries) {
    if (livery.operatorId != 0) continue;
    if (livery.model == 0 || livery.airline == 0) {
      gf_log(fmt::format("Invalid livery index: airl={}, opr={}, model={}, title={}", livery.airline,
                         livery.operatorId, livery.model, livery.title));
      continue;
    }
    plain.add(livery.airline, livery);
  }

  IndexAppender joined;
  IndexAppender byOperator;
  AirlineId pairAirline = 0, pairOperator = 0, joinedId = 0;
  for (const Livery& livery : g_scannedLiveries) {
    if (livery.operatorId == 0) continue;
    if (livery.airline == 0 || livery.model == 0) {
      gf_log(fmt::format("Invalid operator livery index: airl={}, opr={}, model={}, title={}", livery.airline,
                         livery.operatorId, livery.model, livery.title));
      continue;
    }
    if (livery.airline != pairAirline || livery.operatorId != pairOperator) {
      pairAirline = livery.airline;
      pairOperator = livery.operatorId;
      joinedId = gf_internAirlineName(
          fmt::format("{}{}", gf_airlineName(livery.airline), gf_airlineName(livery.operatorId)));
    }
    // A full name table hands out id 0.
    if (joinedId == 0) {
      gf_log(fmt::format("{}: invalid airline/operator while flushing: airline={}, opr={}", "operator ()",
                         livery.airline, livery.operatorId));
      continue;
    }
    joined.add(joinedId, livery);
    byOperator.add(livery.operatorId, livery);
  }
}

void lf_collectLiveryTitles() {
  for (const auto& [airline, models] : g_liveryIndex)
    for (const auto& [model, list] : models)
      for (const IndexedLivery& livery : list)
        if (!livery.title.empty()) g_liveryTitles.insert(livery.title);
}

void lf_buildAirlineModelTitles() {
  for (const auto& [airline, models] : g_liveryIndex) {
    std::array<IdMap<TitleList>, 2> byKind{lf_newIdMap<TitleList>(), lf_newIdMap<TitleList>()};
    for (const auto& [model, list] : models) {
      std::array<TitleList, 2> titles;
      for (const IndexedLivery& livery : list)
        if (!livery.title.empty()) titles[livery.cargo == 0 ? kPassengerKind : kCargoKind].push_back(livery.title);
      for (int kind : {kPassengerKind, kCargoKind})
        if (!titles[kind].empty()) byKind[kind].emplace(model, std::move(titles[kind]));
    }
    for (int kind : {kPassengerKind, kCargoKind})
      if (!byKind[kind].empty()) g_airlineModelTitles[kind].emplace(airline, std::move(byKind[kind]));
  }
}

// Every title under its model, whatever the airline; a livery indexed under two keys (joined
// code and operator) is listed twice. The order within a model is not defined.
void lf_createModelSorted() {
  for (const auto& [airline, models] : g_liveryIndex) {
    for (const auto& [model, list] : models) {
      if (model == 0) {
        gf_log(fmt::format("{}: model index 0 skipped", "lf_createModelSorted"));
        continue;
      }
      for (const IndexedLivery& livery : list)
        if (!livery.title.empty())
          g_modelTitles[livery.cargo == 0 ? kPassengerKind : kCargoKind][model].push_back(livery.title);
    }
  }
}

void lf_logModelNames(std::span<const ModelId> models) {
  for (std::size_t from = 0; from < models.size(); from += kNamesPerLine) {
    std::string line = "  ";
    const std::size_t to = std::min(models.size(), from + kNamesPerLine);
    for (std::size_t i = from; i < to; ++i) {
      if (i != from) line += ',';
      line += gf_modelName(models[i]);
    }
    gf_log(line);
  }
}

struct CategorySwitch {
  CheckboxOption* option;
  const char* switchedOff;  // the log line's format
};

// The categories the user can leave out of the traffic.
std::optional<CategorySwitch> lf_categorySwitch(AcCategory category) {
  switch (category) {
    case AcCategory::none:
      return CategorySwitch{&LIGHT_AIRCRAFT, "{} temporarily switched off because you do not have light aircraft installed"};
    case AcCategory::twoprops:
      return CategorySwitch{&TWO_PROPS, "{} temporarily switched off because you do not have two-prop aircraft installed"};
    case AcCategory::high_performance:
      return CategorySwitch{&HIGH_PERF_AIRCRAFT,
                            "{} temporarily switched off because you do not have High Perf aircraft installed"};
    case AcCategory::rotorcraft:
      return CategorySwitch{&HELICOPTERS, "{} temporarily switched off because you do not have Helicopters installed"};
    default:
      return std::nullopt;
  }
}

void lf_enableCheckbox(const CheckboxOption& option, bool enabled) {
  if (option.window != ui::Hwnd::null) ui::enableWindow(option.window, enabled);
}

void lf_summarizeCategory(AcCategory category) {
  std::array<std::size_t, 2> titles{0, 0};
  std::vector<ModelId> models;
  for (int kind : {kPassengerKind, kCargoKind}) {
    for (const auto& [model, list] : g_modelTitles[kind]) {
      if (gf_categoryOf(model) != category) continue;
      titles[kind] += list.size();
      models.push_back(model);
    }
  }
  const std::string_view name = gf_categoryDisplayName(category);
  const auto categorySwitch = lf_categorySwitch(category);
  if (titles[kPassengerKind] + titles[kCargoKind] == 0) {
    gf_log(fmt::format("Category {}: No livery found", name));
    if (categorySwitch) {
      CheckboxOption& option = *categorySwitch->option;
      if (option.value) {
        option.value = false;
        option.save();
        gf_log(fmt::format(fmt::runtime(categorySwitch->switchedOff), option.name));
      }
      lf_enableCheckbox(option, false);
    }
  } else {
    const std::size_t pax = titles[kPassengerKind];
    const std::size_t cargo = titles[kCargoKind];
    const std::string cargoPart = cargo == 0 ? std::string() : fmt::format(" and {} cargo liverie{}", cargo, cargo > 1 ? "s" : "");
    gf_log(fmt::format("Category {}: {} pax liverie{}{}", name, pax, pax == 1 ? "" : "s", cargoPart));
    std::sort(models.begin(), models.end());
    models.erase(std::unique(models.begin(), models.end()), models.end());
    auto& list = g_categoryModels[static_cast<std::size_t>(category)];
    list.insert(list.end(), models.begin(), models.end());
    lf_logModelNames(list);
    if (categorySwitch) lf_enableCheckbox(*categorySwitch->option, true);
  }
  gf_changeParameterSnapshot([](ParameterSnapshot& s) {
    s.lightAircraft = LIGHT_AIRCRAFT.value;
    s.twoProps = TWO_PROPS.value;
    s.highPerfAircraft = HIGH_PERF_AIRCRAFT.value;
    s.helicopters = HELICOPTERS.value;
  });
}

void lf_collectGenericLiveries() {
  const auto generic = g_liveryIndex.find(gf_internAirlineName("ZZZ"));
  if (generic == g_liveryIndex.end() || generic->second.empty()) {
    gf_log("No generic liveries");
    return;
  }
  std::vector<ModelId> models;
  for (const auto& [model, list] : generic->second) models.push_back(model);
  std::sort(models.begin(), models.end());
  models.erase(std::unique(models.begin(), models.end()), models.end());
  gf_log(fmt::format("{} model{} have a generic livery", models.size(), models.size() == 1 ? "" : "s"));
  lf_logModelNames(models);
}

void lf_resetTables() {
  for (std::size_t i = 0; i < kCategoryCount; ++i) {
    g_categoryModels[i].clear();
    g_categoryModels[i].reserve(kReservedCategoryModels[i]);
  }
  for (int kind : {kPassengerKind, kCargoKind}) {
    lf_resetMap(g_modelTitles[kind], kReservedModelsPerKind[kind]);
    lf_resetMap(g_airlineModelTitles[kind], kReservedAirlinesPerKind[kind]);
  }
  lf_resetMap(g_regcodeTitles, kReservedRegcodes);
  lf_resetMap(g_titleRegcodes, kReservedRegcodes);
  lf_resetMap(g_liveryTitles, kReservedTitles);
  lf_resetMap(g_liveryIndex, kReservedAirlines);
  lf_resetMap(g_specialTitles, kReservedSpecialTitles);
  g_uniqueRegcodes.clear();
}

LiveryPresence lf_liveryPresence() {
  LiveryPresence presence;
  presence.modelHasLiveries = [](ModelId model) {
    return g_modelTitles[kPassengerKind].contains(model) || g_modelTitles[kCargoKind].contains(model);
  };
  presence.collectLiveryAirlines = [] {
    const auto airlines = gf_collectLiveryAirlines();
    return std::vector<AirlineId>(airlines.begin(), airlines.end());
  };
  presence.hasLiveryForAirlineModel = [](AirlineId airline, ModelId model) {
    return gf_hasLiveryForAirlineModel(DbaseEntry{airline, 0, model, 0, 0});
  };
  return presence;
}

}  // namespace

void gf_processScannedLiveries() {
  gf_log("\n+++++ processing scanned liveries +++++");
  // The views of the old tables point into the old index: all of them go together.
  lf_resetTables();
  if (!lf_readScannedLiveries())
    throw std::runtime_error(fmt::format("{} could not be read completely", gf_pathToUtf8(gf_liveriesScannedFile())));
  Gui::enqueueUpdate(gui::SetLiveryCount{g_scannedLiveries.size()});

  lf_buildLiveryIndex();
  lf_collectLiveryTitles();
  gf_log(fmt::format("{:5} livery titles", g_liveryTitles.size()));

  lf_buildAirlineModelTitles();
  lf_processInlineRegcodes();
  lf_processOfflineRegcodes();
  gf_log(fmt::format("{:5} registration codes", g_regcodeTitles.size()));

  lf_createModelSorted();
  gf_log(fmt::format("{:5} airlines, {} pax aircraft models and {} cargo aircraft models", g_liveryIndex.size(),
                     g_modelTitles[kPassengerKind].size(), g_modelTitles[kCargoKind].size()));

  gf_buildSimilarModels(lf_liveryPresence());
  gf_log(" ");
  for (const AcCategory category : kSummaryOrder) lf_summarizeCategory(category);
  lf_collectGenericLiveries();
  Gui::enqueueUpdate(gui::Redraw{REDRAW_HEADER});

  std::vector<Livery>().swap(g_scannedLiveries);
  gf_log("----- end of processing scanned liveries ------\n");
}

std::string_view lf_findTitle(std::string_view title) {
  const auto it = g_liveryTitles.find(title);
  return it == g_liveryTitles.end() ? std::string_view() : *it;
}

bool gf_hasLiveryForAirlineModel(const DbaseEntry& entry) {
  const auto airline = g_liveryIndex.find(entry.airlineId);
  return airline != g_liveryIndex.end() && airline->second.contains(entry.modelId);
}

std::set<AirlineId> gf_collectLiveryAirlines() {
  std::set<AirlineId> airlines;
  for (const auto& [airline, models] : g_liveryIndex) airlines.insert(airline);
  return airlines;
}

std::string_view gf_categoryDisplayName(AcCategory category) {
  static constexpr std::array<std::string_view, kCategoryCount> kNames{"Light", "TwoProps", "Bizjet",  "Large",
                                                                       "Heavy", "HighPerf", "Rotorcraft"};
  const auto index = static_cast<std::size_t>(category);
  return index < kNames.size() ? kNames[index] : std::string_view();
}

void gf_resetLiveriesForTest() {
  lf_resetTables();
  g_liveries.clear();
  g_scannedLiveries.clear();
  g_regcodeReport.clear();
  g_dontUseTitles.clear();
  lf_clearScanReports();
  g_failedLiveryTitles.clear();
  g_failedLiveryModels.clear();
  g_unmatchedLiveries.clear();
  g_matchStepCounters.fill(0);
}
