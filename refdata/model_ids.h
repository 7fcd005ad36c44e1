#pragma once
// Aircraft models (ICAO type designators) and airlines (ICAO airline codes) travel through the
// program as 16-bit ids. This file owns the interning of names into ids and the model and
// airline tables that the dbase fills: categories, cargo, wingspans and similar models.
//
// Threads: the interning tables are shared by the worker, the feed readers and SimClient and
// are guarded inside; every other table here is filled by the worker during set-up, before
// those threads start, and only read afterwards.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/value_types.h"

using ModelId = std::uint16_t;
using AirlineId = std::uint16_t;

// Ids are 16-bit: a table holds at most this many names; later names get id 0.
inline constexpr std::size_t kMaxInternedNames = 65536;

enum class AcCategory : std::uint8_t {
  none = 0,
  twoprops = 1,
  buzjet = 2,
  large = 3,
  heavy = 4,
  high_performance = 5,
  rotorcraft = 6,
};

// The identity of a registration record, compared and copied as a whole (8 bytes). The live and
// livery records carry the same layout.
struct DbaseEntry {
  AirlineId airlineId = 0;
  AirlineId operatorId = 0;  // an airline id too
  ModelId modelId = 0;
  std::uint8_t cargo = 0;    // 0 or 1
  std::uint8_t marker = 0;   // 1 for every entry read from the dbase
  bool operator==(const DbaseEntry&) const = default;
};
static_assert(sizeof(DbaseEntry) == 8);

// 64-bit FNV-1a, the hash of the name tables and of the id-keyed maps (ids hashed as two bytes,
// low byte first).
struct Fnv1aHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const;
  std::size_t operator()(std::uint16_t id) const;
};

using CodeSet = std::set<std::string, std::less<>>;
using IdLists = std::unordered_map<std::uint16_t, std::vector<ModelId>, Fnv1aHash>;

// ---- Interning (safe from any thread) ----
ModelId gf_internModelName(std::string_view name);
ModelId gf_modelIdOf(std::string_view name);
AirlineId gf_internAirlineName(std::string_view code);
// The name of an id; empty for an id not handed out. The view stays valid for the process.
std::string_view gf_modelName(ModelId id);
std::string_view gf_airlineName(AirlineId id);
std::size_t gf_modelNameCount();
std::size_t gf_airlineNameCount();
// Installs the dbase's corrections of wrong model codes (wrong -> correct).
void gf_setModelFixes(std::map<std::string, std::string, std::less<>> fixes);
// From now on an unknown name listed as a wrong code is interned as its correction.
void gf_activateModelFixes();

// ---- Tables filled by the dbase reader ----
extern CodeSet g_dbaseModelCodes;
extern CodeSet g_dbaseAirlineCodes;
extern std::set<ModelId> g_cargoModels;
extern std::set<AirlineId> g_cargoOperators;
extern std::set<ModelId> g_heavyModels;
extern std::set<ModelId> g_largeModels;
extern std::set<ModelId> g_buzjetModels;
extern std::set<ModelId> g_twopropsModels;
extern std::set<ModelId> g_highPerformanceModels;
extern std::set<ModelId> g_rotorcraftModels;
extern std::vector<std::vector<std::string>> g_similarTypes;  // each group sorted
extern std::map<std::string, double, std::less<>> g_wingspans;  // code -> half wingspan, NM
// Half wingspan in NM per ModelId, sized from the names interned when the dbase was read.
extern std::vector<double> g_wingspanTable;
extern double g_maxHalfWingspanNm;
// Written by the dbase reader through gf_setModelFixes; read by the interning under its lock.
extern std::map<std::string, std::string, std::less<>> g_dbaseModelFixes;
extern std::atomic<bool> g_modelFixesActive;

// ---- Similar models (built once the livery database knows what is installed) ----
extern IdLists g_similarModels;
extern IdLists g_similarInstalledModels;
extern std::unordered_map<AirlineId, IdLists, Fnv1aHash> g_similarModelsByAirline;

// What the similar-model build needs of the livery database, which owns the answers.
struct LiveryPresence {
  std::function<bool(ModelId)> modelHasLiveries;                 // a key of g_modelTitles, either kind
  std::function<std::vector<AirlineId>()> collectLiveryAirlines;  // gf_collectLiveryAirlines
  std::function<bool(AirlineId, ModelId)> hasLiveryForAirlineModel;
};

// The IATA code of an unknown airport ("XXX"), the default of the airports list and the airport
// stand files; the same object as the value types' g_defaultIataCode.
extern const IataCode& g_unknownIata;

// ---- Lookups ----
AcCategory gf_categoryOf(ModelId id);
AcCategory gf_categoryOfModel(std::string_view name);
// "none", "twoprops", ... "rotorcraft", as the dbase sections name them; "none" outside 0..6.
std::string_view gf_categoryName(AcCategory category);
bool gf_isIcaoModelCode(std::string_view text);
bool gf_isIcaoAirlineCode(std::string_view text);
bool gf_isCargo(const DbaseEntry& entry);
// Half wingspan in NM; 0 (unknown) where the dbase gives none, also for ids interned later.
double gf_wingspanOf(ModelId id);

void gf_buildSimilarModels(const LiveryPresence& liveries);
std::pair<std::string, std::string> gf_splitModelCode(std::string_view text);  // letters, digits
std::size_t gf_editDistance(std::string_view a, std::string_view b);
std::optional<ModelId> gf_closestModel(ModelId target, std::span<const ModelId> candidates);

// Empties every table and the interning (tests; the program keeps them for the process).
void gf_resetModelTables();
