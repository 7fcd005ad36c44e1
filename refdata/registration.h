#pragma once
// The dbase's registration records and their lookups. Filled by the dbase reader during
// set-up, read-only afterwards.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "refdata/model_ids.h"

struct DbaseRecord {
  std::string key;  // the registration as written in the dbase
  DbaseEntry entry;
};

// Sorted by key in byte order, one record per key.
extern std::vector<DbaseRecord> g_dbaseRecords;

// Exact key.
std::optional<DbaseEntry> gf_lookupDbaseKey(std::string_view text);
// Registrations often arrive without the dash after the nationality prefix: texts of 5 or more
// characters without a dash that do not begin with "N" are tried as "XX-..." and "X-..." first.
std::optional<DbaseEntry> gf_lookupRegistration(std::string_view registration);
// The first key (in key order) shorter than 6 characters that occurs inside the text.
std::optional<std::string> gf_findRegistrationIn(std::string_view text);
