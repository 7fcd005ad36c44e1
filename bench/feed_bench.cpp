// How many RT App traffic lines the traffic reader turns into records per second: split, tag
// dispatch, field decoding, the store's checks and filters, and the batch hand-over at each end
// marker, as the reader thread runs them for every datagram (without the socket).
//
// The lines are generated: 400 aircraft spread over the 40-NM range around the user, a mix of
// airliners, helicopters and light aircraft with and without registrations, deterministic.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <random>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_app_traffic.h"
#include "feed/traffic_mailbox.h"
#include "refdata/dbase.h"
#include "refdata/model_ids.h"
#include "refdata/registration.h"

namespace {

constexpr double kCentreLat = 52.0;
constexpr double kCentreLon = 4.5;
constexpr int kAircraft = 400;
constexpr int kLinesPerBatch = 100;

void lf_fillDbase() {
  gf_resetDbaseTables();
  gf_internModelName("");
  gf_internAirlineName("");
  for (const char* code : {"B738", "A320", "B77W", "B777", "B77F", "E190", "EC35", "C172", "DH8D"})
    g_dbaseModelCodes.insert(code);
  g_largeModels = {gf_internModelName("B738"), gf_internModelName("A320"), gf_internModelName("E190")};
  g_heavyModels = {gf_internModelName("B77W"), gf_internModelName("B777"), gf_internModelName("B77F")};
  g_rotorcraftModels = {gf_internModelName("EC35")};
  g_twopropsModels = {gf_internModelName("DH8D")};
  gf_setModelFixes({{"B73H", "B738"}});
  g_cargoOperators = {gf_internAirlineName("FDX")};
}

std::vector<std::string> lf_lines() {
  std::mt19937 random(20261206);
  std::uniform_real_distribution<double> offset(-0.6, 0.6);
  std::uniform_int_distribution<int> pick(0, 7);
  const char* types[] = {"B738", "A320", "B77W", "B777", "E190", "EC35", "C172", "B73H"};
  const char* airlines[] = {"KLM", "BAW", "DLH", "FDX", "EZY", "TRA", "AFR", "SAS"};
  std::vector<std::string> lines;
  for (int i = 0; i < kAircraft; ++i) {
    const int kind = pick(random);
    const std::string callsign = fmt::format("{}{}", airlines[pick(random)], 100 + i);
    const std::string registration = i % 3 == 0 ? "null" : fmt::format("PH-{:03}", i);
    std::vector<std::string> f(44);
    f[0] = "RTTFC";
    f[1] = std::to_string(0x400000 + i);
    f[2] = fmt::format("{:.6f}", kCentreLat + offset(random));
    f[3] = fmt::format("{:.6f}", kCentreLon + offset(random));
    f[4] = std::to_string(2000 + 100 * i);
    f[5] = "-640";
    f[7] = "271.3";
    f[8] = "245.0";
    f[9] = callsign;
    f[10] = types[kind];
    f[11] = registration;
    f[12] = "AMS";
    f[13] = i % 5 == 0 ? "" : "LHR";
    f[14] = fmt::format("{:.2f}", 1733400000.0 + i * 0.01);
    f[17] = i % 2 ? "adsb_icao" : "mlat";
    f[20] = i % 4 == 0 ? "-1" : "310";
    f[23] = "-2.5";
    f[25] = "270.9";
    f[28] = "A3";
    f[43] = i % 7 == 0 ? "KLC" : "";
    std::string line;
    for (std::size_t k = 0; k < f.size(); ++k) line += (k ? "," : "") + f[k];
    lines.push_back(std::move(line));
  }
  return lines;
}

void BM_DecodeAndStoreRTAppTraffic(benchmark::State& state) {
  gf_publishSimChoice(SimChoice{2, 1});
  lf_fillDbase();
  gf_resetTrafficMailbox();
  {
    std::lock_guard lock(g_trafficMutex);
    g_trafficMailbox.active = true;
  }
  RTAppTrafficReader& reader = g_rtAppTrafficReader;
  reader.reset();
  reader.qnhHpa = 1013;
  reader.setQueryCentre({kCentreLat, kCentreLon});
  const std::vector<std::string> lines = lf_lines();
  std::size_t next = 0;
  std::int64_t kept = 0;
  for (auto _ : state) {
    for (int i = 0; i < kLinesPerBatch; ++i) {
      reader.handleText(lines[next]);
      next = (next + 1) % lines.size();
    }
    kept += static_cast<std::int64_t>(reader.batch.records.size());
    reader.handleText("RTTFC_EOT");
    benchmark::DoNotOptimize(gf_takeTrafficBatch());
  }
  state.SetItemsProcessed(state.iterations() * kLinesPerBatch);
  state.counters["kept"] =
      benchmark::Counter(static_cast<double>(kept) / static_cast<double>(state.iterations() * kLinesPerBatch));
  reader.reset();
  gf_resetTrafficMailbox();
  gf_resetDbaseTables();
}
BENCHMARK(BM_DecodeAndStoreRTAppTraffic)->Unit(benchmark::kMicrosecond);

}  // namespace

JORV_BENCHMARK_MAIN()
