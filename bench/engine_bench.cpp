// The engine's intake and heartbeat, with the hooks and seams the program installs:
// - decodeMessage on records of known flights, in records per second;
// - one 10-ms tick of lf_handleAddingStack, and the passes of one engine step, at 100, 300 and
//   1000 live aircraft, with the heap allocations of a steady tick counted;
// - at 1000 aircraft reporting every 2 s: each tick's cost (p50, p99) and the share of live
//   records replaced before the engine took them.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <vector>

#include "app/worker_seams.h"
#include "bench/bench_main.h"
#include "config/parameter_snapshot.h"
#include "feed/traffic_mailbox.h"
#include "refdata/model_ids.h"
#include "simlink/sim_commands.h"
#include "traffic/adding_stack.h"
#include "traffic/decode_message.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"

namespace {

std::atomic<std::uint64_t> g_allocations{0};

constexpr Lalo kCentre{52.3, 4.76};

void lf_fillDbase() {
  gf_resetModelTables();
  gf_internModelName("");
  gf_internAirlineName("");
  for (const char* code : {"B738", "A320", "E190"}) g_dbaseModelCodes.insert(code);
  g_largeModels = {gf_internModelName("B738"), gf_internModelName("A320"), gf_internModelName("E190")};
}

// The engine's hooks as the program installs them, so that a tick does the program's work.
void lf_programHooks() {
  gf_setWorkerSeams(gf_programWorkerSeams());
  gf_workerSeams().initTrafficEngine();
}

TrafficRecord lf_record(std::uint32_t i, double timestamp) {
  TrafficRecord record;
  record.hexid = 0x400000 + i;
  record.callsign = fmt::format("KLM{}", i);
  record.modelId = gf_internModelName(i % 2 ? "B738" : "A320");
  // Airborne and spread over about 40 NM, each moving 0.3 NM a record along its own track.
  record.lalo = {kCentre.lat + (i % 40) * 0.01 + timestamp * 1e-4, kCentre.lon + (i / 40) * 0.01};
  record.airborne = true;
  record.altitude = 3000.0 + 10.0 * i;
  record.gs = 250.0;
  record.track = static_cast<double>(i % 360);
  record.timestamp = timestamp;
  return record;
}

// n known aircraft in the simulator, each with a report every 10 s for the engine's first 60 s
// (each due when the engine's clock comes to it, as the mailbox would hand it over).
void lf_engineWith(std::int64_t n) {
  lf_fillDbase();
  gf_resetTrafficMailbox();
  lf_programHooks();
  const std::int32_t start = g_engineTime.load();
  for (std::uint32_t i = 0; i < n; ++i)
    for (double t = 1000.0; t <= 1060.0; t += 10.0) {
      TrafficRecord record = lf_record(i, t);
      record.mailboxTime = start + static_cast<std::int32_t>((t - 1000.0) * 100.0);
      decodeMessage(record);
    }
  for (LiveAc& aircraft : g_liveAcs) {
    aircraft.simState = SimStatus::active;
    aircraft.objectId = aircraft.hexid;
    aircraft.position = aircraft.stream.front().lalo;
    aircraft.altitude = aircraft.stream.front().altitude;
  }
}

// A tick that finds fewer aircraft than it began with measures less than its name says.
void lf_checkNoneLost(benchmark::State& state, std::int64_t n) {
  const auto active = std::count_if(g_liveAcs.begin(), g_liveAcs.end(),
                                    [](const LiveAc& a) { return a.simState == SimStatus::active; });
  if (active != n) state.SkipWithError(fmt::format("{} of {} aircraft left", active, n).c_str());
}

void lf_clearSimQueues() {
  std::lock_guard lock(g_simQueueMutex);
  g_simCommands.clear();
  g_simCreateRequests.clear();
  g_simRemoveRequests.clear();
}

void BM_DecodeKnownFlights(benchmark::State& state) {
  lf_engineWith(1000);
  std::vector<TrafficRecord> records;
  for (std::uint32_t i = 0; i < 1000; ++i) records.push_back(lf_record(i, 1050.0));
  double timestamp = 1050.0;
  for (auto _ : state) {
    state.PauseTiming();
    timestamp += 10.0;
    for (std::uint32_t i = 0; i < records.size(); ++i) records[i] = lf_record(i, timestamp);
    state.ResumeTiming();
    for (TrafficRecord& record : records) decodeMessage(record);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records.size()));
}
BENCHMARK(BM_DecodeKnownFlights)->Unit(benchmark::kMillisecond);

void BM_Tick(benchmark::State& state) {
  lf_engineWith(state.range(0));
  gf_setMailboxActive(true);
  for (int i = 0; i < 40; ++i) lf_handleAddingStack();  // the periodic passes have all come round
  std::uint64_t allocations = 0;
  std::uint64_t ticks = 0;
  for (auto _ : state) {
    const std::uint64_t before = g_allocations.load();
    lf_handleAddingStack();
    allocations += g_allocations.load() - before;
    ++ticks;
    if (ticks % 1000 == 0) {
      state.PauseTiming();
      lf_clearSimQueues();
      state.ResumeTiming();
    }
  }
  lf_checkNoneLost(state, state.range(0));
  state.counters["allocs/tick"] = static_cast<double>(allocations) / static_cast<double>(ticks);
}
// 30 s of ticks, within the reports the aircraft have.
BENCHMARK(BM_Tick)->Arg(100)->Arg(300)->Arg(1000)->Iterations(bench::iterations(3000))->Unit(benchmark::kMicrosecond);

void BM_EngineStepPasses(benchmark::State& state) {
  lf_engineWith(state.range(0));
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.blocked.callsign = "NOBODY"; });
  for (auto _ : state) {
    gf_runDueParkedAcAction();
    gf_removeBlockedAc();
    benchmark::DoNotOptimize(lf_isThisTheFurthestLive(1000.0));
    gf_removeTCASCoverageAcs();
    benchmark::DoNotOptimize(gf_liveAircraftInSim());
  }
}
BENCHMARK(BM_EngineStepPasses)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kMicrosecond);

// 1000 aircraft report every 2 s (200 ticks), their batch posted as a reader would; the cost of
// each tick, whose drain decodes the records, as p50 and p99.
void BM_TickAtLiveRate(benchmark::State& state) {
  lf_engineWith(1000);
  gf_setMailboxActive(true);
  for (int i = 0; i < 40; ++i) lf_handleAddingStack();
  double timestamp = 1100.0;
  std::vector<double> micros;
  std::uint64_t ticks = 0;
  for (auto _ : state) {
    if (ticks % 200 == 0) {
      state.PauseTiming();
      lf_clearSimQueues();
      std::vector<TrafficRecord> batch;
      for (std::uint32_t i = 0; i < 1000; ++i) batch.push_back(lf_record(i, timestamp));
      gf_postTrafficBatch(batch, kLiveTrafficKind, true);
      timestamp += 2.0;
      state.ResumeTiming();
    }
    const auto start = std::chrono::steady_clock::now();
    lf_handleAddingStack();
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    ++ticks;
  }
  lf_checkNoneLost(state, 1000);
  std::sort(micros.begin(), micros.end());
  const auto at = [&micros](double share) { return micros[static_cast<std::size_t>(share * (micros.size() - 1))]; };
  state.counters["p50 us"] = at(0.50);
  state.counters["p99 us"] = at(0.99);
  state.counters["max us"] = micros.back();
}
BENCHMARK(BM_TickAtLiveRate)->Iterations(bench::iterations(20000))->Unit(benchmark::kMicrosecond);

// 1000 aircraft report every 2 s (200 ticks), each tick draining what the mailbox sets; the
// share of posted records replaced before the engine took them.
void BM_ReplacementLoss(benchmark::State& state) {
  lf_engineWith(1000);
  gf_setMailboxActive(true);
  double timestamp = 1100.0;
  for (auto _ : state) {
    std::vector<TrafficRecord> batch;
    for (std::uint32_t i = 0; i < 1000; ++i) batch.push_back(lf_record(i, timestamp));
    gf_postTrafficBatch(batch, kLiveTrafficKind, true);
    for (int tick = 0; tick < 200; ++tick) gf_drainTrafficMailbox();
    timestamp += 2.0;
  }
  std::lock_guard lock(g_trafficMutex);
  state.counters["lost share"] = static_cast<double>(g_trafficMailbox.replacedRecords) /
                                 static_cast<double>(g_trafficMailbox.liveRecords);
}
BENCHMARK(BM_ReplacementLoss)->Unit(benchmark::kMillisecond);

}  // namespace

// Every heap allocation of the process is counted, so that a tick's can be told. The pair below
// is one allocator: GCC cannot see that the delete matches this new.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

JORV_BENCHMARK_MAIN()
