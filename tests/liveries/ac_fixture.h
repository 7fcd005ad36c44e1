#pragma once
// A few aircraft models with their categories and half wingspans, as the dbase would give them.
#include <utility>

#include "liveries/ac_identity.h"
#include "refdata/model_ids.h"

namespace actest {

struct Model {
  const char* code;
  AcCategory category;
  double halfSpanM;
};

inline constexpr Model kModels[] = {
    {"C172", AcCategory::none, 5.5},        {"BE58", AcCategory::twoprops, 5.8},
    {"C25A", AcCategory::buzjet, 7.9},      {"E190", AcCategory::large, 14.4},
    {"B738", AcCategory::large, 17.9},      {"B77W", AcCategory::heavy, 32.4},
    {"EC35", AcCategory::rotorcraft, 5.1},  {"F16", AcCategory::high_performance, 4.9},
};

inline void installModels() {
  gf_resetModelTables();
  gf_internModelName("");
  gf_internAirlineName("");
  for (const Model& m : kModels) {
    const ModelId id = gf_internModelName(m.code);
    g_dbaseModelCodes.insert(m.code);
    switch (m.category) {
      case AcCategory::twoprops: g_twopropsModels.insert(id); break;
      case AcCategory::buzjet: g_buzjetModels.insert(id); break;
      case AcCategory::large: g_largeModels.insert(id); break;
      case AcCategory::heavy: g_heavyModels.insert(id); break;
      case AcCategory::high_performance: g_highPerformanceModels.insert(id); break;
      case AcCategory::rotorcraft: g_rotorcraftModels.insert(id); break;
      case AcCategory::none: break;
    }
    if (g_wingspanTable.size() <= id) g_wingspanTable.resize(id + 1, 0.0);
    g_wingspanTable[id] = m.halfSpanM / 1852.0;
  }
}

inline AcIdentity aircraftOf(const char* model, const char* callsign = "SWR12", const char* registration = "") {
  FeedRecordHead head;
  head.modelId = gf_internModelName(model);
  head.callsign = callsign;
  head.registration = registration;
  head.setAirlineFromCallsign();
  return AcIdentity(std::move(head));
}

}  // namespace actest
