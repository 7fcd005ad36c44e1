#pragma once
// The hand-over of traffic batches to the engine. Until the engine's own intake lands this is a
// minimal mailbox: it stamps, keeps and counts what the readers post, so that the readers and
// their tests have their real counterpart.
//
// History batches (the buffered past a feed sends at its start) are not decoded on the reader's
// thread, where they would race the worker's engine step: they queue here in the order delivered
// and the worker drains them, all of them before the waiting live batch.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "feed/traffic_records.h"

inline constexpr std::int32_t kLiveTrafficKind = 30;
// A feed sends a handful of history batches; more waiting than this means nobody drains them.
inline constexpr std::size_t kMaxWaitingHistoryBatches = 64;

struct HistoryBatch {
  std::int32_t kind = 0;  // 0, 6, 12, ...: the batch's delay in seconds
  std::vector<TrafficRecord> records;
};

struct TrafficMailbox {
  std::vector<TrafficRecord> records;  // the live batch waiting to be consumed
  std::deque<HistoryBatch> history;    // history batches waiting, oldest first
  bool active = false;                 // delivery switched on
  bool stalled = false;
  std::uint64_t replacedBatches = 0;   // live batches replaced before they were consumed
  std::uint64_t liveBatches = 0;       // live batches accepted
  std::uint64_t bufferBatches = 0;     // history batches (kinds 0, 6, 12, ...) handed over
  std::uint64_t bufferRecords = 0;
  std::uint64_t droppedHistoryBatches = 0;  // refused because too many were waiting
  std::vector<std::int32_t> bufferKinds;  // in the order delivered
};

extern TrafficMailbox g_trafficMailbox;
extern std::mutex g_trafficMutex;
// The engine's clock in hundredths of a second (one count per main-loop tick).
extern std::atomic<std::int32_t> g_programTime;

// Takes every record out of batch (empty on return). Live batches (kind 30) replace the one
// waiting, or are dropped while delivery is off and dropWhenInactive is set; history batches
// join the queue of history batches.
void gf_postTrafficBatch(std::vector<TrafficRecord>& batch, std::int32_t kind, bool dropWhenInactive);
// The engine's side: the waiting live batch.
std::vector<TrafficRecord> gf_takeTrafficBatch();
// The engine's side: every waiting history batch, in the order delivered. Drain these before
// the live batch so that the records reach the engine in the order the feed sent them.
std::deque<HistoryBatch> gf_takeHistoryBatches();
void gf_resetTrafficMailbox();
