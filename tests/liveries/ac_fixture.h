#pragma once
// A few aircraft models with their categories and half wingspans, as the dbase would give them.
#include <set>
#include <utility>

#include "liveries/ac_identity.h"
#include "refdata/model_ids.h"

namespace actest {

inline void installModels() {
  struct Model {
    const char* code;
    std::set<ModelId>* category;  // none: category 0
    double halfSpanM;
  };
  const Model models[] = {{"C172", nullptr, 5.5},           {"BE58", &g_twopropsModels, 5.8},
                          {"E190", &g_largeModels, 14.4},   {"B738", &g_largeModels, 17.9},
                          {"B77W", &g_heavyModels, 32.4},   {"EC35", &g_rotorcraftModels, 5.1},
                          {"F16", &g_highPerformanceModels, 4.9}};
  gf_resetModelTables();
  gf_internModelName("");
  gf_internAirlineName("");
  for (const Model& m : models) {
    const ModelId id = gf_internModelName(m.code);
    if (m.category) m.category->insert(id);
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
