#include "traffic/ground_index.h"

#include <algorithm>
#include <cmath>

#include "simlink/facility_stand.h"
#include "traffic/engine_state.h"

GroundIndex g_groundIndex;

void LatitudeIndex::add(double lat, std::uint32_t index) {
  if (std::isfinite(lat)) entries_.emplace_back(lat, index);
}

void LatitudeIndex::sort() { std::sort(entries_.begin(), entries_.end()); }

void LatitudeIndex::near(double lat, double band, std::vector<std::uint32_t>& out) const {
  out.clear();
  if (!std::isfinite(lat) || !std::isfinite(band)) return;
  auto it = std::lower_bound(entries_.begin(), entries_.end(), std::make_pair(lat - band, std::uint32_t{0}));
  for (; it != entries_.end() && it->first <= lat + band; ++it) out.push_back(it->second);
  // Table order: ties are settled as the whole-table walk settles them.
  std::sort(out.begin(), out.end());
}

GroundIndexScope::GroundIndexScope() {
  GroundIndex& index = g_groundIndex;
  index.stands.clear();
  index.maxStandRadiusNm = 0.0;
  for (std::uint32_t i = 0; i < g_stands.size(); ++i) {
    index.stands.add(g_stands[i].position.lat, i);
    if (std::isfinite(g_stands[i].radius)) index.maxStandRadiusNm = std::max(index.maxStandRadiusNm, g_stands[i].radius);
  }
  index.stands.sort();
  index.statics.clear();
  index.maxStaticRadiusNm = 0.0;
  for (std::uint32_t i = 0; i < g_staticAcs.size(); ++i) {
    const StaticAc& parked = g_staticAcs[i];
    if (parked.simState != SimStatus::active) continue;
    index.statics.add(parked.position.lat, i);
    if (std::isfinite(parked.groundRadius))
      index.maxStaticRadiusNm = std::max(index.maxStaticRadiusNm, parked.groundRadius);
  }
  index.statics.sort();
  index.active = true;
}

GroundIndexScope::~GroundIndexScope() { g_groundIndex.active = false; }
