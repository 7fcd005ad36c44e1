// The update pass of the engine's heartbeat (lf_updatePass: updateLiveAc for every live aircraft,
// every 10 ms tick) with the hooks the program installs, at 100, 300 and 1000 airborne aircraft
// flying streams of reports 2 to 10 s apart. Per tick: p50, p99 and max in microseconds and as a
// share of the 10-ms tick, and the heap allocations of a steady tick. The simulator link takes
// the pose samples as its frames do: `link` 0 drains them in place, 1 swaps the maps every third
// tick and empties the taken samples in place, entries kept, as the link's batch does.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <chrono>
#include <random>
#include <vector>

#include "bench/bench_main.h"
#include "bench/bench_support.h"
#include "feed/traffic_mailbox.h"
#include "simlink/ai_positions.h"
#include "traffic/adding_stack.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"

namespace {

constexpr Lalo kCentre{52.3, 4.76};
constexpr std::int32_t kStart = 100000;
constexpr std::int32_t kStreamTicks = 60000;  // 10 minutes of reports ahead
constexpr double kTickMicros = 10000.0;

// A flight in cruise on its own track, with its reports for the next ten minutes.
void lf_addFlight(std::uint32_t i, std::mt19937& random) {
  FeedRecordHead head;
  head.callsign = fmt::format("KLM{}", i);
  head.modelId = gf_internModelName(i % 2 ? "B738" : "A320");
  AcIdentity identity(std::move(head));
  identity.hexid = 0x400000 + i;
  const double track = static_cast<double>((i * 37) % 360);
  const double speedKt = 220.0 + (i % 60);
  StreamPoint point;
  point.lalo = {kCentre.lat + (i % 40) * 0.02 - 0.4, kCentre.lon + (i / 40) * 0.02 - 0.25};
  point.altitude = 4000.0 + 20.0 * (i % 500);
  point.groundSpeed = speedKt;
  point.track = track;
  point.airborne = true;
  point.time = kStart;
  LiveAc& aircraft = g_liveAcs.emplace_back(point, std::move(identity), 1000.0);
  std::uniform_int_distribution<std::int32_t> interval(200, 1000);
  while (point.time < kStart + kStreamTicks) {
    const std::int32_t ticks = interval(random);
    point.lalo = gf_destinationPoint(point.lalo, {track * geo::kDegToRad, speedKt * ticks / 360000.0 * geo::kFeetPerNm});
    point.time += ticks;
    aircraft.stream.push_back(point);
  }
  aircraft.simState = SimStatus::active;
  aircraft.state = FlightPhase::flying;
  aircraft.objectId = 1000 + i;
  aircraft.position = aircraft.stream.front().lalo;
  aircraft.altitude = aircraft.stream.front().altitude;
  aircraft.heading = track * geo::kDegToRad;
  aircraft.speed = speedKt;
}

void lf_engineWith(std::int64_t n) {
  bench::fillDbase();
  gf_setEngineHooks(gf_defaultEngineHooks());
  gf_resetTrafficMailbox();
  gf_initTrafficEngine();
  gf_clearAiPoseMaps();
  std::mt19937 random(24);
  for (std::uint32_t i = 0; i < n; ++i) lf_addFlight(i, random);
  g_engineTime = kStart;
}

void lf_linkTakesSamples(std::int64_t link, std::int32_t tick) {
  std::lock_guard lock(g_simObjectMapMutex);
  if (link == 0) {
    for (auto& [objectId, samples] : g_aiPositionSamples) samples.clear();
  } else if (tick % 3 == 0) {
    std::swap(g_aiPositionSamples, g_aiPositionSamplesTaken);
    for (auto& [objectId, samples] : g_aiPositionSamplesTaken) samples.clear();
  }
}

void BM_UpdatePass(benchmark::State& state) {
  const std::int64_t n = state.range(0);
  const std::int64_t link = state.range(1);
  lf_engineWith(n);
  for (int i = 0; i < 300; ++i) {  // every aircraft has reached a point and begun a leg
    lf_updatePass();
    lf_linkTakesSamples(link, g_engineTime.load());
    ++g_engineTime;
  }
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(state.max_iterations));
  std::uint64_t allocations = 0;
  for (auto _ : state) {
    bench::AllocationTrace trace;
    const std::uint64_t before = bench::t_allocations;
    const auto start = std::chrono::steady_clock::now();
    lf_updatePass();
    const auto end = std::chrono::steady_clock::now();
    allocations += bench::t_allocations - before;
    micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    state.PauseTiming();
    lf_linkTakesSamples(link, g_engineTime.load());
    ++g_engineTime;
    state.ResumeTiming();
  }
  if (g_liveAcs.size() != static_cast<std::size_t>(n)) state.SkipWithError("aircraft were lost during the run");
  const bench::Spread tick = bench::spread(micros);
  state.counters["p50_us"] = tick.p50;
  state.counters["p99_us"] = tick.p99;
  state.counters["max_us"] = tick.max;
  state.counters["p99/tick"] = tick.p99 / kTickMicros;
  state.counters["allocs/tick"] = static_cast<double>(allocations) / static_cast<double>(micros.size());
}
BENCHMARK(BM_UpdatePass)
    ->ArgNames({"aircraft", "link"})
    ->ArgsProduct({{100, 300, 1000}, {0, 1}})
    ->Iterations(bench::iterations(20000))
    ->Unit(benchmark::kMicrosecond);

}  // namespace

JORV_BENCHMARK_MAIN()
