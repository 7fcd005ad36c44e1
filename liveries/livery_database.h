#pragma once
// The livery and model database, built from the scan result file at every start of the worker:
// the liveries by airline and model, the titles per kind (passenger, cargo) by airline and model
// and by model alone, the distinct titles, the models per category and the registration codes
// (liveries/livery_regcodes.h). The titles are owned by g_liveryIndex; every other table holds
// views into it, valid until the next gf_processScannedLiveries.
//
// Threads: built on the worker before the simulator link starts, read-only afterwards (the match
// only shuffles its own copies and the similar-model lists).
#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "liveries/livery.h"
#include "refdata/model_ids.h"

inline constexpr int kPassengerKind = 0;
inline constexpr int kCargoKind = 1;
inline constexpr std::size_t kCategoryCount = 7;

template <class T>
using IdMap = std::unordered_map<std::uint16_t, T, Fnv1aHash>;

struct IndexedLivery {
  std::string title;
  std::uint8_t cargo = 0;
};

using TitleList = std::vector<std::string_view>;

// Airline id -> model -> liveries. A livery with an operator is listed under the joined code
// ("DLH" + "CLH" interned as "DLHCLH") and under the operator, never under the plain airline;
// "ZZZ" holds the generic liveries.
extern IdMap<IdMap<std::vector<IndexedLivery>>> g_liveryIndex;
// Per kind: airline id -> model -> titles, keyed as g_liveryIndex.
extern std::array<IdMap<IdMap<TitleList>>, 2> g_airlineModelTitles;
// Per kind: model -> titles of every airline.
extern std::array<IdMap<TitleList>, 2> g_modelTitles;
// Every distinct title once, as its canonical view.
extern TitleViewSet g_liveryTitles;
// Per AcCategory: the models that have liveries, ascending.
extern std::array<std::vector<ModelId>, kCategoryCount> g_categoryModels;

// Reads the scan result file and builds every table. Throws std::runtime_error when the file
// cannot be read; the tables are then empty.
void gf_processScannedLiveries();

// The canonical view of an installed title; empty when no livery has it.
std::string_view lf_findTitle(std::string_view title);
// The index holds the entry's airline and, under it, its model.
bool gf_hasLiveryForAirlineModel(const DbaseEntry& entry);
// Every airline key of the index.
std::set<AirlineId> gf_collectLiveryAirlines();
// "Light", "TwoProps", "Bizjet", "Large", "Heavy", "HighPerf", "Rotorcraft".
std::string_view gf_categoryDisplayName(AcCategory category);

// Tests: every table of the library empty, the refused and unmatched sets and the match
// counters too.
void gf_resetLiveriesForTest();
