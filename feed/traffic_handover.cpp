#include "feed/traffic_handover.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "feed/rt_app_messages.h"

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

void gf_setMailboxTimeOffsets(std::vector<TrafficRecord>& records, std::int32_t programTime, std::int32_t delaySeconds) {
  if (records.empty()) return;
  const std::int64_t base = static_cast<std::int64_t>(delaySeconds) * 100 + programTime;
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
