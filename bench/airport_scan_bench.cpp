// The airport scan's body over a generated Community folder of 3,000 add-on airport packages
// (tools/scenery_tree.h), each a manifest and a .bgl with its airport record, with no simulator
// running, so that every airport goes through the failed facility read to the BGL reader and
// gets a generated stand file, and the off-line learning package holds them all. Warm cache:
// .bgl files per second, next to merely reading the same files.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "airportscan/airport_scan.h"
#include "airportscan/scan_state.h"
#include "appbase/gui.h"
#include "bench/bench_main.h"
#include "config/program_folders.h"
#include "core/log.h"
#include "refdata/airports.h"
#include "refdata/weekly_traffic.h"
#include "standin/sim/sim.h"
#include "tools/scenery_tree.h"

namespace {
namespace fs = std::filesystem;

constexpr std::size_t kPackages = 3000;

struct BenchTree {
  BenchTree() : folder(fs::temp_directory_path() / fmt::format("jorv-airport-scan-bench-{}", ::getpid())) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    previous = fs::current_path();
    fs::current_path(folder);
    gf_openLog();
    standin::sim::reset();  // not running: every facility read fails at once
    SceneryTreeOptions options;
    options.folder = "sim";
    for (std::size_t i = 0; i < kPackages; ++i)
      options.bglCodes.push_back(fmt::format("Q{}{}{}", char('A' + i / 676), char('A' + i / 26 % 26), char('A' + i % 26)));
    gf_writeSceneryTree(options);
    community = fs::absolute("sim/MSFS2024/Community");
    std::vector<IcaoCode> codes;
    for (const std::string& code : options.bglCodes) codes.emplace_back(code);
    std::sort(codes.begin(), codes.end());
    {
      std::unique_lock lock(g_airportsLock);
      for (const IcaoCode code : codes) g_airports.push_back(Airport{code});
    }
    std::unique_lock lock(g_rtWeeklyAirportsLock);
    g_rtWeeklyAirports = codes;
    for (const auto& entry : fs::recursive_directory_iterator(community))
      if (entry.path().extension() == ".bgl") files.push_back(entry.path());
  }
  ~BenchTree() {
    gf_closeLog();
    std::error_code ignored;
    fs::current_path(previous, ignored);
    fs::remove_all(folder, ignored);
  }

  fs::path folder;
  fs::path previous;
  fs::path community;
  std::vector<fs::path> files;
};

const BenchTree& lf_tree() {
  static const BenchTree tree;
  return tree;
}

void BM_ReadSameFiles(benchmark::State& state) {
  const BenchTree& tree = lf_tree();
  std::string buffer;
  for (auto _ : state) {
    for (const fs::path& file : tree.files) {
      std::ifstream in(file, std::ios::binary);
      buffer.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  state.counters["files_per_s"] =
      benchmark::Counter(static_cast<double>(tree.files.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_AirportScan(benchmark::State& state) {
  const BenchTree& tree = lf_tree();
  const std::vector<fs::path> roots{tree.community};
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(g_airportsFolder);
    fs::remove_all(g_tbloFolder);
    for (const fs::path* folder : {&g_mySimaddonFolder, &g_myThirdpartyFolder, &g_tbloFolder})
      fs::create_directories(*folder);
    state.ResumeTiming();
    benchmark::DoNotOptimize(lf_runAirportScan(roots));
  }
  if (fs::exists(g_myThirdpartyFolder / "QAAA.xml") && g_tbloMode) state.SetLabel("stand files and tblo.zip written");
  state.counters["files_per_s"] =
      benchmark::Counter(static_cast<double>(tree.files.size()), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_ReadSameFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AirportScan)->Unit(benchmark::kMillisecond)->Iterations(bench::iterations(3));

}  // namespace

JORV_BENCHMARK_MAIN()
