#include "liveries/livery.h"

#include <tuple>

std::vector<Livery> g_liveries;
std::vector<Livery> g_scannedLiveries;

DbaseEntry Livery::identity() const { return DbaseEntry{airline, operatorId, model, cargo, marker}; }

void Livery::setIdentity(const DbaseEntry& entry) {
  airline = entry.airlineId;
  operatorId = entry.operatorId;
  model = entry.modelId;
  cargo = entry.cargo;
  marker = entry.marker;
}

bool operator==(const Livery& a, const Livery& b) {
  return std::tie(a.title, a.airline, a.model, a.operatorId, a.cargo, a.registration) ==
         std::tie(b.title, b.airline, b.model, b.operatorId, b.cargo, b.registration);
}

std::strong_ordering lf_compareLiveries(const Livery& a, const Livery& b) {
  return std::tie(a.airline, a.operatorId, a.model, a.cargo, a.title, a.registration) <=>
         std::tie(b.airline, b.operatorId, b.model, b.cargo, b.title, b.registration);
}

bool gf_liveryIncomplete(const Livery& livery) { return livery.airline == 0 || livery.model == 0; }
