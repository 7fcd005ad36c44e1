#pragma once
// The stands and the static aircraft sorted by latitude for the once-a-second ground pass, so
// that each taxiing aircraft looks only at those within reach north and south of it instead of
// at every one. Built at the start of the pass and dropped at its end: outside it the checks go
// through the whole tables. lf_main only.
#include <cstdint>
#include <utility>
#include <vector>

class LatitudeIndex {
 public:
  void clear() { entries_.clear(); }
  void add(double lat, std::uint32_t index);
  void sort();
  // The table indices whose latitude lies within band degrees of lat, in table order.
  void near(double lat, double band, std::vector<std::uint32_t>& out) const;

 private:
  std::vector<std::pair<double, std::uint32_t>> entries_;
};

struct GroundIndex {
  bool active = false;
  LatitudeIndex stands;  // every stand of g_stands
  double maxStandRadiusNm = 0.0;
  LatitudeIndex statics;  // the static aircraft in the simulator
  double maxStaticRadiusNm = 0.0;
};
extern GroundIndex g_groundIndex;

// For the length of one pass over the live aircraft; the tables keep their sizes meanwhile.
class GroundIndexScope {
 public:
  GroundIndexScope();
  ~GroundIndexScope();
  GroundIndexScope(const GroundIndexScope&) = delete;
  GroundIndexScope& operator=(const GroundIndexScope&) = delete;
};
