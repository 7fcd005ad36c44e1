#pragma once
// The one hand-over of traffic from the feed's reader thread to the engine on lf_main. A live
// batch replaces whatever of the previous one has not been consumed; the engine takes its
// records one at a time. A mailbox that keeps being replaced without a single record consumed
// for a minute stops the program: nobody drains it.
//
// The worker drains a live batch within a quarter of a second of its swap (25 ticks), at least
// two records a tick, so that a batch following closely (a raised pace, the history followed by
// live traffic) replaces nothing and each flight's newest position reaches the engine well before
// it falls due, while no tick decodes more than a small share of a busy feed's batch. Should it fall
// behind all the same, the next batch is handed over starting with the flight it would have
// taken next, so that the flights lost are not the same ones batch after batch.
//
// History batches (the buffered past a feed sends at its start) are not decoded on the reader's
// thread, where they would race the worker's engine step: they queue here in the order delivered
// and the worker decodes them, all of them before the next live record.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "feed/traffic_records.h"

inline constexpr std::int32_t kLiveTrafficKind = 30;
// A feed sends a handful of history batches; more waiting than this means nobody drains them.
inline constexpr std::size_t kMaxWaitingHistoryBatches = 64;
// Replacements without a consumption for this long are a stall (steady clock, nanoseconds).
inline constexpr std::int64_t kMailboxStallNanos = 60'000'000'000;
// A live batch is drained in this many ticks, at least kMinDrainPerTick records a tick.
inline constexpr std::size_t kDrainTicksPerBatch = 25;
inline constexpr std::size_t kMinDrainPerTick = 2;

struct HistoryBatch {
  std::int32_t kind = 0;  // 0, 6, 12, ...: the batch's delay in seconds
  std::vector<TrafficRecord> records;
};

// Everything here is guarded by g_trafficMutex.
struct TrafficMailbox {
  std::vector<TrafficRecord> records;  // the unconsumed rest of the latest live batch
  std::vector<HistoryBatch> history;   // history batches waiting, oldest first
  std::size_t drainPerTick = kMinDrainPerTick;  // set at each swap from the batch's size
  bool active = false;   // live batches are accepted
  bool stalled = false;  // a stall was found: inactive until the engine is cleared for a restart
  // Stall tracking, reset by every consumption and by a post that finds the mailbox empty.
  std::int64_t firstReplacementTime = 0;  // steady clock, ns
  bool firstReplacementSet = false;
  std::uint64_t replacedCount = 0;  // batches that replaced unconsumed records
  bool stallReported = false;
  // Counts for the readers' tests and the benchmark.
  std::uint64_t liveBatches = 0;  // live batches accepted
  std::uint64_t liveRecords = 0;
  std::uint64_t replacedRecords = 0;  // live records replaced before the worker took them
  std::uint64_t bufferBatches = 0;
  std::uint64_t bufferRecords = 0;
  std::uint64_t droppedHistoryBatches = 0;  // refused because too many were waiting
  std::vector<std::int32_t> bufferKinds;   // in the order delivered
};

extern TrafficMailbox g_trafficMailbox;
extern std::mutex g_trafficMutex;
// The engine clock in hundredths of a second: one count per running main-loop tick, plus the
// time of long park-airport steps; it stands still while the simulator is paused. Due times of
// traffic records are on this scale.
extern std::atomic<std::int32_t> g_engineTime;

// Reader thread. Takes every record out of batch (empty on return). A live batch (kind 30) is
// stamped and swapped in while the mailbox is active and discarded otherwise; a history batch
// is stamped and queued for the worker whatever the flags say. dropWhenInactive only spares a
// discarded live batch its stamping.
void gf_postTrafficBatch(std::vector<TrafficRecord>& batch, std::int32_t kind, bool dropWhenInactive);

// Worker: how many live records one tick takes: the batch's size at its swap over
// kDrainTicksPerBatch, rounded up, at least kMinDrainPerTick.
std::size_t gf_mailboxDrainPerTick();
// Worker: moves the last waiting live record into record (the last of a batch comes first) and
// resets the stall tracking; false when none waits.
bool gf_takeMailboxRecord(TrafficRecord& record);
// Worker: every waiting history batch, in the order delivered.
std::vector<HistoryBatch> gf_takeHistoryBatches();
// Readers' tests: the whole waiting live batch, as a consumption.
std::vector<TrafficRecord> gf_takeTrafficBatch();

// The shell's switch (reader start, main loop start, pause, resume, shutdown): on unless
// stalled; resets the stall tracking.
void gf_setMailboxActive(bool active);
// The engine's restart: empty, stall tracking reset, no longer stalled (still inactive).
void gf_clearTrafficMailbox();

// Tests: the steady clock of the stall tracking (nanoseconds); empty restores the real one.
void gf_setMailboxClockForTest(std::function<std::int64_t()> clock);
// Tests: the mailbox as at program start and the engine clock at 0.
void gf_resetTrafficMailbox();
