#include "refdata/registration.h"

#include <algorithm>

std::vector<DbaseRecord> g_dbaseRecords;

std::optional<DbaseEntry> gf_lookupDbaseKey(std::string_view text) {
  const auto it = std::lower_bound(g_dbaseRecords.begin(), g_dbaseRecords.end(), text,
                                   [](const DbaseRecord& record, std::string_view key) { return record.key < key; });
  if (it == g_dbaseRecords.end() || it->key != text) return std::nullopt;
  return it->entry;
}

std::optional<DbaseEntry> gf_lookupRegistration(std::string_view registration) {
  if (registration.empty()) return std::nullopt;
  if (registration.size() >= 5 && registration.front() != 'N' && registration.find('-') == std::string_view::npos) {
    std::string dashed;
    dashed.reserve(registration.size() + 1);
    dashed.append(registration.substr(0, 2)).append("-").append(registration.substr(2));
    if (const auto entry = gf_lookupDbaseKey(dashed)) return entry;
    dashed.clear();
    dashed.append(registration.substr(0, 1)).append("-").append(registration.substr(1));
    if (const auto entry = gf_lookupDbaseKey(dashed)) return entry;
  }
  return gf_lookupDbaseKey(registration);
}

std::optional<std::string> gf_findRegistrationIn(std::string_view text) {
  for (const auto& record : g_dbaseRecords) {
    // A record without a registration would occur in every text.
    if (record.key.empty() || record.key.size() >= 6) continue;
    if (text.find(record.key) != std::string_view::npos) return record.key;
  }
  return std::nullopt;
}
