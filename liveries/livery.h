#pragma once
// One installed AI livery: a [fltsim.N] section of an aircraft.cfg as the scan finds it and the
// scan result file keeps it. The scan fills g_liveries; every start reads the result file back
// into g_scannedLiveries, from which the livery database is built. Worker thread only.
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "refdata/model_ids.h"

// Titles and other texts, hashed with FNV-1a over their bytes; looked up by view.
using TextSet = std::unordered_set<std::string, Fnv1aHash, std::equal_to<>>;
// Views into the livery database's titles (liveries/livery_database.h).
using TitleViewSet = std::unordered_set<std::string_view, Fnv1aHash, std::equal_to<>>;

struct Livery {
  std::string title;         // title= of the section: the livery's name towards the simulator
  std::string registration;  // atc_id, empty when none
  // The identity, laid out as a DbaseEntry so that a dbase record is taken over whole.
  AirlineId airline = 0;
  AirlineId operatorId = 0;  // an airline id; 0 = no operator
  ModelId model = 0;
  std::uint8_t cargo = 0;   // 1 = cargo livery
  std::uint8_t marker = 0;  // 1 when the identity came whole from a dbase registration record
  std::uint16_t sourceIndex = 0;  // 1-based livery folder of the scan (saturates at 10); 0 when read back

  DbaseEntry identity() const;
  void setIdentity(const DbaseEntry& entry);
};

// Duplicates as the scan drops them: marker and sourceIndex do not count.
bool operator==(const Livery& a, const Livery& b);

// The file's and g_scannedLiveries' order: airline, operator, model (by id, not by name), cargo,
// title, registration.
std::strong_ordering lf_compareLiveries(const Livery& a, const Livery& b);
inline bool lf_liveryBefore(const Livery& a, const Livery& b) { return lf_compareLiveries(a, b) < 0; }

// Airline or model unknown.
bool gf_liveryIncomplete(const Livery& livery);

extern std::vector<Livery> g_liveries;         // the scan's working set
extern std::vector<Livery> g_scannedLiveries;  // the scan result as read back
