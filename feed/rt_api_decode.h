#pragma once
// RT Direct: the "data" of accepted web API answers turned into the feed's records. Nothing
// here talks to the network or keeps state.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "feed/rt_api_transport.h"
#include "feed/traffic_records.h"

inline constexpr std::size_t kRTAPITrafficEntrySize = 49;  // at least; later elements are not read
inline constexpr std::size_t kRTAPIParkedEntryMinSize = 7;

struct RTAPITrafficDecoded {
  // The feed's time as far as the answer tells it: the whole seconds of the last entry with a
  // usable timestamp, 0 for none.
  std::int64_t feedTime = 0;
  // Arrays and objects that are no flight (a flight is an array of at least 49 elements, of
  // which the first 49 are read): a changed answer shape shows here instead of silently.
  std::size_t skippedEntries = 0;
};
// Fills batch (cleared first) from a live or buffer answer.
RTAPITrafficDecoded gf_decodeTrafficResponse(const nlohmann::json& data, const TrafficFilterContext& context,
                                             TrafficBatch& batch);
// One flight; feedTime takes its whole-second timestamp once that has passed its check.
void parseTrafficRecord(const nlohmann::json& entry, const TrafficFilterContext& context, TrafficBatch& batch,
                        std::int64_t& feedTime);
std::vector<ParkedRecord> gf_decodeParkedResponse(const nlohmann::json& data);
void parseParkedRecord(std::string_view name, const nlohmann::json& entry, std::vector<ParkedRecord>& out);

// The METAR texts of a nearest-METAR answer, in order, or the error pair of a failed check
// with the label "nearest metar".
RTAPIResult<std::vector<std::string>, RTAPICheckError> gf_decodeNearestMetar(const nlohmann::json& data);

// The element rules: a whole-second time out of a number in (0, 2^63), and a 24-bit address out
// of hexadecimal digits only.
bool gf_rtApiTimestamp(const nlohmann::json& value, double& seconds, std::int64_t& wholeSeconds);
bool gf_rtApiHexAddress(std::string_view text, std::uint32_t& address);
