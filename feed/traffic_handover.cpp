#include "feed/traffic_handover.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <string>
#include <unordered_set>

#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/utc_time.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_app_messages.h"
#include "feed/rt_app_traffic.h"
#include "feed/traffic_store.h"

namespace {

constexpr std::int64_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kI32Max = std::numeric_limits<std::int32_t>::max();

std::int32_t lf_saturate32(std::int64_t value) { return static_cast<std::int32_t>(std::clamp(value, kI32Min, kI32Max)); }

// llround of a finite double, saturated to the 64-bit range instead of being undefined.
std::int64_t lf_roundSaturated(double value) {
  if (!std::isfinite(value)) return 0;
  if (value >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
  if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return std::llround(value);
}

}  // namespace

void gf_setMailboxTimeOffsets(std::vector<TrafficRecord>& records, std::int32_t engineTime, std::int32_t delaySeconds) {
  if (records.empty()) return;
  const std::int64_t base = static_cast<std::int64_t>(delaySeconds) * 100 + engineTime;
  std::vector<double> times;
  times.reserve(records.size());
  for (const TrafficRecord& record : records)
    if (std::isfinite(record.timestamp)) times.push_back(record.timestamp);
  if (times.empty()) {
    for (TrafficRecord& record : records) record.mailboxTime = lf_saturate32(base);
    return;
  }
  std::sort(times.begin(), times.end());
  const std::size_t middle = times.size() / 2;
  const double median = times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2.0;
  for (TrafficRecord& record : records) {
    const std::int64_t offset = lf_roundSaturated((record.timestamp - median) * 100.0);
    std::int64_t sum = 0;
    if (__builtin_add_overflow(base, offset, &sum)) sum = offset > 0 ? kI32Max : kI32Min;
    record.mailboxTime = lf_saturate32(sum);
  }
}

std::optional<BlockedAircraft> gf_parseBlockedAircraft(std::string_view entry) {
  std::vector<std::string_view> fields;
  gf_splitRTAppLine(entry, fields);
  if (fields.size() != 4 || fields[0].empty()) return std::nullopt;
  BlockedAircraft blocked{std::string(fields[0]), std::string(fields[1]), 0};
  if (!gf_parseHexU32(fields[2], blocked.hexid)) return std::nullopt;
  return blocked;
}

void gf_prepareParkedRecords(std::vector<ParkedRecord>& records) {
  const std::int32_t now = std::max(gf_halfHourSlot(), 0);
  for (ParkedRecord& record : records) {
    // A sighting whose time could not be read counts as the oldest possible.
    std::int32_t age = record.halfHourSlot < 0 ? 47 : now - record.halfHourSlot;
    if (age < 0) age += 48;
    record.halfHourSlot = age;
    record.callsign = gf_cleanCallsign(record.callsign);
  }
  std::erase_if(records, [](const ParkedRecord& record) { return record.callsign.empty(); });
  const auto snapshot = g_parameterSnapshot.load();
  if (!snapshot->rtParkTrafficOnly && !snapshot->autoPark) {
    const auto maxFit = static_cast<std::int64_t>(snapshot->maxFit);
    std::erase_if(records, [maxFit](const ParkedRecord& record) { return record.halfHourSlot > maxFit; });
  }
  std::stable_sort(records.begin(), records.end(),
                   [](const ParkedRecord& a, const ParkedRecord& b) { return a.halfHourSlot < b.halfHourSlot; });
  std::unordered_set<std::string> stands;
  std::unordered_set<std::string> callsigns;
  std::vector<ParkedRecord> kept;
  kept.reserve(records.size());
  for (ParkedRecord& record : records) {
    if (stands.contains(record.standName)) continue;
    if (!record.callsign.empty() && callsigns.contains(record.callsign)) continue;
    stands.insert(record.standName);
    if (!record.callsign.empty()) callsigns.insert(record.callsign);
    kept.push_back(std::move(record));
  }
  records = std::move(kept);
}

ParkedAnswer gf_askParkedTraffic() {
  if (!gf_isRtDirect()) return ParkedAnswer::ready;
  return g_rtApiTrafficClient.askParkedTraffic() ? ParkedAnswer::waiting : ParkedAnswer::none;
}

ParkedAnswer gf_parkedTrafficAnswer() {
  return gf_isRtDirect() ? g_rtApiTrafficClient.parkedOutcome() : ParkedAnswer::ready;
}

void gf_processParkedTraffic(std::uint32_t wanted) {
  if (gf_isRtDirect()) {
    if (g_rtApiTrafficClient.parkedOutcome() != ParkedAnswer::ready) return;
    std::lock_guard lock(g_rtApiTrafficClient.parkedRecordsMutex);
    if (!g_rtApiTrafficClient.parkedRecordsPrepared) gf_prepareParkedRecords(g_rtApiTrafficClient.parkedRecords);
    g_rtApiTrafficClient.parkedRecordsPrepared = true;
    if (g_parameterSnapshot.load()->rtParkTrafficOnly) gf_feedAddParked(g_rtApiTrafficClient.parkedRecords, wanted);
    return;
  }
  RTAppTrafficReader& reader = g_rtAppTrafficReader;
  if (!reader.parkedReceived) return;
  std::lock_guard lock(reader.parkedMutex);
  if (reader.parkedSet.empty()) return;
  if (!reader.parkedSetPrepared) gf_prepareParkedRecords(reader.parkedSet);
  reader.parkedSetPrepared = true;
  if (g_parameterSnapshot.load()->rtParkTrafficOnly) gf_feedAddParked(reader.parkedSet, wanted);
}

void gf_visitParkedRecords(const std::function<void(const std::vector<ParkedRecord>&)>& visit) {
  if (gf_isRtDirect()) {
    std::lock_guard lock(g_rtApiTrafficClient.parkedRecordsMutex);
    if (g_rtApiTrafficClient.parkedRecordsPrepared) visit(g_rtApiTrafficClient.parkedRecords);
    return;
  }
  RTAppTrafficReader& reader = g_rtAppTrafficReader;
  std::lock_guard lock(reader.parkedMutex);
  if (reader.parkedSetPrepared) visit(reader.parkedSet);
}

void gf_resetParkedTraffic() {
  if (gf_isRtDirect()) {
    g_rtApiTrafficClient.resetParkedTraffic();
    return;
  }
  RTAppTrafficReader& reader = g_rtAppTrafficReader;
  std::lock_guard lock(reader.identityMutex);
  reader.liveCallsigns.clear();
  reader.liveHexids.clear();
  reader.collectIdentity = true;
}
