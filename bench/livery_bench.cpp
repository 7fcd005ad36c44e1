// How long the livery database takes to build from a scan result of 30,000 liveries, and the
// process's peak resident memory afterwards; and how fast the livery match of live flights is
// against that database: 10,000 flights, matches per second, mean and 99th percentile per match.
//
// The scan result is generated, deterministic, in the shape of a large installation: 2,000
// airlines over 320 models in every category, one livery in ten flown by an operator, one in
// eight cargo, half of them with a registration, a few hundred generic ones. The generator
// writes the file line by line, so that its own memory does not count in the peak.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "config/program_folders.h"
#include "feed/feed_neighbours.h"
#include "liveries/ac_identity.h"
#include "liveries/livery_database.h"
#include "liveries/livery_matching.h"
#include "refdata/model_ids.h"

namespace {
namespace fs = std::filesystem;

constexpr int kLiveries = 30000;
constexpr int kAirlines = 2000;
constexpr int kModels = 320;
constexpr int kFlights = 10000;

// What the generator drew, for building flights that meet the installed liveries.
struct Generated {
  std::vector<std::string> models;
  std::vector<std::string> airlines;
  std::vector<std::string> registrations;
};

std::string lf_code(std::mt19937& random, int letters, int digits) {
  std::string code;
  for (int i = 0; i < letters; ++i) code += static_cast<char>('A' + random() % 26);
  for (int i = 0; i < digits; ++i) code += static_cast<char>('0' + random() % 10);
  return code;
}

// Models interned with their categories and similar groups, as the dbase would leave them.
std::vector<std::string> lf_setUpModels(std::mt19937& random) {
  gf_resetModelTables();
  gf_internAirlineName("");
  gf_internModelName("");
  std::vector<std::string> models;
  const std::array<std::set<ModelId>*, 6> categories{&g_heavyModels,    &g_largeModels,          &g_buzjetModels,
                                                     &g_twopropsModels, &g_highPerformanceModels, &g_rotorcraftModels};
  for (int i = 0; i < kModels; ++i) {
    std::string code = lf_code(random, 2, 2);
    const ModelId id = gf_internModelName(code);
    // Every seventh model is uncategorised (light aircraft).
    if (i % 7 != 6) categories[static_cast<std::size_t>(i % 7)]->insert(id);
    models.push_back(std::move(code));
  }
  for (int i = 0; i + 2 < 150; i += 3) g_similarTypes.push_back({models[i], models[i + 1], models[i + 2]});
  return models;
}

Generated lf_writeScanFile(const fs::path& file) {
  std::mt19937 random(20261207);
  Generated generated;
  generated.models = lf_setUpModels(random);
  const auto& models = generated.models;
  auto& airlines = generated.airlines;
  for (int i = 0; i < kAirlines; ++i) airlines.push_back(lf_code(random, 3, 0));
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <liveries>\n";
  for (int i = 0; i < kLiveries; ++i) {
    const bool generic = i % 97 == 0;
    const std::string& airline = generic ? std::string("ZZZ") : airlines[random() % airlines.size()];
    const std::string& model = models[random() % models.size()];
    std::string line = fmt::format("    <l a=\"{}\"", airline);
    if (!generic && i % 10 == 3) line += fmt::format(" o=\"{}\"", airlines[random() % airlines.size()]);
    line += fmt::format(" m=\"{}\"", model);
    if (i % 8 == 5) line += " c=\"true\"";
    line += fmt::format(" t=\"Bench {} {} livery {}\"", airline, model, i);
    if (i % 2 == 0) {
      const std::string letter = lf_code(random, 1, 0);
      generated.registrations.push_back(fmt::format("{}-{}", letter, lf_code(random, 4, 0)));
      line += fmt::format(" r=\"{}\"", generated.registrations.back());
    }
    out << line << " />\n";
  }
  out << "  </liveries>\n</root>\n";
  return generated;
}

// A folder of its own as the current directory, holding output/ with the scan result.
struct BenchFolder {
  BenchFolder() : folder(fs::temp_directory_path() / fmt::format("jorv-livery-bench-{}", ::getpid())) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    previous = fs::current_path();
    fs::current_path(folder);
    generated = lf_writeScanFile(gf_liveriesScannedFile());
  }
  ~BenchFolder() {
    std::error_code ignored;
    fs::current_path(previous, ignored);
    fs::remove_all(folder, ignored);
  }
  fs::path folder;
  fs::path previous;
  Generated generated;
};

void BM_ProcessScannedLiveries(benchmark::State& state) {
  const BenchFolder folder;
  for (auto _ : state) {
    gf_processScannedLiveries();
    benchmark::DoNotOptimize(g_liveryTitles.size());
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["titles"] = static_cast<double>(g_liveryTitles.size());
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
  gf_resetLiveriesForTest();
}
BENCHMARK(BM_ProcessScannedLiveries)->Unit(benchmark::kMillisecond);

// Live flights as the feed brings them: mostly airlines with liveries, some unknown airlines and
// private flights, a few operated flights, one in eight cargo, one in ten with an installed
// registration, a third high enough (with the user) for the climb to step 8.
std::vector<std::pair<AcIdentity, double>> lf_flights(const Generated& generated) {
  std::mt19937 random(20261208);
  std::vector<std::pair<AcIdentity, double>> flights;
  flights.reserve(kFlights);
  for (int i = 0; i < kFlights; ++i) {
    FeedRecordHead head;
    const std::string airline = i % 20 == 0   ? std::string("PVT")
                                : i % 10 == 1 ? lf_code(random, 3, 0)
                                              : generated.airlines[random() % generated.airlines.size()];
    head.airlineId = gf_internAirlineName(airline);
    if (i % 20 == 7) head.secondAirlineId = gf_internAirlineName(generated.airlines[random() % generated.airlines.size()]);
    head.modelId = gf_internModelName(generated.models[random() % generated.models.size()]);
    head.cargo777 = i % 8 == 5 ? 1 : 0;
    head.callsign = fmt::format("{}{}", airline, 100 + i);
    if (i % 10 == 4) head.registration = generated.registrations[random() % generated.registrations.size()];
    flights.emplace_back(AcIdentity(std::move(head)), i % 3 == 0 ? 35000.0 : 8000.0);
  }
  return flights;
}

void BM_MatchLivery(benchmark::State& state) {
  const BenchFolder folder;
  gf_processScannedLiveries();
  gf_publishUserAcPosition(UserAcPosition{.altitude = 36000.0});
  auto flights = lf_flights(folder.generated);
  std::vector<double> nanos;
  nanos.reserve(static_cast<std::size_t>(kFlights) * 16);
  std::size_t matched = 0;
  for (auto _ : state) {
    for (auto& [aircraft, altitude] : flights) {
      const auto start = std::chrono::steady_clock::now();
      gf_matchLivery(aircraft, altitude);
      nanos.push_back(std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count());
      matched += aircraft.matchedTitle.empty() ? 0 : 1;
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(nanos.size()));  // items_per_second: matches per second
  std::sort(nanos.begin(), nanos.end());
  double sum = 0.0;
  for (const double n : nanos) sum += n;
  state.counters["mean_us"] = sum / static_cast<double>(nanos.size()) / 1000.0;
  state.counters["p99_us"] = nanos[nanos.size() * 99 / 100] / 1000.0;
  state.counters["matched_pct"] = 100.0 * static_cast<double>(matched) / static_cast<double>(nanos.size());
  gf_publishUserAcPosition(UserAcPosition{});
  gf_resetLiveriesForTest();
}
BENCHMARK(BM_MatchLivery)->Unit(benchmark::kMillisecond);

}  // namespace

JORV_BENCHMARK_MAIN()
