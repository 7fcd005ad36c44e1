// How fast the stand search fills a large park airport, in searches per second: 500 stands with
// 20 options each (days, hours, observed and soft options spread over the week, some aircraft on
// two stands so that options are passed over), AUTO_PARK on, 150 stands wanted. Each search starts
// from a cleared table, as a population does.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <vector>

#include "bench/bench_main.h"
#include "config/parameter_snapshot.h"
#include "parking/stand_search.h"
#include "simlink/stand_table.h"

namespace {

constexpr int kStands = 500;
constexpr int kOptions = 20;
constexpr std::uint32_t kWanted = 150;

// 25 stands to a row, 45 m apart: each overlaps its neighbours in the row.
void lf_buildStands() {
  g_stands.clear();
  for (int i = 0; i < kStands; ++i) {
    std::vector<StandOption> options;
    for (int k = 0; k < kOptions; ++k) {
      StandOption& o = options.emplace_back();
      // Every tenth option names the aircraft of the next stand's first option.
      const int aircraft = k % 10 == 9 ? (i + 1) * kOptions : i * kOptions + k;
      o.reg = fmt::format("HB-{}", aircraft);
      o.name1 = fmt::format("SWR{}", aircraft);
      o.day = static_cast<std::uint32_t>(1 + (i + k) % 7);
      const int first = (i * 7 + k * 5) % 42;
      o.hours = ((std::uint64_t{1} << 6) - 1) << first;
      o.real = k % 4 == 3 ? 0 : 1;
      o.fromFile = 1;
      o.id = static_cast<std::uint32_t>(k + 1);
    }
    Stand& stand = g_stands.emplace_back(fmt::format("S{}", i), std::move(options),
                                         Lalo{47.0 + (i / 25) * 0.001, 8.0 + (i % 25) * 0.0006}, 0.0, 25.0, 9, false,
                                         false, false);
    stand.id = static_cast<std::uint32_t>(i + 1);
    if (i % 25 != 0) stand.excludes.push_back(i);
    if (i % 25 != 24) stand.excludes.push_back(i + 2);
  }
}

void BM_StandSearch(benchmark::State& state) {
  lf_buildStands();
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.autoPark = true; });
  g_parkAirportQf = StandFileScores{40, 30};
  std::size_t hits = 0;
  for (auto _ : state) {
    for (Stand& stand : g_stands) stand.taken = stand.blocked = 0;
    gf_renumberStandOptions(g_stands);
    gf_clearStandSearchHits();
    lf_runStandSearch(WeekTime{3, 20}, kWanted);
    hits = g_standSearchHits.size();
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["hits"] = static_cast<double>(hits);
}
BENCHMARK(BM_StandSearch)->Unit(benchmark::kMillisecond);

}  // namespace

JORV_BENCHMARK_MAIN()
