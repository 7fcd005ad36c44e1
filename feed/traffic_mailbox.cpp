#include "feed/traffic_mailbox.h"

#include <fmt/format.h>

#include <utility>

#include "core/log.h"
#include "feed/traffic_handover.h"

TrafficMailbox g_trafficMailbox;
std::mutex g_trafficMutex;
std::atomic<std::int32_t> g_programTime{0};

void gf_postTrafficBatch(std::vector<TrafficRecord>& batch, std::int32_t kind, bool dropWhenInactive) {
  std::vector<TrafficRecord> records;
  records.swap(batch);
  if (records.empty()) return;
  if (kind == kLiveTrafficKind) {
    {
      std::lock_guard lock(g_trafficMutex);
      if (!g_trafficMailbox.active && dropWhenInactive) return;
    }
    gf_setMailboxTimeOffsets(records, g_programTime.load(), kind);
    std::lock_guard lock(g_trafficMutex);
    if (!g_trafficMailbox.records.empty()) ++g_trafficMailbox.replacedBatches;
    g_trafficMailbox.records = std::move(records);
    ++g_trafficMailbox.liveBatches;
    return;
  }
  gf_setMailboxTimeOffsets(records, g_programTime.load(), kind);
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

std::vector<TrafficRecord> gf_takeTrafficBatch() {
  std::lock_guard lock(g_trafficMutex);
  return std::exchange(g_trafficMailbox.records, {});
}

std::deque<HistoryBatch> gf_takeHistoryBatches() {
  std::lock_guard lock(g_trafficMutex);
  return std::exchange(g_trafficMailbox.history, {});
}

void gf_resetTrafficMailbox() {
  std::lock_guard lock(g_trafficMutex);
  g_trafficMailbox = TrafficMailbox{};
  g_programTime = 0;
}
