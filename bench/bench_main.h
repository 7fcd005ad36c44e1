#pragma once
// The main of every benchmark program: a case that reports an error (SkipWithError) ends the
// run with exit status 1, so a benchmark that no longer measures anything fails where it runs.
//
// JORV_BENCH_QUICK=1 (the test run's check that each benchmark still runs) caps the fixed
// iteration counts given through bench::iterations and the set-ups sized through bench::quickOr;
// pass a short --benchmark_min_time with it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

inline bool quickRun() {
  static const bool quick = [] {
    const char* text = std::getenv("JORV_BENCH_QUICK");
    return text && *text && std::string(text) != "0";
  }();
  return quick;
}

// A benchmark's fixed iteration count, or at most `quick` of them in a quick run.
inline benchmark::IterationCount iterations(benchmark::IterationCount wanted, benchmark::IterationCount quick = 2) {
  return quickRun() ? std::min(wanted, quick) : wanted;
}

// A size or count of a benchmark's set-up: the full one, or a small one in a quick run.
inline std::int32_t quickOr(std::int32_t full, std::int32_t quick) { return quickRun() ? quick : full; }

class FailingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.error_occurred) failed.push_back(run.benchmark_name() + ": " + run.error_message);
    ConsoleReporter::ReportRuns(runs);
  }
  std::vector<std::string> failed;
};

inline int runBenchmarks(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FailingReporter reporter;
  const std::size_t ran = benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (const std::string& failure : reporter.failed) std::fprintf(stderr, "benchmark failed: %s\n", failure.c_str());
  if (ran == 0) std::fprintf(stderr, "no benchmark ran\n");
  return reporter.failed.empty() && ran > 0 ? 0 : 1;
}

}  // namespace bench

#define JORV_BENCHMARK_MAIN() \
  int main(int argc, char** argv) { return bench::runBenchmarks(argc, argv); }
