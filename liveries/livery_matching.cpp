#include "liveries/livery_matching.h"

#include <fmt/format.h>

#include <optional>
#include <string>
#include <vector>

#include "config/parameter_snapshot.h"
#include "config/random.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/feed_neighbours.h"
#include "liveries/airline_short_names.h"
#include "liveries/failed_liveries.h"
#include "liveries/livery_database.h"
#include "liveries/livery_regcodes.h"

std::array<std::int32_t, kMatchStepCount> g_matchStepCounters{};

namespace {

constexpr std::string_view kMatchIndent = "                ";  // 16 blanks before the aircraft's text
constexpr std::string_view kSummaryTitle = "live traffic livery matching summary";
constexpr int kSummaryWidth = 100;

// The depth from which a step of the ladder is reached by aircraft that are not small.
constexpr int kDeepestDepth = 8;

// Interned at each use rather than once: a shared-lock probe is cheap, and an id kept in a
// static would outlive a rebuilt name table.
AirlineId lf_genericAirline() { return gf_internAirlineName("ZZZ"); }
AirlineId lf_privateAirline() { return gf_internAirlineName("PVT"); }

int lf_kindOf(std::uint8_t cargo) { return cargo != 0 ? kCargoKind : kPassengerKind; }

bool lf_isSmall(AcCategory category) {
  return category == AcCategory::none || category == AcCategory::twoprops || category == AcCategory::buzjet ||
         category == AcCategory::rotorcraft;
}

const TitleList* lf_airlineModelList(int kind, AirlineId airline, ModelId model) {
  const auto& byAirline = g_airlineModelTitles[static_cast<std::size_t>(kind)];
  const auto models = byAirline.find(airline);
  if (models == byAirline.end()) return nullptr;
  const auto list = models->second.find(model);
  return list == models->second.end() ? nullptr : &list->second;
}

bool lf_matchAirlineModel(AcIdentity& aircraft, int kind, AirlineId airline, ModelId model) {
  const TitleList* list = lf_airlineModelList(kind, airline, model);
  return list != nullptr && lf_pickTitle(aircraft, *list);
}

bool lf_matchModel(AcIdentity& aircraft, ModelId model, int kind) {
  const auto& byModel = g_modelTitles[static_cast<std::size_t>(kind)];
  const auto list = byModel.find(model);
  return list != byModel.end() && lf_pickTitle(aircraft, list->second);
}

// The first of the airline's titles for the model that names the partner airline (no random
// pick: the title that names both is the one wanted).
bool lf_matchTitleContaining(AcIdentity& aircraft, int kind, AirlineId airline, ModelId model,
                             std::string_view partnerCode) {
  const TitleList* list = lf_airlineModelList(kind, airline, model);
  if (list == nullptr) return false;
  const std::string_view shortName = lf_airlineShortName(partnerCode);
  if (shortName.empty()) return false;
  for (const std::string_view title : *list) {
    if (gf_containsNoCase(title, shortName)) {
      aircraft.matchedTitle = title;
      return true;
    }
  }
  return false;
}

bool lf_matchAirlineOperatorModel(AcIdentity& aircraft, int kind, const DbaseEntry& key) {
  if (key.operatorId == 0) return lf_matchAirlineModel(aircraft, kind, key.airlineId, key.modelId);
  const std::string_view airlineCode = gf_airlineName(key.airlineId);
  const std::string_view operatorCode = gf_airlineName(key.operatorId);
  const AirlineId joined = gf_internAirlineName(fmt::format("{}{}", airlineCode, operatorCode));
  return lf_matchAirlineModel(aircraft, kind, joined, key.modelId) ||
         lf_matchTitleContaining(aircraft, kind, key.operatorId, key.modelId, airlineCode) ||
         lf_matchTitleContaining(aircraft, kind, key.airlineId, key.modelId, operatorCode) ||
         lf_matchAirlineModel(aircraft, kind, key.operatorId, key.modelId) ||
         lf_matchAirlineModel(aircraft, kind, key.airlineId, key.modelId);
}

// A cargo flight takes a passenger livery of its airline before anything looser; a passenger
// flight never a cargo one here.
bool lf_matchAirlineStep(AcIdentity& aircraft, const DbaseEntry& key) {
  const int kind = lf_kindOf(key.cargo);
  if (lf_matchAirlineOperatorModel(aircraft, kind, key)) return true;
  return kind == kCargoKind && lf_matchAirlineOperatorModel(aircraft, kPassengerKind, key);
}

bool lf_matchSimilarModelStep(AcIdentity& aircraft, const DbaseEntry& key) {
  const auto airline = g_similarModelsByAirline.find(key.operatorId != 0 ? key.operatorId : key.airlineId);
  if (airline == g_similarModelsByAirline.end()) return false;
  const auto similar = airline->second.find(key.modelId);
  if (similar == airline->second.end()) return false;
  gf_shuffle(similar->second);
  for (const ModelId model : similar->second) {
    if (gf_categoryOf(model) != aircraft.category) continue;
    DbaseEntry similarKey = key;
    similarKey.modelId = model;
    if (lf_matchAirlineStep(aircraft, similarKey)) return true;
  }
  return false;
}

bool lf_matchRegistration(AcIdentity& aircraft) {
  if (aircraft.registration.empty()) return false;
  const auto it = g_regcodeTitles.find(aircraft.registration);
  if (it == g_regcodeTitles.end() || it->second.empty()) return false;
  aircraft.matchedTitle = it->second;
  return true;
}

int lf_registrationStep(const AcIdentity& aircraft) {
  return g_uniqueRegcodes.contains(aircraft.registration) ? 0 : 1;
}

// Steps 4 to 8. The ladder's cargo flag is the aircraft's own; extraCargo (a cargo stand) only
// widens the kind of steps 4 and 7.
std::optional<int> lf_matchLadder(AcIdentity& aircraft, int depth, bool extraCargo) {
  const int ownKind = lf_kindOf(aircraft.cargo777);
  const int kind = extraCargo ? kCargoKind : ownKind;
  const bool small = lf_isSmall(aircraft.category);
  const ModelId model = aircraft.modelId;

  const AirlineId generic = lf_genericAirline();
  if (lf_matchAirlineStep(aircraft, DbaseEntry{generic, generic, model, static_cast<std::uint8_t>(kind), 0})) return 4;

  if (depth < 5 && !small) return std::nullopt;
  if (lf_matchModel(aircraft, model, ownKind)) return 5;

  if (depth < 6 && !small) return std::nullopt;
  if (const auto similar = g_similarInstalledModels.find(model); similar != g_similarInstalledModels.end()) {
    gf_shuffle(similar->second);
    for (const ModelId other : similar->second)
      if (lf_matchModel(aircraft, other, ownKind)) return 6;
  }

  if (depth < 7 && !small) return std::nullopt;
  std::vector<ModelId> categoryModels = g_categoryModels[static_cast<std::size_t>(gf_categoryOf(model))];
  gf_shuffle(categoryModels);
  const int otherKind = kind == kCargoKind ? kPassengerKind : kCargoKind;
  for (const ModelId other : categoryModels)
    if (lf_matchModel(aircraft, other, kind) || lf_matchModel(aircraft, other, otherKind)) return 7;

  if (depth != kDeepestDepth) return std::nullopt;
  if (lf_matchModel(aircraft, gf_internModelName("B738"), ownKind) ||
      lf_matchModel(aircraft, gf_internModelName("A320"), ownKind))
    return 8;
  return std::nullopt;
}

// The least depth at which a ladder step is reached: small aircraft climb to step 7 from the
// ladder's start.
int lf_ladderReachDepth(int step, bool small) { return small && step >= 5 && step <= 7 ? 4 : step; }

bool lf_refuseFailed(AcIdentity& aircraft) {
  if (!gf_isFailedLivery(aircraft.matchedTitle)) return false;
  aircraft.matchedTitle = {};
  return true;
}

void lf_logMatch(const AcIdentity& aircraft, std::string_view step) {
  gf_log(fmt::format("{}{} ={}= {}", kMatchIndent, aircraft.toString(), step, aircraft.matchedTitle));
}

// reachDepth: the least MATCHING_DEPTH that reaches the rule that matched. Only a match beyond
// the user's depth, reached through the climb to step 8, is TCAS coverage; counting every step
// above the depth would flag private flights and small aircraft low down, which the TCAS pass
// then removes and the feed brings back, for ever.
bool lf_acceptLiveMatch(AcIdentity& aircraft, int step, int reachDepth, int matchingDepth) {
  if (lf_refuseFailed(aircraft)) return false;
  ++g_matchStepCounters[static_cast<std::size_t>(step)];
  lf_logMatch(aircraft, fmt::format("{}", step));
  aircraft.isFsltlLivery = aircraft.matchedTitle.find("FSLTL_") != std::string_view::npos ? 1 : 0;
  aircraft.tcasCoverage = reachDepth > matchingDepth ? 1 : 0;
  return true;
}

bool lf_acceptStaticMatch(AcIdentity& aircraft, int step) {
  if (lf_refuseFailed(aircraft)) return false;
  lf_logMatch(aircraft, fmt::format("{}", step));
  return true;
}

}  // namespace

bool lf_pickTitle(AcIdentity& aircraft, std::span<const std::string_view> titles) {
  if (titles.empty()) return false;
  // Special liveries are few: a handful of draws nearly always lands on another one.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::string_view title = titles[gf_random(titles.size())];
    if (!g_specialTitles.contains(title)) {
      aircraft.matchedTitle = title;
      return true;
    }
  }
  // Reservoir sampling over the rest, every eligible title equally likely.
  std::string_view chosen;
  std::uint64_t eligible = 0;
  for (const std::string_view title : titles) {
    if (g_specialTitles.contains(title)) continue;
    if (gf_random(++eligible) == 0) chosen = title;
  }
  if (chosen.empty()) return false;
  aircraft.matchedTitle = chosen;
  return true;
}

void gf_matchLivery(AcIdentity& aircraft, double altitudeFt) {
  aircraft.matchedTitle = {};
  aircraft.isFsltlLivery = 0;
  aircraft.tcasCoverage = 0;
  const auto snapshot = g_parameterSnapshot.load();
  const int matchingDepth = static_cast<int>(snapshot->matchingDepth);
  const double tcasFt = static_cast<double>(snapshot->tcasFl) * 100.0;
  int depth = matchingDepth;
  if (altitudeFt > tcasFt && g_userAcPosition.load()->altitude > tcasFt) depth = kDeepestDepth;

  if (lf_matchRegistration(aircraft) && lf_acceptLiveMatch(aircraft, lf_registrationStep(aircraft), 0, matchingDepth))
    return;
  if (depth < 2) return;
  const DbaseEntry key = aircraft.identity();
  if (key.airlineId == lf_privateAirline()) {
    const DbaseEntry generic{lf_genericAirline(), 0, key.modelId, key.cargo, 0};
    if (lf_matchAirlineStep(aircraft, generic) && lf_acceptLiveMatch(aircraft, 4, 2, matchingDepth)) return;
  }
  if (lf_matchAirlineStep(aircraft, key) && lf_acceptLiveMatch(aircraft, 2, 2, matchingDepth)) return;
  if (depth < 3) return;
  if (lf_matchSimilarModelStep(aircraft, key) && lf_acceptLiveMatch(aircraft, 3, 3, matchingDepth)) return;
  if (depth < 4) return;
  // A refused title found by the ladder ends the match: the looser steps would only give a
  // worse livery of the same kind.
  if (const auto step = lf_matchLadder(aircraft, depth, false))
    lf_acceptLiveMatch(aircraft, *step, lf_ladderReachDepth(*step, lf_isSmall(aircraft.category)), matchingDepth);
}

bool gf_matchStaticLivery(AcIdentity& aircraft, const Stand& stand) {
  if (!aircraft.matchedTitle.empty()) {
    lf_logMatch(aircraft, "s");
    return true;
  }
  const int depth = static_cast<int>(g_parameterSnapshot.load()->matchingDepth);
  DbaseEntry key = aircraft.identity();
  key.cargo = stand.cargo != 0 ? 1 : 0;

  const bool matched = [&] {
    if (lf_matchRegistration(aircraft) && lf_acceptStaticMatch(aircraft, lf_registrationStep(aircraft))) return true;
    if (depth < 2) return false;
    if (key.airlineId == lf_privateAirline()) {
      const DbaseEntry generic{lf_genericAirline(), 0, key.modelId, key.cargo, 0};
      if (lf_matchAirlineStep(aircraft, generic) && lf_acceptStaticMatch(aircraft, 4)) return true;
    }
    if (lf_matchAirlineStep(aircraft, key) && lf_acceptStaticMatch(aircraft, 2)) return true;
    if (depth < 3) return false;
    if (lf_matchSimilarModelStep(aircraft, key) && lf_acceptStaticMatch(aircraft, 3)) return true;
    if (depth < 4) return false;
    const auto step = lf_matchLadder(aircraft, depth, stand.cargo != 0);
    return step && lf_acceptStaticMatch(aircraft, *step);
  }();
  if (!matched)
    gf_log(fmt::format("{:14}: {} no livery match ...", stand.name,
                       fmt::format("{:8} {} {}", aircraft.callsign, aircraft.registration,
                                   static_cast<const FeedRecordHead&>(aircraft))));
  return matched;
}

void gf_logLiveryMatchingSummary() {
  bool any = false;
  for (const std::int32_t count : g_matchStepCounters) any = any || count != 0;
  if (!any) return;
  const int width = kSummaryWidth - static_cast<int>(kSummaryTitle.size());
  std::vector<std::string> lines{gf_bannerText(width, 0, true, false, kSummaryTitle), "Matches at step: "};
  for (std::size_t step = 0; step < kMatchStepCount; ++step)
    lines.push_back(fmt::format("  {}: {}", step, g_matchStepCounters[step]));
  const std::vector<std::string> failed = gf_failedLiveryModelLines();
  if (!failed.empty()) {
    lines.emplace_back("\nCould not be created");
    lines.insert(lines.end(), failed.begin(), failed.end());
  }
  lines.push_back(gf_bannerText(width, static_cast<int>(kSummaryTitle.size()), false, true, ""));
  for (const std::string& line : lines) gf_log(line);
}
