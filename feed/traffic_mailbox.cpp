#include "feed/traffic_mailbox.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <utility>

#include "appbase/stop_request.h"
#include "core/log.h"
#include "feed/traffic_handover.h"

TrafficMailbox g_trafficMailbox;
std::mutex g_trafficMutex;
std::atomic<std::int32_t> g_engineTime{0};

namespace {

std::mutex g_clockMutex;
std::function<std::int64_t()> g_testClock;

std::int64_t lf_steadyNanos() {
  {
    std::lock_guard lock(g_clockMutex);
    if (g_testClock) return g_testClock();
  }
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Under g_trafficMutex.
void lf_resetStallTracking() {
  g_trafficMailbox.firstReplacementSet = false;
  g_trafficMailbox.firstReplacementTime = 0;
  g_trafficMailbox.replacedCount = 0;
  g_trafficMailbox.stallReported = false;
}

struct Stall {
  std::uint64_t replaced = 0;
  std::size_t pending = 0;
  std::size_t incoming = 0;
};

void lf_reportStall(const Stall& stall) {
  gf_requestStop(StopReason::TrafficMailboxStalled, 0);
  gf_logWarning(fmt::format("Traffic mailbox stalled: no messages consumed for 1 minute; {} batches replaced, {} "
                            "pending and {} incoming messages. Stopping traffic delivery and requesting shutdown.",
                            stall.replaced, stall.pending, stall.incoming));
}

// The flights the worker would take next from a rest about to be replaced, next first.
struct ResumePoint {
  std::array<std::uint32_t, 8> hexids{};
  std::size_t count = 0;
};

// Under g_trafficMutex.
ResumePoint lf_resumePoint(const std::vector<TrafficRecord>& rest) {
  ResumePoint point;
  for (auto it = rest.rbegin(); it != rest.rend() && point.count < point.hexids.size(); ++it)
    point.hexids[point.count++] = it->hexid;
  return point;
}

// Rotates records so that the flight the worker would have taken next comes first (at the back),
// those before it in the feed's order after it: a worker that falls behind then goes on around
// the batch instead of losing the front of the feed's stable order batch after batch. A flight
// gone from the feed gives way to the one after it.
void lf_resumeAt(std::vector<TrafficRecord>& records, const ResumePoint& point) {
  for (std::size_t i = 0; i < point.count; ++i) {
    const auto found = std::find_if(records.begin(), records.end(),
                                    [&](const TrafficRecord& record) { return record.hexid == point.hexids[i]; });
    if (found == records.end()) continue;
    std::rotate(records.begin(), found + 1, records.end());
    return;
  }
}

void lf_postHistory(std::vector<TrafficRecord>& records, std::int32_t kind) {
  gf_setMailboxTimeOffsets(records, g_engineTime.load(), kind);
  std::size_t waiting = 0;
  {
    std::lock_guard lock(g_trafficMutex);
    waiting = g_trafficMailbox.history.size();
    if (waiting < kMaxWaitingHistoryBatches) {
      ++g_trafficMailbox.bufferBatches;
      g_trafficMailbox.bufferRecords += records.size();
      g_trafficMailbox.bufferKinds.push_back(kind);
      g_trafficMailbox.history.push_back({kind, std::move(records)});
      return;
    }
    ++g_trafficMailbox.droppedHistoryBatches;
  }
  gf_logNoexcept(fmt::format("History batch of kind {} dropped: {} batches wait already", kind, waiting));
}

}  // namespace

void gf_postTrafficBatch(std::vector<TrafficRecord>& batch, std::int32_t kind, bool dropWhenInactive) {
  // Taken out at once: whatever happens below, the records are destroyed outside the lock.
  std::vector<TrafficRecord> records;
  records.swap(batch);
  if (records.empty()) return;
  if (kind != kLiveTrafficKind) {
    lf_postHistory(records, kind);
    return;
  }
  ResumePoint resume;
  {
    std::lock_guard lock(g_trafficMutex);
    if (dropWhenInactive && !g_trafficMailbox.active) return;
    resume = lf_resumePoint(g_trafficMailbox.records);
  }
  gf_setMailboxTimeOffsets(records, g_engineTime.load(), kind);
  lf_resumeAt(records, resume);

  std::optional<Stall> stall;
  std::vector<TrafficRecord> dropped;
  {
    std::lock_guard lock(g_trafficMutex);
    if (!g_trafficMailbox.active) return;
    TrafficMailbox& box = g_trafficMailbox;
    if (box.records.empty()) {
      lf_resetStallTracking();
    } else {
      const std::int64_t now = lf_steadyNanos();
      if (!box.firstReplacementSet) {
        box.firstReplacementTime = now;
        box.firstReplacementSet = true;
      }
      ++box.replacedCount;
      if (!box.stallReported && now - box.firstReplacementTime >= kMailboxStallNanos) {
        box.stallReported = true;
        stall = Stall{box.replacedCount, box.records.size(), records.size()};
        box.stalled = true;
        box.active = false;
        dropped.swap(box.records);
      }
    }
    if (!stall) {
      box.replacedRecords += box.records.size();
      box.records.swap(records);  // records now holds the replaced rest
      box.drainPerTick =
          std::max(kMinDrainPerTick, (box.records.size() + kDrainTicksPerBatch - 1) / kDrainTicksPerBatch);
      ++box.liveBatches;
      box.liveRecords += box.records.size();
    }
  }
  if (stall) lf_reportStall(*stall);
}

std::size_t gf_mailboxDrainPerTick() {
  std::lock_guard lock(g_trafficMutex);
  return g_trafficMailbox.drainPerTick;
}

bool gf_takeMailboxRecord(TrafficRecord& record) {
  std::lock_guard lock(g_trafficMutex);
  std::vector<TrafficRecord>& records = g_trafficMailbox.records;
  if (records.empty()) return false;
  record = std::move(records.back());
  records.pop_back();
  lf_resetStallTracking();
  return true;
}

std::vector<HistoryBatch> gf_takeHistoryBatches() {
  std::lock_guard lock(g_trafficMutex);
  return std::exchange(g_trafficMailbox.history, {});
}

std::vector<TrafficRecord> gf_takeTrafficBatch() {
  std::lock_guard lock(g_trafficMutex);
  lf_resetStallTracking();
  return std::exchange(g_trafficMailbox.records, {});
}

void gf_setMailboxActive(bool active) {
  std::lock_guard lock(g_trafficMutex);
  g_trafficMailbox.active = active && !g_trafficMailbox.stalled;
  lf_resetStallTracking();
}

void gf_clearTrafficMailbox() {
  std::vector<TrafficRecord> records;
  std::vector<HistoryBatch> history;
  std::lock_guard lock(g_trafficMutex);
  records.swap(g_trafficMailbox.records);
  history.swap(g_trafficMailbox.history);
  g_trafficMailbox.stalled = false;
  lf_resetStallTracking();
  // A new run counts afresh; the kinds would otherwise pile up over restarts.
  g_trafficMailbox.liveBatches = 0;
  g_trafficMailbox.bufferBatches = 0;
  g_trafficMailbox.bufferRecords = 0;
  g_trafficMailbox.droppedHistoryBatches = 0;
  std::vector<std::int32_t>().swap(g_trafficMailbox.bufferKinds);
}

void gf_setMailboxClockForTest(std::function<std::int64_t()> clock) {
  std::lock_guard lock(g_clockMutex);
  g_testClock = std::move(clock);
}

void gf_resetTrafficMailbox() {
  TrafficMailbox old;
  {
    std::lock_guard lock(g_trafficMutex);
    std::swap(old, g_trafficMailbox);
  }
  g_engineTime = 0;
}
