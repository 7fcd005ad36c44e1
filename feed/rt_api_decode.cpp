#include "feed/rt_api_decode.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "core/log.h"
#include "core/text.h"
#include "feed/traffic_store.h"

RTAPIResult<std::vector<std::string>, RTAPICheckError> gf_decodeNearestMetar(const nlohmann::json& data) {
  if (!data.is_object() && !data.is_array())
    return RTAPICheckError{"nearest metar", "response contains invalid METAR data"};
  std::vector<std::string> metars;
  auto take = [&metars](const nlohmann::json& station) {
    if (!station.is_object()) return;
    const auto metar = station.find("METAR");
    if (metar == station.end() || !metar->is_string()) return;
    const auto& text = metar->get_ref<const std::string&>();
    if (!text.empty()) metars.push_back(text);
  };
  if (data.is_object()) {
    take(data);
  } else {
    for (const auto& station : data) take(station);
  }
  if (metars.empty())
    return RTAPICheckError{"nearest metar", "response contains no METAR station with a valid METAR string"};
  return metars;
}


bool gf_rtApiTimestamp(const nlohmann::json& value, double& seconds, std::int64_t& wholeSeconds) {
  if (!value.is_number()) return false;
  const double v = value.get<double>();
  // 2^63: the first value that no longer fits a signed 64-bit count.
  if (!std::isfinite(v) || !(v > 0.0) || !(v < 9223372036854775808.0)) return false;
  seconds = v;
  const double rounded = std::round(v);  // halves away from zero
  wholeSeconds = rounded >= 9223372036854775807.0 ? std::numeric_limits<std::int64_t>::max()
                                                   : static_cast<std::int64_t>(rounded);
  return true;
}

bool gf_rtApiHexAddress(std::string_view text, std::uint32_t& address) {
  if (text.empty()) return false;
  std::uint64_t value = 0;
  for (const char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    value = value * 16 + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFull) return false;
  }
  address = static_cast<std::uint32_t>(value);
  return true;
}

namespace {

// The store keeps no state: one instance serves every thread.
const TrafficStore g_store;

double lf_number(const nlohmann::json& entry, std::size_t index, double fallback) {
  const auto& value = entry[index];
  return value.is_number() ? value.get<double>() : fallback;
}

std::string_view lf_text(const nlohmann::json& entry, std::size_t index) {
  const auto& value = entry[index];
  return value.is_string() ? std::string_view(value.get_ref<const std::string&>()) : std::string_view();
}

// The squawk: a text as it stands, a whole number 0..9999 as its four digits (0 is "0000").
std::string_view lf_codeText(const nlohmann::json& value, std::array<char, 5>& digits) {
  if (value.is_string()) return value.get_ref<const std::string&>();
  if (!value.is_number()) return {};
  const double code = value.get<double>();
  if (!(code >= 0.0 && code <= 9999.0) || code != std::floor(code)) return {};
  const auto end = fmt::format_to_n(digits.data(), digits.size(), "{:04d}", static_cast<int>(code));
  return std::string_view(digits.data(), end.size);
}

}  // namespace

void parseTrafficRecord(const nlohmann::json& entry, const TrafficFilterContext& context, TrafficBatch& batch,
                        std::int64_t& feedTime) {
  try {
    TrafficFields fields;
    std::int64_t whole = 0;
    if (!gf_rtApiTimestamp(entry[10], fields.timestamp, whole)) return;
    feedTime = whole;
    if (!entry[0].is_string() || !gf_rtApiHexAddress(lf_text(entry, 0), fields.hexid)) return;
    fields.lat = lf_number(entry, 1, 0.0);
    fields.lon = lf_number(entry, 2, 0.0);
    fields.altitude = lf_number(entry, 4, 0.0);
    fields.vs = lf_number(entry, 15, 0.0);
    fields.track = lf_number(entry, 3, 0.0);
    // A missing speed is unknown, not a stop: the engine works one out from the moves.
    fields.gs = lf_number(entry, 5, std::numeric_limits<double>::quiet_NaN());
    fields.trueheading = lf_number(entry, 25, 0.0);
    fields.roll = lf_number(entry, 23, 0.0);  // a missing roll reads as wings level
    fields.TAS = lf_number(entry, 20, -1.0);
    fields.callsign = lf_text(entry, 13);
    fields.typeDesignator = lf_text(entry, 8);
    fields.registration = lf_text(entry, 9);
    fields.origin = lf_text(entry, 11);
    fields.destination = lf_text(entry, 12);
    fields.sourceType = lf_text(entry, 17);
    fields.emitterCategory = lf_text(entry, 28);
    fields.airlineCode = lf_text(entry, 48);
    std::array<char, 5> digits{};
    fields.codeText = lf_codeText(entry[6], digits);
    TrafficAddResult added = g_store.addTraffic(fields, context);
    if (!added.refusedValue.empty()) gf_logRefusedFlight(fields.hexid, added.refusedValue);
    if (added.identity) {
      if (!added.identity->callsign.empty()) batch.callsigns.insert(added.identity->callsign);
      batch.hexids.insert(added.identity->hexid);
    }
    if (added.record) batch.records.push_back(std::move(*added.record));
  } catch (const std::runtime_error&) {
    // the store's rejections: it decides what to log
  } catch (const std::exception& e) {
    gf_logLimited("parseTrafficRecord", fmt::format("{}: {}", "parseTrafficRecord", gf_escapedText(e.what())));
  }
}

RTAPITrafficDecoded gf_decodeTrafficResponse(const nlohmann::json& data, const TrafficFilterContext& context,
                                             TrafficBatch& batch) {
  batch.clear();
  RTAPITrafficDecoded decoded;
  if (!data.is_object() || !context.snapshot) return decoded;
  batch.records.reserve(std::min<std::size_t>(data.size(), 384));
  if (context.collectIdentity) {
    batch.callsigns.reserve(data.size());
    batch.hexids.reserve(data.size());
  }
  // nlohmann's object keeps its members sorted by name: the batch follows that order.
  for (const auto& [name, entry] : data.items()) {
    if (entry.is_array() && entry.size() >= kRTAPITrafficEntrySize) {
      parseTrafficRecord(entry, context, batch, decoded.feedTime);
    } else if (entry.is_array() || entry.is_object()) {
      ++decoded.skippedEntries;  // plain values are no entries: the answer may carry counts beside the flights
    }
  }
  return decoded;
}

void parseParkedRecord(std::string_view name, const nlohmann::json& entry, std::vector<ParkedRecord>& out) {
  try {
    ParkedFields fields;
    if (!gf_rtApiHexAddress(name, fields.hexid)) return;
    double seconds = 0;
    if (!gf_rtApiTimestamp(entry[5], seconds, fields.timestamp)) return;
    fields.lat = lf_number(entry, 0, 0.0);
    fields.lon = lf_number(entry, 1, 0.0);
    fields.callsign = lf_text(entry, 6);
    fields.typeDesignator = lf_text(entry, 3);
    fields.registration = lf_text(entry, 4);
    fields.standName = lf_text(entry, 2);
    if (auto record = g_store.addParked(fields)) out.push_back(std::move(*record));
  } catch (const std::runtime_error&) {
  } catch (const std::exception& e) {
    gf_logLimited("parseParkedRecord", fmt::format("{}: {}", "parseParkedRecord", gf_escapedText(e.what())), true);
  }
}

std::vector<ParkedRecord> gf_decodeParkedResponse(const nlohmann::json& data) {
  std::vector<ParkedRecord> out;
  if (!data.is_object()) return out;
  out.reserve(data.size());
  for (const auto& [name, entry] : data.items()) {
    if (entry.is_array() && entry.size() >= kRTAPIParkedEntryMinSize) parseParkedRecord(name, entry, out);
  }
  return out;
}
