#pragma once
// The hand-over of traffic batches to the engine. Until the engine's own intake lands this is a
// minimal mailbox: it stamps, keeps and counts what the readers post, so that the readers and
// their tests have their real counterpart.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "feed/traffic_records.h"

inline constexpr std::int32_t kLiveTrafficKind = 30;

struct TrafficMailbox {
  std::vector<TrafficRecord> records;  // the live batch waiting to be consumed
  bool active = false;                 // delivery switched on
  bool stalled = false;
  std::uint64_t replacedBatches = 0;   // live batches replaced before they were consumed
  std::uint64_t liveBatches = 0;       // live batches accepted
  std::uint64_t bufferBatches = 0;     // history batches (kinds 0, 6, 12, ...) handed over
  std::uint64_t bufferRecords = 0;
  std::vector<std::int32_t> bufferKinds;  // in the order delivered
};

extern TrafficMailbox g_trafficMailbox;
extern std::mutex g_trafficMutex;
// The engine's clock in hundredths of a second (one count per main-loop tick).
extern std::atomic<std::int32_t> g_programTime;

// Takes every record out of batch (empty on return). Live batches (kind 30) replace the one
// waiting, or are dropped while delivery is off and dropWhenInactive is set; history batches
// are handed on at once.
void gf_postTrafficBatch(std::vector<TrafficRecord>& batch, std::int32_t kind, bool dropWhenInactive);
// The engine's side: the waiting live batch.
std::vector<TrafficRecord> gf_takeTrafficBatch();
void gf_resetTrafficMailbox();
