// The livery scan of a Community folder of 20,000 aircraft.cfg files (tools/livery_tree.h, one
// to three liveries each, in UTF-8, UTF-16 and Windows-1252, spread over four packages), warm
// cache: files per second, the ratio of its time to that of merely walking the same packages and
// reading their files in the same run, and the process's peak resident memory.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "liveries/livery.h"
#include "liveries/livery_folders.h"
#include "liveries/scan_reports.h"
#include "refdata/dbase.h"
#include "refdata/library_init.h"
#include "tools/livery_tree.h"

namespace {
namespace fs = std::filesystem;

constexpr std::size_t kFiles = 20000;

// What the scan reads: a file named aircraft.cfg in any case.
bool lf_isLiveryFile(const fs::directory_entry& entry) {
  std::string name = entry.path().filename().string();
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "aircraft.cfg" && entry.is_regular_file();
}

// A folder of its own as the current directory (the scan writes its result and reports there).
struct BenchTree {
  BenchTree() : folder(fs::temp_directory_path() / fmt::format("jorv-livery-scan-bench-{}", ::getpid())) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    previous = fs::current_path();
    fs::current_path(folder);
    gf_initDataLibraries();
    if (!gf_readDbase(fs::path(JORV_SOURCE_DIR) / "data")) throw std::runtime_error("the sample dbase");
    LiveryTreeOptions options;
    options.community = folder / "Community";
    options.expected = folder / "expected";
    options.dataFolder = fs::path(JORV_SOURCE_DIR) / "data";
    options.bulkFiles = kFiles;
    options.cases = false;
    gf_writeLiveryTree(options);
    for (const char* package : {"aig-aitraffic-oci", "fsltl-traffic-base", "justflight-aircraft-traffic-fleet",
                                "user-aitraffic"})
      packages.push_back(options.community / package);
    for (const fs::path& package : packages)
      for (const auto& entry : fs::recursive_directory_iterator(package))
        if (lf_isLiveryFile(entry)) files.push_back(entry.path());
  }
  ~BenchTree() {
    std::error_code ignored;
    fs::current_path(previous, ignored);
    fs::remove_all(folder, ignored);
  }

  // The baseline: the packages walked as the scan walks them and every aircraft.cfg in them read
  // whole, nothing made of it.
  std::size_t readAll() const {
    std::size_t bytes = 0;
    std::size_t read = 0;
    std::string buffer;
    for (const fs::path& package : packages)
      for (const auto& entry : fs::recursive_directory_iterator(package)) {
        if (!lf_isLiveryFile(entry)) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        buffer.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        bytes += buffer.size();
        ++read;
      }
    if (read != files.size()) throw std::runtime_error("the baseline read another tree");
    return bytes;
  }
  double readSeconds() const {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(readAll());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  fs::path folder;
  fs::path previous;
  std::vector<fs::path> packages;
  std::vector<fs::path> files;
};

const BenchTree& lf_tree() {
  static const BenchTree tree;
  return tree;
}

void lf_reportRss(benchmark::State& state) {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void BM_ReadSameFiles(benchmark::State& state) {
  const BenchTree& tree = lf_tree();
  tree.readAll();  // warm
  for (auto _ : state) benchmark::DoNotOptimize(tree.readAll());
  state.counters["files_per_s"] =
      benchmark::Counter(static_cast<double>(tree.files.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReadSameFiles)->Unit(benchmark::kMillisecond);

void BM_LiveryScan(benchmark::State& state) {
  const BenchTree& tree = lf_tree();
  tree.readAll();  // warm
  double scanSeconds = 0;
  for (auto _ : state) {
    lf_clearScanReports();
    const auto start = std::chrono::steady_clock::now();
    if (lf_scanLiveryFolders(tree.packages, true) != LiveryScanResult::done) state.SkipWithError("scan failed");
    scanSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double readSeconds = tree.readSeconds();
  state.counters["files_per_s"] =
      benchmark::Counter(static_cast<double>(tree.files.size()), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["liveries"] = static_cast<double>(g_liveries.size());
  state.counters["ratio_to_reading"] = scanSeconds / static_cast<double>(state.iterations()) / readSeconds;
  lf_reportRss(state);
}
BENCHMARK(BM_LiveryScan)->Unit(benchmark::kMillisecond);

}  // namespace

JORV_BENCHMARK_MAIN()
